#pragma once

#include <string_view>

#include "extractor.h"

namespace phonemes {

// What is printed when a record cannot be written and the batch stops.
inline constexpr std::string_view kCannotWriteOutput = "Cannot write output file.";

// Writes what one processed file gives: its record, in the form the options choose (plain or
// tagged records, or a line of JSON), appended to the output file and flushed; then, when a
// TextGrid folder was given, its TextGrid. Returns false when the output file cannot be
// written, which must stop the batch. A TextGrid that cannot be written costs only itself: one
// error line names it and the batch goes on.
// The timeline is the extractor's own; when the extractor defers its results, they are handed
// over instead and the call succeeds.
bool writeFileResults(Extractor& extractor, std::string_view baseName);
bool writeFileResults(Extractor& extractor, std::string_view baseName,
                      const PhoneTimeline& timeline);

}  // namespace phonemes
