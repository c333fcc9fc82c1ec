#pragma once

#include <cstdint>
#include <span>
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

// A recognised word as shown (recognised text, or the transcript's own spelling) and the
// stretch of audio it covers, in milliseconds.
struct WordSpan {
    std::string text;
    std::int32_t start;
    std::int32_t end;
};

// Pieces of text between separators: n separators always give n + 1 pieces.
std::vector<std::string> splitString(std::string_view text, char separator);

// The timed phones of the file being processed and the end of its latest result.
class PhoneTimeline {
  public:
    explicit PhoneTimeline(const PhoneInventory& inventory) : inventory_(inventory) {}

    // Appends one entry per phone of a word, its duration spread by the phone weights, then
    // the word-end marker at start + duration. phones may be null (treated as empty).
    // The word's text, when given, is kept in words.
    void addWord(const char* phones, std::int32_t start, std::uint32_t duration,
                 std::string_view text = {});
    void addWord(std::string_view phones, std::int32_t start, std::uint32_t duration,
                 std::string_view text = {});
    // Appends a word whose phones were placed against the audio: each phone at its own start,
    // the word-end marker at end (where the last phone ends). False, and nothing added, when
    // the number of starts differs from the number of phones.
    bool addAlignedWord(std::string_view phones, std::span<const std::int32_t> phoneStarts,
                        std::int32_t end, std::string_view text = {});

    void clear();

    std::vector<PhoneEntry> entries;
    std::uint32_t endTime = 0;      // 0: no result timed for this file
    std::vector<WordSpan> words;    // every word added, in the order added
    std::uint32_t audioLength = 0;  // milliseconds of audio in the file, once its end is known

  private:
    const PhoneInventory& inventory_;
};

}  // namespace phonemes
