#pragma once

#include <ostream>
#include <string_view>

#include "extractor_options.h"
#include "phone_timeline.h"
#include "result_writer.h"

namespace phonemes {

// One file's result as one line of JSON (JSON Lines, ended by LF):
//   {"file":"a.wav","end":1.955,"duration":2.1,
//    "words":[{"word":"hello","start":0.0,"end":0.29},...],
//    "phones":[{"phone":"h","start":0.0,"end":0.041},...]}
// Times are seconds with millisecond precision. "end" is the end of the recognised speech (0
// when nothing was recognised: words and phones are then empty), "duration" the length of the
// audio. The phones are those a record keeps (minimum duration), without word-end markers;
// each lasts until the next entry of the timeline starts. Any name can be written.
class JsonRecordWriter final : public ResultWriter {
  public:
    bool write(std::ostream& out, const FileResult& result) const override;
};

// Appends one file's line of JSON and flushes. Returns false when writing failed.
bool writeJsonRecord(std::ostream& out, std::string_view name, const PhoneTimeline& timeline,
                     const ExtractorOptions& options);

}  // namespace phonemes
