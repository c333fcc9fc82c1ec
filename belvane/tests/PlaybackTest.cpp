// The plug-in played by the stand-in host (glimmerax-play) through OpenAL Soft. The wave writer
// stores what OpenAL mixes, and with the output rate equal to the source rate, no dither and no
// limiter, every sample comes out as it went in: the output must be the input, after the
// silence before the first sound and wherever playing was held.
//
// Test sound is made by code (a pseudo-random sequence that is never silent), written to WAV
// with libsndfile.
#include "support/TestProcess.h"
#include "support/WaveFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using glimmerax::testing::makeDistinctSound;
using glimmerax::testing::ProcessResult;
using glimmerax::testing::readWave;
using glimmerax::testing::runProcess;
using glimmerax::testing::TempFolder;
using glimmerax::testing::WaveEncoding;
using glimmerax::testing::WaveSamples;

const std::filesystem::path kPlayer = GLIMMERAX_PLAY_PATH;
const std::filesystem::path kCycleProbe = BELVANE_CYCLE_PROBE_PATH;
const std::filesystem::path kClockProbe = BELVANE_CLOCK_PROBE_PATH;

// How far the clock may be from the sample heard where sound comes back after a silence, and
// from the stream's length at its end.
constexpr double kResumeToleranceMs = 10.0;
constexpr double kEndToleranceMs = 30.0;

bool isSilent(const WaveSamples& sound, std::size_t frame) {
    const auto first = sound.samples.begin() + static_cast<long>(frame * sound.channels);
    return std::all_of(first, first + sound.channels, [](short sample) { return sample == 0; });
}

std::size_t firstSound(const WaveSamples& sound) {
    std::size_t frame = 0;
    while (frame < sound.frameCount() && isSilent(sound, frame)) {
        ++frame;
    }
    return frame;
}

WaveSamples withoutSilence(const WaveSamples& sound) {
    WaveSamples kept{sound.sampleRate, sound.channels, {}};
    for (std::size_t frame = 0; frame < sound.frameCount(); ++frame) {
        if (!isSilent(sound, frame)) {
            const auto first = sound.samples.begin() + static_cast<long>(frame * sound.channels);
            kept.samples.insert(kept.samples.end(), first, first + sound.channels);
        }
    }
    return kept;
}

std::size_t lastSound(const WaveSamples& sound) {
    std::size_t frame = sound.frameCount();
    while (frame > 0 && isSilent(sound, frame - 1)) {
        --frame;
    }
    return frame;
}

// Frames of the longest silence between the first and the last sound.
std::size_t longestGap(const WaveSamples& sound) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (std::size_t frame = firstSound(sound); frame < sound.frameCount(); ++frame) {
        if (isSilent(sound, frame)) {
            ++run;
        } else {
            longest = std::max(longest, run);
            run = 0;
        }
    }
    return longest;
}

// Whatever the machine's own configuration, the player must see none of it.
std::vector<std::pair<std::string, std::string>> privateEnvironment(const TempFolder& folder) {
    std::filesystem::create_directories(folder / "home");
    std::filesystem::create_directories(folder / "config");
    return {{"HOME", (folder / "home").string()},
            {"XDG_CONFIG_HOME", (folder / "config").string()},
            {"XDG_CONFIG_DIRS", (folder / "config").string()},
            {"ALSOFT_CONF", (folder / "alsoft.conf").string()}};
}

// Plays the input into a WAV file through the plug-in; returns the run and what was played.
struct PlayedRun {
    ProcessResult process;
    WaveSamples output;
};

PlayedRun playIntoWave(const TempFolder& folder, const WaveSamples& input, WaveEncoding encoding,
                       std::vector<std::string> options) {
    const std::filesystem::path in = folder / "in.wav";
    const std::filesystem::path out = folder / "out.wav";
    glimmerax::testing::writeWave(in, input, encoding);
    options.insert(options.end(), {"--write-wav", out.string(), in.string()});
    PlayedRun run;
    run.process = runProcess(kPlayer, options, privateEnvironment(folder));
    if (run.process.exitCode == 0) {
        run.output = readWave(out);
    }
    return run;
}

struct FormatCase {
    const char* name;
    unsigned int sampleRate;
    unsigned int channels;
    WaveEncoding encoding;
};

void PrintTo(const FormatCase& param, std::ostream* out) {
    *out << param.name;
}

class PlaybackFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PlaybackFormatTest, PlaysEverySampleUnchangedAndInOrder) {
    const FormatCase& param = GetParam();
    TempFolder folder;
    const WaveSamples input =
        makeDistinctSound(param.sampleRate, param.channels, 1.0, param.encoding);

