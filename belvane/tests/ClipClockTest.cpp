// The audio clock through the clip's real Ogre::Timer, with OpenAL recorded.
#include "RecordingAL.h"

#include <belvane/OgreAudioClip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The timer counts whole milliseconds; allow for that and for the calls around it, on a busy
// machine.
constexpr double kToleranceMs = 10.0;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class AudioClockTest : public ::testing::Test {
  protected:
    AudioClockTest() { recording_al::reset(); }

    void openAndStart(unsigned int startOffsetMs) {
        clip_.openAudioStream(44100, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo,
                              startOffsetMs);
        clip_.startAudioStream();
        started_ = Clock::now();
    }

    Ogre::AudioClip clip_;
    Clock::time_point started_;
};

TEST_F(AudioClockTest, CountsFromTheStartOffset) {
    openAndStart(5000);
    EXPECT_NEAR(clip_.getAudioStreamTime(), 5000.0, kToleranceMs);
    std::this_thread::sleep_for(30ms);
    const double elapsed = millisecondsSince(started_);
    EXPECT_NEAR(clip_.getAudioStreamTime(), 5000.0 + elapsed, kToleranceMs);
}

// Video frames are shown by this clock: during a pause it must not move, and after it it must
// go on from where it stood.
TEST_F(AudioClockTest, HoldsItsValueThroughEachPauseAndGoesOnFromIt) {
    openAndStart(0);
    double playedMs = 0.0;
    for (int pause = 0; pause < 2; ++pause) {
        SCOPED_TRACE(pause);
        const auto playing = Clock::now();
        std::this_thread::sleep_for(20ms);
        playedMs += millisecondsSince(playing);

        clip_.setAudioStreamPause(true);
        const float atPause = clip_.getAudioStreamTime();
        EXPECT_NEAR(atPause, playedMs, kToleranceMs);
        std::this_thread::sleep_for(40ms);
        EXPECT_EQ(clip_.getAudioStreamTime(), atPause);

        clip_.setAudioStreamPause(false);
        EXPECT_NEAR(clip_.getAudioStreamTime(), atPause, kToleranceMs);
        // Measure from the resume, so that the pause's own length is not counted.
        playedMs = atPause;
    }
    const auto resumed = Clock::now();
    std::this_thread::sleep_for(20ms);
    EXPECT_NEAR(clip_.getAudioStreamTime(), playedMs + millisecondsSince(resumed), kToleranceMs);
}

// A resume that no pause went before (here, before the stream starts) has no pause to take off.
TEST_F(AudioClockTest, AResumeWithoutAPauseLeavesTheClockAlone) {
    clip_.openAudioStream(44100, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo, 1000);
    std::this_thread::sleep_for(20ms);
    clip_.setAudioStreamPause(false);
    clip_.startAudioStream();
    EXPECT_NEAR(clip_.getAudioStreamTime(), 1000.0, kToleranceMs);
}

}  // namespace
