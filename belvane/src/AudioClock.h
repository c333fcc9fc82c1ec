#pragma once

#include "QueueTimeline.h"

#include <cstdint>
#include <optional>

namespace belvane {

// What OpenAL said about a source, and when.
struct SourceReading {
    // The host's timer right after the query.
    std::int64_t hostMicros = 0;
    // Frames of the source's timeline mixed so far: the blocks taken off its queue and the
    // offset in what is queued.
    double mixedFrames = 0.0;
    // The device clock at which mixedFrames held, when OpenAL tells it.
    std::optional<std::int64_t> deviceNanos;
    // How long a frame takes from being mixed to being heard.
    std::int64_t latencyNanos = 0;
};

// The smallest of the values seen over the last 8 to 16 seconds of host time: long enough to
// take in a mix done on time by an output that wakes on a timer and drifts late between (OpenAL
// Soft's wave writer), short enough to follow a sound card whose clock drifts against the host's
// (at well under 100 ppm, by under 2 ms). Kept in two halves; the older is dropped as a new one
// begins.
class RecentMinimum {
  public:
    void add(std::int64_t hostMicros, double value);
    double value() const;

  private:
    static constexpr std::int64_t kHalfMicros = 8'000'000;

    bool started_ = false;
    std::int64_t currentSince_ = 0;
    double current_ = 0.0;
    double older_ = 0.0;
};

// The audio clock of one stream: the position, in milliseconds from the stream's start, of the
// sample being heard. It is worked out from what OpenAL reports about the source (how far it
// has mixed, when, and how long mixed sound takes to be heard) and carried between those
// reports, which move in whole mixer periods, by the host's timer. It never goes backwards,
// holds during a pause, and holds while the source has nothing to play.
//
// Without a device there are no reports, and the clock is the timer's time since the start less
// the pauses.
//
// Host times are microseconds of one steady timer; the clock does no OpenAL calls itself.
class AudioClock {
  public:
    // A new stream at this rate; followsDevice says whether readings will come.
    void reset(unsigned int sampleRate, bool followsDevice);

    // A block queued on the source, in queue order.
    void queued(std::uint32_t frames, std::uint32_t streamFrames) {
        timeline_.append(frames, streamFrames);
    }
    // Frames queued so far, padding included.
    double queuedEnd() const { return timeline_.sourceEnd(); }

    // The source starts playing the stream.
    void start(std::int64_t hostMicros);
    void observe(const SourceReading& reading);
    // The source has stopped having mixed everything up to sourceFrame: it ran dry.
    void ranDry(double sourceFrame);
    // The source plays again from where its mixing stopped, after running dry or a pause.
    void sourceRestarted(std::int64_t hostMicros);

    // The host pauses: the clock holds the value it has now.
    void hold(std::int64_t hostMicros);
    // The host resumes: the clock goes on from the value it held, and meets the sound once it
    // is heard again.
    void release(std::int64_t hostMicros);
    bool holding() const { return holding_; }

    double positionMs(std::int64_t hostMicros);
    double latencyFrames() const { return latencyFrames_; }

  private:
    // A span in which the source mixed without a break: from a start or restart to running dry
    // or being paused.
    struct Stretch {
        double floorFrame = 0.0;  // where the source's timeline stood when the span began
        double lastMixed = 0.0;   // how far it has been seen to mix
        // Host time at which the source's timeline would have been at frame 0, had it mixed
        // without a break.
        double originMicros = 0.0;
        // The same in device time, from readings with the device clock. A reading after the
        // source stopped mixing, as it ran dry or was paused, puts it later than it was: each is
        // a bound from above.
        std::optional<double> deviceStartMicros;
        // Without the device clock, each reading's time is a bound from above of its mix's.
        RecentMinimum originBound;
        bool ended = false;
    };

    double heardIn(const Stretch& stretch, std::int64_t hostMicros) const;
    double heardFrame(std::int64_t hostMicros) const;
    double timerMs(std::int64_t hostMicros) const;
    double streamMsAt(double sourceFrame) const;
    void beginStretch(std::int64_t hostMicros);

    unsigned int sampleRate_ = 0;
    bool followsDevice_ = false;
    QueueTimeline timeline_;

    bool started_ = false;
    Stretch current_;
    std::optional<Stretch> previous_;
    unsigned int stretchCount_ = 0;

    // Host time at which the device clock stood at zero: the smallest gap seen between the
    // two, as a reading comes after the mix that moved the device clock, and some mixes are
    // done on time.
    RecentMinimum deviceOrigin_;
    double latencyFrames_ = 0.0;

    bool holding_ = false;
    double lastMs_ = 0.0;
    // From a resume until the sound of a span that began after it is heard, the clock runs on
    // the timer from the value it held, but not past the sound.
    bool catchingUp_ = false;
    unsigned int catchUpStretch_ = 0;
    double releasedMs_ = 0.0;
    std::int64_t releasedAt_ = 0;
};

}  // namespace belvane