    const PlayedRun run = playIntoWave(folder, input, param.encoding, {"--quiet"});

    ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_EQ(run.process.out, "");
    ASSERT_EQ(run.output.sampleRate, param.sampleRate);
    ASSERT_EQ(run.output.channels, param.channels);
    // Sound starts within a block (23 ms at 44.1 kHz) with every core busy; a second is the
    // margin.
    EXPECT_LT(firstSound(run.output), param.sampleRate) << "playing starts within a second";
    // Silence is left out: a machine too busy to feed the queue in time may make a gap, but
    // never a wrong, lost or repeated sample.
    const WaveSamples heard = withoutSilence(run.output);
    EXPECT_EQ(heard.frameCount(), input.frameCount());
    EXPECT_TRUE(heard.samples == input.samples) << "the output differs from the input";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PlaybackFormatTest,
    ::testing::Values(FormatCase{"Mono16", 44100, 1, WaveEncoding::kSigned16},
                      FormatCase{"Stereo16", 44100, 2, WaveEncoding::kSigned16},
                      FormatCase{"Mono8", 22050, 1, WaveEncoding::kUnsigned8},
                      FormatCase{"Stereo8", 48000, 2, WaveEncoding::kUnsigned8},
                      // Float and double come out as their 16-bit conversion.
                      FormatCase{"MonoFloat", 44100, 1, WaveEncoding::kFloat32},
                      FormatCase{"StereoDouble", 48000, 2, WaveEncoding::kFloat64},
                      // The whole stream fits in the first four blocks.
                      FormatCase{"Mono8At8kHz", 8000, 1, WaveEncoding::kUnsigned8}),
    [](const auto& info) { return std::string(info.param.name); });

struct RateCase {
    const char* name;
    unsigned int sourceRate;
    unsigned int channels;
    WaveEncoding encoding;
    unsigned int playedRate;
};

void PrintTo(const RateCase& param, std::ostream* out) {
    *out << param.name;
}

class PlaybackRateTest : public ::testing::TestWithParam<RateCase> {};

// Rates the output does not take, or at which the plug-in's queue would run dry between two
// frames of the host, are resampled to the nearest one that plays: the whole second of sound comes
// out at that rate, in one piece. Resampled noise is not silent for a millisecond on end; a
// source that runs dry is, for a mixer period or more.
TEST_P(PlaybackRateTest, PlaysTheWholeSoundResampledWithoutAGap) {
    const RateCase& param = GetParam();
    TempFolder folder;
    const WaveSamples input =
        makeDistinctSound(param.sourceRate, param.channels, 1.0, param.encoding);

    const PlayedRun run = playIntoWave(folder, input, param.encoding, {});

    ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_NE(run.process.err.find(
                  "glimmerax-play: resampling " + std::to_string(param.sourceRate) + " Hz to " +
                  std::to_string(param.playedRate) + " Hz, the nearest rate that plays\n"),
              std::string::npos)
        << run.process.err;
    ASSERT_EQ(run.output.sampleRate, param.playedRate);
    ASSERT_EQ(run.output.channels, param.channels);
    const double heardSeconds =
        static_cast<double>(lastSound(run.output) - firstSound(run.output)) / param.playedRate;
    EXPECT_NEAR(heardSeconds, 1.0, 0.005);
    EXPECT_LT(longestGap(run.output), param.playedRate / 1000) << "a gap in the sound";
}

INSTANTIATE_TEST_SUITE_P(
    Rates, PlaybackRateTest,
    ::testing::Values(RateCase{"Mono768kHz", 768000, 1, WaveEncoding::kSigned16, 192000},
                      // At 192 kHz, 16-bit stereo would empty the plug-in's queue in 21 ms.
                      RateCase{"Stereo384kHz", 384000, 2, WaveEncoding::kSigned16, 96000},
                      RateCase{"Stereo4kHz", 4000, 2, WaveEncoding::kSigned16, 8000},
                      RateCase{"Mono8At6kHz", 6000, 1, WaveEncoding::kUnsigned8, 8000}),
    [](const auto& info) { return std::string(info.param.name); });

struct InterruptCase {
    const char* name;
    int signal;
    int exitCode;
};

void PrintTo(const InterruptCase& param, std::ostream* out) {
    *out << param.name;
}

class PlaybackInterruptTest : public ::testing::TestWithParam<InterruptCase> {};

