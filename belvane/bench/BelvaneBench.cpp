// Streaming benchmark of the plug-in, driven by the stand-in host through OpenAL Soft's wave
// writer: the cost of one autoUpdate and one getAudioStreamTime, the allocations autoUpdate
// makes, and how far the audio clock is from the sample heard, over a long stream with pauses
// (by the host) and stalls (of the decoder, which make the source run dry).
//
//   belvane-bench [--seconds S] [--pauses N] [--pause-length S] [--stalls N] [--stall-length S]

#include "AllocationCounter.h"
#include "ClockCheck.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using belvane::clockcheck::ClockCheck;
using belvane::clockcheck::ClockSample;

struct BenchSettings {
    double seconds = 60.0;
    int pauses = 3;
    double pauseLength = 1.0;
    int stalls = 3;
    double stallLength = 0.6;
};

class AllocationObserver final : public glimmerax::PlaybackObserver {
  public:
    void beforeUpdate() override { before_ = allocationsOnThisThread(); }
    void afterUpdate() override { allocations += allocationsOnThisThread() - before_; }

    std::uint64_t allocations = 0;

  private:
    std::uint64_t before_ = 0;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto at =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, at == 0 ? 0 : at - 1)];
}

double mean(const std::vector<double>& values) {
    double total = 0.0;
    for (double value : values) {
        total += value;
    }
    return values.empty() ? 0.0 : total / static_cast<double>(values.size());
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void row(const std::string& measure, const std::string& value) {
    std::printf("| %-52s | %22s |\n", measure.c_str(), value.c_str());
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
        } else if (name == "--stalls" && value >= 0.0) {
            settings.stalls = static_cast<int>(value);
        } else if (name == "--stall-length" && value > 0.0) {
            settings.stallLength = value;
        } else {
            throw std::runtime_error(
                "usage: belvane-bench [--seconds S] [--pauses N] [--pause-length S] "
                "[--stalls N] [--stall-length S]");
        }
    }
    if (argc % 2 == 0) {
        throw std::runtime_error("every option takes a value");
    }
    return settings;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double loadAverage() {
    double load = 0.0;
    return getloadavg(&load, 1) == 1 ? load : -1.0;
}

// Clock minus heard at the first frame heard after each silence: where a stall or a pause ends.
std::string afterEachSilence(const std::vector<ClockSample>& samples) {
    std::string text;
    bool silent = false;
    bool started = false;
    for (const ClockSample& sample : samples) {
        if (sample.paused) {
            silent = true;
            continue;
        }
        if (!sample.heardMs) {
            silent = started;
            continue;
        }
        if (silent) {
            text += (text.empty() ? "" : ", ") + format("%+.1f", sample.clockMs - *sample.heardMs);
        }
        silent = false;
        started = true;
    }
    return text.empty() ? "-" : text + " ms";
}

int run(const BenchSettings& settings) {
    belvane::clockcheck::ClockCheckSettings check;
    check.seconds = settings.seconds;
    for (int i = 1; i <= settings.pauses; ++i) {
        check.pauses.push_back(
            {settings.seconds * i / (settings.pauses + 1), settings.pauseLength});
    }
    for (int i = 0; i < settings.stalls; ++i) {
        check.stalls.push_back(
            {settings.seconds * (i + 0.5) / (settings.stalls + 1), settings.stallLength});
    }
    const double loadBefore = loadAverage();
    const double cpuBefore = cpuSeconds();
    AllocationObserver allocations;
    const ClockCheck result = belvane::clockcheck::runClockCheck(check, allocations);
    const double cpu = cpuSeconds() - cpuBefore;

    std::vector<double> frameCost;
    std::vector<double> updateCost;
    std::vector<double> distance;
    std::vector<double> signedDistance;
    std::size_t backwards = 0;
    double previousClock = -1.0;
    for (const ClockSample& sample : result.samples) {
        frameCost.push_back(sample.updateMicros + sample.clockMicros);
        updateCost.push_back(sample.updateMicros);
        backwards += sample.clockMs < previousClock ? 1 : 0;
        previousClock = sample.clockMs;
        if (!sample.paused && sample.heardMs) {
            distance.push_back(std::fabs(sample.clockMs - *sample.heardMs));
            signedDistance.push_back(sample.clockMs - *sample.heardMs);
        }
    }

    std::printf(
        "belvane streaming: %.0f s of 44100 Hz stereo 16-bit, %d pause(s) of %.1f s, %d decoder "
        "stall(s) of %.1f s, OpenAL Soft wave writer (reported output latency %.1f ms)\n\n",
        settings.seconds, settings.pauses, settings.pauseLength, settings.stalls,
        settings.stallLength, result.latencyMs);
    row("measure", "value");
    std::printf("|%s|%s|\n", std::string(54, '-').c_str(), std::string(24, '-').c_str());
    row("frames (autoUpdate + getAudioStreamTime)",
        format("%.0f", static_cast<double>(frameCost.size())));
    row("autoUpdate + getAudioStreamTime, mean", format("%.1f us", mean(frameCost)));
    row("autoUpdate + getAudioStreamTime, 99th percentile",
        format("%.1f us", percentile(frameCost, 0.99)));
    row("autoUpdate alone, mean", format("%.1f us", mean(updateCost)));
    row("allocations inside autoUpdate",
        format("%.0f", static_cast<double>(allocations.allocations)));
    row("frames compared with the sample heard",
        format("%.0f", static_cast<double>(distance.size())));
    row("|clock - heard|, median", format("%.2f ms", percentile(distance, 0.5)));
    row("|clock - heard|, 99th percentile", format("%.2f ms", percentile(distance, 0.99)));
    row("|clock - heard|, largest", format("%.2f ms", percentile(distance, 1.0)));
    row("clock - heard, median", format("%+.2f ms", percentile(signedDistance, 0.5)));
    row("clock - heard, first frame after each silence", afterEachSilence(result.samples));
    row("times the clock went backwards", format("%.0f", static_cast<double>(backwards)));
    row("stream frames heard twice, never heard",
        format("%.0f", static_cast<double>(result.framesHeardTwice)) + ", " +
            format("%.0f", static_cast<double>(result.framesNeverHeard)));
    row("audio clock at the end", format("%.1f ms", result.summary.finalClockMs));
    row("stream length", format("%.1f ms", result.streamMs));
    row("wall time", format("%.1f s", result.summary.wallTime.count()));
    row("CPU time, user + system (all threads)", format("%.1f s", cpu));
    row("load average (1 min) before, after",
        format("%.2f", loadBefore) + ", " + format("%.2f", loadAverage()));
    std::printf(
        "\nHeard: the sample in the wave writer's file at the frame the device clock, less the "
        "reported output latency, stood at\nwhen the clock was read. Silent moments (start, "
        "pauses, stalls, end) have no sample heard and are not compared.\n");
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
