#pragma once

#include <ostream>
#include <string_view>

#include "extractor_options.h"
#include "phone_timeline.h"
#include "result_writer.h"

namespace phonemes {

// Whether a record's header line can hold the name: a CR or LF in it would end the line early
// and leave the output file unreadable.
bool fitsRecordHeader(std::string_view name);

// The output file's records, plain or tagged (-x), with CR LF line ends:
//   [name]<TAB>end, then one line per phone "phone<TAB>start" (tagged: one line of
//   <Phonemes>start:end:phone,...</Phonemes>), then an empty line.
class RecordWriter final : public ResultWriter {
  public:
    explicit RecordWriter(bool tagged) : tagged_(tagged) {}
    bool write(std::ostream& out, const FileResult& result) const override;
    bool canHoldName(std::string_view name) const override { return fitsRecordHeader(name); }

  private:
    bool tagged_;
};

// Appends one file's record, in the form the options choose, and flushes the stream.
// Returns false when writing or flushing failed.
bool writeRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                 const ExtractorOptions& options);

}  // namespace phonemes
