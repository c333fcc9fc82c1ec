// Streaming benchmark of the plug-in, driven by the stand-in host through OpenAL Soft's wave
// writer: the cost of one autoUpdate, the allocations it makes, and how far the audio clock
// drifts from the samples actually played over a long stream with pauses.
//
// The stream is stereo 16-bit PCM whose every frame carries its own index, so the frame that the
// wave writer stored at any moment tells which sample was playing then. The wave writer mixes in
// real time, one period after another, so output frame f was played (f - f0) / rate seconds
// after the first sound, f0, which is when startAudioStream started the source.
//
//   belvane-bench [--seconds S] [--pauses N] [--pause-length S]

#include "AllocationCounter.h"
#include "Playback.h"
#include "SoundSystemPlugin.h"
#include "WaveWriterOutput.h"

#include <OgreLogManager.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using glimmerax::SteadyClock;

constexpr unsigned int kRate = 44100;
// A frame's index is spread over its two channels, neither of them ever 0, so that no frame of
// the stream is silent.
constexpr std::uint32_t kIndexBase = 32000;

struct BenchSettings {
    double seconds = 60.0;
    int pauses = 3;
    double pauseLength = 1.0;
};

class IndexedStream final : public glimmerax::PcmSource {
  public:
    explicit IndexedStream(double seconds)
        : frameCount_(static_cast<std::uint64_t>(seconds * kRate)) {
        format_ = {kRate, 2, 2};
    }
    const glimmerax::PcmFormat& format() const override { return format_; }
    std::uint64_t frameCount() const override { return frameCount_; }
    std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) override {
        const std::size_t frames =
            static_cast<std::size_t>(std::min<std::uint64_t>(maxFrames, frameCount_ - next_));
        for (std::size_t i = 0; i < frames; ++i, ++next_) {
            const short frame[2] = {static_cast<short>(next_ % kIndexBase + 1),
                                    static_cast<short>(next_ / kIndexBase + 1)};
            std::memcpy(destination + 4 * i, frame, sizeof frame);
        }
        return frames;
    }

  private:
    glimmerax::PcmFormat format_;
    std::uint64_t frameCount_;
    std::uint64_t next_ = 0;
};

struct FrameSample {
    SteadyClock::time_point wallTime;
    float clockMs;
    bool paused;
};

class BenchObserver final : public glimmerax::PlaybackObserver {
  public:
    void streamStarted(SteadyClock::time_point when) override { started = when; }
    void beforeUpdate() override { allocationsBefore_ = allocationsOnThisThread(); }
    void afterUpdate() override { allocations += allocationsOnThisThread() - allocationsBefore_; }
    void frameShown(const glimmerax::FrameRecord& frame) override {
        updateMicroseconds.push_back(
            std::chrono::duration<double, std::micro>(frame.updateDuration).count());
        frames.push_back({frame.wallTime, frame.clockMs, frame.paused});
    }
    void pauseChanged(bool paused, float clockMs) override {
        if (paused) {
            pauseClocksMs.push_back(clockMs);
        }
    }

    SteadyClock::time_point started;
    std::vector<double> updateMicroseconds;
    std::vector<FrameSample> frames;
    std::vector<float> pauseClocksMs;
    std::uint64_t allocations = 0;

  private:
    std::uint64_t allocationsBefore_ = 0;
};

struct Output {
    std::vector<short> samples;  // stereo
    std::size_t frames() const { return samples.size() / 2; }
    bool silent(std::size_t frame) const {
        return samples[2 * frame] == 0 && samples[2 * frame + 1] == 0;
    }
    double playedMs(std::size_t frame) const {
        const auto index = static_cast<std::uint64_t>(samples[2 * frame + 1] - 1) * kIndexBase +
                           static_cast<std::uint64_t>(samples[2 * frame] - 1);
        return 1000.0 * static_cast<double>(index) / kRate;
    }
};

Output readOutput(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr || info.channels != 2 || info.samplerate != static_cast<int>(kRate)) {
        if (file != nullptr) {
            sf_close(file);
        }
        throw std::runtime_error("the wave writer's output is not " + std::to_string(kRate) +
                                 " Hz stereo");
    }
    Output output;
    output.samples.resize(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_short(file, output.samples.data(), info.frames);
    sf_close(file);
    return output;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[at];
}

double median(std::vector<double> values) {
    return percentile(std::move(values), 0.5);
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void row(const std::string& measure, const std::string& value) {
    std::printf("| %-44s | %14s |\n", measure.c_str(), value.c_str());
}

BenchSettings parse(int argc, char** argv) {
    BenchSettings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (name == "--seconds" && value > 1.0) {
            settings.seconds = value;
        } else if (name == "--pauses" && value >= 0.0) {
            settings.pauses = static_cast<int>(value);
        } else if (name == "--pause-length" && value > 0.0) {
            settings.pauseLength = value;
        } else {
            throw std::runtime_error(
                "usage: belvane-bench [--seconds S] [--pauses N] "
                "[--pause-length S]");
        }
    }
    return settings;
}

