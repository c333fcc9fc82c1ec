#include "PlayerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using glimmerax::parsePlayerOptions;
using glimmerax::PlayerOptions;
using glimmerax::TimedHold;
using glimmerax::UsageError;

TEST(PlayerOptionsTest, ReadsEveryOptionInBothSpellings) {
    const PlayerOptions options =
        parsePlayerOptions({"--write-wav", "out.wav", "--pause=2:0.5", "--stall", "1.25:3",
                            "--pause", "0.5:1", "--plugin=/opt/libbelvane.so", "-q", "in.ogg"});
    EXPECT_EQ(options.input, "in.ogg");
    EXPECT_EQ(options.wavOutput, "out.wav");
    EXPECT_EQ(options.plugin, "/opt/libbelvane.so");
    EXPECT_TRUE(options.quiet);
    EXPECT_FALSE(options.help);
    // Kept in the order they come due, whatever the order given.
    EXPECT_EQ(options.pauses, (std::vector<TimedHold>{{0.5, 1.0}, {2.0, 0.5}}));
    EXPECT_EQ(options.stalls, (std::vector<TimedHold>{{1.25, 3.0}}));
}

TEST(PlayerOptionsTest, DefaultsPlayToTheSoundCardWithTheInstalledPlugin) {
    const PlayerOptions options = parsePlayerOptions({"in.wav"});
    EXPECT_FALSE(options.wavOutput);
    EXPECT_FALSE(options.plugin);
    EXPECT_TRUE(options.pauses.empty());
    EXPECT_TRUE(options.stalls.empty());
    EXPECT_FALSE(options.quiet);
}

TEST(PlayerOptionsTest, DoubleDashEndsTheOptions) {
    EXPECT_EQ(parsePlayerOptions({"--", "--quiet"}).input, "--quiet");
}

TEST(PlayerOptionsTest, HelpNeedsNoFile) {
    EXPECT_TRUE(parsePlayerOptions({"--help"}).help);
    EXPECT_TRUE(parsePlayerOptions({"-h", "a.wav", "b.wav"}).help);
}

TEST(PlayerOptionsTest, VersionNeedsNoFile) {
    EXPECT_TRUE(parsePlayerOptions({"--version"}).version);
    EXPECT_TRUE(parsePlayerOptions({"a.wav", "--version", "b.wav"}).version);
    EXPECT_FALSE(parsePlayerOptions({"a.wav"}).version);
}

struct BadCommandLine {
    std::vector<std::string> arguments;
    std::string message;
};

void PrintTo(const BadCommandLine& commandLine, std::ostream* out) {
    for (const std::string& argument : commandLine.arguments) {
        *out << argument << ' ';
    }
}

class PlayerOptionsErrorTest : public ::testing::TestWithParam<BadCommandLine> {};

TEST_P(PlayerOptionsErrorTest, SaysWhatIsWrong) {
    try {
        parsePlayerOptions(GetParam().arguments);
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, PlayerOptionsErrorTest,
    ::testing::Values(BadCommandLine{{}, "no audio file given"},
                      BadCommandLine{{"a.wav", "b.wav"}, "one audio file at a time, not 2"},
                      BadCommandLine{{"--volume", "3", "a.wav"}, "unknown option --volume"},
                      BadCommandLine{{"a.wav", "--write-wav"}, "--write-wav needs a value"},
                      BadCommandLine{{"--write-wav=", "a.wav"}, "--write-wav needs a value"},
                      BadCommandLine{{"--pause", "3", "a.wav"},
                                     "--pause needs AT:LEN in seconds (LEN above 0), not '3'"},
                      BadCommandLine{{"--pause", "1:0", "a.wav"},
                                     "--pause needs AT:LEN in seconds (LEN above 0), not '1:0'"},
                      BadCommandLine{{"--stall", "-1:2", "a.wav"},
                                     "--stall needs AT:LEN in seconds (LEN above 0), not '-1:2'"},
                      BadCommandLine{{"--stall", "1:2s", "a.wav"},
                                     "--stall needs AT:LEN in seconds (LEN above 0), not '1:2s'"},
                      BadCommandLine{
                          {"--stall", "nan:1", "a.wav"},
                          "--stall needs AT:LEN in seconds (LEN above 0), not 'nan:1'"}));

}  // namespace
