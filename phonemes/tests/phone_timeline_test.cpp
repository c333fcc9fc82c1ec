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

TEST(PhoneTimeline, WordsStayInCallOrderAndClearResets) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    PhoneTimeline timeline(inventory);
    timeline.addWord("s", 500, 100);
    timeline.addWord("t", 200, 100);
    timeline.endTime = 900;
    ASSERT_EQ(timeline.entries.size(), 4u);
    EXPECT_EQ(timeline.entries[0].start, 500);
    EXPECT_EQ(timeline.entries[2].start, 200);

    timeline.clear();
    EXPECT_TRUE(timeline.entries.empty());
    EXPECT_EQ(timeline.endTime, 0u);
}

}  // namespace
}  // namespace phonemes
