#include "engine/phone_set.h"

#include <gtest/gtest.h>

#include <set>

namespace phonemes::engine {
namespace {

TEST(PhoneSet, IdsRunFromOneThroughFortyAndNameTheirPhones) {
    std::set<std::string_view> seen;
    for (PhoneId id = 1; id <= kPhoneCount; ++id) {
        const std::string_view name = phoneNameOf(id);
        ASSERT_FALSE(name.empty()) << id;
        EXPECT_EQ(phoneIdOf(name), id) << name;
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), kPhoneCount);
    EXPECT_EQ(phoneNameOf(kPhoneIdEnd), "");
    EXPECT_EQ(phoneNameOf(kPhoneCount + 1), "");
    EXPECT_EQ(phoneNameOf(0xFFFF), "");
}

TEST(PhoneSet, KnowsOnlyTheFortyNamesExactly) {
    for (std::string_view name : {"aa", "ax", "h", "ng", "zh"}) {
        EXPECT_TRUE(phoneIdOf(name)) << name;
    }
    for (std::string_view name : {"hh", "AA", "aa ", "", "sil", "_"}) {
        EXPECT_FALSE(phoneIdOf(name)) << name;
    }
}

struct PronunciationCase {
    std::string_view pronunciation;
    std::string_view names;  // empty with `valid` false: refused
    bool valid;

    friend void PrintTo(const PronunciationCase& c, std::ostream* out) {
        *out << '"' << c.pronunciation << '"';
    }
};

class DictionaryPronunciation : public ::testing::TestWithParam<PronunciationCase> {};

TEST_P(DictionaryPronunciation, BecomesPhoneNamesOfTheSet) {
    const PronunciationCase& c = GetParam();
    const auto ids = phoneIdsOfPronunciation(c.pronunciation);
    ASSERT_EQ(ids.has_value(), c.valid);
    if (c.valid) {
        EXPECT_EQ(phoneNamesOf(*ids), c.names);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DictionaryPronunciation,
                         ::testing::Values(PronunciationCase{"HH AH L OW", "h ah l ow", true},
                                           PronunciationCase{"  JH  ER\tZH ", "jh er zh", true},
                                           PronunciationCase{"ng Th", "ng th", true},
                                           PronunciationCase{"", "", true},
                                           PronunciationCase{"HH SIL OW", "", false},
                                           PronunciationCase{"AH0", "", false}));

TEST(PhoneSet, NamesOfIdsRefuseAnIdOutsideTheSet) {
    const std::vector<PhoneId> ids = {*phoneIdOf("w"), *phoneIdOf("er"), *phoneIdOf("d")};
    EXPECT_EQ(phoneNamesOf(ids), "w er d");
    const std::vector<PhoneId> withUnknown = {*phoneIdOf("w"), 41};
    EXPECT_FALSE(phoneNamesOf(withUnknown));
}

}  // namespace
}  // namespace phonemes::engine
