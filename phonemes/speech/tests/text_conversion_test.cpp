// Narrow text (UTF-8) to the platform's UTF-16 and back: exact for any bytes, and refusing wide
// text that has no narrow form.
#include <gtest/gtest.h>

#include "text_conversion.h"

namespace phonemes {
namespace {

struct TextPair {
    std::string name;
    std::string narrow;
    std::u16string wide;

    friend void PrintTo(const TextPair& c, std::ostream* os) { *os << c.name; }
};

class RoundTrip : public ::testing::TestWithParam<TextPair> {};

TEST_P(RoundTrip, ConvertsBothWays) {
    EXPECT_EQ(toWideText(GetParam().narrow), GetParam().wide);
    EXPECT_EQ(toNarrowText(GetParam().wide), GetParam().narrow);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RoundTrip,
    ::testing::Values(TextPair{"Empty", "", u""}, TextPair{"Ascii", "hh ax l ow", u"hh ax l ow"},
                      TextPair{"TwoBytes", "caf\xC3\xA9", u"caf\u00E9"},
                      TextPair{"ThreeBytes",
                               "\xE2\x82\xAC"
                               "5",
                               u"\u20AC5"},
                      TextPair{"FourBytesBecomeASurrogatePair", "\xF0\x9D\x84\x9E", u"\U0001D11E"},
                      TextPair{"HighestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
                      TextPair{"EmbeddedNul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return info.param.name; });

// Bytes that are no part of a UTF-8 character each become a lone surrogate U+DC80 to U+DCFF
// and come back unchanged, so a name in any encoding survives the platform's wide text.
INSTANTIATE_TEST_SUITE_P(
    UndecodableBytes, RoundTrip,
    ::testing::Values(TextPair{"Latin1Byte", "caf\xE9", u"caf\xDCE9"},
                      TextPair{"LoneTrailByte", "\x80", u"\xDC80"},
                      TextPair{"Truncated", "ab\xE2\x82", u"ab\xDCE2\xDC82"},
                      TextPair{"Overlong", "\xC0\xAF", u"\xDCC0\xDCAF"},
                      TextPair{"OverlongThreeBytes", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
                      TextPair{"EncodedSurrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
                      TextPair{"BeyondUnicode", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
                      TextPair{"FiveByteLead", "\xF8\x88\x80\x80\x80",
                               u"\xDCF8\xDC88\xDC80\xDC80\xDC80"},
                      TextPair{"BetweenCharacters", "\xC3\xA9\xFF\xC3\xA9", u"\u00E9\xDCFF\u00E9"}),
    [](const auto& info) { return info.param.name; });

struct BrokenWide {
    std::string name;
    std::u16string text;

    friend void PrintTo(const BrokenWide& c, std::ostream* os) { *os << c.name; }
};

class BrokenWideText : public ::testing::TestWithParam<BrokenWide> {};

TEST_P(BrokenWideText, FailsTheConversion) {
    EXPECT_EQ(toNarrowText(GetParam().text), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Units, BrokenWideText,
                         ::testing::Values(BrokenWide{"LoneHigh", u"a\xD834"},
                                           BrokenWide{"EscapeOfAnAsciiByte", u"a\xDC7F"},
                                           BrokenWide{"LoneLow",
                                                      u"\xDD1E"
                                                      u"a"},
                                           BrokenWide{"HighThenLetter",
                                                      u"\xD834"
                                                      u"a"},
                                           BrokenWide{"TwoHighs", u"\xD834\xD834"}),
                         [](const auto& info) { return info.param.name; });

TEST(CodePageConversion, ReportsTheSizeNeededAndNeverWritesPastTheBuffer) {
    // -1: up to and including the terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, "caf\xC3\xA9", -1, nullptr, 0), 5);
    char16_t wide[5] = {u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, "caf\xC3\xA9", -1, wide, 4), 0);  // too small
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, "caf\xC3\xA9", -1, wide, 5), 5);
    EXPECT_EQ(std::u16string(wide), u"caf\u00E9");

    EXPECT_EQ(WideCharToMultiByte(CP_ACP, u"caf\u00E9", 4, nullptr, 0), 5);
    char narrow[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, u"caf\u00E9", 4, narrow, 4), 0);
    EXPECT_EQ(std::string(narrow, 4), "xxxx");

    EXPECT_EQ(MultiByteToWideChar(CP_ACP, "caf\xE9", 4, wide, 5), 4);
    EXPECT_EQ(std::u16string(wide, 4), u"caf\xDCE9");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, u"caf\xDCE9", 4, narrow, 4), 4);
    EXPECT_EQ(std::string(narrow, 4), "caf\xE9");

    constexpr std::uint32_t kLatin1 = 1252;  // not a code page of this system
    EXPECT_EQ(MultiByteToWideChar(kLatin1, "a", 1, wide, 5), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, "", 0, wide, 5), 0);
}

}  // namespace
}  // namespace phonemes
