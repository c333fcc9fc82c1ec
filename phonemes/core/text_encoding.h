#pragma once

// Narrow text: UTF-8 one character at a time, and Windows-1252, the code page in which Windows
// writes text files in Western languages.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace phonemes {

// UTF-16 surrogates, and the first code point that takes two of them.
inline constexpr char32_t kSurrogateFirst = 0xD800;
inline constexpr char32_t kLowSurrogateFirst = 0xDC00;
inline constexpr char32_t kSurrogateLast = 0xDFFF;
inline constexpr char32_t kFirstSupplementary = 0x10000;

struct Utf8Character {
    char32_t codePoint;
    std::size_t length;  // bytes
};

// The character whose UTF-8 sequence starts at text[pos] (pos < text.size()); nullopt when no
// valid sequence starts there (a stray continuation byte, a cut, overlong or surrogate
// sequence, a code point beyond U+10FFFF).
std::optional<Utf8Character> decodeUtf8(std::string_view text, std::size_t pos);

// Appends the code point (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& text, char32_t codePoint);

bool isValidUtf8(std::string_view text);

// The text read as Windows-1252, in UTF-8. The five bytes that the code page leaves undefined
// become the control characters of the same value, as Windows converts them.
std::string windows1252ToUtf8(std::string_view text);

}  // namespace phonemes
