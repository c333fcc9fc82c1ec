#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kept_phones.h"
#include "phone_timeline.h"

namespace phonemes {

// What one processed file gives, built once and then only formatted by each writer.
struct FileResult {
    std::string name;               // the input's base name, as records and JSON show it
    std::uint32_t audioLength = 0;  // milliseconds of audio in the file
    std::uint32_t end = 0;          // the end of the recognised speech; 0: nothing recognised
    std::vector<WordSpan> words;    // empty when nothing was recognised
    // The phones the minimum duration keeps, word-end markers included; empty when nothing was
    // recognised, or when the timeline holds no entry.
    std::vector<PhoneInterval> phones;
};

// The result of a file whose timeline is complete; the phones lasting less than the minimum
// duration (-m) are left out as keptPhones leaves them out.
FileResult makeFileResult(std::string_view name, const PhoneTimeline& timeline,
                          std::int32_t minimumDuration);

}  // namespace phonemes
