#include "ClockCheck.h"

#include "DeviceClockWatch.h"
#include "IndexedStream.h"
#include "SoundFile.h"
#include "SoundSystemPlugin.h"
#include "WaveWriterOutput.h"

#include <OgreLogManager.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace belvane::clockcheck {

namespace {

using glimmerax::SteadyClock;

// A clock read that took longer than this (the thread was preempted) has no moment precise
// enough to compare with.
constexpr auto kReadWindow = std::chrono::microseconds(500);
constexpr double kExpectedFramesPerSecond = 100.0;

class CheckObserver final : public glimmerax::PlaybackObserver {
  public:
    CheckObserver(glimmerax::PlaybackObserver& alsoTell, std::size_t expectedFrames)
        : alsoTell_(alsoTell) {
        frames.reserve(expectedFrames);
    }

    void streamStarted(SteadyClock::time_point when) override {
        watch.emplace();
        alsoTell_.streamStarted(when);
    }
    void beforeUpdate() override { alsoTell_.beforeUpdate(); }
    void afterUpdate() override { alsoTell_.afterUpdate(); }
    void frameShown(const glimmerax::FrameRecord& frame) override {
        frames.push_back(frame);
        alsoTell_.frameShown(frame);
    }
    void pauseChanged(bool paused, float clockMs) override {
        alsoTell_.pauseChanged(paused, clockMs);
    }
    void streamEnding() override {
        if (watch) {
            watch->stop();
        }
        alsoTell_.streamEnding();
    }

    std::optional<DeviceClockWatch> watch;
    std::vector<glimmerax::FrameRecord> frames;

  private:
    glimmerax::PlaybackObserver& alsoTell_;
};

// The wave writer's output, stereo 16-bit at the stream's rate.
std::vector<short> readRecording(const std::filesystem::path& path, unsigned int sampleRate) {
    glimmerax::SoundFile file(path);
    const glimmerax::PcmFormat& format = file.format();
    if (format.channels != 2 || format.sampleRate != sampleRate || format.bytesPerSample != 2) {
        throw std::runtime_error("the wave writer's output is not " + std::to_string(sampleRate) +
                                 " Hz stereo");
    }
    std::vector<short> samples(file.frameCount() * 2);
    file.readFrames(reinterpret_cast<unsigned char*>(samples.data()), file.frameCount());
    return samples;
}

// Walks the recording's stream frames in order: each should follow the one before.
void countRepeatsAndGaps(const std::vector<short>& recording, std::uint64_t streamFrames,
                         ClockCheck& check) {
    std::uint64_t next = 0;
    for (std::size_t at = 0; at + 1 < recording.size(); at += 2) {
        const auto index = IndexedStream::indexOf(recording[at], recording[at + 1]);
        if (!index) {
            continue;
        }
        if (*index < next) {
            ++check.framesHeardTwice;
        } else {
            check.framesNeverHeard += *index - next;
            next = *index + 1;
        }
    }
    check.framesNeverHeard += streamFrames - std::min(next, streamFrames);
}

double msBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

ClockCheck runClockCheck(const ClockCheckSettings& settings,
                         glimmerax::PlaybackObserver& alsoTell) {
    IndexedStream stream(settings.sampleRate, settings.seconds);
    const std::filesystem::path recordingPath =
        std::filesystem::temp_directory_path() /
        ("belvane-clock-check-" + std::to_string(getpid()) + ".wav");
    // OpenAL is configured before the plug-in, and OpenAL with it, is first used.
    glimmerax::WaveWriterOutput waveOutput(recordingPath, stream.format());
    glimmerax::SoundSystemPlugin plugin(glimmerax::SoundSystemPlugin::defaultLocation());
    auto logManager = std::make_unique<Ogre::LogManager>();
    logManager->createLog("belvane-clock-check.log", true, false, true);

    glimmerax::PlaybackSettings playback;
    playback.pauses = settings.pauses;
    playback.stalls = settings.stalls;
    double heldSeconds = 0.0;
    for (const auto& hold : settings.pauses) {
        heldSeconds += hold.lengthSeconds;
    }
    for (const auto& hold : settings.stalls) {
        heldSeconds += hold.lengthSeconds;
    }
    CheckObserver observer(alsoTell, static_cast<std::size_t>((settings.seconds + heldSeconds + 2) *
                                                              kExpectedFramesPerSecond));
    ClockCheck check;
    check.summary = glimmerax::playThroughPlugin(plugin, stream, playback, observer);
    waveOutput.deliver();
    const std::vector<short> recording = readRecording(recordingPath, settings.sampleRate);
    std::filesystem::remove(recordingPath);
    if (!observer.watch) {
        throw std::runtime_error("the stream never started");
    }

    countRepeatsAndGaps(recording, stream.frameCount(), check);
    const double rate = settings.sampleRate;
    check.streamMs = 1000.0 * static_cast<double>(stream.frameCount()) / rate;
    check.latencyMs = std::chrono::duration<double, std::milli>(observer.watch->latency()).count();
    const SteadyClock::time_point origin = observer.watch->deviceOrigin();
    const std::size_t recordedFrames = recording.size() / 2;
    for (const glimmerax::FrameRecord& frame : observer.frames) {
        ClockSample sample;
        sample.clockMs = frame.clockMs;
        sample.paused = frame.paused;
        sample.updateMicros =
            std::chrono::duration<double, std::micro>(frame.updateDuration).count();
        const auto readTime = frame.wallTime - frame.clockAskedAt;
        sample.clockMicros = std::chrono::duration<double, std::micro>(readTime).count();
        if (readTime <= kReadWindow) {
            const SteadyClock::time_point readAt = frame.clockAskedAt + readTime / 2;
            const double mixedAtMs = msBetween(origin, readAt) - check.latencyMs;
            const double recordedFrame = std::floor(mixedAtMs * rate / 1000.0);
            if (recordedFrame >= 0 && recordedFrame < static_cast<double>(recordedFrames)) {
                const auto at = static_cast<std::size_t>(recordedFrame);
                if (const auto index =
                        IndexedStream::indexOf(recording[2 * at], recording[2 * at + 1])) {
                    sample.heardMs = 1000.0 * static_cast<double>(*index) / rate;
                }
            }
        }
        check.samples.push_back(sample);
    }
    return check;
}

}  // namespace belvane::clockcheck
