#include "command_line.h"

#include <cctype>
#include <limits>

#include "platform.h"

namespace phonemes {

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
        } else {
            std::vector<std::string> matches = expandPattern(argument);
            result.inputFiles.insert(result.inputFiles.end(), matches.begin(), matches.end());
        }
    }
    return result;
}

}  // namespace phonemes
