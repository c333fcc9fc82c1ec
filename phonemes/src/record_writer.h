#pragma once

#include <ostream>
#include <string_view>

#include "extractor_options.h"
#include "phone_timeline.h"

namespace phonemes {

// Whether a record's header line can hold the name: a CR or LF in it would end the line early
// and leave the output file unreadable.
bool fitsRecordHeader(std::string_view name);

// Appends one file's record, plain or tagged, with CR LF line ends, and flushes the stream.
// Returns false when writing or flushing failed.
bool writeRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                 const ExtractorOptions& options);

}  // namespace phonemes