int run(const BenchSettings& settings) {
    IndexedStream stream(settings.seconds);
    const std::filesystem::path wav = std::filesystem::temp_directory_path() /
                                      ("belvane-bench-" + std::to_string(getpid()) + ".wav");
    glimmerax::WaveWriterOutput waveOutput(wav, stream.format());
    glimmerax::SoundSystemPlugin plugin(glimmerax::SoundSystemPlugin::defaultLocation());
    auto logManager = std::make_unique<Ogre::LogManager>();
    logManager->createLog("belvane-bench.log", true, false, true);

    glimmerax::PlaybackSettings playback;
    for (int i = 1; i <= settings.pauses; ++i) {
        playback.pauses.push_back(
            {settings.seconds * i / (settings.pauses + 1), settings.pauseLength});
    }
    BenchObserver observer;
    const glimmerax::PlaybackSummary summary =
        glimmerax::playThroughPlugin(plugin, stream, playback, observer);
    waveOutput.deliver();
    const Output output = readOutput(wav);
    std::filesystem::remove(wav);

    std::size_t firstSound = 0;
    while (firstSound < output.frames() && output.silent(firstSound)) {
        ++firstSound;
    }

    // clock - played for every frame shown while playing, by stretch between pauses.
    struct Stretch {
        std::vector<double> drifts;
        std::vector<double> secondsIn;
    };
    std::vector<Stretch> stretches(1);
    double largest = 0.0;
    bool wasPaused = false;
    SteadyClock::time_point stretchStart = observer.started;
    for (const FrameSample& frame : observer.frames) {
        if (frame.paused) {
            wasPaused = true;
            continue;
        }
        if (wasPaused) {
            stretches.emplace_back();
            stretchStart = frame.wallTime;
            wasPaused = false;
        }
        const double sinceStart =
            std::chrono::duration<double>(frame.wallTime - observer.started).count();
        const auto at = firstSound + static_cast<std::size_t>(std::llround(sinceStart * kRate));
        if (at >= output.frames() || output.silent(at)) {
            continue;
        }
        const double drift = static_cast<double>(frame.clockMs) - output.playedMs(at);
        largest = std::max(largest, std::fabs(drift));
        stretches.back().drifts.push_back(drift);
        stretches.back().secondsIn.push_back(
            std::chrono::duration<double>(frame.wallTime - stretchStart).count());
    }

    // Within a stretch the clock and the samples run at the same rate, or they drift apart:
    // compare its first and its last second.
    double largestChange = 0.0;
    for (const Stretch& stretch : stretches) {
        if (stretch.secondsIn.empty()) {
            continue;
        }
        const double length = stretch.secondsIn.back();
        std::vector<double> first;
        std::vector<double> last;
        for (std::size_t i = 0; i < stretch.drifts.size(); ++i) {
            if (stretch.secondsIn[i] < 1.0) {
                first.push_back(stretch.drifts[i]);
            } else if (stretch.secondsIn[i] > length - 1.0) {
                last.push_back(stretch.drifts[i]);
            }
        }
        if (!first.empty() && !last.empty()) {
            largestChange = std::max(largestChange, std::fabs(median(last) - median(first)));
        }
    }

    // At each pause: the clock that the video is held at against the last sample heard before
    // the pause's silence.
    const auto minimumGap = static_cast<std::size_t>(settings.pauseLength * kRate / 2);
    std::vector<std::size_t> gapStarts;
    for (std::size_t frame = firstSound; frame < output.frames();) {
        std::size_t end = frame;
        while (end < output.frames() && output.silent(end)) {
            ++end;
        }
        if (end - frame >= minimumGap && end < output.frames()) {
            gapStarts.push_back(frame);
        }
        frame = end == frame ? frame + 1 : end;
    }
    std::string atPauses;
    for (std::size_t i = 0; i < observer.pauseClocksMs.size() && i < gapStarts.size(); ++i) {
        atPauses += (atPauses.empty() ? "" : ", ") +
                    format("%+.1f", observer.pauseClocksMs[i] - output.playedMs(gapStarts[i] - 1));
    }

    const double calls = static_cast<double>(observer.updateMicroseconds.size());
    double total = 0.0;
    for (double microseconds : observer.updateMicroseconds) {
        total += microseconds;
    }
    std::printf(
        "belvane streaming: %.0f s of %u Hz stereo 16-bit, %d pause(s) of %.1f s, "
        "OpenAL Soft wave writer\n\n",
        settings.seconds, kRate, settings.pauses, settings.pauseLength);
    row("measure", "value");
    std::printf("|%s|%s|\n", std::string(46, '-').c_str(), std::string(16, '-').c_str());
    row("autoUpdate calls", format("%.0f", calls));
    row("autoUpdate time, mean", format("%.1f us", calls > 0 ? total / calls : 0.0));
    row("autoUpdate time, median", format("%.1f us", median(observer.updateMicroseconds)));
    row("autoUpdate time, 99th percentile",
        format("%.1f us", percentile(observer.updateMicroseconds, 0.99)));
    row("autoUpdate time, max", format("%.1f us", percentile(observer.updateMicroseconds, 1.0)));
    row("allocations inside autoUpdate", format("%.0f", static_cast<double>(observer.allocations)));
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        row("clock - played, stretch " + std::to_string(i + 1) + " of " +
                std::to_string(stretches.size()) + " (median)",
            format("%+.1f ms", median(stretches[i].drifts)));
    }
    row("drift within a stretch, largest", format("%.1f ms", largestChange));
    row("largest |clock - played| while playing", format("%.1f ms", largest));
    row("clock - last sample heard, at each pause", atPauses.empty() ? "-" : atPauses + " ms");
    row("wall time", format("%.1f s", summary.wallTime.count()));
    std::printf(
        "\nOpenAL Soft mixes in periods (1024 frames by default): a pause or a resume "
        "takes effect at the next period,\nso each one may move the sound against the "
        "clock by up to a period; within a stretch they keep pace.\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parse(argc, argv));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "belvane-bench: %s\n", error.what());
        return 1;
    }
}
