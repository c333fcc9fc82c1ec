#include "kept_phones.h"

namespace phonemes {

std::vector<PhoneInterval> keptPhones(const PhoneTimeline& timeline, std::int32_t minimumDuration) {
    const std::vector<PhoneEntry>& entries = timeline.entries;
    std::vector<PhoneInterval> kept;
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        const std::int32_t next = entries[i + 1].start;
        const std::uint32_t duration =
            static_cast<std::uint32_t>(next) - static_cast<std::uint32_t>(entries[i].start);
        if (duration >= static_cast<std::uint32_t>(minimumDuration)) {
            kept.push_back({entries[i].label, entries[i].start, next});
        }
    }
    if (!entries.empty()) {
        // The end time is the signed 32-bit number it is stored as.
        kept.push_back({entries.back().label, entries.back().start,
                        static_cast<std::int32_t>(timeline.endTime)});
    }
    return kept;
}

}  // namespace phonemes
