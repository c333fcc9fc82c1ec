#include "output_text.h"

#include <gtest/gtest.h>

namespace phonemes {
namespace {

TEST(SecondsText, MillisecondsBecomeSecondsWithoutTrailingZeros) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0.0"},
        {1, "0.001"},
        {41, "0.041"},
        {290, "0.29"},
        {1000, "1.0"},
        {1955, "1.955"},
        {-40, "-0.04"},
        {-2000, "-2.0"},
        {2147483647, "2147483.647"},
        {-2147483648LL, "-2147483.648"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(secondsText(ms), text) << ms;
    }
}

TEST(ValidUtf8, KeepsValidSequencesAndReplacesEveryOtherByte) {
    const std::string kReplacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"hello.wav", "hello.wav"},
        {"caf\xC3\xA9 \xE2\x84\x96 \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x84\x96 \xF0\x9F\x8E\xB5"},
        {"h\xE9llo", "h" + kReplacement + "llo"},                      // Latin-1
        {"\xC0\xAF", kReplacement + kReplacement},                     // overlong '/'
        {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},  // a surrogate
        {"\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        {"cut \xE2\x84", "cut " + kReplacement + kReplacement},  // sequence cut short
        {std::string("nul\0in", 6), std::string("nul\0in", 6)},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(validUtf8(text), expected) << text;
    }
}

}  // namespace
}  // namespace phonemes
