#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace glimmerax {

// A hold in playback that starts at a point of the stream and lasts some wall-clock time.
struct TimedHold {
    double atSeconds = 0.0;
    double lengthSeconds = 0.0;

    bool operator==(const TimedHold&) const = default;
};

struct PlayerOptions {
    std::filesystem::path input;
    // Play into this WAV file through OpenAL Soft's wave writer instead of a sound card.
    std::optional<std::filesystem::path> wavOutput;
    // The sound-system plug-in to load instead of the one installed beside the program.
    std::optional<std::filesystem::path> plugin;
    // Host pauses: when the audio clock reaches atSeconds. Sorted by atSeconds.
    std::vector<TimedHold> pauses;
    // Decoder stalls: when atSeconds of audio have been delivered. Sorted by atSeconds.
    std::vector<TimedHold> stalls;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// A command line that cannot be followed; what() says why.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the arguments that follow the program name. Throws UsageError, also when the WAV to
// write is the file to play.
PlayerOptions parsePlayerOptions(const std::vector<std::string>& arguments);

std::string usageText(std::string_view program);

}  // namespace glimmerax
