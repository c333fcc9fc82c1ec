// The built program on batches of generated speech with several jobs at once, in shards and on
// a terminal. What a user sees must be byte for byte what one job gives; a batch stopped by a
// failed write or a signal must stop at once and leave whole records only.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine_test_support.h"
#include "test_support.h"

namespace phonemes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ProgramResult;
using testing::readFile;
using testing::TempDir;

// A stopped batch ends well within this once it has reported why or been signalled (in about a
// second at most with every core busy); the long recording below takes more than twice as long
// to recognise in the sanitizer build the suite runs in, on an idle machine.
constexpr auto kPromptStop = 20s;
// A recording of about two minutes, recognised by dictation.
constexpr int kLongRecordingRepeats = 55;
constexpr int kPauseMs = 700;

ProgramResult runPhonemes(const std::vector<std::string>& arguments, const fs::path& folder) {
    return testing::runProgram(PHONEMES_PROGRAM, arguments, folder);
}

struct Utterance {
    const char* name;
    const char* text;
    bool hinted;  // aligned to its text; otherwise recognised by dictation
};

const Utterance kShortUtterances[] = {
    {"b-fox.wav", "The quick brown fox jumps over the lazy dog.", true},
    {"d-glimmer.wav", "The glimmerax plays the video.", true},
    {"e-numbers.wav", "One two three four five.", false},
    {"g-thanks.wav", "Thank you very much.", true},
};

// Sentences spoken one after another with pauses between them, which dictation cuts at. A
// sentence said again is synthesised once: espeak-ng says it the same each time.
void writeSentences(const fs::path& file, const std::vector<std::string>& sentences) {
    std::vector<std::int16_t> samples;
    int rate = 0;
    std::map<std::string, engine::testing::SynthesizedSpeech> spoken;
    for (const std::string& sentence : sentences) {
        auto [said, first] = spoken.try_emplace(sentence);
        if (first) {
            said->second = engine::testing::synthesize(sentence);
        }
        const engine::testing::SynthesizedSpeech& speech = said->second;
        rate = speech.sampleRate;
        const auto pause = engine::testing::silence(rate, kPauseMs);
        samples.insert(samples.end(), pause.begin(), pause.end());
        samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
    }
    engine::testing::writeAudio(file, samples, rate, testing::kWav16Bit16kHz);
}

// The short utterances and their hints file in the folder.
void writeShortUtterances(const fs::path& folder) {
    fs::create_directories(folder);
    std::ofstream hints(folder / "hints.txt", std::ios::binary);
    for (const Utterance& utterance : kShortUtterances) {
        testing::writeUtterance(folder / utterance.name, utterance.text);
        if (utterance.hinted) {
            hints << utterance.name << ':' << utterance.text << '\n';
        }
    }
}

// The short utterances, a long dictation at the front, and files that fail in every way a file
// can: no audio at all, silence only, audio that breaks off.
void writeMixedBatch(const fs::path& folder) {
    writeShortUtterances(folder);
    writeSentences(
        folder / "a-story.wav",
        {"The old man fixed the broken fence.", "My sister plays the piano every morning.",
         "A strong wind blew across the open field.", "The children laughed at the funny clown."});
    std::ofstream(folder / "c-notes.wav") << "These are notes, not audio.\n";
    engine::testing::writeAudio(folder / "f-silent.wav", engine::testing::silence(16000, 1000),
                                16000, testing::kWav16Bit16kHz);
    const std::string fox = readFile(folder / "b-fox.wav");
    std::ofstream(folder / "h-cut.wav", std::ios::binary) << fox.substr(0, fox.size() / 2);
}

// Two short hinted files, three minutes of dictation after them, and one more short file.
void writeBatchWithALongRecording(const fs::path& folder) {
    writeShortUtterances(folder);
    writeSentences(folder / "f-long.wav",
                   std::vector<std::string>(kLongRecordingRepeats, "Thank you very much."));
}

