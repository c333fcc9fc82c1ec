#include "text_encoding.h"

#include <array>

namespace phonemes {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Windows-1252 at 0x80 to 0x9F, where it differs from Latin-1; 0 where it defines nothing.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};
constexpr unsigned char kWindows1252HighFirst = 0x80;

}  // namespace

std::optional<Utf8Character> decodeUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t trailing = 0;
    char32_t c = 0;
    char32_t smallest = 0;  // below this the sequence is an overlong form
    if (lead < 0x80) {
        return Utf8Character{lead, 1};
    } else if ((lead & 0xE0) == 0xC0) {
        trailing = 1;
        c = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        trailing = 2;
        c = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        trailing = 3;
        c = lead & 0x07;
        smallest = kFirstSupplementary;
    } else {
        return std::nullopt;
    }
    if (trailing > text.size() - pos - 1) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k <= trailing; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if (!isContinuation(next)) {
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < smallest || c > kMaxCodePoint || (c >= kSurrogateFirst && c <= kSurrogateLast)) {
        return std::nullopt;
    }
    return Utf8Character{c, trailing + 1};
}

void appendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (c >> 6)));
        text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < kFirstSupplementary) {
        text.push_back(static_cast<char>(0xE0 | (c >> 12)));
        text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (c >> 18)));
        text.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<Utf8Character> character = decodeUtf8(text, i);
        if (!character) {
            return false;
        }
        i += character->length;
    }
    return true;
}

std::string windows1252ToUtf8(std::string_view text) {
    std::string converted;
    converted.reserve(text.size() * 2);
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        char32_t c = value;
        if (value >= kWindows1252HighFirst) {
            const std::size_t index = value - kWindows1252HighFirst;
            if (index < kWindows1252High.size() && kWindows1252High[index] != 0) {
                c = kWindows1252High[index];
            }
        }
        appendUtf8(converted, c);
    }
    return converted;
}

}  // namespace phonemes
