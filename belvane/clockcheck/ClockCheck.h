#pragma once

#include "Playback.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace belvane::clockcheck {

struct ClockCheckSettings {
    unsigned int sampleRate = 44100;
    double seconds = 3.0;
    // Host pauses, by the audio clock, and decoder stalls, by audio delivered.
    std::vector<glimmerax::TimedHold> pauses;
    std::vector<glimmerax::TimedHold> stalls;
};

// One frame of the host: the audio clock it read, and the sample heard at that moment.
struct ClockSample {
    double clockMs = 0.0;
    // Where in the stream the sample heard as the clock was read lies; none while silence was
    // heard, or when the read took so long that its moment is not known closely enough.
    std::optional<double> heardMs;
    bool paused = false;
    double updateMicros = 0.0;  // autoUpdate
    double clockMicros = 0.0;   // getAudioStreamTime
};

struct ClockCheck {
    double streamMs = 0.0;
    // The output latency the device reports; a frame mixed is heard that much later.
    double latencyMs = 0.0;
    std::vector<ClockSample> samples;
    glimmerax::PlaybackSummary summary;
    // Stream frames that the recording holds more than once, or not at all.
    std::uint64_t framesHeardTwice = 0;
    std::uint64_t framesNeverHeard = 0;
};

// Plays an indexed stream through the installed plug-in, driven as the video plug-in drives it,
// into OpenAL Soft's wave writer, and pairs the audio clock read in each frame with the sample
// heard at that moment: the one the wave writer's file holds where the device clock, less the
// output latency, stood then. alsoTell follows the playback too.
//
// OpenAL reads its configuration once per process: one check per process. Throws
// std::runtime_error when the output cannot be set up or read back.
ClockCheck runClockCheck(const ClockCheckSettings& settings, glimmerax::PlaybackObserver& alsoTell);

}  // namespace belvane::clockcheck