std::string recordsOf(const fs::path& folder, const std::vector<std::string>& files) {
    std::vector<std::string> arguments = {"-q", "--jobs", "1", "-h", "hints.txt", "-o", "ref.txt"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const ProgramResult run = runPhonemes(arguments, folder);
    EXPECT_EQ(run.status, 0) << run.err;
    return readFile(folder / "ref.txt");
}

// The files of a folder and their bytes.
std::map<std::string, std::string> folderContents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        contents[entry.path().filename().string()] = readFile(entry.path());
    }
    return contents;
}

struct OutputCase {
    const char* name;
    std::vector<std::string> options;
    bool perInputFiles;  // TextGrids and mouth cues
};

class SameOutputForAnyJobs : public ::testing::TestWithParam<OutputCase> {};

// Files of very different lengths, echoes of hypotheses and results, failing files between
// them: console, output file, TextGrids and mouth cues come out the same with one, two and
// four jobs.
TEST_P(SameOutputForAnyJobs, ConsoleOutputFileAndPerInputFiles) {
    const OutputCase& c = GetParam();
    TempDir dir;
    writeMixedBatch(dir.path());

    struct Run {
        ProgramResult result;
        std::string output;
        std::map<std::string, std::string> textGrids;
        std::map<std::string, std::string> mouthCues;
    };
    std::vector<Run> runs;
    for (const char* jobs : {"1", "2", "4"}) {
        const std::string grids = std::string("grids-") + jobs;
        const std::string cues = std::string("cues-") + jobs;
        std::vector<std::string> arguments = {"--jobs", jobs,      "-h",   "hints.txt",
                                              "-o",     "out.txt", "*.wav"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        if (c.perInputFiles) {
            arguments.insert(arguments.end(), {"--textgrid", grids, "--mouth-cues", cues,
                                               "--mouth-format", "json", "--fps", "30"});
        }
        Run run{runPhonemes(arguments, dir.path()), readFile(dir / "out.txt"), {}, {}};
        if (c.perInputFiles) {
            run.textGrids = folderContents(dir / grids);
            run.mouthCues = folderContents(dir / cues);
        }
        runs.push_back(std::move(run));
    }

    const Run& one = runs.front();
    EXPECT_EQ(one.result.status, 0);
    EXPECT_EQ(one.result.err, "ERROR: Cannot create audio stream from file.\n");
    EXPECT_NE(one.output.find("a-story.wav"), std::string::npos);
    EXPECT_NE(one.output.find("h-cut.wav"), std::string::npos);
    if (c.perInputFiles) {
        EXPECT_EQ(one.textGrids.size(), 7u);
        EXPECT_EQ(one.mouthCues.size(), 7u);
    }
    for (std::size_t i = 1; i < runs.size(); ++i) {
        SCOPED_TRACE(i == 1 ? "two jobs" : "four jobs");
        EXPECT_EQ(runs[i].result.status, one.result.status);
        EXPECT_EQ(runs[i].result.out, one.result.out);
        EXPECT_EQ(runs[i].result.err, one.result.err);
        EXPECT_EQ(runs[i].output, one.output);
        EXPECT_EQ(runs[i].textGrids, one.textGrids);
        EXPECT_EQ(runs[i].mouthCues, one.mouthCues);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SameOutputForAnyJobs,
    ::testing::Values(OutputCase{"RecordsWithEchoes", {"-p", "-t", "-u"}, false},
                      OutputCase{"JsonTextGridsAndMouthCues", {"-t", "--format", "json"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder that the tests of a suite share, made once: once per test program run, and once
// for a whole ctest run when ctest names a folder for it (PHONEMES_TEST_FIXTURES; ctest empties
// it before the first test that needs it). A process that finds it being made waits for it.
fs::path sharedFolder(const std::string& name, const std::function<void(const fs::path&)>& make) {
    static std::vector<std::unique_ptr<TempDir>> ownFolders;  // removed when the program ends
    const char* shared = std::getenv("PHONEMES_TEST_FIXTURES");
    if (shared == nullptr || *shared == '\0') {
        ownFolders.push_back(std::make_unique<TempDir>());
        make(ownFolders.back()->path());
        return ownFolders.back()->path();
    }
    const fs::path folder = fs::path(shared) / name;
    fs::create_directories(shared);
    const int lock =
        ::open((folder.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        ADD_FAILURE() << "cannot lock " << folder << ": " << std::strerror(errno);
    }
    if (!fs::exists(folder / ".complete")) {
        fs::remove_all(folder);  // what a process that failed half-way left
        fs::create_directories(folder);
        make(folder);
        std::ofstream(folder / ".complete");
    }
    if (lock >= 0) {
        ::close(lock);  // and the lock with it
    }
    return folder;
}

// Copies the files of a shared folder into a test's own.
void copyFiles(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(from)) {
        if (entry.is_regular_file() && entry.path().filename() != ".complete") {
            fs::copy_file(entry.path(), to / entry.path().filename());
        }
    }
}

class StoppedBatch : public ::testing::TestWithParam<const char*> {
  protected:
    // The recordings and the two reference records are the same for every test and job count:
    // made once (about three minutes of audio, and two runs of the program).
    static void SetUpTestSuite() {
        folder_ = sharedFolder("StoppedBatch", [](const fs::path& folder) {
            writeBatchWithALongRecording(folder);
            std::ofstream(folder / "first.ref", std::ios::binary)
                << recordsOf(folder, {"b-fox.wav"});
            std::ofstream(folder / "second.ref", std::ios::binary)
                << recordsOf(folder, {"g-thanks.wav"});
            fs::remove(folder / "ref.txt");
        });
    }

    void SetUp() override {
        copyFiles(folder_, dir_.path());
        first_ = readFile(dir_ / "first.ref");
        second_ = readFile(dir_ / "second.ref");
    }

    // The batch: two short files, then the long one while another waits behind it. Every word
    // of their hints is in the dictionary: a word that is not starts espeak-ng, whose audio
    // library prints a line of its own when a file size limit stops it.
    std::vector<std::string> arguments(std::vector<std::string> before,
                                       const std::string& output = "out.txt") const {
        before.insert(before.end(), {"-q", "--jobs", GetParam(), "-h", "hints.txt", "-o", output,
                                     "b-fox.wav", "g-thanks.wav", "f-long.wav", "e-numbers.wav"});
        return before;
    }

    // Runs the program until it has reported the failed write, and returns its result and how
    // long it took from there to end: loading the models and recognising the first files take
    // no part in it, however busy the machine.
    std::pair<ProgramResult, Clock::duration> runUntilTheWriteFails(
        const std::string& program, const std::vector<std::string>& arguments) const {
        testing::RunningProgram running(program, arguments, dir_.path());
        const Clock::time_point start = Clock::now();
        while (running.errSoFar().find(kCannotWrite) == std::string::npos && !running.ended() &&
               Clock::now() - start < 5min) {
            std::this_thread::sleep_for(20ms);
        }
        const Clock::time_point failed = Clock::now();
        ProgramResult run = running.wait();
        return {std::move(run), Clock::now() - failed};
    }

    static constexpr const char* kCannotWrite = "ERROR: Cannot write output file.\n";

    static inline fs::path folder_;  // the suite's recordings and reference records
    TempDir dir_;
    std::string first_;   // the record of the first file on its own
    std::string second_;  // the record of the second file on its own
};

// The second record meets a full disk half-way (a file size limit stands in for it): the run
// stops at once with the first record whole and nothing of the second, also while the long
// recording is being recognised by another job.
TEST_P(StoppedBatch, AtARecordThatCannotBeWritten) {
    const std::string limit = "--fsize=" + std::to_string(first_.size() + second_.size() / 2);
    // An ignored SIGXFSZ lets the write fail instead of ending the program.
    const std::vector<std::string> arguments = this->arguments(
        {"-c", "trap '' XFSZ; exec prlimit " + limit + " -- \"$0\" \"$@\"", PHONEMES_PROGRAM});

    const auto [run, stopping] = runUntilTheWriteFails("/bin/sh", arguments);
    EXPECT_LT(stopping, kPromptStop);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kCannotWrite);
    EXPECT_EQ(readFile(dir_ / "out.txt"), first_);
}

// An output device that takes nothing fails the first record: the run stops at once, without
// waiting for the long recording that another job may have begun.
TEST_P(StoppedBatch, AtAFullOutputDevice) {
    const auto [run, stopping] =
        runUntilTheWriteFails(PHONEMES_PROGRAM, arguments({}, "/dev/full"));
    EXPECT_LT(stopping, kPromptStop);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kCannotWrite);
}

struct StopSignal {
    int signal;
    int status;
};

// Each signal in the middle of the long recording, once the two records before it are written:
// the run ends at once with its own status, and the output file holds those two records.
TEST_P(StoppedBatch, BySignalsWithTheRecordsBeforeWhole) {
    for (const StopSignal stop :
         {StopSignal{SIGINT, 130}, StopSignal{SIGTERM, 143}, StopSignal{SIGHUP, 129}}) {
        SCOPED_TRACE(strsignal(stop.signal));
        fs::remove(dir_ / "out.txt");  // what the run before left is no sign of this one
        testing::RunningProgram program(PHONEMES_PROGRAM, arguments({}), dir_.path());
        const Clock::time_point start = Clock::now();
        while (readFile(dir_ / "out.txt") != first_ + second_ && Clock::now() - start < 5min) {
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_EQ(readFile(dir_ / "out.txt"), first_ + second_);
        ::kill(program.pid(), stop.signal);
        const Clock::time_point signalled = Clock::now();
        const ProgramResult run = program.wait();
        EXPECT_LT(Clock::now() - signalled, kPromptStop);
        EXPECT_EQ(run.status, stop.status);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(readFile(dir_ / "out.txt"), first_ + second_);
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, StoppedBatch, ::testing::Values("1", "2"),
                         [](const auto& info) { return std::string(info.param) + "_jobs"; });

// The shards' output files, joined in shard order, are the output file of one run over all
// files, in either form; more shards than files leave some empty.
TEST(Shards, JoinedInOrderGiveTheSingleRun) {
    TempDir dir;
    writeShortUtterances(dir.path());
    std::ofstream(dir / "c-notes.wav") << "These are notes, not audio.\n";

    for (const auto& [count, format] : {std::pair{3, "records"}, std::pair{7, "json"}}) {
        SCOPED_TRACE(std::to_string(count) + " shards of " + format);
        const std::vector<std::string> common = {"-q",   "--jobs", "1",         "--format",
                                                 format, "-h",     "hints.txt", "*.wav"};
        std::vector<std::string> single = common;
        single.insert(single.end(), {"-o", "single.txt"});
        ASSERT_EQ(runPhonemes(single, dir.path()).status, 0);

        std::string joined;
        int empty = 0;
        for (int index = 1; index <= count; ++index) {
            std::vector<std::string> shard = common;
            const std::string part = "part-" + std::to_string(index) + ".txt";
            shard.insert(
                shard.end(),
                {"--shard", std::to_string(index) + "/" + std::to_string(count), "-o", part});
            const ProgramResult run = runPhonemes(shard, dir.path());
            EXPECT_EQ(run.status, 0) << run.err;
            const std::string bytes = readFile(dir / part);
            empty += bytes.empty() ? 1 : 0;
            joined += bytes;
        }
        EXPECT_EQ(joined, readFile(dir / "single.txt"));
        // Five files in seven slices: two slices hold no file and one only the file that is not
        // audio, which has no record.
        EXPECT_EQ(empty, count == 7 ? 3 : 0);
    }
}

// A fenced block of the README whose text holds the marker.
std::string readmeBlock(std::string_view marker) {
    const std::string readme = readFile(PHONEMES_README);
    for (std::size_t open = readme.find("```sh\n"); open != std::string::npos;
         open = readme.find("```sh\n", open + 1)) {
        const std::size_t start = open + 6;
        const std::size_t close = readme.find("```", start);
        const std::string block = readme.substr(start, close - start);
        if (block.find(marker) != std::string::npos) {
            return block;
        }
    }
    ADD_FAILURE() << "no block with " << marker << " in the README";
    return {};
}

// The README's recipes for many machines, run here: GNU parallel with its machines left unset
// (three shards on this one), and the Slurm array script as each of three tasks would run it.
TEST(Shards, RecipesOfTheReadmeGiveTheSingleRun) {
    TempDir dir;
    writeShortUtterances(dir / "voices");
    fs::rename(dir / "voices/hints.txt", dir / "hints.txt");
    std::ofstream(dir / "voices/c-notes.wav") << "These are notes, not audio.\n";
    const ProgramResult single =
        runPhonemes({"-q", "-h", "hints.txt", "-o", "single.txt", "voices/*.wav"}, dir.path());
    ASSERT_EQ(single.status, 0);
    const std::string expected = readFile(dir / "single.txt");
    const std::string path =
        "PATH=" + fs::path(PHONEMES_PROGRAM).parent_path().string() + ":/usr/bin:/bin";

    dir.write("parallel.sh", readmeBlock("parallel --will-cite"));
    const ProgramResult parallel =
        testing::runProgram("/usr/bin/env", {path, "bash", "parallel.sh"}, dir.path());
    EXPECT_EQ(parallel.status, 0) << parallel.err;
    EXPECT_EQ(readFile(dir / "phonemes.txt"), expected);

    dir.write("shards.sbatch", readmeBlock("#SBATCH --array"));
    std::string joined;
    for (const char* task : {"1", "2", "3"}) {
        const ProgramResult run = testing::runProgram(
            "/usr/bin/env",
            {path, std::string("SLURM_ARRAY_TASK_ID=") + task, "SLURM_ARRAY_TASK_COUNT=3",
             "SLURM_CPUS_PER_TASK=2", "bash", "shards.sbatch"},
            dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        joined += readFile(dir / (std::string("part-") + task + ".txt"));
    }
    EXPECT_EQ(joined, expected);
}

// On a terminal the progress line comes and goes between the console lines and is gone at the
// end; taken out, the rest is what the program prints without a terminal. -q shows nothing.
TEST(ProgressOnATerminal, IsDrawnBetweenTheLinesAndErased) {
    TempDir dir;
    writeShortUtterances(dir.path());
    const std::vector<std::string> arguments = {"--jobs",    "2",  "-t",      "-h",
                                                "hints.txt", "-o", "out.txt", "*.wav"};
    const ProgramResult plain = runPhonemes(arguments, dir.path());
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(plain.err, "");

    constexpr unsigned short kColumns = 50;
    const ProgramResult shown =
        testing::runProgramOnTerminal(PHONEMES_PROGRAM, arguments, dir.path(), kColumns);
    EXPECT_EQ(shown.status, 0);
    const testing::ProgressTranscript split = testing::splitProgress(shown.out);
    EXPECT_EQ(split.withoutProgress, plain.out);
    EXPECT_TRUE(split.linesAfterAnErasure) << shown.out;
    EXPECT_TRUE(split.erasedAtTheEnd) << shown.out;
    ASSERT_FALSE(split.drawn.empty()) << shown.out;
    for (const std::string& text : split.drawn) {
        EXPECT_LT(text.size(), kColumns) << text;
        EXPECT_TRUE(text.find("/4 files, ") != std::string::npos) << text;
    }

    std::vector<std::string> quiet = arguments;
    quiet.push_back("-q");
    const ProgramResult silent =
        testing::runProgramOnTerminal(PHONEMES_PROGRAM, quiet, dir.path(), kColumns);
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.out, "");
}

}  // namespace
}  // namespace phonemes
