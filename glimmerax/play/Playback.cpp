#include "Playback.h"

#include "DecoderThread.h"
#include "ResampledSource.h"

#include <belvane/OgreAudioClip.h>
#include <belvane/OgreOpenALSoundManager.h>
#include <glimmerax/OgreTheoraAudioDriver.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <thread>

namespace glimmerax {

namespace {

// The decoder keeps this much audio ready in the ring buffer, as a video decoder that works a
// little ahead of the picture does.
constexpr double kDecoderLeadSeconds = 0.25;
// Audio a sound system holds beyond the ring buffer: the clip's queue of blocks.
constexpr long kSoundSystemQueueBytes =
    static_cast<long>(Ogre::AudioClip::kBlockSize) * Ogre::AudioClip::kQueuedBufferCount;
// How many video frames the plug-in's queue must outlast at the rate played: the host may be
// late by a frame, and the mixer takes a period at a time.
constexpr double kQueuedFramesPlayed = 2.5;
// After the last sample has left the ring buffer: time for the mixer to play it out.
constexpr auto kMixerLatency = std::chrono::milliseconds(250);
// How far the audio clock may run past the end of the stream before the host gives up on a
// sound system that takes no more audio.
constexpr double kClockGraceMs = 1000.0;
constexpr auto kPrebufferPoll = std::chrono::milliseconds(1);

struct ManagerDeleter {
    void operator()(Ogre::OpenALSoundManager* manager) const {
        manager->stop();
        delete manager;
    }
};
using OwnedManager = std::unique_ptr<Ogre::OpenALSoundManager, ManagerDeleter>;

// A clip from createAudio, handed back to destroyAudio whatever happens.
class OwnedClip {
  public:
    explicit OwnedClip(Ogre::OpenALSoundManager& manager)
        : manager_(manager), clip_(manager.createAudio()) {}
    ~OwnedClip() { reset(); }
    OwnedClip(const OwnedClip&) = delete;
    OwnedClip& operator=(const OwnedClip&) = delete;

    Ogre::TheoraAudioDriver* operator->() const { return clip_; }
    void reset() {
        if (clip_ != nullptr) {
            manager_.destroyAudio(clip_);
            clip_ = nullptr;
        }
    }

  private:
    Ogre::OpenALSoundManager& manager_;
    // The host knows clips only as drivers.
    Ogre::TheoraAudioDriver* clip_;
};

bool interrupted(const PlaybackSettings& settings) {
    return settings.interrupt != nullptr && settings.interrupt->load();
}

SteadyClock::duration seconds(double value) {
    return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(value));
}

bool queueOutlastsFrames(unsigned int rate, unsigned int frameBytes) {
    const double queueSeconds = static_cast<double>(kSoundSystemQueueBytes) / rate / frameBytes;
    return queueSeconds >=
           kQueuedFramesPlayed * std::chrono::duration<double>(kVideoFramePeriod).count();
}

// The highest rate that plays: 192 kHz, or half of it where the queue would not last.
unsigned int highestPlayedRate(unsigned int frameBytes) {
    unsigned int rate = kHighestPlayedRate;
    while (rate > kLowestPlayedRate * 2 && !queueOutlastsFrames(rate, frameBytes)) {
        rate /= 2;
    }
    return rate;
}

}  // namespace

unsigned int playedRate(const PcmFormat& source) {
    if (source.sampleRate < kLowestPlayedRate) {
        return kLowestPlayedRate;
    }
    if (source.sampleRate <= highestPlayedRate(source.frameBytes())) {
        return source.sampleRate;
    }
    return highestPlayedRate(source.channels * ResampledSource::kBytesPerSample);
}

