#include "command_line.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

#include "mouth_cue_formats.h"
#include "output_formats.h"
#include "platform.h"

namespace phonemes {
namespace {

// A long option: its name with the dashes, and what it does with its value. Flags take none.
// The handler returns an error message, or nothing when the value was taken.
struct LongOption {
    std::string_view name;
    bool takesValue;
    std::function<std::optional<std::string>(CommandLine&, const std::string&)> apply;
};

constexpr unsigned kMaxFps = 120;

std::string badValue(std::string_view option, std::string_view expected, const std::string& got) {
    return std::string(option) + " takes " + std::string(expected) + ", not \"" + got + "\".";
}

// A whole number from 1 to max, in decimal digits alone (from_chars takes no sign or space into
// an unsigned number) with nothing after them.
std::optional<unsigned> parseCount(std::string_view text, unsigned max) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > max) {
        return std::nullopt;
    }
    return value;
}

// "I/N" with 1 <= I <= N.
std::optional<Shard> parseShard(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto count = parseCount(text.substr(slash + 1), std::numeric_limits<unsigned>::max());
    const auto index = parseCount(text.substr(0, slash), count.value_or(0));
    if (!index || !count) {
        return std::nullopt;
    }
    return Shard{*index, *count};
}

const std::vector<LongOption>& longOptions() {
    static const std::vector<LongOption> options = {
        {"--phone-times", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             if (value == "weights") {
                 line.options.phoneTiming = PhoneTiming::kWeights;
             } else if (value == "acoustic") {
                 line.options.phoneTiming = PhoneTiming::kAcoustic;
             } else {
                 return badValue("--phone-times", "weights or acoustic", value);
             }
             return std::nullopt;
         }},
        {"--format", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const OutputFileFormat* format = outputFileFormatNamed(value);
             if (format == nullptr) {
                 return badValue("--format", outputFileFormatChoices(&OutputFileFormat::name),
                                 value);
             }
             line.options.outputFormat = format->format;
             return std::nullopt;
         }},
        {"--textgrid", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             if (value.empty()) {
                 return std::string("--textgrid needs a folder.");
             }
             line.options.textGridFolder = value;
             return std::nullopt;
         }},
        {"--mouth-cues", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             if (value.empty()) {
                 return std::string("--mouth-cues needs a folder.");
             }
             line.options.mouthCueFolder = value;
             return std::nullopt;
         }},
        {"--mouth-shapes", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const std::optional<MouthShapeSet> set = mouthShapeSetNamed(value);
             if (!set) {
                 return badValue("--mouth-shapes", "extended, basic or oculus", value);
             }
             line.options.mouthShapes = *set;
             return std::nullopt;
         }},
        {"--mouth-format", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const std::optional<MouthCueFormat> format = mouthCueFormatNamed(value);
             if (!format) {
                 return badValue("--mouth-format", "tsv, json, xml or dat", value);
             }
             line.options.mouthFormat = *format;
             return std::nullopt;
         }},
        {"--fps", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const std::optional<unsigned> fps = parseCount(value, kMaxFps);
             if (!fps) {
                 return badValue("--fps", "a whole number from 1 to " + std::to_string(kMaxFps),
                                 value);
             }
             line.options.fps = static_cast<int>(*fps);
             return std::nullopt;
         }},
        {"--jobs", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const std::optional<unsigned> jobs = parseCount(value, kMaxJobs);
             if (!jobs) {
                 return badValue("--jobs", "a whole number from 1 to " + std::to_string(kMaxJobs),
                                 value);
             }
             line.options.jobs = *jobs;
             return std::nullopt;
         }},
        {"--shard", true,
         [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
             const std::optional<Shard> shard = parseShard(value);
             if (!shard) {
                 return badValue("--shard", "I/N, the I-th of N slices (1 <= I <= N)", value);
             }
             line.options.shard = *shard;
             return std::nullopt;
         }},
        {"--help", false,
         [](CommandLine& line, const std::string&) -> std::optional<std::string> {
             line.showHelp = true;
             return std::nullopt;
         }},
        {"--version", false,
         [](CommandLine& line, const std::string&) -> std::optional<std::string> {
             line.showVersion = true;
             return std::nullopt;
         }},
    };
    return options;
}

// The long option an argument names, alone or as "--name=value"; null for any other argument.
const LongOption* findLongOption(std::string_view argument,
                                 std::optional<std::string>& inlineValue) {
    for (const LongOption& option : longOptions()) {
        if (argument == option.name) {
            return &option;
        }
        if (option.takesValue && argument.starts_with(option.name) &&
            argument.size() > option.name.size() && argument[option.name.size()] == '=') {
            inlineValue = std::string(argument.substr(option.name.size() + 1));
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

std::int32_t parseDuration(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's limit and stop there: values beyond it saturate.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), limit);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::vector<std::string> shardSlice(const std::vector<std::string>& files, Shard shard) {
    const auto boundary = [&](std::uint64_t slices) {
        return static_cast<std::size_t>(slices * files.size() / shard.count);
    };
    return {files.begin() + static_cast<std::ptrdiff_t>(boundary(shard.index - 1)),
            files.begin() + static_cast<std::ptrdiff_t>(boundary(shard.index))};
}

std::string programNameOf(std::string_view invocation) {
    return baseNameOf(invocation);
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    ExtractorOptions& options = result.options;
    // An option that takes a value consumes the next argument unchanged, even an option word;
    // as the last argument it gets the empty text.
    auto takeValue = [&](std::size_t& i) -> std::string {
        return ++i < arguments.size() ? arguments[i] : std::string();
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::optional<std::string> inlineValue;
        if (argument == "-h") {
            options.hintsFile = takeValue(i);
        } else if (argument == "-m") {
            options.minPhonemeDuration = parseDuration(takeValue(i));
        } else if (argument == "-o") {
            options.outputFile = takeValue(i);
        } else if (argument == "-p") {
            options.showPronunciations = true;
        } else if (argument == "-q") {
            options.quiet = true;
        } else if (argument == "-t") {
            options.showTranscription = true;
        } else if (argument == "-u") {
            options.showHypothesis = true;
        } else if (argument == "-x") {
            options.xmlFormat = true;
        } else if (const LongOption* option = findLongOption(argument, inlineValue)) {
            if (option->takesValue && !inlineValue && i + 1 == arguments.size()) {
                result.error = std::string(option->name) + " needs a value.";
                return result;
            }
            const std::string value = !option->takesValue ? std::string()
                                      : inlineValue       ? *inlineValue
                                                          : takeValue(i);
            if (std::optional<std::string> error = option->apply(result, value)) {
                result.error = std::move(*error);
                return result;
            }
        } else {
            std::vector<std::string> matches = expandPattern(argument);
            result.inputFiles.insert(result.inputFiles.end(), matches.begin(), matches.end());
        }
    }
    result.inputFiles = shardSlice(result.inputFiles, options.shard);
    return result;
}

}  // namespace phonemes
