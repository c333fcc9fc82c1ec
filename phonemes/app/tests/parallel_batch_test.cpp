// Batches run by several workers against the same batch run by one: what the console and the
// output file receive must be the same bytes in the same order, also when a record cannot be
// written or the batch is interrupted half-way. A fake processor stands in for recognition;
// its files take very different times, so that workers finish them out of order.
#include "parallel_batch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <thread>

#include "batch_driver.h"
#include "platform.h"
#include "progress_line.h"
#include "test_support.h"

namespace phonemes {
namespace {
using namespace std::chrono_literals;
using testing::ProgressTranscript;
using testing::readFile;
using testing::splitProgress;
using testing::TempDir;

// What the fake processor does with a file, by its base name.
struct FakeFile {
    std::chrono::milliseconds work{0};  // spent between the file's first and last lines
    bool setUpFails = false;            // an error line and no results, as a failed set-up
    bool untilCancelled = false;        // works until cancel(), as a long recognition would
    std::string waitsFor{};             // starts its work once that file has started
};

// The files of the batch in input order: one long at the front, failures, and files that print
// to both streams, so that later files are finished before earlier ones.
const std::vector<std::pair<std::string, FakeFile>> kFiles = {
    {"a.wav", {150ms}}, {"b.wav", {0ms}},        {"c.wav", {40ms, true}}, {"d.wav", {90ms}},
    {"e.wav", {0ms}},   {"f.wav", {0ms, true}}, {"g.wav", {20ms}},       {"h.wav", {60ms}},
};

// Shared by the processors of one batch: the files' behaviour and what happened to them.
struct FakeWorld {
    std::map<std::string, FakeFile> files;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> started;  // base names in the order processing began
    int cancels = 0;
    bool timedOut = false;  // a file that works until cancelled was never cancelled

    void waitUntilStarted(const std::string& name) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
            return std::find(started.begin(), started.end(), name) != started.end();
        });
    }
};

// Prints like the recognition session: "FILE:" on standard output, echoes, errors on standard
// error; then one word whose phones spell the file's name length, and the results.
class FakeProcessor : public FileProcessor {
  public:
    FakeProcessor(Extractor& extractor, FakeWorld& world) : extractor_(extractor), world_(world) {}

    std::optional<FileResult> processFile(const std::string& path) override {
        const std::string name = baseNameOf(path);
        const FakeFile file = world_.files.at(name);
        {
            std::lock_guard lock(world_.mutex);
            world_.started.push_back(name);
        }
        world_.changed.notify_all();
        Console& console = extractor_.console;
        console.printLine("FILE: " + name);
        extractor_.timeline.clear();
        if (file.setUpFails) {
            console.printError("Cannot create audio stream from file.");
            return std::nullopt;
        }
        // Two lines in one write, and a piece of a line finished by the next write.
        console.out() << "-? " << name << " so far\n-? " << name << " nearly" << std::flush;
        console.out() << "\n";
        work(file);
        console.printLine("-- " + name);
        extractor_.timeline.addWord("s ih t", 100, static_cast<std::uint32_t>(name.size() * 10));
        extractor_.timeline.endTime = 200;
        extractor_.timeline.audioLength = 1500;
        return extractor_.resultOf(name);
    }

    void cancel() override {
        std::lock_guard lock(world_.mutex);
        cancelled_ = true;
        ++world_.cancels;
        world_.changed.notify_all();
    }

  private:
    void work(const FakeFile& file) {
        std::unique_lock lock(world_.mutex);
        if (!file.waitsFor.empty()) {
            // Far longer than any worker takes to start; one that never comes fails the test.
            world_.changed.wait_for(lock, 60s, [&] {
                return cancelled_ || std::find(world_.started.begin(), world_.started.end(),
                                               file.waitsFor) != world_.started.end();
            });
        }
        if (file.untilCancelled) {
            // Far longer than any stop may take; a batch that never cancels fails the test.
            world_.timedOut = !world_.changed.wait_for(lock, 60s, [&] { return cancelled_; });
        } else {
            world_.changed.wait_for(lock, file.work, [&] { return cancelled_; });
        }
    }

    Extractor& extractor_;
    FakeWorld& world_;
    bool cancelled_ = false;
};

// The output file: takes a number of bytes and fails every write after that; another thread
// may wait for what it holds.
class OutputBuffer : public std::streambuf {
  public:
    explicit OutputBuffer(std::size_t room = std::string::npos) : room_(room) {}

    std::string bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    void waitUntilItHolds(const std::string& expected) {
        std::unique_lock lock(mutex_);
        grown_.wait(lock, [&] { return bytes_ == expected; });
    }

  protected:
    int_type overflow(int_type ch) override {
        std::lock_guard lock(mutex_);
        if (bytes_.size() == room_) {
            return traits_type::eof();
        }
        bytes_ += traits_type::to_char_type(ch);
        grown_.notify_all();
        return ch;
    }

