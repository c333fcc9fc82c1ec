#pragma once

#include <ostream>
#include <string>

#include "console.h"
#include "extractor_options.h"
#include "hint_table.h"
#include "phone_inventory.h"
#include "phone_timeline.h"

namespace phonemes {

// The state that lives for a whole batch, shared by the driver and the per-file processing.
struct Extractor {
    Extractor(std::ostream& out, std::ostream& err) : console(out, err) {}

    Console console;
    ExtractorOptions options;
    PhoneInventory inventory;
    HintTable hints;
    PhoneTimeline timeline{inventory};
    std::ostream* output = nullptr;  // the output file's stream while the batch runs
    bool outputFailed = false;       // a record could not be written: no further file is processed
};

// The per-file processing behind the driver: recognises one file and appends its record.
class FileProcessor {
  public:
    virtual ~FileProcessor() = default;
    virtual void startBatch() {}
    // Returns true when the file's record was written.
    virtual bool processFile(const std::string& path) = 0;
    virtual void finishBatch() {}
    // Asks the file being processed, and any later one, to end as soon as it can; what it
    // gathered until then may still be handed over. Safe to call from any thread at any time.
    virtual void cancel() {}
};

}  // namespace phonemes
