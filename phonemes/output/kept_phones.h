#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "phone_timeline.h"

namespace phonemes {

// A timeline entry as the output shows it: from its start to where the next entry starts, or
// to the file's end time for the last entry.
struct PhoneInterval {
    std::string label;  // a phone, or the word-end marker
    std::int32_t start;
    std::int32_t end;
};

// The entries that every output form writes: each one that lasts at least the minimum duration
// (difference and minimum compared as unsigned 32-bit numbers, so an entry followed by an
// earlier one is always kept and a negative minimum keeps none), and the last one always.
// Left-out entries are skipped, not merged: the kept ones keep their own times.
std::vector<PhoneInterval> keptPhones(const PhoneTimeline& timeline, std::int32_t minimumDuration);

}  // namespace phonemes