  private:
    std::size_t room_;
    std::mutex mutex_;
    std::condition_variable grown_;
    std::string bytes_;
};

class ParallelBatchTest : public ::testing::TestWithParam<unsigned> {
  protected:
    ParallelBatchTest() {
        for (const auto& [name, file] : kFiles) {
            world_.files[name] = file;
            paths_.push_back(dir_.write(name, "").string());
        }
    }

    // Runs the batch with the console's two streams into one text, so that their order shows.
    BatchEnd runBatch(unsigned jobs, OutputBuffer& output,
                      const std::function<void(ParallelBatch&)>& whileRunning = {}) {
        console_.str("");
        std::ostream outputStream(&output);
        Extractor extractor(console_, console_);
        extractor.inventory.buildWeightLookup();
        extractor.output = &outputStream;
        ParallelBatch batch(extractor, paths_, {jobs, std::nullopt}, [this](Extractor& own) {
            return std::make_unique<FakeProcessor>(own, world_);
        });
        std::thread helper;
        if (whileRunning) {
            helper = std::thread(whileRunning, std::ref(batch));
        }
        const BatchEnd end = batch.run();
        if (helper.joinable()) {
            helper.join();
        }
        return end;
    }

    struct Transcript {
        std::string console;
        std::string output;
    };

    // The batch as one worker gives it, and as every test expects it from any number.
    Transcript referenceRun() {
        OutputBuffer output;
        EXPECT_EQ(runBatch(1, output), BatchEnd::kCompleted);
        world_.started.clear();
        return {console_.str(), output.bytes()};
    }

    TempDir dir_;
    std::vector<std::string> paths_;
    FakeWorld world_;
    std::ostringstream console_;
};

TEST_P(ParallelBatchTest, ShowsLinesAndWritesResultsInInputOrder) {
    const Transcript reference = referenceRun();
    EXPECT_TRUE(reference.console.starts_with(
        "FILE: a.wav\n-? a.wav so far\n-? a.wav nearly\n-- a.wav\nFILE: b.wav\n"))
        << reference.console;
    EXPECT_NE(reference.console.find("FILE: c.wav\nERROR: Cannot create audio stream from "
                                     "file.\nFILE: d.wav\n"),
              std::string::npos)
        << reference.console;

    OutputBuffer output;
    EXPECT_EQ(runBatch(GetParam(), output), BatchEnd::kCompleted);
    EXPECT_EQ(console_.str(), reference.console);
    EXPECT_EQ(output.bytes(), reference.output);
    EXPECT_EQ(world_.started.size(), kFiles.size());
}

// The third record cannot be written whole: the two before it stay, the error comes after the
// lines of the file whose record failed, and nothing of any later file is shown.
TEST_P(ParallelBatchTest, ARecordThatCannotBeWrittenStopsTheBatch) {
    const Transcript reference = referenceRun();
    const std::size_t thirdRecord = reference.output.find("[d.wav]");
    ASSERT_NE(thirdRecord, std::string::npos);
    const std::size_t laterLines = reference.console.find("FILE: e.wav");
    ASSERT_NE(laterLines, std::string::npos);

    OutputBuffer output(thirdRecord + 5);
    EXPECT_EQ(runBatch(GetParam(), output), BatchEnd::kFailed);
    EXPECT_EQ(console_.str(), reference.console.substr(0, laterLines) +
                                  "ERROR: Cannot write output file.\n");
    EXPECT_EQ(output.bytes(), reference.output.substr(0, thirdRecord + 5));
    if (GetParam() == 1) {
        EXPECT_EQ(world_.started.back(), "d.wav") << "one worker starts no file after it";
    }
}

// A file that works until it is cancelled stands where the batch is interrupted, once the
// records before it are written: the batch ends at once with those records, and no more.
TEST_P(ParallelBatchTest, InterruptionCancelsTheRunningFilesAndKeepsARecordPrefix) {
    const Transcript reference = referenceRun();
    const std::string recordsBefore =
        reference.output.substr(0, reference.output.find("[d.wav]"));
    world_.files["d.wav"].untilCancelled = true;

    OutputBuffer output;
    const BatchEnd end = runBatch(GetParam(), output, [&](ParallelBatch& batch) {
        world_.waitUntilStarted("d.wav");
        output.waitUntilItHolds(recordsBefore);
        batch.interrupt();
    });
    EXPECT_EQ(end, BatchEnd::kInterrupted);
    EXPECT_FALSE(world_.timedOut) << "the running file was not cancelled";
    EXPECT_EQ(output.bytes(), recordsBefore);
    EXPECT_TRUE(reference.console.starts_with(console_.str())) << console_.str();
    EXPECT_NE(console_.str().find("-- b.wav\n"), std::string::npos) << console_.str();
    EXPECT_EQ(console_.str().find("-- d.wav"), std::string::npos) << console_.str();
}

