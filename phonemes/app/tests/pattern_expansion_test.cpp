#include <gtest/gtest.h>

#include "command_line.h"
#include "platform.h"
#include "test_support.h"

namespace phonemes {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;

class PatternExpansion : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"b.wav", "a.wav", "A.wav", "c.txt", ".hidden.wav", "[ab].wav",
                                 "\xc3\xbc.wav" /* ü */, "with space.wav"}) {
            dir.write(name, "x");
        }
        fs::create_directory(dir / "sub.wav");
        dir.write("sub.wav/inner.wav", "x");
    }

    std::string full(const std::string& name) const { return (dir.path() / name).string(); }
    std::vector<std::string> expand(const std::string& pattern) const {
        return expandPattern(full(pattern));
    }

    TempDir dir;
};

TEST_F(PatternExpansion, MatchesAreSortedByteWiseAndIncludeDirectories) {
    EXPECT_EQ(expand("*.wav"), (std::vector<std::string>{
                                   full("A.wav"), full("[ab].wav"), full("a.wav"), full("b.wav"),
                                   full("sub.wav"), full("with space.wav"), full("\xc3\xbc.wav")}));
}

TEST_F(PatternExpansion, QuestionMarkStandsForOneCharacter) {
    EXPECT_EQ(expand("?.wav"), (std::vector<std::string>{full("A.wav"), full("a.wav"),
                                                         full("b.wav"), full("\xc3\xbc.wav")}));
}

TEST_F(PatternExpansion, HiddenEntriesOnlyForPatternsStartingWithADot) {
    EXPECT_EQ(expand(".*"), std::vector<std::string>{full(".hidden.wav")});
    EXPECT_EQ(expand("*hidden*"), std::vector<std::string>{});
}

TEST_F(PatternExpansion, BracketsAndLiteralNamesAreMatchedAsWritten) {
    EXPECT_EQ(expand("[ab].wav"), std::vector<std::string>{full("[ab].wav")});
    EXPECT_EQ(expand("a.wav"), std::vector<std::string>{full("a.wav")});
    EXPECT_EQ(expand("with space.wav"), std::vector<std::string>{full("with space.wav")});
}

TEST_F(PatternExpansion, NoMatchAddsNothing) {
    EXPECT_TRUE(expand("*.mp3").empty());
    EXPECT_TRUE(expand("missing/*.wav").empty());
    EXPECT_TRUE(expand("").empty());
    EXPECT_TRUE(expandPattern(full("sub.wav") + "/").empty());
}

TEST_F(PatternExpansion, WildcardsInTheDirectoryPartAreLiteral) {
    EXPECT_TRUE(expand("s*/inner.wav").empty());
}

TEST_F(PatternExpansion, DirectoryPartIsNormalisedAndBackslashSeparates) {
    EXPECT_EQ(expandPattern(full("sub.wav") + "/../sub.wav/./i*"),
              std::vector<std::string>{full("sub.wav/inner.wav")});
    EXPECT_EQ(expandPattern(full("sub.wav") + "\\inner.wav"),
              std::vector<std::string>{full("sub.wav/inner.wav")});
}

TEST_F(PatternExpansion, RelativePatternsAreMadeAbsolute) {
    fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    std::vector<std::string> here = expandPattern("b.*");
    std::vector<std::string> below = expandPattern("sub.wav/*");
    fs::current_path(previous);
    EXPECT_EQ(here, std::vector<std::string>{full("b.wav")});
    EXPECT_EQ(below, std::vector<std::string>{full("sub.wav/inner.wav")});
}

TEST_F(PatternExpansion, CommandLineKeepsDuplicatesInArgumentOrder) {
    CommandLine parsed =
        parseCommandLine({full("b.wav"), "-x", full("?.wav"), full("nothing*"), full("b.wav")});
    EXPECT_TRUE(parsed.options.xmlFormat);
    EXPECT_EQ(parsed.inputFiles,
              (std::vector<std::string>{full("b.wav"), full("A.wav"), full("a.wav"), full("b.wav"),
                                        full("\xc3\xbc.wav"), full("b.wav")}));
}

TEST(Wildcard, MatchesStarsAndQuestionMarks) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*", "", true},
        {"*", "abc", true},
        {"a*c", "abbbc", true},
        {"a*c", "abcd", false},
        {"*.wav", "x.wav.wav", true},
        {"?", "", false},
        {"??", "\xc3\xbc", false},
        {"a?c", "abc", true},
        {"*a*a", "banana", true},
        {"abc", "ABC", false},
        {"", "", true},
        {"", "a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

TEST(BaseName, IsCutAtEitherSeparator) {
    EXPECT_EQ(baseNameOf("C:\\data\\a.wav"), "a.wav");
    EXPECT_EQ(baseNameOf("/data/a.wav"), "a.wav");
    EXPECT_EQ(baseNameOf("a.wav"), "a.wav");
    EXPECT_EQ(baseNameOf("dir/"), "");
}

}  // namespace
}  // namespace phonemes