// The audio clock of the progress lines the player prints (once a second in a log) has reached
// the value: that much sound has been heard.
bool clockShown(const std::string& out, double ms) {
    static const std::regex clockLine("audio clock ([0-9]+) ms\n");
    for (auto line = std::sregex_iterator(out.begin(), out.end(), clockLine);
         line != std::sregex_iterator(); ++line) {
        if (std::stod((*line)[1]) >= ms) {
            return true;
        }
    }
    return false;
}

// A signal once three quarters of a second of four seconds of sound have been heard, however
// long the start took: the player stops, the WAV holds what was played, from the start, and
// the private folder is gone. Only a stop that took more than three seconds would let it play
// to the end.
TEST_P(PlaybackInterruptTest, TheWaveHoldsWhatPlayedAndThePrivateFolderGoes) {
    TempFolder folder;
    const std::filesystem::path in = folder / "in.wav";
    const std::filesystem::path out = folder / "out.wav";
    const std::filesystem::path temporary = folder / "tmp";
    std::filesystem::create_directory(temporary);
    const WaveSamples input = makeDistinctSound(22050, 1, 4.0, WaveEncoding::kSigned16);
    glimmerax::testing::writeWave(in, input, WaveEncoding::kSigned16);
    auto environment = privateEnvironment(folder);
    environment.push_back({"TMPDIR", temporary.string()});

    const ProcessResult run = runProcess(
        kPlayer, {"--write-wav", out.string(), in.string()}, environment,
        glimmerax::testing::SignalOnOutput{
            GetParam().signal, [](const std::string& out) { return clockShown(out, 750.0); }});

    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.err;
    EXPECT_NE(run.out.find("\ninterrupted\n"), std::string::npos) << run.out;
    const WaveSamples heard = withoutSilence(readWave(out));
    EXPECT_GT(heard.frameCount(), input.frameCount() / 8) << "too little played";
    EXPECT_LT(heard.frameCount(), input.frameCount()) << "played to the end";
    EXPECT_TRUE(std::equal(heard.samples.begin(), heard.samples.end(), input.samples.begin()))
        << "what was played is not the start of the input";
    EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "a temporary folder is left";
}

INSTANTIATE_TEST_SUITE_P(Signals, PlaybackInterruptTest,
                         ::testing::Values(InterruptCase{"Interrupt", SIGINT, 130},
                                           InterruptCase{"Terminate", SIGTERM, 130},
                                           InterruptCase{"HangUp", SIGHUP, 129}),
                         [](const auto& info) { return std::string(info.param.name); });

// The host pauses at 0.5 s of audio clock for 0.5 s: the sound stops for that long, goes on
// where it stopped, and the clock reads the same at the resume as at the pause.
TEST(PlaybackTest, APauseIsSilenceAndPlayingGoesOnWhereItStopped) {
    TempFolder folder;
    const WaveSamples input = makeDistinctSound(44100, 2, 1.5, WaveEncoding::kSigned16);

    const PlayedRun run =
        playIntoWave(folder, input, WaveEncoding::kSigned16, {"--pause", "0.5:0.5"});

    ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_TRUE(withoutSilence(run.output).samples == input.samples)
        << "audio lost or repeated around the pause";
    // The gap is the pause's half second of wall time to within a mixer period (488 to 534 ms
    // measured with every core busy); 0.4 and 1.0 s leave room for a wave writer that falls
    // behind and catches up, and for a resume shown late.
    const double gapSeconds = static_cast<double>(longestGap(run.output)) / 44100;
    EXPECT_GT(gapSeconds, 0.4);
    EXPECT_LT(gapSeconds, 1.0);

    std::smatch pause;
    std::smatch resume;
    ASSERT_TRUE(
        std::regex_search(run.process.out, pause, std::regex("pause at audio clock ([0-9]+) ms\n")))
        << run.process.out;
    ASSERT_TRUE(std::regex_search(run.process.out, resume,
                                  std::regex("resume at audio clock ([0-9]+) ms\n")))
        << run.process.out;
    EXPECT_EQ(pause[1], resume[1]) << "the clock moved during the pause";
    EXPECT_GE(std::stoi(pause[1]), 500);
    EXPECT_LT(std::stoi(pause[1]), 600);

    EXPECT_NE(run.process.err.find("log: bool AudioClip::startAudioStream()\n"), std::string::npos);
    EXPECT_NE(run.process.err.find("log: bool AudioClip::closeAudioStream()\n"), std::string::npos);
}