// With a long file at the front, workers run ahead; a record that fails then cancels the file
// that is still at work instead of waiting for it to end.
TEST_P(ParallelBatchTest, AFailedRecordCancelsFilesStillAtWork) {
    world_.files["c.wav"] = FakeFile{0ms, false, true};
    if (GetParam() == 4) {
        // Four workers take a to d at once; a's record comes once c has started, however slowly
        // the threads are started on a busy machine.
        world_.files["a.wav"].waitsFor = "c.wav";
    }
    OutputBuffer output(0);
    EXPECT_EQ(runBatch(GetParam(), output), BatchEnd::kFailed);
    EXPECT_FALSE(world_.timedOut) << "the running file was not cancelled";
    EXPECT_EQ(console_.str(),
              "FILE: a.wav\n-? a.wav so far\n-? a.wav nearly\n-- a.wav\n"
              "ERROR: Cannot write output file.\n");
    const bool cStarted =
        std::find(world_.started.begin(), world_.started.end(), "c.wav") != world_.started.end();
    if (GetParam() == 1) {
        EXPECT_FALSE(cStarted) << "one worker starts no file after the one that failed";
    } else if (GetParam() == 4) {
        EXPECT_TRUE(cStarted) << "four workers take a to d at once";
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, ParallelBatchTest, ::testing::Values(1u, 2u, 4u),
                         [](const auto& info) { return std::to_string(info.param) + "_jobs"; });

// However many workers, one hints table is in memory: each worker's extractor reads the
// batch's own entries, not a copy of them.
TEST(ParallelBatchHints, EveryWorkerReadsTheBatchsOwnTable) {
    TempDir dir;
    std::ostringstream console;
    Extractor extractor(console, console);
    std::istringstream hints("a.wav:the one transcript\n");
    ASSERT_TRUE(extractor.hints.readEntries(hints));
    const std::string_view batchHint = *extractor.hints.findHint("a.wav");
    std::vector<std::string> paths;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) {
        paths.push_back(dir.write(name, "").string());
    }
    std::vector<const char*> workerHints;
    FakeWorld world;
    const ParallelBatch batch(extractor, paths, {4, std::nullopt}, [&](Extractor& own) {
        const std::optional<std::string_view> hint = own.hints.findHint("a.wav");
        workerHints.push_back(hint ? hint->data() : nullptr);
        return std::make_unique<FakeProcessor>(own, world);
    });
    EXPECT_EQ(workerHints, std::vector<const char*>(4, batchHint.data()));
}

TEST(ParallelBatchProgress, IsDrawnBetweenConsoleLinesAndErasedAtTheEnd) {
    for (unsigned jobs : {1u, 2u}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        TempDir dir;
        FakeWorld world;
        std::vector<std::string> paths;
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
            // The line is drawn as soon as the batch waits, a few ms after a file's lines; half
            // a second a file leaves a drawing in between on a busy machine too.
            world.files[name] = FakeFile{500ms};
            paths.push_back(dir.write(name, "").string());
        }
        const auto run = [&](std::optional<unsigned> width) {
            std::ostringstream console, output;
            Extractor extractor(console, console);
            extractor.inventory.buildWeightLookup();
            extractor.output = &output;
            ParallelBatch batch(extractor, paths, {jobs, width}, [&](Extractor& own) {
                return std::make_unique<FakeProcessor>(own, world);
            });
            EXPECT_EQ(batch.run(), BatchEnd::kCompleted);
            return console.str();
        };
        const std::string plain = run(std::nullopt);
        constexpr unsigned kWidth = 30;
        const ProgressTranscript shown = splitProgress(run(kWidth));

        EXPECT_EQ(shown.withoutProgress, plain);
        EXPECT_TRUE(shown.linesAfterAnErasure);
        EXPECT_TRUE(shown.erasedAtTheEnd);
        ASSERT_FALSE(shown.drawn.empty());
        EXPECT_EQ(shown.drawn.front(), "0/3 files, 0.0 s of audio");
        for (const std::string& text : shown.drawn) {
            EXPECT_LT(text.size(), kWidth) << text;
        }
        EXPECT_TRUE(std::any_of(shown.drawn.begin(), shown.drawn.end(), [](const auto& text) {
            return text.starts_with("2/3 files, 3.0 s of audio, ");
        })) << ::testing::PrintToString(shown.drawn);
    }
}

TEST(DescribeProgress, CountsFilesAudioSpeedAndTimeLeft) {
    const struct {
        BatchProgress progress;
        std::string text;
    } cases[] = {
        {{0, 10, 0.0, 3s}, "0/10 files, 0.0 s of audio"},
        {{3, 10, 45.25, 5s}, "3/10 files, 45.2 s of audio, 9.1x real time, 0:12 left"},
        {{10, 10, 600.0, 20s}, "10/10 files, 600.0 s of audio, 30.0x real time, 0:00 left"},
        {{1, 3, 1.0, 4000s}, "1/3 files, 1.0 s of audio, 0.0x real time, 2:13:20 left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeProgress(c.progress), c.text);
    }
}

}  // namespace
}  // namespace phonemes
