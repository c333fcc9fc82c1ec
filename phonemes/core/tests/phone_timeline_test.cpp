#include "phone_timeline.h"

#include <gtest/gtest.h>

namespace phonemes {
namespace {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

TEST(SplitString, NSeparatorsGiveNPlusOnePieces) {
    const struct {
        const char* text;
        std::vector<std::string> pieces;
    } cases[] = {
        {"h eh l ow", {"h", "eh", "l", "ow"}},
        {"a  b", {"a", "", "b"}},
        {" a ", {"", "a", ""}},
        {"", {""}},
        {"a\tb", {"a\tb"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitString(c.text, ' '), c.pieces) << "'" << c.text << "'";
    }
}

struct WordCase {
    const char* name;
    const char* phones;  // null: the phone string is absent
    std::int32_t start;
    std::uint32_t duration;
    Entries expected;
};

void PrintTo(const WordCase& c, std::ostream* os) {
    *os << c.name;
}

class AddWord : public ::testing::TestWithParam<WordCase> {
  protected:
    AddWord() { inventory.buildWeightLookup(); }
    PhoneInventory inventory;
};

TEST_P(AddWord, SpreadsTheDurationByWeight) {
    const WordCase& c = GetParam();
    PhoneTimeline timeline(inventory);
    timeline.addWord(c.phones, c.start, c.duration);
    Entries got;
    for (const PhoneEntry& entry : timeline.entries) {
        got.emplace_back(entry.label, entry.start);
    }
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, AddWord,
    ::testing::Values(
        WordCase{"Worked",
                 "h eh l ow",
                 100,
                 350,
                 {{"h", 100}, {"eh", 150}, {"l", 250}, {"ow", 300}, {"_", 450}}},
        WordCase{"TruncatedNotCarried", "d ow", 0, 10, {{"d", 0}, {"ow", 2}, {"_", 10}}},
        WordCase{"TrailingSpaceGivesEmptyPieceAtTheEnd",
                 "d ow ",
                 0,
                 10,
                 {{"d", 0}, {"ow", 2}, {"", 10}, {"_", 10}}},
        WordCase{"UnknownPieceTakesTheNextStart",
                 "d XX ow",
                 0,
                 10,
                 {{"d", 0}, {"XX", 2}, {"ow", 2}, {"_", 10}}},
        WordCase{"ZeroDuration", "h eh", 70, 0, {{"h", 70}, {"eh", 70}, {"_", 70}}},
        WordCase{"SinglePhone", "s", 5, 40, {{"s", 5}, {"_", 45}}},
        WordCase{"EmptyPhoneString", "", 30, 20, {{"", 30}, {"_", 50}}},
        WordCase{"AbsentPhoneString", nullptr, 30, 20, {{"", 30}, {"_", 50}}},
        // The weighted product wraps at 32 bits like every other time computation.
        WordCase{"ProductWrapsAt32Bits",
                 "aa aa",
                 0,
                 0x80000000u,
                 {{"aa", 0}, {"aa", 357913941}, {"_", INT32_MIN}}},
        WordCase{"OnlyUnknownPieces", "X Y", 30, 20, {{"X", 30}, {"Y", 30}, {"_", 50}}}),
    [](const ::testing::TestParamInfo<WordCase>& info) { return info.param.name; });

TEST(PhoneTimeline, AlignedWordPutsEachPhoneAtItsOwnStartAndTheMarkerAtTheEnd) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    PhoneTimeline timeline(inventory);
    const std::int32_t starts[] = {100, 130, 210, 260};
    EXPECT_TRUE(timeline.addAlignedWord("h eh l ow", starts, 420, "Hello,"));
    Entries got;
    for (const PhoneEntry& entry : timeline.entries) {
        got.emplace_back(entry.label, entry.start);
    }
    EXPECT_EQ(got, (Entries{{"h", 100}, {"eh", 130}, {"l", 210}, {"ow", 260}, {"_", 420}}));
    ASSERT_EQ(timeline.words.size(), 1u);
    EXPECT_EQ(timeline.words[0].text, "Hello,");
    EXPECT_EQ(timeline.words[0].start, 100);
    EXPECT_EQ(timeline.words[0].end, 420);

    // Starts that do not match the phones one to one place nothing.
    EXPECT_FALSE(timeline.addAlignedWord("h eh", starts, 420, "he"));
    EXPECT_FALSE(timeline.addAlignedWord("", {}, 420, ""));
    EXPECT_EQ(timeline.entries.size(), 5u);
    EXPECT_EQ(timeline.words.size(), 1u);
}

TEST(PhoneTimeline, WordsStayInCallOrderAndClearResets) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    PhoneTimeline timeline(inventory);
    timeline.addWord("s", 500, 100, "ess");
    timeline.addWord("t", 200, 100, "tee");
    timeline.endTime = 900;
    timeline.audioLength = 1000;
    ASSERT_EQ(timeline.entries.size(), 4u);
    EXPECT_EQ(timeline.entries[0].start, 500);
    EXPECT_EQ(timeline.entries[2].start, 200);
    ASSERT_EQ(timeline.words.size(), 2u);
    EXPECT_EQ(timeline.words[1].text, "tee");
    EXPECT_EQ(timeline.words[1].end, 300);

    timeline.clear();
    EXPECT_TRUE(timeline.entries.empty());
    EXPECT_TRUE(timeline.words.empty());
    EXPECT_EQ(timeline.endTime, 0u);
    EXPECT_EQ(timeline.audioLength, 0u);
}

}  // namespace
}  // namespace phonemes