// The decoder stops feeding for 0.8 s after 0.5 s of audio: the queue runs dry, the source
// stops, and it must start again with the audio that follows, with no block heard twice.
TEST(PlaybackTest, AfterAStallPlayingGoesOnWithNoBlockHeardTwice) {
    TempFolder folder;
    const WaveSamples input = makeDistinctSound(44100, 2, 1.5, WaveEncoding::kSigned16);

    const PlayedRun run =
        playIntoWave(folder, input, WaveEncoding::kSigned16, {"--quiet", "--stall", "0.5:0.8"});

    ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
    const WaveSamples heard = withoutSilence(run.output);
    EXPECT_EQ(heard.frameCount(), input.frameCount());
    EXPECT_TRUE(heard.samples == input.samples) << "audio lost or repeated around the stall";
    EXPECT_GT(static_cast<double>(longestGap(run.output)) / 44100, 0.3) << "no silent gap";
}

// With no output device at all the plug-in says so once and carries on; the host ends when the
// audio clock has passed the end of the stream.
TEST(PlaybackTest, WithoutAnyDeviceThePluginSaysSoAndTheClockStillRuns) {
    TempFolder folder;
    std::ofstream(folder / "alsoft.conf") << "drivers = wave\n[wave]\nfile =\n";
    const std::filesystem::path in = folder / "in.wav";
    glimmerax::testing::writeWave(in, makeDistinctSound(22050, 1, 0.5, WaveEncoding::kSigned16),
                                  WaveEncoding::kSigned16);

    const ProcessResult run = runProcess(kPlayer, {in.string()}, privateEnvironment(folder));

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("log: void OpenALSoundManager::start() no audio device could be "
                           "opened\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("stopped when the audio clock passed the end"), std::string::npos)
        << run.out;
}

// OpenAL Soft's usual configuration on a machine without a sound card: it tries its back-ends,
// ALSA among them, opens none, and the run ends as one without a device. The sanitizer build
// checks for leaks at exit: what ALSA keeps for itself must not count as one.
TEST(PlaybackTest, WithTheUsualDriversAndNoSoundCardThePlayerSucceeds) {
    TempFolder folder;
    std::ofstream(folder / "alsoft.conf") << "";
    const std::filesystem::path in = folder / "in.wav";
    glimmerax::testing::writeWave(in, makeDistinctSound(22050, 1, 0.3, WaveEncoding::kSigned16),
                                  WaveEncoding::kSigned16);

    const ProcessResult run = runProcess(kPlayer, {in.string()}, privateEnvironment(folder));

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("LeakSanitizer"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("sent 0.30 of 0.30 s to the plug-in"), std::string::npos) << run.out;
}

// What the clock probe saw in each frame of the host.
struct ClockFrame {
    double clockMs = 0.0;
    std::optional<double> heardMs;
    bool paused = false;
};

struct ClockRun {
    double streamMs = 0.0;
    std::vector<ClockFrame> frames;

    // The first frame, after something was heard, in which sound is heard again after a silence
    // of the host's or of the source's.
    std::size_t firstHeardAfterSilence() const {
        bool heard = false;
        bool silence = false;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const bool heardNow = frames[i].heardMs && !frames[i].paused;
            if (heard && silence && heardNow) {
                return i;
            }
            silence = silence || (heard && !heardNow);
            heard = heard || heardNow;
        }
        return frames.size();
    }

    bool neverBackwards() const {
        for (std::size_t i = 1; i < frames.size(); ++i) {
            if (frames[i].clockMs < frames[i - 1].clockMs) {
                return false;
            }
        }
        return true;
    }
};

ClockRun runClockProbe(const std::vector<std::string>& arguments) {
    const ProcessResult process = runProcess(kClockProbe, arguments);
    EXPECT_EQ(process.exitCode, 0) << process.err;
    ClockRun run;
    std::istringstream lines(process.out);
    std::string kind;
    while (lines >> kind) {
        if (kind == "stream_ms") {
            lines >> run.streamMs;
            continue;
        }
        ClockFrame frame;
        std::string heard;
        int paused = 0;
        lines >> frame.clockMs >> heard >> paused;
        if (heard != "-") {
            frame.heardMs = std::stod(heard);
        }
        frame.paused = paused != 0;
        run.frames.push_back(frame);
    }
    return run;
}

// The decoder stops for 0.6 s once it has delivered 0.6 s: the source runs dry, and the sound
// stops at that sample and comes back from the next one. The video must wait for it.
TEST(PlaybackClockTest, AfterAStallTheClockGoesOnFromTheFirstFreshSampleHeard) {
    const ClockRun run = runClockProbe({"1.5", "--stall", "0.6:0.6"});

    const std::size_t back = run.firstHeardAfterSilence();
    ASSERT_LT(back, run.frames.size()) << "no silence with sound after it";
    EXPECT_NEAR(*run.frames[back].heardMs, 600.0, 50.0) << "the fresh sample heard";
    EXPECT_NEAR(run.frames[back].clockMs, *run.frames[back].heardMs, kResumeToleranceMs);
    // Held at the stall's sample through the silence, not running on.
    for (std::size_t i = back - 1; i > 0 && !run.frames[i].heardMs; --i) {
        EXPECT_NEAR(run.frames[i].clockMs, 600.0, kResumeToleranceMs) << "frame " << i;
    }
    EXPECT_TRUE(run.neverBackwards());
    EXPECT_NEAR(run.frames.back().clockMs, run.streamMs, kEndToleranceMs) << "at the end";
}

