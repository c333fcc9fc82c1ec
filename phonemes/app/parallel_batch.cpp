#include "parallel_batch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "console_capture.h"
#include "progress_line.h"
#include "result_output.h"

namespace phonemes {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress line is redrawn at most, and at least while nothing else happens.
constexpr std::chrono::milliseconds kProgressInterval{200};
// How many files the workers may be ahead of the earliest file not yet written; what they hand
// over waits in memory until then.
constexpr std::size_t kMaxFilesAhead = 1024;
constexpr double kMsPerSecond = 1000.0;

enum class ConsoleStream { kOut, kErr };

// What a worker printed, a line at a time, line end included.
struct ConsoleText {
    ConsoleStream stream;
    std::string bytes;
};

// One input file, from the moment a worker takes it until its results are written.
struct FileSlot {
    std::vector<ConsoleText> console;  // printed by the worker and not yet shown
    std::optional<FileResult> result;  // none when the file failed before it was recognised
    bool finished = false;
};

}  // namespace

struct ParallelBatch::State {
    // A worker's own extractor, whose console lines and results go to the file it processes.
    struct Worker {
        explicit Worker(State& batch)
            : outCapture([&batch, this](std::string line) {
                  batch.addLine(*this, {ConsoleStream::kOut, std::move(line)});
              }),
              errCapture([&batch, this](std::string line) {
                  batch.addLine(*this, {ConsoleStream::kErr, std::move(line)});
              }),
              out(&outCapture),
              err(&errCapture),
              extractor(out, err) {}

        ConsoleCapture outCapture;
        ConsoleCapture errCapture;
        std::ostream out;
        std::ostream err;
        Extractor extractor;
        std::unique_ptr<FileProcessor> processor;
        FileSlot* slot = nullptr;  // the file being processed; only its worker sets and reads it
        std::thread thread;
    };

    State(Extractor& extractor, std::vector<std::string> files, BatchSettings settings)
        : extractor(extractor),
          files(std::move(files)),
          settings(settings),
          filesAhead(settings.jobs <= 1 ? 1 : kMaxFilesAhead) {}

    void addWorker(const FileProcessorFactory& makeProcessor);
    void addLine(Worker& worker, ConsoleText text);
    FileSlot* takeFile(Worker& worker, std::size_t& index);
    void finishFile(Worker& worker, FileSlot& slot, std::optional<FileResult> result);
    void work(Worker& worker);

    BatchEnd run();
    std::size_t startWorkers();
    void showInOrder();
    bool writeResult(const FileResult& result);
    void show(const std::vector<ConsoleText>& lines);
    void drawProgress();
    void stop(BatchEnd end);

    Extractor& extractor;
    const ResultOutput resultOutput{extractor.options};  // the only writer of results
    const std::vector<std::string> files;
    const BatchSettings settings;
    const std::size_t filesAhead;  // how far a worker may be ahead of the earliest unwritten file
    std::vector<std::unique_ptr<Worker>> workers;
    std::optional<ProgressLine> progress;
    Clock::time_point started;
    Clock::time_point drawn;

    std::mutex mutex;
    std::condition_variable fileAvailable;  // for workers: a file may be taken, or the batch stops
    std::condition_variable news;           // for the batch: the earliest file has news, or stop
    std::deque<FileSlot> slots;             // files taken by workers and not yet written
    std::size_t written = 0;                // files shown and written, in input order
    std::size_t filesDone = 0;              // files finished by workers, in any order
    double audioSecondsDone = 0;
    std::optional<BatchEnd> stopped;
};

void ParallelBatch::State::addWorker(const FileProcessorFactory& makeProcessor) {
    auto worker = std::make_unique<Worker>(*this);
    Extractor& own = worker->extractor;
    own.options = extractor.options;
    own.inventory.buildWeightLookup();
    own.hints = extractor.hints;
    worker->processor = makeProcessor(own);
    workers.push_back(std::move(worker));
}

void ParallelBatch::State::addLine(Worker& worker, ConsoleText text) {
    std::lock_guard lock(mutex);
    if (worker.slot == nullptr) {
        return;  // printed outside any file: there is no place for it in the batch's order
    }
    worker.slot->console.push_back(std::move(text));
    if (worker.slot == &slots.front()) {
        news.notify_one();
    }
}

FileSlot* ParallelBatch::State::takeFile(Worker& worker, std::size_t& index) {
    std::unique_lock lock(mutex);
    fileAvailable.wait(lock, [this] {
        return stopped || written + slots.size() == files.size() || slots.size() < filesAhead;
    });
    if (stopped || written + slots.size() == files.size()) {
        return nullptr;
    }
    index = written + slots.size();
    worker.slot = &slots.emplace_back();
    return worker.slot;
}

