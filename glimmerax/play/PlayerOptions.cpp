#include "PlayerOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace glimmerax {

namespace {

// Parses a number of seconds: a plain non-negative decimal, nothing around it.
std::optional<double> parseSeconds(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value) ||
        value < 0.0) {
        return std::nullopt;
    }
    return value;
}

TimedHold parseHold(std::string_view option, std::string_view text) {
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
        const auto at = parseSeconds(text.substr(0, colon));
        const auto length = parseSeconds(text.substr(colon + 1));
        if (at && length && *length > 0.0) {
            return TimedHold{*at, *length};
        }
    }
    throw UsageError(std::string(option) + " needs AT:LEN in seconds (LEN above 0), not '" +
                     std::string(text) + "'");
}

void sortByStart(std::vector<TimedHold>& holds) {
    std::stable_sort(holds.begin(), holds.end(), [](const TimedHold& a, const TimedHold& b) {
        return a.atSeconds < b.atSeconds;
    });
}

}  // namespace

PlayerOptions parsePlayerOptions(const std::vector<std::string>& arguments) {
    PlayerOptions options;
    std::vector<std::string> files;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        if (argument == "-q" || argument == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (argument == "--version") {
            options.version = true;
            continue;
        }

        // The remaining options take a value, as "--name VALUE" or "--name=VALUE".
        std::string name = argument;
        std::optional<std::string> value;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name != "--write-wav" && name != "--pause" && name != "--stall" && name != "--plugin") {
            throw UsageError("unknown option " + name);
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                throw UsageError(name + " needs a value");
            }
            value = arguments[++i];
        }
        if (value->empty()) {
            throw UsageError(name + " needs a value");
        }

        if (name == "--write-wav") {
            options.wavOutput = *value;
        } else if (name == "--plugin") {
            options.plugin = *value;
        } else if (name == "--pause") {
            options.pauses.push_back(parseHold(name, *value));
        } else {
            options.stalls.push_back(parseHold(name, *value));
        }
    }

    if (options.help || options.version) {
        return options;
    }
    if (files.empty()) {
        throw UsageError("no audio file given");
    }
    if (files.size() > 1) {
        throw UsageError("one audio file at a time, not " + std::to_string(files.size()));
    }
    options.input = files.front();
    // Playing into the file being played would destroy it. The same file can have other names
    // (links, "./"): compare device and inode.
    std::error_code notThere;
    if (options.wavOutput &&
        std::filesystem::equivalent(options.input, *options.wavOutput, notThere)) {
        throw UsageError("--write-wav names the file being played, " + options.input.string());
    }
    sortByStart(options.pauses);
    sortByStart(options.stalls);
    return options;
}

std::string usageText(std::string_view program) {
    std::string text = "Usage: ";
    text += program;
    text += R"( [options] FILE
Plays the sound of an audio file (anything libsndfile reads, Ogg Vorbis included) through the
belvane OpenAL plug-in, driving it as the video plug-in does, with progress and the audio clock.

Options:
  --write-wav OUT.wav  play into OUT.wav through OpenAL Soft's wave writer instead of a sound
                       card, with a private OpenAL configuration (works without sound hardware)
  --pause AT:LEN       pause when the audio clock reaches AT seconds, for LEN seconds of wall
                       time, then resume (repeatable)
  --stall AT:LEN       the decoder stops feeding the ring buffer for LEN seconds once it has
                       delivered AT seconds of audio (repeatable)
  --plugin PATH        load this plug-in library instead of the installed libbelvane
  -q, --quiet          print nothing but errors
  -h, --help           print this text
  --version            print the version
)";
    return text;
}

}  // namespace glimmerax
