// glimmerax-play run as a user runs it, for what it does before any sound is played: usage,
// and the errors it reports on the way there.
#include "support/TestProcess.h"
#include "support/WaveFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using glimmerax::testing::ProcessResult;
using glimmerax::testing::runProcess;
using glimmerax::testing::TempFolder;

const std::filesystem::path kPlayer = GLIMMERAX_PLAY_PATH;

TEST(PlayerCliTest, HelpPrintsTheUsageAndSucceeds) {
    const ProcessResult result = runProcess(kPlayer, {"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("Usage: glimmerax-play [options] FILE\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("--write-wav OUT.wav"), std::string::npos);
    EXPECT_EQ(result.err, "");
}

TEST(PlayerCliTest, VersionPrintsTheProjectVersionAndSucceeds) {
    const ProcessResult result = runProcess(kPlayer, {"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "glimmerax-play " GLIMMERAX_PROJECT_VERSION "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_NE(runProcess(kPlayer, {"--help"}).out.find("\n  --version "), std::string::npos);
}

TEST(PlayerCliTest, UsageErrorsExitWithTwoAndTheUsage) {
    const ProcessResult result = runProcess(kPlayer, {"--pause", "soon", "a.wav"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err.rfind("glimmerax-play: --pause needs AT:LEN in seconds (LEN above 0), "
                               "not 'soon'\n\nUsage: glimmerax-play",
                               0),
              0u)
        << result.err;
    EXPECT_EQ(result.out, "");
}

struct FailingRun {
    std::string name;
    // Arguments; "{wav}" stands for a playable file, "{folder}" for the test's folder.
    std::vector<std::string> arguments;
    std::string message;
};

void PrintTo(const FailingRun& run, std::ostream* out) {
    *out << run.name;
}

class PlayerFailureTest : public ::testing::TestWithParam<FailingRun> {};

TEST_P(PlayerFailureTest, ReportsTheProblemAndExitsWithOne) {
    TempFolder folder;
    const std::filesystem::path wav = folder / "tone.wav";
    glimmerax::testing::writeWave(wav,
                                  glimmerax::testing::makeDistinctSound(
                                      8000, 1, 0.1, glimmerax::testing::WaveEncoding::kSigned16),
                                  glimmerax::testing::WaveEncoding::kSigned16);
    const glimmerax::testing::WaveSamples threeChannels{8000, 3, std::vector<short>(300, 100)};
    glimmerax::testing::writeWave(folder / "three.wav", threeChannels,
                                  glimmerax::testing::WaveEncoding::kSigned16);

    const auto expand = [&](std::string text) {
        for (const auto& [mark, value] :
             {std::pair<std::string, std::string>{"{wav}", wav.string()},
              {"{folder}", folder.path().string()}}) {
            if (const auto at = text.find(mark); at != std::string::npos) {
                text.replace(at, mark.size(), value);
            }
        }
        return text;
    };
    std::vector<std::string> arguments;
    for (const std::string& argument : GetParam().arguments) {
        arguments.push_back(expand(argument));
    }
    const ProcessResult result = runProcess(kPlayer, arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("glimmerax-play: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(expand(GetParam().message)), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PlayerFailureTest,
    ::testing::Values(
        FailingRun{"MissingFile", {"{folder}/none.wav"}, "cannot read {folder}/none.wav"},
        FailingRun{"ThreeChannels",
                   {"{folder}/three.wav"},
                   "three.wav has 3 channels; only mono and stereo can be played"},
        FailingRun{"UnwritableOutput",
                   {"--write-wav", "{folder}/no/such/folder/out.wav", "{wav}"},
                   "cannot write {folder}/no/such/folder/out.wav"},
        FailingRun{"MissingPlugin",
                   {"--plugin", "{folder}/libnone.so", "{wav}"},
                   "cannot load the sound-system plug-in: {folder}/libnone.so"},
        FailingRun{"PluginWithoutEntryPoint",
                   {"--plugin", GLIMMERAX_LIBRARY_PATH, "{wav}"},
                   "has no getSoundSystem"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
