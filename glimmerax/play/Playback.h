#pragma once

#include "PcmSource.h"
#include "PlayerOptions.h"
#include "SoundSystemPlugin.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

namespace glimmerax {

using SteadyClock = std::chrono::steady_clock;

// One video frame of the host: autoUpdate and the clock are called once per frame.
constexpr std::chrono::microseconds kVideoFramePeriod{16667};

// OpenAL Soft opens no output below this rate.
constexpr unsigned int kLowestPlayedRate = 8000;
// The highest rate sound cards offer. The plug-in's queue of blocks must outlast a few video
// frames, or the source runs dry between two of them: wider frames (16-bit stereo) play at
// most at half this rate.
constexpr unsigned int kHighestPlayedRate = 192000;

// The rate at which the host plays a source of this format: its own, or the nearest one that
// plays, to which it is resampled (into 16 bits).
unsigned int playedRate(const PcmFormat& source);

struct PlaybackSettings {
    // Host pauses, by the audio clock; sorted by atSeconds.
    std::vector<TimedHold> pauses;
    // Decoder stalls, by audio delivered; sorted by atSeconds.
    std::vector<TimedHold> stalls;
    std::chrono::microseconds framePeriod = kVideoFramePeriod;
    // Set from outside (a signal handler) to end playback early.
    const std::atomic<bool>* interrupt = nullptr;
};

// What the host saw in one frame.
struct FrameRecord {
    SteadyClock::time_point wallTime;            // right after the clock was read
    SteadyClock::time_point clockAskedAt;        // right before
    std::chrono::nanoseconds updateDuration{0};  // time autoUpdate took
    float clockMs = 0.0f;
    std::uint64_t consumedBytes = 0;  // PCM the sound system has taken from the ring buffer
    bool paused = false;
    bool decoderStalled = false;
};

// Follows a playback as it goes: the console's progress line, or a benchmark's measurements.
class PlaybackObserver {
  public:
    virtual ~PlaybackObserver() = default;
    virtual void streamStarted(SteadyClock::time_point /*when*/) {}
    // Right before and right after each autoUpdate call.
    virtual void beforeUpdate() {}
    virtual void afterUpdate() {}
    virtual void frameShown(const FrameRecord& /*frame*/) {}
    // A pause begins or ends, with the audio clock as the pause finds it or leaves it.
    virtual void pauseChanged(bool /*paused*/, float /*clockMs*/) {}
    // The last frame has been shown; the stream is closed and the sound system stopped next.
    virtual void streamEnding() {}
};

struct PlaybackSummary {
    std::uint64_t deliveredBytes = 0;
    float finalClockMs = 0.0f;
    unsigned int pausesTaken = 0;
    bool interrupted = false;
    // Ended because the audio clock passed the end of the stream while the sound system still
    // held audio back, as it does without an output device.
    bool endedByClock = false;
    std::chrono::duration<double> wallTime{0.0};
};

// Plays the source through a sound system of the plug-in, in the order the video plug-in
// uses: getSoundSystem, start, createAudio, the decoder thread into the clip's ring buffer,
// openAudioStream, startAudioStream once the decoder has delivered enough, then per frame
// autoUpdate and getAudioStreamTime (and the pauses), and at the end closeAudioStream,
// destroyAudio, stop and deleting the manager.
PlaybackSummary playThroughPlugin(const SoundSystemPlugin& plugin, PcmSource& source,
                                  const PlaybackSettings& settings, PlaybackObserver& observer);

}  // namespace glimmerax
