#include "phone_timeline.h"

namespace phonemes {

std::vector<std::string> splitString(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t position;
    while ((position = text.find(separator)) != std::string_view::npos) {
        pieces.emplace_back(text.substr(0, position));
        text.remove_prefix(position + 1);
    }
    pieces.emplace_back(text);
    return pieces;
}

void PhoneTimeline::addWord(const char* phones, std::int32_t start, std::uint32_t duration,
                            std::string_view text) {
    addWord(std::string_view(phones ? phones : ""), start, duration, text);
}

namespace {

// Times are 32-bit millisecond counts with wrap-around arithmetic, as the records expect.
std::int32_t offsetBy(std::int32_t start, std::uint32_t delta) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(start) + delta);
}

}  // namespace

void PhoneTimeline::addWord(std::string_view phones, std::int32_t start, std::uint32_t duration,
                            std::string_view text) {
    std::vector<std::string> pieces = splitString(phones, ' ');
    std::uint32_t total = 0;
    for (const std::string& piece : pieces) {
        total += static_cast<std::uint32_t>(inventory_.weightOf(piece));
    }
    std::uint32_t before = 0;
    for (std::string& piece : pieces) {
        // A word whose pieces all weigh nothing has every piece at its start.
        std::uint32_t share = total == 0 ? 0 : (before * duration) / total;
        before += static_cast<std::uint32_t>(inventory_.weightOf(piece));
        entries.push_back({std::move(piece), offsetBy(start, share)});
    }
    entries.push_back({std::string(kWordEndMarker), offsetBy(start, duration)});
    words.push_back({std::string(text), start, offsetBy(start, duration)});
}

bool PhoneTimeline::addAlignedWord(std::string_view phones,
                                   std::span<const std::int32_t> phoneStarts, std::int32_t end,
                                   std::string_view text) {
    std::vector<std::string> pieces = splitString(phones, ' ');
    if (pieces.size() != phoneStarts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        entries.push_back({std::move(pieces[i]), phoneStarts[i]});
    }
    entries.push_back({std::string(kWordEndMarker), end});
    words.push_back({std::string(text), phoneStarts.front(), end});
    return true;
}

void PhoneTimeline::clear() {
    entries.clear();
    endTime = 0;
    words.clear();
    audioLength = 0;
}

}  // namespace phonemes
