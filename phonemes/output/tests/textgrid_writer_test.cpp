// TextGrids are checked the way their users meet them: Praat itself reads every one back.
#include "textgrid_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace phonemes {
namespace {

using testing::readFile;
using testing::TextGridInterval;

struct TextGridCase {
    const char* name;
    std::vector<PhoneEntry> entries;
    std::vector<WordSpan> words;
    std::uint32_t endTime;
    std::uint32_t audioLength;
    std::int32_t minimum;
    int gridEndMs;
    std::vector<TextGridInterval> intervals;
};

void PrintTo(const TextGridCase& c, std::ostream* os) {
    *os << c.name;
}

TextGridInterval word(int start, int end, const char* label) {
    return {"words", start, end, label};
}
TextGridInterval phone(int start, int end, const char* label) {
    return {"phones", start, end, label};
}

const std::vector<PhoneEntry> kTwoWords = {{"h", 100}, {"eh", 150}, {"l", 250},  {"ow", 300},
                                           {"_", 450}, {"b", 700},  {"iy", 710}, {"_", 900}};
const std::vector<WordSpan> kTwoWordsSpans = {{"Hello,", 100, 450}, {"\"bee\"", 700, 900}};

const TextGridCase kCases[] = {
    {"TwoWordsWithPauses",
     kTwoWords,
     kTwoWordsSpans,
     900,
     1200,
     10,
     1200,
     {word(0, 100, ""), word(100, 450, "Hello,"), word(450, 700, ""), word(700, 900, "\"bee\""),
      word(900, 1200, ""), phone(0, 100, ""), phone(100, 150, "h"), phone(150, 250, "eh"),
      phone(250, 300, "l"), phone(300, 450, "ow"), phone(450, 700, ""), phone(700, 710, "b"),
      phone(710, 900, "iy"), phone(900, 1200, "")}},
    // A phone shorter than the minimum is dropped as in the record; its time is left empty.
    {"MinimumLeavesAGap",
     kTwoWords,
     kTwoWordsSpans,
     900,
     1200,
     20,
     1200,
     {word(0, 100, ""), word(100, 450, "Hello,"), word(450, 700, ""), word(700, 900, "\"bee\""),
      word(900, 1200, ""), phone(0, 100, ""), phone(100, 150, "h"), phone(150, 250, "eh"),
      phone(250, 300, "l"), phone(300, 450, "ow"), phone(450, 710, ""), phone(710, 900, "iy"),
      phone(900, 1200, "")}},
    {"NothingRecognised",
     kTwoWords,
     kTwoWordsSpans,
     0,
     1200,
     10,
     1200,
     {word(0, 1200, ""), phone(0, 1200, "")}},
    {"EmptyAudio", {}, {}, 0, 0, 10, 0, {word(0, 0, ""), phone(0, 0, "")}},
    // Words never go back in time: one that starts before the last ended keeps what is left,
    // and one with nothing left goes.
    {"OverlappingWordsAreClipped",
     {{"aa", 100}, {"_", 400}, {"b", 300}, {"_", 500}, {"k", 350}, {"_", 450}},
     {{"ah", 100, 400}, {"be", 300, 500}, {"key", 350, 450}},
     500,
     600,
     10,
     600,
     {word(0, 100, ""), word(100, 400, "ah"), word(400, 500, "be"), word(500, 600, ""),
      phone(0, 100, ""), phone(100, 400, "aa"), phone(400, 500, "b"), phone(500, 600, "")}},
    // Speech that the decoder placed past the end the stream reported still fits in the grid.
    {"WordsPastTheAudio",
     {{"aa", 100}, {"_", 700}},
     {{"ah", 100, 700}},
     700,
     500,
     10,
     700,
     {word(0, 100, ""), word(100, 700, "ah"), phone(0, 100, ""), phone(100, 700, "aa")}},
};

class TextGridWriter : public ::testing::TestWithParam<TextGridCase> {
  protected:
    TextGridWriter() { inventory.buildWeightLookup(); }
    PhoneInventory inventory;
    testing::TempDir dir;
};

TEST_P(TextGridWriter, PraatReadsTheTiersBack) {
    const TextGridCase& c = GetParam();
    PhoneTimeline timeline(inventory);
    timeline.entries = c.entries;
    timeline.words = c.words;
    timeline.endTime = c.endTime;
    timeline.audioLength = c.audioLength;
    const std::filesystem::path file = dir / "a.TextGrid";
    ASSERT_TRUE(saveTextGrid(file, timeline, c.minimum));
    const testing::PraatTextGrid grid = testing::readTextGridWithPraat(file);
    EXPECT_EQ(grid.endMs, c.gridEndMs);
    EXPECT_EQ(grid.intervals, c.intervals);
}

INSTANTIATE_TEST_SUITE_P(Timelines, TextGridWriter, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextGridPath, ReplacesTheExtensionOfTheBaseName) {
    const std::pair<const char*, const char*> cases[] = {
        {"hello.wav", "grids/hello.TextGrid"},
        {"take.2.flac", "grids/take.2.TextGrid"},
        {"no extension", "grids/no extension.TextGrid"},
        {".hidden", "grids/.hidden.TextGrid"},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(textGridPathFor("grids", name).string(), path);
    }
}

// A name as long as the folder takes (255 bytes) is written too: the temporary file beside it
// has a short name of its own. The TextGrid gets the mode of any new file, and nothing else
// is left in the folder.
TEST(TextGridFile, ANameOfTheLongestLengthIsWrittenWithNothingLeftBeside) {
    PhoneInventory inventory;
    PhoneTimeline timeline(inventory);
    testing::TempDir dir;
    std::ofstream(dir / "plain") << "a file made as usual\n";
    const std::string name = std::string(255 - std::string(".TextGrid").size(), 'L') + ".TextGrid";
    ASSERT_TRUE(saveTextGrid(dir / name, timeline, 10));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{name, "plain"}));
    EXPECT_EQ(std::filesystem::status(dir / name).permissions(),
              std::filesystem::status(dir / "plain").permissions());
    EXPECT_TRUE(readFile(dir / name).starts_with("File type = \"ooTextFile\"\n"));
}

TEST(TextGridFile, AFailedWriteLeavesNothingBehind) {
    PhoneInventory inventory;
    PhoneTimeline timeline(inventory);
    testing::TempDir dir;
    // A folder where the file should be: the rename over it fails.
    std::filesystem::create_directory(dir / "taken.TextGrid");
    EXPECT_FALSE(saveTextGrid(dir / "taken.TextGrid", timeline, 10));
    EXPECT_FALSE(saveTextGrid(dir / "missing" / "a.TextGrid", timeline, 10));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"taken.TextGrid"});
}

}  // namespace
}  // namespace phonemes
