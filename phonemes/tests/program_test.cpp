// The built program end to end with the real recogniser, on utterances that espeak-ng speaks at
// test time: the records must put words and phones where the synthesiser spoke them, for every
// file format, and files that cannot be recognised must not stop the batch.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "phone_inventory.h"
#include "record_reader.h"
#include "test_support.h"

namespace phonemes {
namespace {

namespace fs = std::filesystem;
using testing::linesOf;
using testing::parseRecords;
using testing::ProgramResult;
using testing::Record;
using testing::RecordEntry;
using testing::TempDir;
using testing::Utterance;
using testing::WavLayout;

// Where a recognised word may start, next to where the synthesiser spoke it.
constexpr int kWordStartToleranceMs = 60;
// Dictation places words without knowing them, and decides for itself where its phrases end.
constexpr int kDictationToleranceMs = 100;

const std::string kCannotOpenAudio = "ERROR: Cannot create audio stream from file.\n";

// One recognised word: its phones and where it starts and ends. Needs every entry written
// (-m 0), so that each word ends in its "_" marker.
struct Word {
    std::vector<std::string> phones;
    int start = 0;
    int end = 0;
};

ProgramResult runPhonemes(const std::vector<std::string>& arguments, const fs::path& folder) {
    return testing::runProgram(PHONEMES_PROGRAM, arguments, folder);
}

std::vector<Word> wordsOf(const Record& record) {
    std::vector<Word> words;
    Word word;
    for (const RecordEntry& entry : record.entries) {
        if (entry.label == "_") {
            word.end = entry.start;
            words.push_back(std::move(word));
            word = Word{};
            continue;
        }
        if (word.phones.empty()) {
            word.start = entry.start;
        }
        word.phones.push_back(entry.label);
    }
    EXPECT_TRUE(word.phones.empty()) << "phones after the last word's end";
    return words;
}

bool isInventoryPhone(const std::string& label) {
    return std::any_of(phoneRows().begin(), phoneRows().end(),
                       [&](const PhoneRow& row) { return row.phone == label; });
}

// Lower case without surrounding punctuation: "World," and "world" are one word.
std::string plainWord(const std::string& text) {
    std::string plain;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '\'') {
            plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return plain;
}

std::vector<std::string> wordsOfText(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

const Record* findRecord(const std::vector<Record>& records, const std::string& name) {
    const auto found = std::find_if(records.begin(), records.end(),
                                    [&](const Record& r) { return r.name == name; });
    return found == records.end() ? nullptr : &*found;
}

class ProgramTest : public ::testing::Test {
  protected:
    std::string output() const { return testing::readFile(dir_ / "out.txt"); }
    void writeHints(const std::string& lines) const { dir_.write("hints.txt", lines); }

    TempDir dir_;
};

// Every word of the hint gets its dictionary phones, from where the synthesiser began it to
// where the next one begins.
TEST_F(ProgramTest, HintRecordPlacesEveryWordWhereItWasSpoken) {
    const std::string transcript = "The quick brown fox jumps over the lazy dog.";
    const Utterance utterance = testing::writeUtterance(dir_ / "fox.wav", transcript);
    writeHints("fox.wav:" + transcript + "\n");

    const ProgramResult run =
        runPhonemes({"-q", "-m", "0", "-h", "hints.txt", "-o", "out.txt", "fox.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NEAR(records[0].endTime, utterance.durationMs, 2) << "aligned to the whole file";
    const std::vector<Word> words = wordsOf(records[0]);
    ASSERT_EQ(words.size(), utterance.words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        SCOPED_TRACE(utterance.words[i].text);
        EXPECT_NEAR(words[i].start, utterance.words[i].startMs, kWordStartToleranceMs);
        for (const std::string& phone : words[i].phones) {
            EXPECT_TRUE(isInventoryPhone(phone)) << phone;
        }
        if (i + 1 < words.size()) {
            EXPECT_LE(words[i].end, words[i + 1].start);
        }
    }
    EXPECT_EQ(words[3].phones, (std::vector<std::string>{"f", "aa", "k", "s"}));
    EXPECT_EQ(words[8].phones, (std::vector<std::string>{"d", "ao", "g"}));
}

// A word the dictionary lacks is spoken by letter-to-sound rules and still aligned.
TEST_F(ProgramTest, HintWordMissingFromTheDictionaryIsStillPlaced) {
    const std::string transcript = "The glimmerax plays the video.";
    const Utterance utterance = testing::writeUtterance(dir_ / "glimmer.wav", transcript);
    writeHints("glimmer.wav:" + transcript + "\n");

    const ProgramResult run = runPhonemes(
        {"-q", "-m", "0", "-h", "hints.txt", "-o", "out.txt", "glimmer.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 1u);
    const std::vector<Word> words = wordsOf(records[0]);
    ASSERT_EQ(words.size(), 5u);
    EXPECT_EQ(words[1].phones,
              (std::vector<std::string>{"g", "l", "ih", "m", "er", "ae", "k", "s"}));
    for (std::size_t i = 0; i < words.size(); ++i) {
        SCOPED_TRACE(utterance.words[i].text);
        EXPECT_NEAR(words[i].start, utterance.words[i].startMs, kWordStartToleranceMs);
    }
}

// Dictation: the echoed text names the record's words in order, and every word that was
// recognised as spoken lies where it was spoken; the phrase ends where the speech ends.
TEST_F(ProgramTest, DictationRecordPlacesRecognisedWordsWhereTheyWereSpoken) {
    const Utterance utterance =
        testing::writeUtterance(dir_ / "numbers.wav", "One two three four five.");

    const ProgramResult run =
        runPhonemes({"-t", "-m", "0", "-o", "out.txt", "numbers.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> recognised;
    for (const std::string& line : linesOf(run.out, "\n")) {
        if (line.starts_with("-- ")) {
            for (const std::string& word : wordsOfText(line.substr(3))) {
                recognised.push_back(plainWord(word));
            }
        }
    }
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 1u);
    const std::vector<Word> words = wordsOf(records[0]);
    ASSERT_EQ(words.size(), recognised.size()) << run.out;
    ASSERT_FALSE(words.empty());

    std::size_t matched = 0;
    std::size_t spokenIndex = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (std::size_t k = spokenIndex; k < utterance.words.size(); ++k) {
            if (plainWord(utterance.words[k].text) == recognised[i]) {
                SCOPED_TRACE(recognised[i]);
                EXPECT_NEAR(words[i].start, utterance.words[k].startMs, kDictationToleranceMs);
                ++matched;
                spokenIndex = k + 1;
                break;
            }
        }
    }
    // Numbers are what the language model knows best; most of them must be heard as spoken.
    EXPECT_GE(matched * 2, utterance.words.size()) << run.out;
    EXPECT_NEAR(words.back().end, utterance.speechEndMs, kDictationToleranceMs);
    EXPECT_GE(records[0].endTime, words.back().end);
    EXPECT_LE(records[0].endTime, utterance.durationMs);
}

// How far phones may move: every phone, or only the start of every word, within a tolerance.
struct Closeness {
    int toleranceMs;
    bool everyPhone;
};

struct FormatCase {
    const char* name;
    WavLayout layout;
    Closeness closeness;
};

// Formats that keep the samples (wider words, float, more channels) give the recogniser the
// same input: every phone stays where it was. Another rate above 16 kHz passes a different
// resampler on the way in, which may move a phone by a frame. 8-bit samples add quantisation
// noise, and 8 kHz loses everything above 4 kHz, most of an /s/ for one: the words still start
// where they did, but phones inside a word may move.
constexpr Closeness kSameSamples{5, true};
constexpr Closeness kResampled{20, true};
constexpr Closeness kDegradedAudio{50, false};

class ProgramFormatTest : public ProgramTest, public ::testing::WithParamInterface<FormatCase> {};

// The same speech in another sample format, width, channel count or rate gives the same phones
// at nearly the same times as at the recogniser's own 16 kHz.
TEST_P(ProgramFormatTest, SameUtteranceGivesTheSamePhonesAtTheSameTimes) {
    const FormatCase& c = GetParam();
    const std::string transcript = "The quick brown fox jumps over the lazy dog.";
    const auto speech = engine::testing::synthesize(transcript);
    testing::writeSpeech(dir_ / "reference.wav", speech, testing::kWav16Bit16kHz);
    testing::writeSpeech(dir_ / "variant.wav", speech, c.layout);
    writeHints("reference.wav:" + transcript + "\nvariant.wav:" + transcript + "\n");

    const ProgramResult run = runPhonemes(
        {"-q", "-m", "0", "-h", "hints.txt", "-o", "out.txt", "reference.wav", "variant.wav"},
        dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 2u);
    const Record& reference = records[0];
    const Record& variant = records[1];
    ASSERT_FALSE(reference.entries.empty());
    EXPECT_NEAR(variant.endTime, reference.endTime, 2);
    ASSERT_EQ(variant.entries.size(), reference.entries.size());
    bool wordStarts = true;  // the first entry, and every one after a word's end
    for (std::size_t i = 0; i < reference.entries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(variant.entries[i].label, reference.entries[i].label);
        if (c.closeness.everyPhone || wordStarts) {
            EXPECT_NEAR(variant.entries[i].start, reference.entries[i].start,
                        c.closeness.toleranceMs);
        }
        wordStarts = reference.entries[i].label == "_";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ProgramFormatTest,
    ::testing::Values(
        FormatCase{"pcm8", {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, kDegradedAudio},
        FormatCase{"pcm24", {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24}, kSameSamples},
        FormatCase{"float", {16000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT}, kSameSamples},
        FormatCase{"stereo", {16000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, kSameSamples},
        FormatCase{"rate_8khz", {8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, kDegradedAudio},
        FormatCase{"rate_22khz", {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, kResampled},
        FormatCase{
            "rate_48khz_stereo_24bit", {48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24}, kResampled}),
    [](const auto& info) { return std::string(info.param.name); });

// Files that are no readable audio cost only their own record; empty and silent audio give the
// empty record, and a file whose data breaks off is recognised as far as it goes.
TEST_F(ProgramTest, UnreadableFilesGiveTheirErrorAndTheBatchGoesOn) {
    const std::string transcript = "Thank you very much.";
    const auto speech = engine::testing::synthesize(transcript);
    testing::writeSpeech(dir_ / "a-first.wav", speech, testing::kWav16Bit16kHz);
    dir_.write("b-notes.wav", "These are notes, not audio.\n");
    fs::create_directory(dir_ / "c-folder.wav");
    const std::string whole = testing::readFile(dir_ / "a-first.wav");
    dir_.write("d-header-cut.wav", whole.substr(0, 30));
    dir_.write("e-data-cut.wav", whole.substr(0, whole.size() / 2));
    engine::testing::writeAudio(dir_ / "f-empty.wav", {}, 16000, testing::kWav16Bit16kHz);
    engine::testing::writeAudio(dir_ / "g-silent.wav", engine::testing::silence(16000, 2000), 16000,
                                testing::kWav16Bit16kHz);
    fs::copy_file(dir_ / "a-first.wav", dir_ / "h-last.wav");
    writeHints("a-first.wav:" + transcript + "\nh-last.wav:" + transcript + "\n");

    const ProgramResult run =
        runPhonemes({"-h", "hints.txt", "-o", "out.txt", "*.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, kCannotOpenAudio + kCannotOpenAudio + kCannotOpenAudio);
    std::vector<std::string> fileLines;
    for (const std::string& line : linesOf(run.out, "\n")) {
        if (line.starts_with("FILE: ")) {
            fileLines.push_back(line);
        }
    }
    EXPECT_EQ(fileLines, (std::vector<std::string>{"FILE: a-first.wav", "FILE: b-notes.wav",
                                                   "FILE: c-folder.wav", "FILE: d-header-cut.wav",
                                                   "FILE: e-data-cut.wav", "FILE: f-empty.wav",
                                                   "FILE: g-silent.wav", "FILE: h-last.wav"}));

    const std::string bytes = output();
    const std::vector<Record> records = parseRecords(bytes);
    std::vector<std::string> names;
    for (const Record& record : records) {
        names.push_back(record.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a-first.wav", "e-data-cut.wav", "f-empty.wav",
                                               "g-silent.wav", "h-last.wav"}));
    EXPECT_NE(bytes.find("[f-empty.wav]\t0\r\n\r\n[g-silent.wav]\t0\r\n\r\n[h-last.wav]\t"),
              std::string::npos);
    const Record* first = findRecord(records, "a-first.wav");
    const Record* last = findRecord(records, "h-last.wav");
    const Record* cut = findRecord(records, "e-data-cut.wav");
    ASSERT_TRUE(first && last && cut);
    EXPECT_FALSE(first->entries.empty());
    EXPECT_EQ(last->entries.size(), first->entries.size()) << "nothing of a failed file stays";
    EXPECT_GT(cut->endTime, 0);
    EXPECT_LT(cut->endTime, first->endTime);
}

// The name's bytes reach the console line, the hint lookup and the record unchanged.
TEST_F(ProgramTest, NamesWithSpacesAndNonAsciiLettersKeepTheirBytes) {
    const std::string name = "my ünïcödé utterance №1.wav";
    const std::string transcript = "Thank you very much.";
    testing::writeUtterance(dir_ / name, transcript);
    writeHints(name + ":" + transcript + "\n");

    const ProgramResult run =
        runPhonemes({"-m", "0", "-h", "hints.txt", "-o", "out.txt", "my*.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\nFILE: " + name + "\n"), std::string::npos) << run.out;
    const std::string bytes = output();
    ASSERT_TRUE(bytes.starts_with("[" + name + "]\t")) << bytes;
    const std::vector<Record> records = parseRecords(bytes);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(wordsOf(records[0]).size(), 4u) << "the hint was found for the name";
}

// A transcript longer than the speech cannot be aligned as a whole: the file still gets a false
// recognition of the words that were heard, placed where they were spoken.
TEST_F(ProgramTest, HintLongerThanTheSpeechGivesAFalseRecognitionOfWhatWasHeard) {
    const Utterance utterance = testing::writeUtterance(dir_ / "short.wav", "Thank you very much.");
    writeHints("short.wav:Thank you very much for the flowers you sent us last week.\n");

    const ProgramResult run = runPhonemes(
        {"-t", "-m", "0", "-h", "hints.txt", "-o", "out.txt", "short.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n-~ Thank you very much\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\n-- "), std::string::npos) << run.out;
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 1u);
    const std::vector<Word> words = wordsOf(records[0]);
    ASSERT_EQ(words.size(), 4u);
    for (std::size_t i = 0; i < words.size(); ++i) {
        SCOPED_TRACE(utterance.words[i].text);
        EXPECT_NEAR(words[i].start, utterance.words[i].startMs, kWordStartToleranceMs);
    }
}

// A hint found but empty is a rule without words: nothing is recognised, the file still gets
// its record, and it holds no phones.
TEST_F(ProgramTest, EmptyHintGivesARecordWithoutPhones) {
    testing::writeUtterance(dir_ / "spoken.wav", "Thank you very much.");
    writeHints("spoken.wav:\n");

    const ProgramResult run =
        runPhonemes({"-t", "-h", "hints.txt", "-o", "out.txt", "spoken.wav"}, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("\n-- "), std::string::npos) << "no recognition: " << run.out;
    const std::vector<Record> records = parseRecords(output());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "spoken.wav");
    EXPECT_TRUE(records[0].entries.empty());
}

// A batch run the way a hostile user might: what the folder holds, the command line after
// "-o out.txt", the standard streams, and what must come of it: standard error byte for byte,
// the records' names in order, and a line that standard output must hold.
struct BatchCase {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    std::vector<std::string> arguments;
    std::string standardInput;  // fed through a pipe; /dev/null when empty
    bool standardOutputClosed;
    std::string err;
    std::vector<std::string> records;
    std::string outputLine;  // empty: standard output is not looked at

    friend void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }
};

// A batch of a few short files takes seconds (under 3 s in the sanitizer build, a few times that
// with every core busy); one that blocks fails instead of hanging the suite.
constexpr std::chrono::seconds kBatchTimeLimit{60};
const std::string kThanks = "Thank you very much";

void speakThanks(const TempDir& dir, const std::string& name) {
    testing::writeUtterance(dir / name, kThanks + ".");
}

void writeEmptyWav(const TempDir& dir, const std::string& name) {
    engine::testing::writeAudio(dir / name, {}, 16000, testing::kWav16Bit16kHz);
}

class HostileBatchTest : public ProgramTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(HostileBatchTest, EveryFileThatCanBeReadGetsItsRecordAndTheRunSucceeds) {
    const BatchCase& c = GetParam();
    c.prepare(dir_);
    std::vector<std::string> arguments{"-o", "out.txt"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    testing::RunOptions streams;
    if (!c.standardInput.empty()) {
        streams.standardInput = c.standardInput;
    }
    streams.standardOutputClosed = c.standardOutputClosed;
    streams.timeLimit = kBatchTimeLimit;

    const ProgramResult run =
        testing::runProgram(PHONEMES_PROGRAM, arguments, dir_.path(), streams);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, c.err);
    std::vector<std::string> names;
    for (const Record& record : parseRecords(output())) {
        names.push_back(record.name);
    }
    EXPECT_EQ(names, c.records);
    if (!c.outputLine.empty()) {
        EXPECT_NE(run.out.find("\n" + c.outputLine + "\n"), std::string::npos) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, HostileBatchTest,
    ::testing::Values(
        // `phonemes -t a.wav b.wav a.wav | head -1`: nobody reads the console any more.
        BatchCase{"ClosedStandardOutput",
                  [](const TempDir& d) {
                      speakThanks(d, "a.wav");
                      writeEmptyWav(d, "b.wav");
                  },
                  {"-t", "a.wav", "b.wav", "a.wav"},
                  "",
                  true,
                  "",
                  {"a.wav", "b.wav", "a.wav"},
                  ""},
        // `... | phonemes -t -h /dev/stdin a.wav`: the echo is the hint, as the hint writes it.
        BatchCase{"HintsFromStandardInput",
                  [](const TempDir& d) { speakThanks(d, "a.wav"); },
                  {"-t", "-h", "/dev/stdin", "a.wav"},
                  "a.wav:" + kThanks + "\n",
                  false,
                  "",
                  {"a.wav"},
                  "-- " + kThanks},
        // `mkfifo b.wav; phonemes *.wav`, and a socket and a device: none is a file to decode,
        // and none may block the batch.
        BatchCase{"InputsThatAreNotRegularFiles",
                  [](const TempDir& d) {
                      speakThanks(d, "a.wav");
                      ASSERT_EQ(::mkfifo((d / "b.wav").c_str(), 0600), 0);
                      testing::makeSocketFile(d / "c.wav");
                      writeEmptyWav(d, "d.wav");
                  },
                  {"-q", "*.wav", "/dev/zero"},
                  "",
                  false,
                  kCannotOpenAudio + kCannotOpenAudio + kCannotOpenAudio,
                  {"a.wav", "d.wav"},
                  ""},
        // A line break in a name would split the record's header line: such a file fails. Every
        // other name is written as it is, in byte order of the names.
        BatchCase{"LineBreaksInNames",
                  [](const TempDir& d) {
                      for (const char* name :
                           {"line\nfeed.wav", "carriage\rreturn.wav", "tab\there.wav",
                            "[brackets] and  spaces.wav", "\xC3\xBCml\xC3\xA4ut.wav"}) {
                          writeEmptyWav(d, name);
                      }
                  },
                  {"-q", "*.wav"},
                  "",
                  false,
                  kCannotOpenAudio + kCannotOpenAudio,
                  {"[brackets] and  spaces.wav", "tab\there.wav", "\xC3\xBCml\xC3\xA4ut.wav"},
                  ""},
        // A hints file written on Windows, in its code page: the hint is read as Windows-1252
        // and echoed in UTF-8.
        BatchCase{"Windows1252Hint",
                  [](const TempDir& d) {
                      testing::writeUtterance(d / "cafe.wav", "The caf\xC3\xA9 is open.");
                      d.write("hints.txt", "cafe.wav:The caf\xE9 is open\r\n");
                  },
                  {"-t", "-h", "hints.txt", "cafe.wav"},
                  "",
                  false,
                  "",
                  {"cafe.wav"},
                  "-- The caf\xC3\xA9 is open"},
        // A name in Latin-1 opens, its record shows its bytes, and a hints line in the same code
        // page finds it.
        BatchCase{"NameThatIsNotUtf8",
                  [](const TempDir& d) {
                      speakThanks(d, "caf\xE9.wav");
                      d.write("hints.txt", "caf\xE9.wav:" + kThanks + "\n");
                  },
                  {"-t", "-h", "hints.txt", "caf*.wav"},
                  "",
                  false,
                  "",
                  {"caf\xE9.wav"},
                  "-- " + kThanks}),
    [](const auto& info) { return std::string(info.param.name); });

// An output file that refuses every write fails the run, in either form.
TEST_F(ProgramTest, UnwritableOutputFailsTheRun) {
    engine::testing::writeAudio(dir_ / "empty.wav", {}, 16000, testing::kWav16Bit16kHz);

    for (const char* format : {"records", "json"}) {
        SCOPED_TRACE(format);
        const ProgramResult run = runPhonemes(
            {"-q", "--format", format, "-o", "/dev/full", "empty.wav"}, dir_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "ERROR: Cannot write output file.\n");
    }
}

}  // namespace
}  // namespace phonemes
