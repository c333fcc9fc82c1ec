// The audio clock's arithmetic, driven with times and readings of the test's own. The stream
// runs at 1000 Hz, so that a frame lasts a millisecond. The device is one like OpenAL Soft's: its
// clock stood at 0 at host time 5 ms, it mixes in periods of 10 ms, each when the period is over
// (the mix of device time [40, 50) is done at host time 55), and a frame mixed is heard 20 ms
// later. The stream starts at host time 20, and the source mixes from the start of the period
// under way, device time 10: frame f of the source's timeline is mixed at host time 15 + f and
// heard at 35 + f, while it plays without a break.
#include <AudioClock.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using belvane::AudioClock;
using belvane::SourceReading;

constexpr unsigned int kRate = 1000;
constexpr std::uint32_t kBlockFrames = 100;
constexpr double kDeviceZeroMs = 5.0;
constexpr double kLatencyMs = 20.0;
constexpr double kToleranceMs = 1e-6;

std::int64_t at(double hostMs) {
    return std::llround(hostMs * 1000.0);
}

class AudioClockTest : public ::testing::Test {
  protected:
    void start(bool followsDevice, int fullBlocks = 4) {
        clock_.reset(kRate, followsDevice);
        for (int i = 0; i < fullBlocks; ++i) {
            clock_.queued(kBlockFrames, kBlockFrames);
        }
        clock_.start(at(20.0));
    }

    // What the clip reads at host time readAtMs, when the last mix (done at the end of device
    // time mixedUpToDeviceMs) had taken the source to mixedFrames.
    void observe(double readAtMs, double mixedUpToDeviceMs, double mixedFrames,
                 double latencyMs = kLatencyMs) {
        SourceReading reading;
        reading.hostMicros = at(readAtMs);
        reading.mixedFrames = mixedFrames;
        if (withDeviceClock_) {
            reading.deviceNanos = std::llround(mixedUpToDeviceMs * 1e6);
        }
        reading.latencyNanos = std::llround(latencyMs * 1e6);
        clock_.observe(reading);
    }

    // Readings shortly after the mixes done at host times 25, 35 and 45: the first two come a
    // little late, the third right after its mix.
    void observeFirstMixes() {
        observe(26.0, 20.0, 10.0);
        observe(35.2, 30.0, 20.0);
        observe(45.0, 40.0, 30.0);
    }

    double clockAt(double hostMs) { return clock_.positionMs(at(hostMs)); }

    AudioClock clock_;
    bool withDeviceClock_ = true;
};

class AudioClockReadingTest : public AudioClockTest, public ::testing::WithParamInterface<bool> {};

