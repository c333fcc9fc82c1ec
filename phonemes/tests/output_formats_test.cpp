// The TextGrid and JSON forms of the program's results, end to end on generated speech, read
// back by the programs their users read them with (Praat, jq) and compared with the records of
// the same run.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "mouth_shapes.h"
#include "record_reader.h"
#include "test_support.h"

namespace phonemes {
namespace {

namespace fs = std::filesystem;
using testing::PraatTextGrid;
using testing::ProgramResult;
using testing::TaggedPhone;
using testing::TaggedRecord;
using testing::TempDir;
using testing::TextGridInterval;

const std::string kFoxTranscript = "The quick brown fox jumps over the lazy dog.";

ProgramResult runPhonemes(const std::vector<std::string>& arguments, const fs::path& folder) {
    return testing::runProgram(PHONEMES_PROGRAM, arguments, folder);
}

std::vector<std::string> wordsOfText(const std::string& text) {
    std::vector<std::string> words;
    for (const std::string& word : testing::linesOf(text, " ")) {
        if (!word.empty()) {
            words.push_back(word);
        }
    }
    return words;
}

// The labelled intervals of one tier, as phones of a tagged record look.
std::vector<TaggedPhone> labelled(const PraatTextGrid& grid, const std::string& tier) {
    std::vector<TaggedPhone> found;
    for (const TextGridInterval& interval : grid.intervals) {
        if (interval.tier == tier && !interval.label.empty()) {
            found.push_back({interval.label, interval.startMs, interval.endMs});
        }
    }
    return found;
}

// The phones of a tagged record without the word-end markers.
std::vector<TaggedPhone> phonesOnly(const TaggedRecord& record) {
    std::vector<TaggedPhone> phones;
    for (const TaggedPhone& phone : record.phones) {
        if (phone.label != "_") {
            phones.push_back(phone);
        }
    }
    return phones;
}

// Where the phones of a tagged record begin.
std::set<int> phoneStartsOf(const TaggedRecord& record) {
    std::set<int> starts;
    for (const TaggedPhone& phone : record.phones) {
        if (phone.label != "_") {
            starts.insert(phone.start);
        }
    }
    return starts;
}

// "label start end" lines, times in ms, from a JSON Lines file for one file's array.
std::vector<TaggedPhone> jsonIntervals(const fs::path& file, const std::string& name,
                                       const std::string& array, const std::string& key) {
    const std::string filter = "select(.file == \"" + name + "\") | ." + array + "[] | \"\\(." +
                               key + ")\\t\\(.start * 1000 | round)\\t\\(.end * 1000 | round)\"";
    std::vector<TaggedPhone> intervals;
    for (const std::string& line : testing::jqLines(filter, file)) {
        const std::vector<std::string> fields = testing::linesOf(line, "\t");
        EXPECT_EQ(fields.size(), 3u) << line;
        if (fields.size() == 3) {
            intervals.push_back({fields[0], std::stoi(fields[1]), std::stoi(fields[2])});
        }
    }
    return intervals;
}

class OutputFormats : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        fox_ = testing::writeUtterance(dir_ / "fox.wav", kFoxTranscript);
        testing::writeUtterance(dir_ / "numbers.wav", "One two three four five.");
        engine::testing::writeAudio(dir_ / "empty.wav", {}, 16000, testing::kWav16Bit16kHz);
        dir_.write("notes.wav", "These are notes, not audio.\n");
        dir_.write("hints.txt", "fox.wav:" + kFoxTranscript + "\n");
    }

    ProgramResult run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.end(),
                         {"-q", "-h", "hints.txt", "--phone-times", GetParam(), "*.wav"});
        return runPhonemes(arguments, dir_.path());
    }

    TempDir dir_;
    testing::Utterance fox_;
};

