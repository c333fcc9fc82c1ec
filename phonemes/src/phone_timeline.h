#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "phone_inventory.h"

namespace phonemes {

struct PhoneEntry {
    std::string label;   // a phone name, or the word-end marker "_"
    std::int32_t start;  // milliseconds from the start of the audio
};

inline constexpr std::string_view kWordEndMarker = "_";

// Pieces of text between separators: n separators always give n + 1 pieces.
std::vector<std::string> splitString(std::string_view text, char separator);

// The timed phones of the file being processed and the end of its latest result.
class PhoneTimeline {
  public:
    explicit PhoneTimeline(const PhoneInventory& inventory) : inventory_(inventory) {}

    // Appends one entry per phone of a word, its duration spread by the phone weights, then
    // the word-end marker at start + duration. phones may be null (treated as empty).
    void addWord(const char* phones, std::int32_t start, std::uint32_t duration);
    void addWord(std::string_view phones, std::int32_t start, std::uint32_t duration);

    void clear();

    std::vector<PhoneEntry> entries;
    std::uint32_t endTime = 0;  // 0: no result timed for this file

  private:
    const PhoneInventory& inventory_;
};

}  // namespace phonemes
