#include "engine/phone_path.h"

#include <gtest/gtest.h>

// Reading a phone grammar's path back into words: which pronunciation each word took, where its
// phones lie, and how far a path that stops early reaches.
namespace phonemes::engine {
namespace {

// "HH:0-4" is the phone HH over frames 0 to 4; "<sil>:5-9" a filler.
std::vector<DecodedSegment> pathOf(std::initializer_list<std::string_view> pieces) {
    std::vector<DecodedSegment> path;
    for (std::string_view piece : pieces) {
        const std::size_t colon = piece.find(':');
        const std::size_t dash = piece.find('-', colon);
        DecodedSegment segment;
        segment.word = std::string(piece.substr(0, colon));
        segment.firstFrame = std::stoi(std::string(piece.substr(colon + 1, dash - colon - 1)));
        segment.lastFrame = std::stoi(std::string(piece.substr(dash + 1)));
        segment.filler = segment.word.starts_with('<');
        path.push_back(segment);
    }
    return path;
}

// Each word as "pronunciation index: first frame of each phone", e.g. "1:0,3".
std::vector<std::string> summaryOf(const std::vector<PathWord>& words) {
    std::vector<std::string> summary;
    for (const PathWord& word : words) {
        std::string text = std::to_string(word.pronunciation);
        text += ':';
        for (std::size_t k = 0; k < word.phones.size(); ++k) {
            if (k > 0) {
                text += ',';
            }
            text += std::to_string(word.phones[k].firstFrame);
        }
        summary.push_back(text);
    }
    return summary;
}

// "and" said as AH N D or AH N, then "do" as D UW: the shorter pronunciation is a beginning of
// the longer, so only the rest of the path tells them apart.
const std::vector<WordPronunciations> kAndDo = {{"AH N D", "AH N"}, {"D UW"}};

struct PathCase {
    std::string name;
    std::vector<DecodedSegment> path;
    std::vector<std::string> expected;

    friend void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }
};

class PhonePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(PhonePath, GivesTheWordsItCoversWithTheirPronunciations) {
    EXPECT_EQ(summaryOf(wordsOfPhonePath(GetParam().path, kAndDo)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PhonePath,
    ::testing::Values(
        PathCase{"longer_pronunciation",
                 pathOf({"<sil>:0-9", "AH:10-14", "N:15-19", "D:20-24", "<sil>:25-29", "D:30-34",
                         "UW:35-44"}),
                 {"0:10,15,20", "0:30,35"}},
        PathCase{"shorter_pronunciation",
                 pathOf({"AH:0-4", "N:5-9", "D:10-14", "UW:15-24", "<sil>:25-30"}),
                 {"1:0,5", "0:10,15"}},
        PathCase{"stops_inside_the_last_word", pathOf({"AH:0-4", "N:5-9", "D:10-14", "D:15-19"}),
                 {"0:0,5,10"}},
        PathCase{"stops_inside_the_first_word", pathOf({"<sil>:0-9", "AH:10-14"}), {}},
        PathCase{"only_fillers", pathOf({"<sil>:0-9"}), {}},
        PathCase{"empty", {}, {}},
        PathCase{"other_phones", pathOf({"K:0-4", "AE:5-9", "T:10-14"}), {}}),
    [](const auto& info) { return info.param.name; });

TEST(PhonePathFrames, AreThePhonesOwn) {
    const auto words = wordsOfPhonePath(pathOf({"AH:3-7", "N:8-9", "D:10-12", "UW:13-30"}), kAndDo);
    ASSERT_EQ(words.size(), 2u);
    ASSERT_EQ(words[0].phones.size(), 2u);
    EXPECT_EQ(words[0].phones[1].firstFrame, 8);
    EXPECT_EQ(words[0].phones[1].lastFrame, 9);
    EXPECT_EQ(words[1].phones[1].lastFrame, 30);
}

}  // namespace
}  // namespace phonemes::engine
