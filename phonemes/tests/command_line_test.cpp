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
                       {"--Help", "--help=me", "--formats", "--jobs"},
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
