#pragma once

// Recognises the files of a batch on several worker threads at once, and shows everything as a
// single thread would: each file's console lines and its results come out in input order.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "extractor.h"

namespace phonemes {

struct BatchSettings {
    unsigned jobs = 1;  // files processed at once; never more workers than files
    // When set, a progress line of this width is kept on the console's error stream.
    std::optional<unsigned> progressWidth;
};

enum class BatchEnd {
    kCompleted,    // every file was processed and its results written
    kFailed,       // a record could not be written, or no worker could start; the error was printed
    kInterrupted,  // interrupt() stopped the batch
};

// Each worker has an extractor of its own (a copy of the options and hints, its own console,
// timeline and processor) and hands its files' console lines and results over instead of
// writing them. The thread that runs the batch shows them: the lines of the earliest file not
// yet done as they come, and those of later files once every file before them is done; then
// the file's results through the batch's extractor, flushed before the next file's lines.
//
// When a record cannot be written, or the batch is interrupted, nothing more is shown or
// written, the workers' processors are cancelled, and no worker starts another file. With one
// job a file is started only once the one before it is written, as in a plain loop.
class ParallelBatch {
  public:
    // The processors are made at once, one per worker.
    ParallelBatch(Extractor& extractor, std::vector<std::string> files, BatchSettings settings,
                  const FileProcessorFactory& makeProcessor);
    ~ParallelBatch();
    ParallelBatch(const ParallelBatch&) = delete;
    ParallelBatch& operator=(const ParallelBatch&) = delete;

    // Runs the whole batch on the calling thread's behalf; returns once every worker has ended.
    BatchEnd run();
    // Stops the batch as soon as it can; from any thread, before or while it runs.
    void interrupt();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace phonemes
