#include "engine/spoken_variants.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace phonemes::engine {
namespace {

struct VariantCase {
    const char* name;
    std::vector<std::string> dictionary;
    std::vector<std::string> spoken;
};

class SpokenVariants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(SpokenVariants, DropAFinalTOrDAfterAConsonantOnly) {
    EXPECT_EQ(spokenVariantsOf(GetParam().dictionary), GetParam().spoken);
}

INSTANTIATE_TEST_SUITE_P(
    Words, SpokenVariants,
    ::testing::Values(
        VariantCase{"and", {"AH N D", "AE N D"}, {"AH N", "AE N"}},
        VariantCase{"last", {"L AE S T"}, {"L AE S"}},
        // After a vowel the stop is what tells the word apart; a doubled stop stays too.
        VariantCase{"cat", {"K AE T"}, {}}, VariantCase{"added", {"AE D AH D"}, {}},
        // Too short to lose a phone, and nothing that the dictionary has already.
        VariantCase{"nd", {"N D"}, {}}, VariantCase{"went", {"W EH N T", "W EH N"}, {}},
        VariantCase{"none", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace phonemes::engine