void ParallelBatch::State::finishFile(Worker& worker, FileSlot& slot,
                                      std::optional<FileResult> result) {
    worker.outCapture.finish();
    worker.errCapture.finish();
    std::lock_guard lock(mutex);
    worker.slot = nullptr;
    slot.finished = true;
    slot.result = std::move(result);
    ++filesDone;
    if (slot.result) {
        audioSecondsDone += slot.result->audioLength / kMsPerSecond;
    }
    news.notify_one();
}

void ParallelBatch::State::work(Worker& worker) {
    worker.processor->startBatch();
    std::size_t index = 0;
    while (FileSlot* slot = takeFile(worker, index)) {
        std::optional<FileResult> result = worker.processor->processFile(files[index]);
        finishFile(worker, *slot, std::move(result));
    }
    worker.processor->finishBatch();
}

BatchEnd ParallelBatch::State::run() {
    started = Clock::now();
    if (settings.progressWidth && !files.empty()) {
        progress.emplace(extractor.console.err(), *settings.progressWidth);
    }
    if (startWorkers() == 0 && !files.empty()) {
        extractor.console.printError("Cannot start a worker thread.");
        stop(BatchEnd::kFailed);
    } else {
        showInOrder();
    }
    for (const auto& worker : workers) {
        if (worker->thread.joinable()) {
            worker->thread.join();
        }
    }
    progress.reset();
    std::lock_guard lock(mutex);
    return stopped.value_or(BatchEnd::kCompleted);
}

std::size_t ParallelBatch::State::startWorkers() {
    std::size_t started = 0;
    for (const auto& worker : workers) {
        try {
            worker->thread = std::thread(&State::work, this, std::ref(*worker));
            ++started;
        } catch (const std::system_error&) {
            break;  // the files are shared among the workers that did start
        }
    }
    return started;
}

// The batch's own loop: shows the earliest unwritten file's lines as they come and writes its
// results once it is finished, then goes on with the next file.
void ParallelBatch::State::showInOrder() {
    std::unique_lock lock(mutex);
    while (!stopped && written < files.size()) {
        FileSlot* head = slots.empty() ? nullptr : &slots.front();
        if (head == nullptr || (head->console.empty() && !head->finished)) {
            if (!progress) {
                news.wait(lock);
                continue;
            }
            lock.unlock();
            drawProgress();
            lock.lock();
            news.wait_for(lock, kProgressInterval);
            continue;
        }
        const std::vector<ConsoleText> lines = std::exchange(head->console, {});
        const bool finished = head->finished;
        lock.unlock();
        show(lines);
        lock.lock();
        if (stopped || !finished) {
            continue;
        }
        const std::optional<FileResult> result = std::move(slots.front().result);
        lock.unlock();
        if (result && !writeResult(*result)) {
            extractor.outputFailed = true;
            if (progress) {
                progress->erase();
            }
            extractor.console.printError(kCannotWriteOutput);
            stop(BatchEnd::kFailed);
            return;
        }
        lock.lock();
        slots.pop_front();
        ++written;
        fileAvailable.notify_all();
    }
}

// False when the output file could not be written.
bool ParallelBatch::State::writeResult(const FileResult& result) {
    if (extractor.output == nullptr) {
        return false;
    }
    return resultOutput.write(*extractor.output, result, [this](const std::string& message) {
        extractor.console.printError(message);
    });
}

void ParallelBatch::State::show(const std::vector<ConsoleText>& lines) {
    if (progress) {
        progress->erase();  // redrawn when the batch next waits
    }
    for (const ConsoleText& text : lines) {
        Console& console = extractor.console;
        std::ostream& stream = text.stream == ConsoleStream::kOut ? console.out() : console.err();
        stream << text.bytes << std::flush;
    }
}

void ParallelBatch::State::drawProgress() {
    const Clock::time_point now = Clock::now();
    if (progress->shown() && now - drawn < kProgressInterval) {
        return;
    }
    BatchProgress figures;
    {
        std::lock_guard lock(mutex);
        figures = {filesDone, files.size(), audioSecondsDone, now - started};
    }
    progress->show(describeProgress(figures));
    drawn = now;
}

void ParallelBatch::State::stop(BatchEnd end) {
    {
        std::lock_guard lock(mutex);
        if (!stopped) {
            stopped = end;
        }
    }
    fileAvailable.notify_all();
    news.notify_all();
    for (const auto& worker : workers) {
        worker->processor->cancel();
    }
}

ParallelBatch::ParallelBatch(Extractor& extractor, std::vector<std::string> files,
                             BatchSettings settings, const FileProcessorFactory& makeProcessor)
    : state_(std::make_unique<State>(extractor, std::move(files), settings)) {
    const std::size_t workers = std::min<std::size_t>(settings.jobs, state_->files.size());
    for (std::size_t i = 0; i < workers; ++i) {
        state_->addWorker(makeProcessor);
    }
}

ParallelBatch::~ParallelBatch() = default;

BatchEnd ParallelBatch::run() {
    return state_->run();
}

void ParallelBatch::interrupt() {
    state_->stop(BatchEnd::kInterrupted);
}

}  // namespace phonemes
