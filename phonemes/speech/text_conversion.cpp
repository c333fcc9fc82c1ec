#include "text_conversion.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "text_encoding.h"

namespace phonemes {
namespace {

// A byte that is no part of a UTF-8 character travels as the lone low surrogate U+DC80 to
// U+DCFF (the byte's value plus kByteEscapeBase). Bytes below 0x80 are always characters.
constexpr char32_t kByteEscapeBase = 0xDC00;
constexpr char32_t kByteEscapeFirst = kByteEscapeBase + 0x80;
constexpr char32_t kByteEscapeLast = kByteEscapeBase + 0xFF;

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::optional<Utf8Character> character = decodeUtf8(text, i);
        if (!character) {
            wide.push_back(
                static_cast<char16_t>(kByteEscapeBase + static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        char32_t c = character->codePoint;
        if (c >= kFirstSupplementary) {
            c -= kFirstSupplementary;
            wide.push_back(static_cast<char16_t>(kSurrogateFirst + (c >> 10)));
            wide.push_back(static_cast<char16_t>(kLowSurrogateFirst + (c & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(c));
        }
        i += character->length;
    }
    return wide;
}

std::optional<std::string> utf16ToUtf8(std::u16string_view wide) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= kByteEscapeFirst && c <= kByteEscapeLast) {
            text.push_back(static_cast<char>(c - kByteEscapeBase));
            continue;
        }
        if (c >= kLowSurrogateFirst && c <= kSurrogateLast) {
            return std::nullopt;  // a low surrogate without its high one, and no byte escape
        }
        if (c >= kSurrogateFirst && c < kLowSurrogateFirst) {
            if (i + 1 == wide.size()) {
                return std::nullopt;
            }
            const char32_t low = wide[i + 1];
            if (low < kLowSurrogateFirst || low > kSurrogateLast) {
                return std::nullopt;
            }
            c = kFirstSupplementary + ((c - kSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
            ++i;
        }
        appendUtf8(text, c);
    }
    return text;
}

bool isAnsiCodePage(std::uint32_t codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

// Copies a converted text out the way both conversion functions report it.
template <class Unit, class Text>
int deliver(const std::optional<Text>& converted, Unit* out, int capacity) {
    if (!converted || converted->empty() ||
        converted->size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return 0;
    }
    const int needed = static_cast<int>(converted->size());
    if (capacity == 0) {
        return needed;
    }
    if (needed > capacity) {
        return 0;
    }
    std::copy(converted->begin(), converted->end(), out);
    return needed;
}

bool validArguments(std::uint32_t codePage, const void* in, int length, const void* out,
                    int capacity) {
    return isAnsiCodePage(codePage) && in != nullptr && length >= -1 && length != 0 &&
           capacity >= 0 && (capacity == 0 || out != nullptr);
}

}  // namespace

int MultiByteToWideChar(std::uint32_t codePage, const char* text, int length, char16_t* wide,
                        int capacity) {
    if (!validArguments(codePage, text, length, wide, capacity)) {
        return 0;
    }
    // A length of -1 takes the terminator along, and it comes out converted.
    const std::string_view in(
        text, length == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(length));
    return deliver(std::optional(utf8ToUtf16(in)), wide, capacity);
}

int WideCharToMultiByte(std::uint32_t codePage, const char16_t* wide, int length, char* text,
                        int capacity) {
    if (!validArguments(codePage, wide, length, text, capacity)) {
        return 0;
    }
    const std::u16string_view in(wide, length == -1 ? std::char_traits<char16_t>::length(wide) + 1
                                                    : static_cast<std::size_t>(length));
    return deliver(utf16ToUtf8(in), text, capacity);
}

std::optional<std::u16string> toWideText(std::string_view text) {
    return utf8ToUtf16(text);
}

std::optional<std::string> toNarrowText(std::u16string_view text) {
    return utf16ToUtf8(text);
}

}  // namespace phonemes