// Every file whose set-up succeeds gets a TextGrid and a JSON line that show what its record
// shows: the same phones over the same stretches, the words where their phones begin, and
// tiers that cover the whole audio.
TEST_P(OutputFormats, TextGridAndJsonShowWhatTheRecordShows) {
    const ProgramResult records = run({"-x", "-o", "out.txt", "--textgrid", "grids"});
    ASSERT_EQ(records.status, 0) << records.err;
    EXPECT_EQ(records.err, "ERROR: Cannot create audio stream from file.\n");
    const ProgramResult json = run({"-o", "out.jsonl", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;

    const std::vector<TaggedRecord> tagged =
        testing::parseTaggedRecords(testing::readFile(dir_ / "out.txt"));
    std::vector<std::string> names;
    for (const TaggedRecord& record : tagged) {
        names.push_back(record.name);
    }
    ASSERT_EQ(names, (std::vector<std::string>{"empty.wav", "fox.wav", "numbers.wav"}));
    const fs::path jsonFile = dir_ / "out.jsonl";
    EXPECT_EQ(testing::jqLines(".file", jsonFile), names) << "one line per record, in order";
    std::vector<std::string> grids;
    for (const auto& entry : fs::directory_iterator(dir_ / "grids")) {
        grids.push_back(entry.path().filename().string());
    }
    std::sort(grids.begin(), grids.end());
    EXPECT_EQ(grids,
              (std::vector<std::string>{"empty.TextGrid", "fox.TextGrid", "numbers.TextGrid"}));

    for (const TaggedRecord& record : tagged) {
        SCOPED_TRACE(record.name);
        const std::string stem = fs::path(record.name).stem().string();
        const PraatTextGrid grid =
            testing::readTextGridWithPraat(dir_ / "grids" / (stem + ".TextGrid"));
        const std::vector<TaggedPhone> phones = phonesOnly(record);
        EXPECT_EQ(labelled(grid, "phones"), phones);
        EXPECT_EQ(jsonIntervals(jsonFile, record.name, "phones", "phone"), phones);
        EXPECT_EQ(testing::jqLines("select(.file == \"" + record.name + "\") | .end * 1000 | round",
                                   jsonFile),
                  std::vector<std::string>{std::to_string(record.endTime)});

        const std::vector<TaggedPhone> words = labelled(grid, "words");
        EXPECT_EQ(jsonIntervals(jsonFile, record.name, "words", "word"), words);
        // A word begins where its first phone does. (Which phones are first cannot be told from
        // the record: the marker between two words that follow directly is too short to keep.)
        const std::set<int> phoneStarts = phoneStartsOf(record);
        for (const TaggedPhone& word : words) {
            EXPECT_EQ(phoneStarts.count(word.start), 1u) << word.label << " at " << word.start;
        }
        if (record.name == "fox.wav") {
            std::vector<std::string> shown;
            for (const TaggedPhone& word : words) {
                shown.push_back(word.label);
            }
            EXPECT_EQ(shown, wordsOfText(kFoxTranscript)) << "the transcript's own spelling";
            EXPECT_NEAR(grid.endMs, fox_.durationMs, 1) << "the tiers cover the whole audio";
        }
        if (record.name == "empty.wav") {
            EXPECT_EQ(grid.endMs, 0);
            EXPECT_EQ(grid.intervals,
                      (std::vector<TextGridInterval>{{"words", 0, 0, ""}, {"phones", 0, 0, ""}}));
        }
    }
}

// One mouth cue as a file gives it: its start in ms and its shape.
struct Cue {
    int startMs;
    std::string shape;
    friend bool operator==(const Cue&, const Cue&) = default;
};

void PrintTo(const Cue& c, std::ostream* os) {
    *os << c.shape << "@" << c.startMs;
}

int msOfSeconds(const std::string& text) {
    return static_cast<int>(std::lround(std::stod(text) * 1000));
}

// The value of each ` name="value"` xmllint prints for an attribute XPath.
std::vector<std::string> attributeValues(const std::vector<std::string>& lines) {
    std::vector<std::string> values;
    for (const std::string& line : lines) {
        const std::size_t open = line.find('"');
        values.push_back(line.substr(open + 1, line.rfind('"') - open - 1));
    }
    return values;
}

// The cues of each layout, read as their importers read them: JSON with jq, XML with xmllint,
// the tab-separated and switch files line by line. Each gives the same cues, and JSON and XML
// end each cue where the next begins and the last at the end of the audio.
std::vector<Cue> readCues(const fs::path& folder, const std::string& stem, int durationMs) {
    const fs::path json = folder / "json" / (stem + ".json");
    std::vector<Cue> cues;
    int reached = 0;
    for (const std::string& line :
         testing::jqLines(R"jq(.mouthCues[] | "\(.start)\t\(.end)\t\(.value)")jq", json)) {
        const std::vector<std::string> fields = testing::linesOf(line, "\t");
        EXPECT_EQ(msOfSeconds(fields[0]), reached) << "cues tile the audio";
        reached = msOfSeconds(fields[1]);
        cues.push_back({msOfSeconds(fields[0]), fields[2]});
    }
    EXPECT_EQ(reached, durationMs);
    EXPECT_EQ(testing::jqLines(".metadata.duration * 1000 | round", json),
              std::vector<std::string>{std::to_string(durationMs)});

    const fs::path xml = folder / "xml" / (stem + ".xml");
    const std::vector<std::string> starts =
        attributeValues(testing::xpathLines("//mouthCue/@start", xml));
    const std::vector<std::string> ends =
        attributeValues(testing::xpathLines("//mouthCue/@end", xml));
    const std::vector<std::string> shapes = testing::xpathLines("//mouthCue/text()", xml);
    std::vector<Cue> xmlCues;
    for (std::size_t i = 0; i < starts.size() && i < shapes.size(); ++i) {
        xmlCues.push_back({msOfSeconds(starts[i]), shapes[i]});
    }
    EXPECT_EQ(xmlCues, cues);
    EXPECT_TRUE(!ends.empty() && msOfSeconds(ends.back()) == durationMs);

    std::vector<Cue> tsvCues;
    for (const std::string& line :
         testing::linesOf(testing::readFile(folder / "tsv" / (stem + ".tsv")), "\n")) {
        if (!line.empty()) {
            const std::vector<std::string> fields = testing::linesOf(line, "\t");
            tsvCues.push_back({msOfSeconds(fields[0]), fields[1]});
        }
    }
    // Its last line is the rest that ends the last shape, when that shape is not rest.
    std::vector<Cue> expectedTsv = cues;
    if (cues.back().shape != "X") {
        expectedTsv.push_back({durationMs, "X"});
    }
    EXPECT_EQ(tsvCues, expectedTsv);

    const std::map<std::string, std::string> prestonBlair = {
        {"MBP", "A"}, {"etc", "B"}, {"E", "C"}, {"AI", "D"},  {"O", "E"},
        {"U", "F"},   {"FV", "G"},  {"L", "H"}, {"rest", "X"}};
    const std::vector<std::string> dat =
        testing::linesOf(testing::readFile(folder / "dat" / (stem + ".dat")), "\n");
    EXPECT_EQ(dat.front(), "MohoSwitch1");
    std::vector<Cue> datCues;
    for (std::size_t i = 1; i < dat.size(); ++i) {
        if (dat[i].empty()) {
            continue;
        }
        const std::vector<std::string> fields = testing::linesOf(dat[i], " ");
        const int frame = std::stoi(fields[0]) - 1;  // frames count from 1
        datCues.push_back(
            {static_cast<int>(std::lround(frame * 1000.0 / 24)), prestonBlair.at(fields[1])});
    }
    EXPECT_EQ(datCues, cues);
    return cues;
}

// Every processed file gets its mouth cues in each layout, and they show what its record shows:
// each phone that lasts two frames shows its shape at its middle.
TEST_P(OutputFormats, MouthCuesInEveryLayoutShowWhatTheRecordShows) {
    for (const char* format : {"tsv", "json", "xml", "dat"}) {
        const ProgramResult result = run({"-x", "-o", "out.txt", "--mouth-format", format,
                                          "--mouth-cues", std::string("cues/") + format});
        ASSERT_EQ(result.status, 0) << result.err;
    }
    const std::vector<TaggedRecord> tagged =
        testing::parseTaggedRecords(testing::readFile(dir_ / "out.txt"));
    ASSERT_EQ(tagged.size(), 3u);
    for (const TaggedRecord& record : tagged) {
        SCOPED_TRACE(record.name);
        const std::string stem = fs::path(record.name).stem().string();
        const int durationMs = record.name == "fox.wav" ? fox_.durationMs : -1;
        const std::vector<Cue> cues = readCues(
            dir_ / "cues", stem,
            durationMs >= 0 ? durationMs
                            : msOfSeconds(testing::jqLines(
                                  ".metadata.duration", dir_ / "cues/json" / (stem + ".json"))[0]));
        if (record.name == "empty.wav") {
            EXPECT_EQ(cues, (std::vector<Cue>{{0, "X"}}));
        }
        const auto shapeAt = [&](int ms) {
            std::string shape;
            for (const Cue& cue : cues) {
                if (cue.startMs <= ms) {
                    shape = cue.shape;
                }
            }
            return shape;
        };
        for (std::size_t i = 0; i < record.phones.size(); ++i) {
            const TaggedPhone& phone = record.phones[i];
            if (phone.label == "_" || phone.end - phone.start < 2 * 1000 / 24 + 1) {
                continue;
            }
            const bool lastOfWord =
                i + 1 == record.phones.size() || record.phones[i + 1].label == "_";
            const std::string next = lastOfWord ? "" : record.phones[i + 1].label;
            EXPECT_EQ(shapeAt((phone.start + phone.end) / 2),
                      mouthShapeOf(MouthShapeSet::kExtended, phone.label, next))
                << phone.label << " at " << phone.start;
        }
    }
}

// A TextGrid or mouth-cue file that cannot be written costs only itself.
TEST_P(OutputFormats, AnUnwritablePerInputFileIsReportedAndTheBatchGoesOn) {
    const struct {
        const char* option;
        const char* blocked;  // a folder stands in this file's place
        const char* written;  // another input's file, still written
        const char* message;
    } cases[] = {
        {"--textgrid", "fox.TextGrid", "numbers.TextGrid",
         "ERROR: Cannot write TextGrid file files/fox.TextGrid.\n"},
        {"--mouth-cues", "fox.tsv", "numbers.tsv",
         "ERROR: Cannot write mouth-cue file files/fox.tsv.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        fs::remove_all(dir_ / "files");
        fs::create_directories(dir_ / "files" / c.blocked);
        const ProgramResult result = run({"-o", "out.txt", c.option, "files"});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err,
                  std::string(c.message) + "ERROR: Cannot create audio stream from file.\n");
        EXPECT_TRUE(fs::is_regular_file(dir_ / "files" / c.written));
        EXPECT_EQ(testing::parseRecords(testing::readFile(dir_ / "out.txt")).size(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(PhoneTimes, OutputFormats, ::testing::Values("weights", "acoustic"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace phonemes
