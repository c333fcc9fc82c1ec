#pragma once

// Conversion between the program's narrow text and the platform's UTF-16 text. The system's
// ANSI code page (CP_ACP) is UTF-8 here, and like a Windows ANSI code page it gives every byte a
// wide form: a byte that is no part of a UTF-8 character (a file name in another encoding, say)
// becomes the lone surrogate U+DC80 to U+DCFF and turns back into the same byte, so any narrow
// text survives the way there and back. UTF-16 text with any other unpaired surrogate has no
// narrow form and fails the conversion. As with Python's surrogateescape, escapes that spell a
// UTF-8 character come back as that character.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace phonemes {

inline constexpr std::uint32_t CP_ACP = 0;
inline constexpr std::uint32_t CP_UTF8 = 65001;

// Converts length bytes of text (-1: up to and including its terminator) into at most
// capacity units of wide. Returns the number of units written, or with a capacity of 0 the
// number needed; 0 when the conversion fails, the code page is unknown, the input is empty
// or the capacity is too small.
int MultiByteToWideChar(std::uint32_t codePage, const char* text, int length, char16_t* wide,
                        int capacity);
// The same from UTF-16 to narrow text.
int WideCharToMultiByte(std::uint32_t codePage, const char16_t* wide, int length, char* text,
                        int capacity);

// Whole-text forms of the two conversions with CP_ACP; empty text converts to empty text.
// toWideText always gives a text.
std::optional<std::u16string> toWideText(std::string_view text);
std::optional<std::string> toNarrowText(std::u16string_view text);

}  // namespace phonemes
