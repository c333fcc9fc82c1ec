#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "console.h"
#include "extractor_options.h"
#include "file_result.h"
#include "hint_table.h"
#include "phone_inventory.h"
#include "phone_timeline.h"

namespace phonemes {

// The state that lives for a whole batch, shared by the driver and the per-file processing.
// A batch that recognises several files at a time gives each worker an extractor of its own.
struct Extractor {
    Extractor(std::ostream& out, std::ostream& err) : console(out, err) {}

    Console console;
    ExtractorOptions options;
    PhoneInventory inventory;
    HintTable hints;
    PhoneTimeline timeline{inventory};
    std::ostream* output = nullptr;  // the output file's stream while the batch runs
    bool outputFailed = false;       // a record could not be written: no further file is processed

    // The result of the file whose timeline is complete, under its base name.
    FileResult resultOf(std::string_view baseName) const {
        return makeFileResult(baseName, timeline, options.minPhonemeDuration);
    }
};

// The per-file processing behind the driver: recognises one file and hands its result back;
// the batch alone writes results, in input order. Each processor is used by one thread at a
// time; startBatch, processFile and finishBatch are called on the same thread.
class FileProcessor {
  public:
    virtual ~FileProcessor() = default;
    virtual void startBatch() {}
    // The file's result; none when the file failed before it could be recognised (its error
    // line was printed).
    virtual std::optional<FileResult> processFile(const std::string& path) = 0;
    virtual void finishBatch() {}
    // Asks the file being processed, and any later one, to end as soon as it can; what it
    // gathered until then may still be handed over. Safe to call from any thread at any time.
    virtual void cancel() {}
};

using FileProcessorFactory = std::function<std::unique_ptr<FileProcessor>(Extractor&)>;

}  // namespace phonemes