PlaybackSummary playThroughPlugin(const SoundSystemPlugin& plugin, PcmSource& source,
                                  const PlaybackSettings& settings, PlaybackObserver& observer) {
    const PcmFormat& format = source.format();
    const long frameBytes = static_cast<long>(format.frameBytes());
    long leadBytes = std::max(static_cast<long>(kDecoderLeadSeconds * format.bytesPerSecond()),
                              2 * kSoundSystemQueueBytes);
    leadBytes -= leadBytes % frameBytes;

    double stallSeconds = 0.0;
    for (const TimedHold& stall : settings.stalls) {
        stallSeconds += stall.lengthSeconds;
    }
    const double streamMs = 1000.0 * static_cast<double>(source.frameCount()) / format.sampleRate;
    const double clockLimitMs = streamMs + 1000.0 * stallSeconds + kClockGraceMs;
    const auto drainTime =
        seconds(kSoundSystemQueueBytes / format.bytesPerSecond()) + kMixerLatency;

    PlaybackSummary summary;
    const auto began = SteadyClock::now();

    OwnedManager manager(plugin.getSoundSystem());
    if (!manager) {
        throw std::runtime_error("the plug-in gave no sound system");
    }
    manager->start();
    OwnedClip clip(*manager);
    Ogre::RingBuffer& ringBuffer = clip->ringBuffer();
    // Declared after the clip, so that it stops before the clip and its ring buffer go.
    DecoderThread decoder(source, ringBuffer, settings.stalls, leadBytes);

    clip->openAudioStream(format.sampleRate, format.sampleFormat(), format.channels,
                          format.channelFlags(), 0);

    // Start with a full queue rather than with silence padded in.
    while (!decoder.finished() && ringBuffer.readAvailable() < kSoundSystemQueueBytes &&
           !interrupted(settings)) {
        std::this_thread::sleep_for(kPrebufferPoll);
    }
    clip->startAudioStream();
    observer.streamStarted(SteadyClock::now());

    std::size_t nextPause = 0;
    bool paused = false;
    SteadyClock::time_point pauseEnds;
    // When the last audio has left the ring buffer, playing goes on until then.
    bool draining = false;
    SteadyClock::time_point drainEnds{};
    auto frameStart = SteadyClock::now();

    while (true) {
        observer.beforeUpdate();
        const auto updateStart = SteadyClock::now();
        clip->autoUpdate();
        const auto updateEnd = SteadyClock::now();
        observer.afterUpdate();
        auto clockAskedAt = SteadyClock::now();
        float clockMs = clip->getAudioStreamTime();
        auto now = SteadyClock::now();

        if (!paused && nextPause < settings.pauses.size() &&
            clockMs >= 1000.0 * settings.pauses[nextPause].atSeconds) {
            clip->setAudioStreamPause(true);
            paused = true;
            // The clip plays on until the pause takes effect: what the video is held at is the
            // clock read after it, not the one that called for it.
            clockAskedAt = SteadyClock::now();
            clockMs = clip->getAudioStreamTime();
            now = SteadyClock::now();
            pauseEnds = now + seconds(settings.pauses[nextPause].lengthSeconds);
            ++nextPause;
            ++summary.pausesTaken;
            draining = false;
            observer.pauseChanged(true, clockMs);
        } else if (paused && now >= pauseEnds) {
            // Reported as the pause leaves it: what the video has been held at.
            observer.pauseChanged(false, clockMs);
            clip->setAudioStreamPause(false);
            paused = false;
            clockAskedAt = SteadyClock::now();
            clockMs = clip->getAudioStreamTime();
            now = SteadyClock::now();
        }

        const std::uint64_t delivered = decoder.deliveredBytes();
        const auto held = static_cast<std::uint64_t>(std::max(ringBuffer.readAvailable(), 0L));
        FrameRecord frame;
        frame.wallTime = now;
        frame.clockAskedAt = clockAskedAt;
        frame.updateDuration = updateEnd - updateStart;
        frame.clockMs = clockMs;
        frame.consumedBytes = delivered > held ? delivered - held : 0;
        frame.paused = paused;
        frame.decoderStalled = decoder.stalled();
        observer.frameShown(frame);
        summary.finalClockMs = clockMs;

        if (interrupted(settings)) {
            summary.interrupted = true;
            break;
        }
        if (!paused) {
            if (decoder.finished() && held == 0) {
                if (!draining) {
                    draining = true;
                    drainEnds = now + drainTime;
                } else if (now >= drainEnds) {
                    break;
                }
            }
            // Audio left in the ring buffer long after its time: the sound system takes none.
            if (held > 0 && clockMs >= clockLimitMs) {
                summary.endedByClock = true;
                break;
            }
        }

        frameStart += settings.framePeriod;
        if (frameStart < SteadyClock::now()) {
            // Running late: show the next frame now rather than catch up in a burst.
            frameStart = SteadyClock::now();
        }
        std::this_thread::sleep_until(frameStart);
    }

    observer.streamEnding();
    clip->closeAudioStream();
    decoder.stop();
    summary.deliveredBytes = decoder.deliveredBytes();
    clip.reset();
    manager.reset();
    summary.wallTime = SteadyClock::now() - began;
    return summary;
}

}  // namespace glimmerax
