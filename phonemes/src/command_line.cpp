#include "command_line.h"

#include <cctype>
#include <functional>
#include <limits>
#include <optional>

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

std::string badValue(std::string_view option, std::string_view expected, const std::string& got) {
    return std::string(option) + " takes " + std::string(expected) + ", not \"" + got + "\".";
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
             if (value == "records") {
                 line.options.outputFormat = OutputFormat::kRecords;
             } else if (value == "json") {
                 line.options.outputFormat = OutputFormat::kJson;
             } else {
                 return badValue("--format", "records or json", value);
             }
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
    return result;
}

}  // namespace phonemes
