// glimmerax-play run as a user runs it, for what it does before any sound is played: usage,
// and the errors it reports on the way there.
#include "support/TestProcess.h"
#include "support/WaveFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using glimmerax::testing::ProcessResult;
using glimmerax::testing::readWhole;
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

// A tenth of a second at 8 kHz, 16-bit mono.
void writeTone(const std::filesystem::path& path) {
    glimmerax::testing::writeWave(path,
                                  glimmerax::testing::makeDistinctSound(
                                      8000, 1, 0.1, glimmerax::testing::WaveEncoding::kSigned16),
                                  glimmerax::testing::WaveEncoding::kSigned16);
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct FailingRun {
    std::string name;
    // Arguments; "{wav}" stands for a playable file that must come out of the run unchanged,
    // "{folder}" for the test's folder, which holds it, a hard link to it (same.wav), another
    // playable file (other.wav) and a file of three channels (three.wav).
    std::vector<std::string> arguments;
    int exitCode;
    std::string message;
};

void PrintTo(const FailingRun& run, std::ostream* out) {
    *out << run.name;
}

class PlayerFailureTest : public ::testing::TestWithParam<FailingRun> {};

// Each run is refused or fails with a message, and leaves the files it was given, and their
// folder, as they were: nothing written half, no temporary file left.
TEST_P(PlayerFailureTest, ReportsTheProblemAndLeavesTheFilesAsTheyWere) {
    TempFolder folder;
    const std::filesystem::path wav = folder / "tone.wav";
    writeTone(wav);
    std::filesystem::create_hard_link(wav, folder / "same.wav");
    std::filesystem::copy_file(wav, folder / "other.wav");
    const glimmerax::testing::WaveSamples threeChannels{8000, 3, std::vector<short>(300, 100)};
    glimmerax::testing::writeWave(folder / "three.wav", threeChannels,
                                  glimmerax::testing::WaveEncoding::kSigned16);
    const std::string wavBytes = readWhole(wav);
    const std::vector<std::string> entries = folderEntries(folder.path());

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
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    EXPECT_EQ(result.err.rfind("glimmerax-play: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(expand(GetParam().message)), std::string::npos) << result.err;
    EXPECT_TRUE(readWhole(wav) == wavBytes) << "the file was changed";
    EXPECT_EQ(folderEntries(folder.path()), entries);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PlayerFailureTest,
    ::testing::Values(
        FailingRun{"MissingFile", {"{folder}/none.wav"}, 1, "cannot read {folder}/none.wav"},
        FailingRun{"ThreeChannels",
                   {"{folder}/three.wav"},
                   1,
                   "three.wav has 3 channels; only mono and stereo can be played"},
        FailingRun{"UnwritableOutput",
                   {"--write-wav", "{folder}/no/such/folder/out.wav", "{wav}"},
                   1,
                   "cannot write {folder}/no/such/folder/out.wav: No such file or directory"},
        FailingRun{"MissingPlugin",
                   {"--plugin", "{folder}/libnone.so", "{wav}"},
                   1,
                   "cannot load the sound-system plug-in: {folder}/libnone.so"},
        FailingRun{"PluginWithoutEntryPoint",
                   {"--plugin", GLIMMERAX_LIBRARY_PATH, "{wav}"},
                   1,
                   "has no getSoundSystem"},
        // An existing output file is replaced only by a finished WAV.
        FailingRun{
            "MissingPluginWithAnExistingOutput",
            {"--write-wav", "{wav}", "--plugin", "{folder}/libnone.so", "{folder}/other.wav"},
            1,
            "cannot load the sound-system plug-in: {folder}/libnone.so"},
        FailingRun{"UnplayableInputWithAnExistingOutput",
                   {"--write-wav", "{wav}", "{folder}/three.wav"},
                   1,
                   "three.wav has 3 channels"},
        FailingRun{"OutputIsTheInput",
                   {"--write-wav", "{wav}", "{wav}"},
                   2,
                   "--write-wav names the file being played, {folder}/tone.wav"},
        FailingRun{"OutputIsTheInputUnderAnotherName",
                   {"--write-wav", "{folder}/same.wav", "{folder}/./tone.wav"},
                   2,
                   "--write-wav names the file being played, {folder}/./tone.wav"},
        FailingRun{"FullDevice",
                   {"--quiet", "--write-wav", "/dev/full", "{wav}"},
                   1,
                   "cannot write /dev/full: No space left on device\n"}),
    [](const auto& info) { return info.param.name; });

// A device file takes the WAV as it is written.
TEST(PlayerCliTest, PlaysIntoADeviceFile) {
    TempFolder folder;
    const std::filesystem::path wav = folder / "tone.wav";
    writeTone(wav);

    const ProcessResult result = runProcess(kPlayer, {"--write-wav", "/dev/null", wav.string()});

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("glimmerax-play: "), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("sent 0.10 of 0.10 s to the plug-in"), std::string::npos)
        << result.out;
}

}  // namespace
