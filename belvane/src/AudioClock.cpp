#include "AudioClock.h"

#include <algorithm>

namespace belvane {

namespace {

constexpr double kMicrosPerSecond = 1e6;
constexpr double kNanosPerMicro = 1e3;
constexpr double kMicrosPerMs = 1e3;
constexpr double kMsPerSecond = 1e3;

}  // namespace

void RecentMinimum::add(std::int64_t hostMicros, double value) {
    const std::int64_t sinceHalfBegan = hostMicros - currentSince_;
    if (!started_ || sinceHalfBegan >= 2 * kHalfMicros) {
        older_ = value;
        current_ = value;
        currentSince_ = hostMicros;
    } else if (sinceHalfBegan >= kHalfMicros) {
        older_ = current_;
        current_ = value;
        currentSince_ = hostMicros;
    } else {
        current_ = std::min(current_, value);
    }
    started_ = true;
}

double RecentMinimum::value() const {
    return std::min(older_, current_);
}

void AudioClock::reset(unsigned int sampleRate, bool followsDevice) {
    *this = AudioClock{};
    sampleRate_ = sampleRate;
    followsDevice_ = followsDevice;
}

void AudioClock::start(std::int64_t hostMicros) {
    started_ = true;
    holding_ = false;
    lastMs_ = 0.0;
    previous_.reset();
    current_ = Stretch{};
    stretchCount_ = 0;
    beginStretch(hostMicros);
    catchingUp_ = true;
    catchUpStretch_ = stretchCount_;
    releasedMs_ = 0.0;
    releasedAt_ = hostMicros;
}

void AudioClock::observe(const SourceReading& reading) {
    if (!followsDevice_ || sampleRate_ == 0) {
        return;
    }
    latencyFrames_ = static_cast<double>(std::max<std::int64_t>(reading.latencyNanos, 0)) *
                     sampleRate_ / (kNanosPerMicro * kMicrosPerSecond);
    const double deviceMicros =
        reading.deviceNanos ? static_cast<double>(*reading.deviceNanos) / kNanosPerMicro : 0.0;
    if (reading.deviceNanos) {
        deviceOrigin_.add(reading.hostMicros,
                          static_cast<double>(reading.hostMicros) - deviceMicros);
    }

    Stretch& stretch = current_;
    // Only a source seen to mix on tells when it mixed. A stopped one reads as offset 0, a
    // paused one stands still.
    if (stretch.ended || reading.mixedFrames <= stretch.lastMixed) {
        return;
    }
    stretch.lastMixed = reading.mixedFrames;
    const double framesAsMicros = reading.mixedFrames * kMicrosPerSecond / sampleRate_;
    if (reading.deviceNanos) {
        // The device clock says when the mix that took the source this far was done.
        const double deviceStart = deviceMicros - framesAsMicros;
        stretch.deviceStartMicros = stretch.deviceStartMicros
                                        ? std::min(*stretch.deviceStartMicros, deviceStart)
                                        : deviceStart;
        stretch.originMicros = deviceOrigin_.value() + *stretch.deviceStartMicros;
        return;
    }
    // Without it, that mix was done before the reading at the latest.
    stretch.originBound.add(reading.hostMicros,
                            static_cast<double>(reading.hostMicros) - framesAsMicros);
    stretch.originMicros = stretch.originBound.value();
}

void AudioClock::ranDry(double sourceFrame) {
    current_.lastMixed = std::max(current_.lastMixed, sourceFrame);
    current_.ended = true;
}

void AudioClock::sourceRestarted(std::int64_t hostMicros) {
    beginStretch(hostMicros);
}

void AudioClock::beginStretch(std::int64_t hostMicros) {
    Stretch next;
    next.floorFrame = current_.lastMixed;
    next.lastMixed = next.floorFrame;
    // Until a reading tells, the source began to mix no later than now.
    next.originMicros = static_cast<double>(hostMicros) -
                        (sampleRate_ == 0 ? 0.0 : next.floorFrame * kMicrosPerSecond / sampleRate_);
    next.originBound.add(hostMicros, next.originMicros);
    if (stretchCount_ > 0) {
        current_.ended = true;
        previous_ = current_;
    }
    current_ = next;
    ++stretchCount_;
}

void AudioClock::hold(std::int64_t hostMicros) {
    positionMs(hostMicros);
    holding_ = true;
}

void AudioClock::release(std::int64_t hostMicros) {
    if (!holding_) {
        return;
    }
    holding_ = false;
    catchingUp_ = true;
    catchUpStretch_ = stretchCount_ + 1;
    releasedMs_ = lastMs_;
    releasedAt_ = hostMicros;
}

double AudioClock::positionMs(std::int64_t hostMicros) {
    if (!started_ || holding_) {
        return lastMs_;
    }
    double target = timerMs(hostMicros);
    if (followsDevice_) {
        const double soundMs = streamMsAt(heardFrame(hostMicros));
        if (catchingUp_ && stretchCount_ >= catchUpStretch_ &&
            heardIn(current_, hostMicros) > current_.floorFrame) {
            catchingUp_ = false;
        }
        target = catchingUp_ ? std::min(target, soundMs) : soundMs;
    }
    lastMs_ = std::max(lastMs_, target);
    return lastMs_;
}

double AudioClock::heardIn(const Stretch& stretch, std::int64_t hostMicros) const {
    double frame =
        (static_cast<double>(hostMicros) - stretch.originMicros) * sampleRate_ / kMicrosPerSecond -
        latencyFrames_;
    frame = std::max(frame, stretch.floorFrame);
    // Past its end the span's last sound is what is heard; nothing beyond the queue ever is.
    return std::min(frame, stretch.ended ? stretch.lastMixed : timeline_.sourceEnd());
}

double AudioClock::heardFrame(std::int64_t hostMicros) const {
    const double heard = heardIn(current_, hostMicros);
    if (heard > current_.floorFrame || !previous_) {
        return heard;
    }
    // Nothing of this span is heard yet: the end of the one before may still be.
    return std::min(heardIn(*previous_, hostMicros), current_.floorFrame);
}

double AudioClock::timerMs(std::int64_t hostMicros) const {
    return releasedMs_ + static_cast<double>(hostMicros - releasedAt_) / kMicrosPerMs;
}

double AudioClock::streamMsAt(double sourceFrame) const {
    return timeline_.streamFramesAt(sourceFrame) * kMsPerSecond / sampleRate_;
}

}  // namespace belvane
