// The clip's audio clock, with OpenAL recorded: the play position read through each of the ways
// OpenAL offers becomes the stream position heard, across blocks taken off the queue, blocks set
// aside after running dry, a reopening, and without any device (the clock then runs on the
// clip's timer). The stand-in plays in step with real time, as a device does, and each check
// allows for the time measured between its last move and the clock read, however busy the
// machine.
#include "RecordingAL.h"

#include <belvane/OgreAudioClip.h>

#include <AL/alext.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr unsigned int kRate = 44100;
constexpr std::size_t kBlock = Ogre::AudioClip::kBlockSize;
constexpr std::size_t kFrameBytes = 4;  // stereo 16-bit
constexpr double kBlockMs = 1000.0 * (kBlock / kFrameBytes) / kRate;
// The float the clock comes back as, and the microseconds of the clip's timer.
constexpr double kRoundingMs = 0.05;
// Stream bytes are never 0, so that the silence padding a block is told apart.
constexpr unsigned char kStreamByte = 7;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The stand-in's source played in step with real time from begin() on, and the device clock
// running from the device's making.
class RealTimeDevice {
  public:
    void begin() {
        sourceStart_ = Clock::now();
        lastProgress_ = sourceStart_;
        due_ = 0;
    }
    // Plays the frames that real time since begin() covers and were not played yet. Returns
    // when the source last moved on: now, or when it ran dry.
    Clock::time_point advance(ALuint source) {
        const auto now = Clock::now();
        const auto due = static_cast<std::size_t>(
            std::chrono::duration<double>(now - sourceStart_).count() * kRate);
        const std::size_t playedBefore = recording_al::playedBytes(source).size();
        recording_al::playFrames(source, due - due_);
        due_ = due;
        recording_al::setDeviceClock(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - epoch_).count());
        if (recording_al::playedBytes(source).size() > playedBefore) {
            lastProgress_ = now;
        }
        return lastProgress_;
    }

  private:
    const Clock::time_point epoch_ = Clock::now();
    Clock::time_point sourceStart_;
    Clock::time_point lastProgress_;
    std::size_t due_ = 0;
};

class ClipClockTest : public ::testing::Test {
  protected:
    ClipClockTest() { recording_al::reset(); }

    void open(unsigned int startOffsetMs) {
        clip_.openAudioStream(kRate, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo,
                              startOffsetMs);
        source_ = recording_al::lastSource();
        offsetMs_ = startOffsetMs;
    }

    void start() {
        device_.begin();
        clip_.startAudioStream();
    }

    void feed(std::size_t bytes) {
        const std::vector<unsigned char> pcm(bytes, kStreamByte);
        ASSERT_EQ(clip_.ringBuffer().write(pcm.data(), static_cast<long>(bytes)),
                  static_cast<long>(bytes));
    }

    double streamMsPlayed() const {
        const auto& played = recording_al::playedBytes(source_);
        std::size_t frames = 0;
        for (std::size_t at = 0; at < played.size(); at += kFrameBytes) {
            frames += played[at] == kStreamByte ? 1 : 0;
        }
        return 1000.0 * static_cast<double>(frames) / kRate;
    }

    // The clock read now against the stream played by the stand-in: that, less the latency,
    // plus at most the time since the source last moved on.
    void expectClockFollowsTheSound(Clock::time_point movedAt, double latencyMs = 0.0) {
        const double expected = std::max(0.0, streamMsPlayed() - latencyMs);
        const double clockMs = clip_.getAudioStreamTime() - offsetMs_;
        const double slackMs = millisecondsSince(movedAt);
        EXPECT_GE(clockMs, expected - kRoundingMs);
        EXPECT_LE(clockMs, expected + slackMs + kRoundingMs);
    }

