#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text as the JSON and TextGrid outputs write it.
namespace phonemes {

// The text with every byte that is not part of a valid UTF-8 sequence replaced by U+FFFD, so
// that formats that must be UTF-8 stay readable whatever bytes a name or word holds.
std::string validUtf8(std::string_view text);

// Milliseconds as seconds with up to three decimals and at least one: 0 gives "0.0", 290 gives
// "0.29", 1955 gives "1.955", -40 gives "-0.04".
std::string secondsText(std::int64_t milliseconds);

// A JSON string: quotes, backslashes and control characters escaped, valid UTF-8 inside.
std::string jsonString(std::string_view text);

}  // namespace phonemes
