#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "extractor_options.h"
#include "file_result.h"
#include "output_formats.h"
#include "result_writer.h"

namespace phonemes {

// What is printed when a record cannot be written and the batch stops.
inline constexpr std::string_view kCannotWriteOutput = "Cannot write output file.";

// Writes each file's result in every form the options ask for: its entry in the output file
// (record or line of JSON), then its per-input files (TextGrid). The writers are made once, for
// the whole batch.
class ResultOutput {
  public:
    explicit ResultOutput(const ExtractorOptions& options);

    // Appends the result to the output file and flushes it, then writes the per-input files.
    // False when the output file could not be written, which must stop the batch; nothing else
    // is written then. A per-input file that cannot be written costs only itself: its error
    // message ("Cannot write TextGrid file DIR/a.TextGrid.") goes to reportError, and the
    // others are still written.
    bool write(std::ostream& outputFile, const FileResult& result,
               const std::function<void(const std::string&)>& reportError) const;

  private:
    const ExtractorOptions& options_;
    std::unique_ptr<ResultWriter> outputWriter_;
    std::vector<std::unique_ptr<ResultWriter>> perInputWriters_;  // one per perInputFormats() row
};

// Whether the output file's form can hold the result of a file of this base name (a record's
// header cannot hold a CR or LF; a line of JSON holds any name).
bool outputCanHoldName(const ExtractorOptions& options, std::string_view baseName);

}  // namespace phonemes