    // Plays on in real time until the stand-in has played that much more of the stream, keeping
    // the ring buffer fed and calling autoUpdate as the host does each frame, and checks the
    // clock at each step. Counted in stream played rather than in time passed, so that a step
    // that comes late still leaves the clip as much stream to play. A clip that stops playing
    // fails after ten seconds more instead of hanging the test.
    void playFor(std::chrono::milliseconds length, double latencyMs = 0.0) {
        const double untilMs = streamMsPlayed() + static_cast<double>(length.count());
        const auto giveUp = Clock::now() + length + 10s;
        while (streamMsPlayed() < untilMs && Clock::now() < giveUp) {
            std::this_thread::sleep_for(5ms);
            if (clip_.ringBuffer().readAvailable() < static_cast<long>(2 * kBlock)) {
                feed(2 * kBlock);
            }
            const Clock::time_point moved = device_.advance(source_);
            clip_.autoUpdate();
            expectClockFollowsTheSound(moved, latencyMs);
        }
        EXPECT_GE(streamMsPlayed(), untilMs) << "the stream stopped playing";
    }

    Ogre::AudioClip clip_;
    RealTimeDevice device_;
    ALuint source_ = 0;
    double offsetMs_ = 0.0;
};

struct PositionQueryCase {
    const char* name;
    bool sourceLatency;
    bool deviceClock;
    double latencyMs;
    // The call that reads the play position, and its parameter.
    std::string query;
    ALenum parameter;
};

void PrintTo(const PositionQueryCase& param, std::ostream* out) {
    *out << param.name;
}

class ClipPositionQueryTest : public ClipClockTest,
                              public ::testing::WithParamInterface<PositionQueryCase> {};

TEST_P(ClipPositionQueryTest, FollowsThePlayPositionAcrossTheBlocksTakenOffTheQueue) {
    const PositionQueryCase& param = GetParam();
    recording_al::setPositionExtensions(param.sourceLatency, param.deviceClock);
    recording_al::setDeviceLatency(static_cast<std::int64_t>(param.latencyMs * 1e6));
    recording_al::makeDefaultContextCurrent();
    open(0);
    feed(4 * kBlock);
    start();

    playFor(std::chrono::milliseconds(static_cast<int>(5 * kBlockMs)), param.latencyMs);

    EXPECT_GE(recording_al::callsTo("alSourceUnqueueBuffers").size(), 2u);
    const auto queries = recording_al::callsTo(param.query);
    ASSERT_FALSE(queries.empty());
    EXPECT_EQ(queries.back().integers, (std::vector<long long>{source_, param.parameter}));
    if (param.deviceClock) {
        EXPECT_EQ(recording_al::callsTo("alcGetInteger64vSOFT").back().integers,
                  (std::vector<long long>{ALC_DEVICE_LATENCY_SOFT, 1}));
    }
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, ClipPositionQueryTest,
    ::testing::Values(PositionQueryCase{"DeviceClock", true, true, 10.0, "alGetSourcei64vSOFT",
                                        AL_SAMPLE_OFFSET_CLOCK_SOFT},
                      PositionQueryCase{"LatencyOnly", true, false, 10.0, "alGetSourcei64vSOFT",
                                        AL_SAMPLE_OFFSET_LATENCY_SOFT},
                      PositionQueryCase{"PlainOffset", false, false, 0.0, "alGetSourcei",
                                        AL_SAMPLE_OFFSET}),
    [](const auto& info) { return std::string(info.param.name); });