// With the device clock each reading says when its mix was done; without it, each says that the
// mix was done before the reading, and the closest reading tells most.
TEST_P(AudioClockReadingTest, HoldsUntilTheFirstSampleIsHeardThenFollowsItBetweenMixes) {
    withDeviceClock_ = GetParam();
    start(true);
    observe(26.0, 20.0, 10.0);
    EXPECT_EQ(clockAt(26.0), 0.0);
    observe(35.2, 30.0, 20.0);
    EXPECT_EQ(clockAt(35.2), 0.0);
    observe(45.0, 40.0, 30.0);
    EXPECT_NEAR(clockAt(45.0), 10.0, kToleranceMs);
    // Between mixes, carried by the timer.
    EXPECT_NEAR(clockAt(47.5), 12.5, kToleranceMs);
    EXPECT_NEAR(clockAt(53.0), 18.0, kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(DeviceClock, AudioClockReadingTest, ::testing::Bool(),
                         [](const auto& info) {
                             return std::string(info.param ? "WithDeviceClock"
                                                           : "WithoutDeviceClock");
                         });

TEST_F(AudioClockTest, NeverGoesBackwardsWhenTheSoundFallsBehindIt) {
    start(true);
    observeFirstMixes();
    EXPECT_NEAR(clockAt(50.0), 15.0, kToleranceMs);
    // The device now takes 30 ms to play a mixed frame: the sound heard at 56 is frame 11.
    observe(56.0, 50.0, 40.0, 30.0);
    EXPECT_NEAR(clockAt(56.0), 15.0, kToleranceMs);
    EXPECT_NEAR(clockAt(60.0), 15.0, kToleranceMs);
    EXPECT_NEAR(clockAt(63.0), 18.0, kToleranceMs);
}

struct PauseCase {
    const char* name;
    double resumeAtMs;
    // Clock values after the resume, at host times 112, 114 and 116.
    double at112;
    double at114;
    double at116;
};

void PrintTo(const PauseCase& param, std::ostream* out) {
    *out << param.name;
}

class AudioClockPauseTest : public AudioClockTest,
                            public ::testing::WithParamInterface<PauseCase> {};

// Paused at host time 60, the clock holds at 25, the frame heard then. The source stops at the
// next mix, having mixed frame 40, which is heard until 75. Resumed within device period
// [90, 100), the source mixes on from that period's start: frame 40 is heard again at 115. The
// clock goes on from 25 at the resume and meets the sound at 115: it waits there when it comes
// early, and catches up when it comes late.
TEST_P(AudioClockPauseTest, HoldsDuringThePauseThenGoesOnFromThereAndMeetsTheSound) {
    const PauseCase& param = GetParam();
    start(true);
    observeFirstMixes();
    clock_.hold(at(60.0));
    EXPECT_NEAR(clockAt(60.0), 25.0, kToleranceMs);
    observe(66.0, 60.0, 40.0);
    observe(86.0, 80.0, 40.0);
    EXPECT_NEAR(clockAt(90.0), 25.0, kToleranceMs);

    observe(param.resumeAtMs, 90.0, 40.0);
    clock_.release(at(param.resumeAtMs));
    clock_.sourceRestarted(at(param.resumeAtMs));
    EXPECT_NEAR(clockAt(param.resumeAtMs), 25.0, kToleranceMs);
    observe(105.5, 100.0, 50.0);
    EXPECT_NEAR(clockAt(112.0), param.at112, kToleranceMs);
    EXPECT_NEAR(clockAt(114.0), param.at114, kToleranceMs);
    EXPECT_NEAR(clockAt(116.0), param.at116, kToleranceMs);
    EXPECT_NEAR(clockAt(130.0), 55.0, kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(
    ResumeTimes, AudioClockPauseTest,
    ::testing::Values(PauseCase{"TheTimerReachesTheSoundFirst", 97.0, 40.0, 40.0, 41.0},
                      PauseCase{"TheSoundComesFirst", 101.0, 36.0, 38.0, 41.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Frames 0 to 400 are all that was queued; the source runs dry in the mix done at 415. Fresh
// audio comes at 460 and is mixed from device time 450 on, heard from 475.
TEST_F(AudioClockTest, HoldsAtTheLastSampleHeardWhileDryAndGoesOnFromTheFirstFreshOne) {
    start(true);
    observeFirstMixes();
    observe(416.0, 410.0, 400.0);
    clock_.ranDry(400.0);
    // What was mixed last is still on its way.
    EXPECT_NEAR(clockAt(420.0), 385.0, kToleranceMs);
    EXPECT_NEAR(clockAt(435.0), 400.0, kToleranceMs);
    EXPECT_NEAR(clockAt(450.0), 400.0, kToleranceMs);

    clock_.queued(kBlockFrames, kBlockFrames);
    clock_.sourceRestarted(at(460.0));
    observe(466.0, 460.0, 410.0);
    EXPECT_NEAR(clockAt(470.0), 400.0, kToleranceMs);
    EXPECT_NEAR(clockAt(475.0), 400.0, kToleranceMs);
    EXPECT_NEAR(clockAt(480.0), 405.0, kToleranceMs);
}

// Blocks that a short read ended in silence: the stream holds through the silence, and the
// clock stops at the stream's length.
TEST_F(AudioClockTest, SilentPaddingIsNotPartOfTheStreamAndTheClockStopsAtItsEnd) {
    clock_.reset(kRate, true);
    for (const std::uint32_t streamFrames : {100u, 40u, 100u, 30u}) {
        clock_.queued(kBlockFrames, streamFrames);
    }
    clock_.start(at(20.0));
    observeFirstMixes();
    EXPECT_NEAR(clockAt(155.0), 120.0, kToleranceMs);
    EXPECT_NEAR(clockAt(205.0), 140.0, kToleranceMs) << "in the padding of the second block";
    EXPECT_NEAR(clockAt(285.0), 190.0, kToleranceMs);
    observe(416.0, 410.0, 400.0);
    clock_.ranDry(400.0);
    EXPECT_NEAR(clockAt(500.0), 270.0, kToleranceMs);
}

// The queue holds 400 frames: however late the readings, the clock does not run past them.
TEST_F(AudioClockTest, NothingBeyondTheQueueIsHeard) {
    start(true);
    observeFirstMixes();
    EXPECT_NEAR(clockAt(500.0), 400.0, kToleranceMs);
}

TEST_F(AudioClockTest, WithoutADeviceTheClockIsTheTimerLessThePauses) {
    start(false);
    observeFirstMixes();
    EXPECT_NEAR(clockAt(50.0), 30.0, kToleranceMs) << "readings play no part";
    clock_.hold(at(60.0));
    EXPECT_NEAR(clockAt(90.0), 40.0, kToleranceMs);
    clock_.release(at(100.0));
    EXPECT_NEAR(clockAt(100.0), 40.0, kToleranceMs);
    EXPECT_NEAR(clockAt(125.0), 65.0, kToleranceMs);
}

TEST_F(AudioClockTest, BeforeTheStartAndWhenReopenedTheClockIsZero) {
    clock_.reset(kRate, false);
    EXPECT_EQ(clockAt(100.0), 0.0);
    start(false);
    EXPECT_NEAR(clockAt(60.0), 40.0, kToleranceMs);
    clock_.reset(kRate, false);
    EXPECT_EQ(clockAt(70.0), 0.0);
}

}  // namespace