TEST(PlaybackClockTest, AcrossAPauseTheClockHoldsAndThenGoesOnWithTheSound) {
    const ClockRun run = runClockProbe({"1.5", "--pause", "0.6:0.5"});

    // Every paused frame, the first included, shows the clock read once the pause has taken
    // effect.
    std::vector<double> heldAt;
    for (const ClockFrame& frame : run.frames) {
        if (frame.paused) {
            heldAt.push_back(frame.clockMs);
        }
    }
    ASSERT_FALSE(heldAt.empty()) << "never paused";
    // The host pauses in the first frame whose clock has reached 0.6 s, which comes at most a
    // frame period (17 ms) after the clock got there; 30 ms more allow for a frame shown late
    // on a busy machine.
    EXPECT_GE(heldAt.front(), 600.0);
    EXPECT_LE(heldAt.front(), 600.0 + 17.0 + 30.0);
    EXPECT_EQ(*std::min_element(heldAt.begin(), heldAt.end()),
              *std::max_element(heldAt.begin(), heldAt.end()))
        << "the clock moved during the pause";
    const std::size_t back = run.firstHeardAfterSilence();
    ASSERT_LT(back, run.frames.size()) << "no sound after the pause";
    EXPECT_NEAR(run.frames[back].clockMs, *run.frames[back].heardMs, kResumeToleranceMs);
    EXPECT_TRUE(run.neverBackwards());
}

// The player prints the clock it reads; at the end of a stream that stalled on the way, the
// clock shows the stream's length, not the time it took to play.
TEST(PlaybackClockTest, ThePlayersLastLineShowsTheStreamsLength) {
    TempFolder folder;
    const WaveSamples input = makeDistinctSound(22050, 1, 1.5, WaveEncoding::kSigned16);

    const PlayedRun run =
        playIntoWave(folder, input, WaveEncoding::kSigned16, {"--stall", "0.5:1.0"});

    ASSERT_EQ(run.process.exitCode, 0) << run.process.err;
    std::smatch last;
    ASSERT_TRUE(std::regex_search(
        run.process.out, last,
        std::regex(
            "sent [0-9.]+ of [0-9.]+ s to the plug-in in ([0-9.]+) s; audio clock ([0-9]+) ms\n")))
        << run.process.out;
    EXPECT_GT(std::stod(last[1]), 2.0) << "the stall took time";
    EXPECT_NEAR(std::stod(last[2]), 1500.0, kEndToleranceMs);
}

struct ProbeCase {
    const char* name;
    std::vector<std::string> arguments;
    bool leakReported;
};

void PrintTo(const ProbeCase& param, std::ostream* out) {
    *out << param.name;
}

class OpenALLeakTest : public ::testing::TestWithParam<ProbeCase> {};

// OpenAL Soft warns at alcCloseDevice about every buffer and source still alive, which the heap
// checker cannot see while OpenAL still holds them. The second case shows that a leak is seen.
TEST_P(OpenALLeakTest, ClipLifetimesLeaveNoOpenALObjectBehind) {
    TempFolder folder;
    std::ofstream(folder / "alsoft.conf") << "drivers = null\n";
    auto environment = privateEnvironment(folder);
    environment.push_back({"ALSOFT_LOGLEVEL", "2"});
    environment.push_back({"ALSOFT_LOGFILE", (folder / "openal.log").string()});

    const ProcessResult run = runProcess(kCycleProbe, GetParam().arguments, environment);

    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::ifstream logFile(folder / "openal.log");
    const std::string log((std::istreambuf_iterator<char>(logFile)),
                          std::istreambuf_iterator<char>());
    const bool reported = std::regex_search(log, std::regex("Deleted [0-9]+ (Buffer|Source)"));
    EXPECT_EQ(reported, GetParam().leakReported) << log;
}

INSTANTIATE_TEST_SUITE_P(Probes, OpenALLeakTest,
                         ::testing::Values(ProbeCase{"ThousandCycles", {"1000"}, false},
                                           ProbeCase{
                                               "LeakedBuffer", {"1", "--leak-a-buffer"}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
