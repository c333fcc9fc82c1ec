#include "command_line.h"

#include <gtest/gtest.h>

#include <limits>

namespace phonemes {
namespace {

// Option words only: no argument below names an existing file, so patterns add nothing.
struct GrammarCase {
    const char* name;
    std::vector<std::string> arguments;
    ExtractorOptions expected;
};

void PrintTo(const GrammarCase& c, std::ostream* os) {
    *os << c.name;
}

ExtractorOptions with(void (*change)(ExtractorOptions&)) {
    ExtractorOptions options;
    change(options);
    return options;
}

class CommandLineGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(CommandLineGrammar, SetsOptions) {
    const GrammarCase& c = GetParam();
    CommandLine parsed = parseCommandLine(c.arguments);
    const ExtractorOptions& got = parsed.options;
    const ExtractorOptions& want = c.expected;
    EXPECT_EQ(got.hintsFile, want.hintsFile);
    EXPECT_EQ(got.minPhonemeDuration, want.minPhonemeDuration);
    EXPECT_EQ(got.outputFile, want.outputFile);
    EXPECT_EQ(got.showPronunciations, want.showPronunciations);
    EXPECT_EQ(got.quiet, want.quiet);
    EXPECT_EQ(got.showTranscription, want.showTranscription);
    EXPECT_EQ(got.showHypothesis, want.showHypothesis);
    EXPECT_EQ(got.xmlFormat, want.xmlFormat);
    EXPECT_TRUE(parsed.inputFiles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineGrammar,
    ::testing::Values(
        GrammarCase{"Defaults", {}, ExtractorOptions{}},
        GrammarCase{"AllFlags", {"-p", "-q", "-t", "-u", "-x"}, with([](ExtractorOptions& o) {
                        o.showPronunciations = o.quiet = o.showTranscription = true;
                        o.showHypothesis = o.xmlFormat = true;
                    })},
        GrammarCase{"ConsumedOptionWordIsAValue", {"-o", "-x"}, with([](ExtractorOptions& o) {
                        o.outputFile = "-x";
                    })},
        GrammarCase{"LaterValueReplacesEarlier",
                    {"-o", "a.txt", "-h", "h1", "-o", "b.txt"},
                    with([](ExtractorOptions& o) {
                        o.outputFile = "b.txt";
                        o.hintsFile = "h1";
                    })},
        GrammarCase{
            "HintsAsLastArgumentClearsEarlierName", {"-h", "hints.txt", "-h"}, ExtractorOptions{}},
        GrammarCase{"OutputAsLastArgumentIsEmpty", {"-o"}, with([](ExtractorOptions& o) {
                        o.outputFile = "";
                    })},
        GrammarCase{"DurationAsLastArgumentIsZero", {"-m"}, with([](ExtractorOptions& o) {
                        o.minPhonemeDuration = 0;
                    })},
        GrammarCase{"DurationWithUnit", {"-m", "25ms"}, with([](ExtractorOptions& o) {
                        o.minPhonemeDuration = 25;
                    })},
        GrammarCase{"DurationNotANumber", {"-m", "abc"}, with([](ExtractorOptions& o) {
                        o.minPhonemeDuration = 0;
                    })},
        GrammarCase{"NegativeDurationKept", {"-m", "-5"}, with([](ExtractorOptions& o) {
                        o.minPhonemeDuration = -5;
                    })},
        GrammarCase{"OptionWordsAreCaseSensitiveAndWhole",
                    {"-P", "-hx", "--x", "-help", "-Q"},
                    ExtractorOptions{}},
        GrammarCase{"RepeatedFlagStaysSet", {"-x", "-x"}, with([](ExtractorOptions& o) {
                        o.xmlFormat = true;
                    })}),
    [](const ::testing::TestParamInfo<GrammarCase>& info) { return info.param.name; });

// Long options take their value from the next argument or after '='; any other "--" word is a
// file pattern, as before they existed.
struct LongOptionCase {
    const char* name;
    std::vector<std::string> arguments;
    PhoneTiming timing;
    OutputFormat format;
    std::string textGridFolder;
    bool help;
    std::string error;
};

void PrintTo(const LongOptionCase& c, std::ostream* os) {
    *os << c.name;
}

class LongOptions : public ::testing::TestWithParam<LongOptionCase> {};

TEST_P(LongOptions, SetOptionsOrReportTheBadValue) {
    const LongOptionCase& c = GetParam();
    const CommandLine parsed = parseCommandLine(c.arguments);
    EXPECT_EQ(parsed.options.phoneTiming, c.timing);
    EXPECT_EQ(parsed.options.outputFormat, c.format);
    EXPECT_EQ(parsed.options.textGridFolder, c.textGridFolder);
    EXPECT_EQ(parsed.showHelp, c.help);
    EXPECT_EQ(parsed.error, c.error);
}

constexpr PhoneTiming kWeights = PhoneTiming::kWeights;
constexpr PhoneTiming kAcoustic = PhoneTiming::kAcoustic;
constexpr OutputFormat kRecords = OutputFormat::kRecords;
constexpr OutputFormat kJson = OutputFormat::kJson;

INSTANTIATE_TEST_SUITE_P(
    Arguments, LongOptions,
    ::testing::Values(
        LongOptionCase{"None", {"-x"}, kWeights, kRecords, "", false, ""},
        LongOptionCase{"AllSeparateValues",
                       {"--phone-times", "acoustic", "--format", "json", "--textgrid", "grids"},
                       kAcoustic,
                       kJson,
                       "grids",
                       false,
                       ""},
        LongOptionCase{"ValuesAfterEquals",
                       {"--phone-times=acoustic", "--format=json", "--textgrid=a=b"},
                       kAcoustic,
                       kJson,
                       "a=b",
                       false,
                       ""},
        LongOptionCase{"LaterValueReplacesEarlier",
                       {"--format", "json", "--format", "records", "--phone-times", "acoustic",
                        "--phone-times=weights"},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       ""},
        LongOptionCase{
            "ValueMayLookLikeAnOption", {"--textgrid", "-x"}, kWeights, kRecords, "-x", false, ""},
        LongOptionCase{"Help", {"-q", "--help"}, kWeights, kRecords, "", true, ""},
        LongOptionCase{"UnknownLongWordsArePatterns",
                       {"--Help", "--help=me", "--formats", "--job", "--shards"},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       ""},
        LongOptionCase{"BadTiming",
                       {"--phone-times", "exact"},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       "--phone-times takes weights or acoustic, not \"exact\"."},
        LongOptionCase{"BadFormat",
                       {"--format=xml"},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       "--format takes records or json, not \"xml\"."},
        LongOptionCase{
            "MissingValue", {"--format"}, kWeights, kRecords, "", false, "--format needs a value."},
        LongOptionCase{"EmptyFolder",
                       {"--textgrid="},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       "--textgrid needs a folder."},
        LongOptionCase{"ErrorStopsReading",
                       {"--format", "yaml", "--help"},
                       kWeights,
                       kRecords,
                       "",
                       false,
                       "--format takes records or json, not \"yaml\"."}),
    [](const ::testing::TestParamInfo<LongOptionCase>& info) { return info.param.name; });

// The mouth-cue options: their defaults, every value they take, and the last one winning.
TEST(MouthCueOptions, TakeEachSetFormatAndFrameRate) {
    const struct {
        std::vector<std::string> arguments;
        std::string folder;
        MouthShapeSet set;
        MouthCueFormat format;
        int fps;
    } cases[] = {
        {{"-x"}, "", MouthShapeSet::kExtended, MouthCueFormat::kTsv, 24},
        {{"--mouth-cues", "cues", "--mouth-shapes", "basic", "--mouth-format", "json", "--fps",
          "1"},
         "cues",
         MouthShapeSet::kBasic,
         MouthCueFormat::kJson,
         1},
        {{"--mouth-cues=a=b", "--mouth-shapes=oculus", "--mouth-format=xml", "--fps=120"},
         "a=b",
         MouthShapeSet::kOculus,
         MouthCueFormat::kXml,
         120},
        {{"--mouth-format", "json", "--mouth-format", "dat", "--mouth-shapes", "oculus",
          "--mouth-shapes", "extended", "--fps", "30"},
         "",
         MouthShapeSet::kExtended,
         MouthCueFormat::kDat,
         30},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.error, "") << c.arguments.front();
        EXPECT_EQ(parsed.options.mouthCueFolder, c.folder);
        EXPECT_EQ(parsed.options.mouthShapes, c.set);
        EXPECT_EQ(parsed.options.mouthFormat, c.format);
        EXPECT_EQ(parsed.options.fps, c.fps);
    }
}

// --jobs and --shard take whole numbers written plainly; anything else is refused with the
// value named, before any file pattern after it is read.
TEST(RunOptions, JobsAndShardOrTheBadValue) {
    const std::string jobsError = "--jobs takes a whole number from 1 to 256, not ";
    const std::string shardError = "--shard takes I/N, the I-th of N slices (1 <= I <= N), not ";
    const struct {
        std::vector<std::string> arguments;
        unsigned jobs;
        Shard shard;
        std::string error;
    } cases[] = {
        {{"-x"}, 0, {1, 1}, ""},
        {{"--jobs", "4", "--shard", "2/3"}, 4, {2, 3}, ""},
        {{"--jobs=1", "--shard=1/1"}, 1, {1, 1}, ""},
        {{"--jobs", "256", "--shard", "3/3"}, 256, {3, 3}, ""},
        {{"--shard", "4294967295/4294967295"}, 0, {4294967295u, 4294967295u}, ""},
        {{"--jobs", "0"}, 0, {1, 1}, jobsError + "\"0\"."},
        {{"--jobs", "257"}, 0, {1, 1}, jobsError + "\"257\"."},
        {{"--jobs", "+2"}, 0, {1, 1}, jobsError + "\"+2\"."},
        {{"--jobs", "2 "}, 0, {1, 1}, jobsError + "\"2 \"."},
        {{"--jobs", "two"}, 0, {1, 1}, jobsError + "\"two\"."},
        {{"--jobs="}, 0, {1, 1}, jobsError + "\"\"."},
        {{"--jobs"}, 0, {1, 1}, "--jobs needs a value."},
        {{"--shard", "0/3"}, 0, {1, 1}, shardError + "\"0/3\"."},
        {{"--shard", "4/3"}, 0, {1, 1}, shardError + "\"4/3\"."},
        {{"--shard", "1/0"}, 0, {1, 1}, shardError + "\"1/0\"."},
        {{"--shard", "x/y"}, 0, {1, 1}, shardError + "\"x/y\"."},
        {{"--shard", "2"}, 0, {1, 1}, shardError + "\"2\"."},
        {{"--shard", "1/2/3"}, 0, {1, 1}, shardError + "\"1/2/3\"."},
        {{"--shard", "-1/3"}, 0, {1, 1}, shardError + "\"-1/3\"."},
        {{"--shard", "1/99999999999"}, 0, {1, 1}, shardError + "\"1/99999999999\"."},
        {{"--shard"}, 0, {1, 1}, "--shard needs a value."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const CommandLine parsed = parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.options.jobs, c.jobs);
        EXPECT_EQ(parsed.options.shard, c.shard);
        EXPECT_EQ(parsed.error, c.error);
    }
}

// The N slices of a list are contiguous and in order, make up the whole list together and differ
// in size by one at most, also when there are fewer files than slices.
TEST(ShardSlice, SlicesConcatenateToTheWholeList) {
    for (std::size_t size : {0, 1, 2, 7, 10}) {
        std::vector<std::string> files;
        for (std::size_t i = 0; i < size; ++i) {
            files.push_back(std::string("f").append(std::to_string(i)));
        }
        for (unsigned count : {1u, 2u, 3u, 4u, 11u}) {
            SCOPED_TRACE(std::to_string(size) + " files in " + std::to_string(count) + " slices");
            std::vector<std::string> joined;
            std::size_t smallest = size, largest = 0;
            for (unsigned index = 1; index <= count; ++index) {
                const std::vector<std::string> slice = shardSlice(files, {index, count});
                joined.insert(joined.end(), slice.begin(), slice.end());
                smallest = std::min(smallest, slice.size());
                largest = std::max(largest, slice.size());
            }
            EXPECT_EQ(joined, files);
            EXPECT_LE(largest - smallest, 1u);
        }
    }
}

TEST(ParseDuration, ConvertsLikeAtoiAndSaturates) {
    const struct {
        const char* text;
        std::int32_t expected;
    } cases[] = {
        {"10", 10},
        {"  \t42", 42},
        {"+7x", 7},
        {"-0", 0},
        {"", 0},
        {"-", 0},
        {" - 5", 0},
        {"2147483647", std::numeric_limits<std::int32_t>::max()},
        {"2147483648", std::numeric_limits<std::int32_t>::max()},
        {"99999999999999999999999", std::numeric_limits<std::int32_t>::max()},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"-99999999999999999999999", std::numeric_limits<std::int32_t>::min()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseDuration(c.text), c.expected) << "text: '" << c.text << "'";
    }
}

TEST(ProgramName, IsTheInvocationAfterItsLastSeparator) {
    EXPECT_EQ(programNameOf("C:\\tools\\phonemes.exe"), "phonemes.exe");
    EXPECT_EQ(programNameOf("/usr/local/bin/phonemes"), "phonemes");
    EXPECT_EQ(programNameOf("build\\bin/phonemes"), "phonemes");
    EXPECT_EQ(programNameOf("phonemes"), "phonemes");
}

}  // namespace
}  // namespace phonemes
