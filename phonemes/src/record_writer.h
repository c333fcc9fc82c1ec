#pragma once

#include <ostream>
#include <string_view>

#include "extractor_options.h"
#include "phone_timeline.h"

namespace phonemes {

// Appends one file's record, plain or tagged, with CR LF line ends, and flushes the stream.
// Returns false when writing or flushing failed.
bool writeRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                 const ExtractorOptions& options);

}  // namespace phonemes