// The priming finds two blocks in the ring buffer and pads with two silent ones; two more come
// as the first two have played, and go in their place. After running dry, the clock stands at the
// end of the four blocks of the stream; with fresh audio it goes on from there. The steps come
// every 5 ms; only a first step later than the four queued blocks last (93 ms) would let the
// stand-in play them all before the two fresh ones go in.
TEST_F(ClipClockTest, RunningDryCountsTheBlocksTakenOffOrSetAsideAndOnlyTheStreamsFrames) {
    recording_al::makeDefaultContextCurrent();
    open(0);
    feed(2 * kBlock);
    start();
    feed(2 * kBlock);
    while (recording_al::sourceState(source_) != AL_STOPPED) {
        std::this_thread::sleep_for(5ms);
        const Clock::time_point moved = device_.advance(source_);
        clip_.autoUpdate();
        expectClockFollowsTheSound(moved);
    }
    clip_.autoUpdate();
    EXPECT_TRUE(recording_al::queuedBuffers(source_).empty()) << "all four set aside";
    EXPECT_NEAR(streamMsPlayed(), 4 * kBlockMs, kRoundingMs);
    EXPECT_NEAR(clip_.getAudioStreamTime(), 4 * kBlockMs, kRoundingMs);

    feed(kBlock);
    const auto restarted = Clock::now();
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::sourceState(source_), AL_PLAYING);
    expectClockFollowsTheSound(restarted);
    playFor(std::chrono::milliseconds(static_cast<int>(kBlockMs)));
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

TEST_F(ClipClockTest, AReopenedClipCountsFromItsNewStartOffset) {
    recording_al::makeDefaultContextCurrent();
    open(1000);
    feed(4 * kBlock);
    start();
    playFor(20ms);
    clip_.closeAudioStream();

    open(5000);
    EXPECT_EQ(clip_.getAudioStreamTime(), 5000.0f) << "before the start";
    feed(4 * kBlock);
    const auto started = Clock::now();
    start();
    expectClockFollowsTheSound(started);
    playFor(20ms);
}

// Without a device (no current context) the clock runs on the clip's timer.
class ClipTimerClockTest : public ClipClockTest {
  protected:
    // A clock that counts on from fromMs since a moment between earliest and latest: read now,
    // less the start offset, it lies between the times since those two.
    void expectClockCountsOn(double fromMs, Clock::time_point earliest, Clock::time_point latest) {
        const double lowest = fromMs + millisecondsSince(latest);
        const double clockMs = clip_.getAudioStreamTime() - offsetMs_;
        const double highest = fromMs + millisecondsSince(earliest);
        EXPECT_GE(clockMs, lowest - kRoundingMs);
        EXPECT_LE(clockMs, highest + kRoundingMs);
    }
};

TEST_F(ClipTimerClockTest, CountsFromTheStartOffset) {
    open(5000);
    const auto beforeStart = Clock::now();
    start();
    const auto afterStart = Clock::now();
    std::this_thread::sleep_for(30ms);
    expectClockCountsOn(0.0, beforeStart, afterStart);
}

// Video frames are shown by this clock: during a pause it must not move, and after it it must
// go on from where it stood.
TEST_F(ClipTimerClockTest, HoldsItsValueThroughEachPauseAndGoesOnFromIt) {
    open(0);
    start();
    for (int pause = 0; pause < 2; ++pause) {
        SCOPED_TRACE(pause);
        std::this_thread::sleep_for(20ms);
        clip_.setAudioStreamPause(true);
        const float atPause = clip_.getAudioStreamTime();
        std::this_thread::sleep_for(40ms);
        EXPECT_EQ(clip_.getAudioStreamTime(), atPause);

        const auto beforeResume = Clock::now();
        clip_.setAudioStreamPause(false);
        const auto afterResume = Clock::now();
        std::this_thread::sleep_for(10ms);
        expectClockCountsOn(atPause, beforeResume, afterResume);
    }
}

// A resume that comes before the stream starts, out of the host's order, changes nothing.
TEST_F(ClipTimerClockTest, AResumeBeforeTheStartLeavesTheClockAtItsOffset) {
    open(1000);
    std::this_thread::sleep_for(20ms);
    clip_.setAudioStreamPause(false);
    EXPECT_EQ(clip_.getAudioStreamTime(), 1000.0f);
    const auto beforeStart = Clock::now();
    start();
    const auto afterStart = Clock::now();
    expectClockCountsOn(0.0, beforeStart, afterStart);
}

}  // namespace
