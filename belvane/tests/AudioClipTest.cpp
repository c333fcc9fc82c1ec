// The clip's OpenAL calls, against the recording stand-in of OpenAL.
#include "CapturedLog.h"
#include "RecordingAL.h"

#include <belvane/OgreAudioClip.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Functions = std::vector<std::string>;

constexpr std::size_t kBlock = Ogre::AudioClip::kBlockSize;
constexpr unsigned int kRate = 44100;
const std::string kStartMessage = "bool AudioClip::startAudioStream()";
const std::string kCloseMessage = "bool AudioClip::closeAudioStream()";
const std::string kAudioLowMessage = "bool AudioClip::frameStarted() AudioLow";

// PCM that is neither 0 nor 128 anywhere, different for every seed, so that padding and
// misplaced blocks show.
Bytes distinctPcm(std::size_t count, unsigned int seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(1 + (seed * 37 + i) % 97);
    }
    return bytes;
}

Bytes operator+(Bytes front, const Bytes& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

Bytes uploadedBytes() {
    Bytes all;
    for (const recording_al::Call& call : recording_al::callsTo("alBufferData")) {
        all = all + call.data;
    }
    return all;
}

ALint queryProcessed(ALuint source) {
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    return processed;
}

class AudioClipTest : public ::testing::Test {
  protected:
    AudioClipTest() { recording_al::reset(); }

    void open(unsigned int channelFlags = Ogre::kAudioChannelFlagStereo,
              Ogre::eAudioSampleFormat sampleFormat = Ogre::AUDIO_SAMPLES_16BIT) {
        clip_.openAudioStream(kRate, sampleFormat, 2, channelFlags, 0);
        source_ = recording_al::lastSource();
        buffers_ = recording_al::lastBuffers();
    }

    // Writes fresh PCM into the clip's ring buffer, as the decoder does, and returns it.
    Bytes feed(std::size_t count) {
        Bytes bytes = distinctPcm(count, nextSeed_++);
        EXPECT_EQ(clip_.ringBuffer().write(bytes.data(), static_cast<long>(count)),
                  static_cast<long>(count));
        return bytes;
    }

    // Opens and primes the clip with four full blocks; returns what they hold.
    Bytes openAndStart() {
        open();
        Bytes primed = feed(4 * kBlock);
        clip_.startAudioStream();
        return primed;
    }

    void forget() {
        recording_al::clearCalls();
        log_.clear();
    }

    belvane::testing::CapturedLog log_;
    Ogre::AudioClip clip_;
    ALuint source_ = 0;
    std::vector<ALuint> buffers_;
    unsigned int nextSeed_ = 1;
};

TEST_F(AudioClipTest, OpeningMakesOneSourceThatIsNeitherPlacedNorAttenuatedAndFourBuffers) {
    open();
    // Last, it asks for the context it plays in: without one the clock runs on the timer.
    ASSERT_EQ(recording_al::functions(),
              (Functions{"alGenBuffers", "alGenSources", "alSource3f", "alSource3f", "alSource3f",
                         "alSourcef", "alSourcei", "alcGetCurrentContext"}));
    const auto& calls = recording_al::calls();
    EXPECT_EQ(calls[0].integers, (std::vector<long long>{4}));
    EXPECT_EQ(calls[1].integers, (std::vector<long long>{1}));
    EXPECT_EQ(calls[2].integers, (std::vector<long long>{source_, AL_POSITION}));
    EXPECT_EQ(calls[3].integers, (std::vector<long long>{source_, AL_VELOCITY}));
    EXPECT_EQ(calls[4].integers, (std::vector<long long>{source_, AL_DIRECTION}));
    for (int i = 2; i <= 4; ++i) {
        EXPECT_EQ(calls[i].floats, (std::vector<float>{0.0f, 0.0f, 0.0f}));
    }
    EXPECT_EQ(calls[5].integers, (std::vector<long long>{source_, AL_ROLLOFF_FACTOR}));
    EXPECT_EQ(calls[5].floats, (std::vector<float>{0.0f}));
    EXPECT_EQ(calls[6].integers, (std::vector<long long>{source_, AL_SOURCE_RELATIVE, AL_TRUE}));

    // Opened is not yet playing: pausing changes nothing.
    forget();
    clip_.setAudioStreamPause(true);
    EXPECT_TRUE(recording_al::calls().empty());
}

struct FormatCase {
    unsigned int channelFlags;
    int sampleFormat;
    ALenum expected;
};

void PrintTo(const FormatCase& param, std::ostream* out) {
    *out << "flags " << param.channelFlags << ", sample format " << param.sampleFormat;
}

class AudioClipFormatTest : public AudioClipTest,
                            public ::testing::WithParamInterface<FormatCase> {};

TEST_P(AudioClipFormatTest, EveryUploadCarriesTheChosenFormatTheBlockSizeAndTheRate) {
    open(GetParam().channelFlags, static_cast<Ogre::eAudioSampleFormat>(GetParam().sampleFormat));
    clip_.startAudioStream();
    const auto uploads = recording_al::callsTo("alBufferData");
    ASSERT_EQ(uploads.size(), 4u);
    for (const recording_al::Call& upload : uploads) {
        EXPECT_EQ(upload.integers[1], GetParam().expected);
        EXPECT_EQ(upload.integers[2], static_cast<long long>(kBlock));
        EXPECT_EQ(upload.integers[3], kRate);
    }
}

// Bit 3 of the channel flags means stereo and no other bit counts; sample formats other than
// 0 and 1 play as mono 8-bit.
INSTANTIATE_TEST_SUITE_P(
    FormatTable, AudioClipFormatTest,
    ::testing::Values(FormatCase{8, 1, AL_FORMAT_STEREO16}, FormatCase{10, 1, AL_FORMAT_STEREO16},
                      FormatCase{8, 0, AL_FORMAT_STEREO8}, FormatCase{8, 2, AL_FORMAT_MONO8},
                      FormatCase{0, 1, AL_FORMAT_MONO16}, FormatCase{2, 1, AL_FORMAT_MONO16},
                      FormatCase{0, 0, AL_FORMAT_MONO8}, FormatCase{7, 5, AL_FORMAT_MONO8}));

struct PrimingCase {
    const char* name;
    std::size_t bytesInRing;
    Ogre::eAudioSampleFormat sampleFormat;
    unsigned char silence;
};

void PrintTo(const PrimingCase& param, std::ostream* out) {
    *out << param.name;
}

class AudioClipPrimingTest : public AudioClipTest,
                             public ::testing::WithParamInterface<PrimingCase> {};

TEST_P(AudioClipPrimingTest, QueuesFourBlocksPaddedWithSilenceAndPlays) {
    const PrimingCase& param = GetParam();
    open(Ogre::kAudioChannelFlagStereo, param.sampleFormat);
    const Bytes fed = feed(param.bytesInRing);
    forget();

    EXPECT_TRUE(clip_.startAudioStream());

    EXPECT_EQ(recording_al::functions(),
              (Functions{"alBufferData", "alBufferData", "alBufferData", "alBufferData",
                         "alSourceQueueBuffers", "alSourcePlay"}));
    const std::size_t taken = std::min(param.bytesInRing, 4 * kBlock);
    const Bytes expected = Bytes(fed.begin(), fed.begin() + static_cast<long>(taken)) +
                           Bytes(4 * kBlock - taken, param.silence);
    EXPECT_TRUE(uploadedBytes() == expected);
    const auto uploads = recording_al::callsTo("alBufferData");
    for (std::size_t i = 0; i < uploads.size(); ++i) {
        EXPECT_EQ(uploads[i].integers[0], buffers_[i]) << "buffers are filled in order";
    }
    const auto queued = recording_al::callsTo("alSourceQueueBuffers");
    EXPECT_EQ(queued[0].integers, (std::vector<long long>{source_, 4}));
    EXPECT_EQ(queued[0].names, buffers_);
    EXPECT_EQ(recording_al::sourceState(source_), AL_PLAYING);
    EXPECT_EQ(clip_.ringBuffer().readAvailable(), static_cast<long>(param.bytesInRing - taken));

    ASSERT_EQ(log_.messages().size(), 1u);
    EXPECT_EQ(log_.messages()[0].text, kStartMessage);
    EXPECT_EQ(log_.messages()[0].level, Ogre::LML_NORMAL);
    EXPECT_FALSE(log_.messages()[0].maskDebug);
}

INSTANTIATE_TEST_SUITE_P(
    ReadsAtPriming, AudioClipPrimingTest,
    ::testing::Values(PrimingCase{"MoreThanFourBlocks", 5 * kBlock, Ogre::AUDIO_SAMPLES_16BIT, 0},
                      PrimingCase{"ExactlyOneBlock", kBlock, Ogre::AUDIO_SAMPLES_16BIT, 0},
                      PrimingCase{"ShortRead", 2 * kBlock + 1000, Ogre::AUDIO_SAMPLES_16BIT, 0},
                      PrimingCase{"EmptyRing", 0, Ogre::AUDIO_SAMPLES_16BIT, 0},
                      // 8-bit PCM is unsigned: silence is 128, and zero bytes would click.
                      PrimingCase{"ShortRead8Bit", 1000, Ogre::AUDIO_SAMPLES_8BIT, 0x80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioClipTest, RefillReplacesProcessedBuffersUntilTheRingBufferRunsShort) {
    openAndStart();
    recording_al::playBuffers(source_, 3);
    const Bytes full = feed(kBlock);
    const Bytes part = feed(100);
    forget();

    clip_.autoUpdate();

    // The state comes first: whether the source stopped before fresh blocks went in.
    ASSERT_EQ(recording_al::functions(),
              (Functions{"alGetSourcei", "alGetSourcei", "alSourceUnqueueBuffers", "alBufferData",
                         "alSourceQueueBuffers", "alSourceUnqueueBuffers", "alBufferData",
                         "alSourceQueueBuffers", "alGetSourcei"}));
    const auto& calls = recording_al::calls();
    EXPECT_EQ(calls[0].integers, (std::vector<long long>{source_, AL_SOURCE_STATE}));
    EXPECT_EQ(calls[1].integers, (std::vector<long long>{source_, AL_BUFFERS_PROCESSED}));
    EXPECT_EQ(calls[2].integers, (std::vector<long long>{source_, 1}));
    EXPECT_EQ(calls[3].integers[0], buffers_[0]);
    EXPECT_TRUE(calls[3].data == full);
    EXPECT_EQ(calls[4].names, (std::vector<ALuint>{buffers_[0]}));
    EXPECT_EQ(calls[6].integers[0], buffers_[1]);
    EXPECT_TRUE(calls[6].data == part + Bytes(kBlock - 100, 0));
    EXPECT_EQ(calls[8].integers, (std::vector<long long>{source_, AL_SOURCE_STATE}));
    // The third processed buffer waits for the next frame.
    EXPECT_EQ(queryProcessed(source_), 1);
    EXPECT_EQ(recording_al::queuedBuffers(source_),
              (std::vector<ALuint>{buffers_[2], buffers_[3], buffers_[0], buffers_[1]}));
    EXPECT_TRUE(log_.messages().empty());
}

TEST_F(AudioClipTest, AnEmptyRingBufferLogsAudioLowOncePerCallAndUnqueuesNothing) {
    openAndStart();
    recording_al::playBuffers(source_, 2);
    forget();

    clip_.autoUpdate();
    EXPECT_EQ(recording_al::functions(), (Functions{"alGetSourcei", "alGetSourcei"}))
        << "the state and the processed count";
    EXPECT_EQ(log_.texts(), (std::vector<std::string>{kAudioLowMessage}));
    EXPECT_EQ(log_.messages()[0].level, Ogre::LML_NORMAL);
    EXPECT_EQ(queryProcessed(source_), 2);

    clip_.autoUpdate();
    EXPECT_EQ(log_.texts(), (std::vector<std::string>{kAudioLowMessage, kAudioLowMessage}));
}

TEST_F(AudioClipTest, WithNothingProcessedOnlyTheCountsAndTheStateAreAsked) {
    openAndStart();
    feed(kBlock);
    forget();
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::functions(), (Functions{"alGetSourcei", "alGetSourcei"}));
    EXPECT_TRUE(log_.messages().empty());
}

// OpenAL replays everything still queued when a stopped source is played: after an underrun
// only audio that has not been heard may be queued when the source starts again.
TEST_F(AudioClipTest, AfterRunningDryTheSourceRestartsWithFreshAudioOnly) {
    Bytes expected = openAndStart();
    recording_al::playBuffers(source_, 4);
    ASSERT_EQ(recording_al::sourceState(source_), AL_STOPPED);

    forget();
    clip_.autoUpdate();
    clip_.autoUpdate();
    EXPECT_TRUE(recording_al::callsTo("alSourcePlay").empty()) << "nothing fresh to play";
    EXPECT_EQ(recording_al::sourceState(source_), AL_STOPPED);
    EXPECT_TRUE(recording_al::queuedBuffers(source_).empty());

    expected = expected + feed(kBlock);
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::sourceState(source_), AL_PLAYING);
    EXPECT_EQ(recording_al::queuedBuffers(source_).size(), 1u);

    // While it plays, the buffers set aside fill up again.
    expected = expected + feed(3 * kBlock);
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::queuedBuffers(source_).size(), 4u);

    // Dry again, now with one fresh block for four played ones.
    recording_al::playBuffers(source_, 4);
    expected = expected + feed(kBlock);
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::queuedBuffers(source_).size(), 1u);
    recording_al::playBuffers(source_, 1);

    expected = expected + feed(2 * kBlock);
    clip_.autoUpdate();
    recording_al::playBuffers(source_, 2);

    EXPECT_TRUE(recording_al::playedBytes(source_) == expected);
    EXPECT_EQ(recording_al::playedBytes(source_).size(), expected.size());
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

struct DryDuringRefillCase {
    const char* name;
    // The call before which the stand-in plays on, as OpenAL's mixer would meanwhile; "state
    // after queueing" is the state query that follows the fresh blocks going in.
    std::string playOnBefore;
    // Blocks' worth of time the device clock moves on meanwhile.
    int deviceClockBlocks;
    // Whether the source went on into the fresh blocks before it stopped.
    bool freshBlocksPlayed;
};

void PrintTo(const DryDuringRefillCase& param, std::ostream* out) {
    *out << param.name;
}

class AudioClipDryDuringRefillTest : public AudioClipTest,
                                     public ::testing::WithParamInterface<DryDuringRefillCase> {};

// Three buffers have played and the fourth is playing when autoUpdate refills the three with
// fresh blocks; meanwhile the source plays on to the end of its queue and stops. OpenAL cannot
// tell whether it stopped before the fresh blocks went in (they must be played) or after playing
// them too (they must not be played again); the device clock tells.
TEST_P(AudioClipDryDuringRefillTest, EveryBlockIsHeardOnceWhateverTheSourceDidMeanwhile) {
    const DryDuringRefillCase& param = GetParam();
    recording_al::makeDefaultContextCurrent();
    Bytes expected = openAndStart();
    recording_al::playBuffers(source_, 3);
    constexpr std::int64_t kBlockNanos = 1'000'000'000LL * (kBlock / 4) / kRate;
    recording_al::setDeviceClock(100 * kBlockNanos);
    expected = expected + feed(3 * kBlock);

    bool queued = false;
    bool playedOn = false;
    recording_al::setCallHook([&](const std::string& function) {
        queued = queued || function == "alSourceQueueBuffers";
        const bool due =
            function == param.playOnBefore ||
            (param.playOnBefore == "state after queueing" && queued && function == "alGetSourcei");
        if (due && !playedOn) {
            playedOn = true;
            recording_al::playToTheEnd(source_);
            recording_al::setDeviceClock(recording_al::deviceClock() +
                                         param.deviceClockBlocks * kBlockNanos);
        }
    });
    clip_.autoUpdate();
    recording_al::setCallHook(nullptr);
    ASSERT_TRUE(playedOn);

    EXPECT_EQ(recording_al::sourceState(source_),
              param.freshBlocksPlayed ? AL_STOPPED : AL_PLAYING);
    recording_al::playToTheEnd(source_);
    // Fresh audio after it all starts the source again.
    expected = expected + feed(kBlock);
    clip_.autoUpdate();
    recording_al::playToTheEnd(source_);
    EXPECT_TRUE(recording_al::playedBytes(source_) == expected)
        << recording_al::playedBytes(source_).size() << " bytes played, " << expected.size()
        << " expected";
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

INSTANTIATE_TEST_SUITE_P(Moments, AudioClipDryDuringRefillTest,
                         ::testing::Values(DryDuringRefillCase{"StopsJustBeforeTheFreshBlocksGoIn",
                                                               "alSourceQueueBuffers", 1, false},
                                           DryDuringRefillCase{"HostStallsBeforeTheFreshBlocksGoIn",
                                                               "alBufferData", 10, false},
                                           DryDuringRefillCase{
                                               "HostStallsAfterTheFreshBlocksWentIn",
                                               "state after queueing", 4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The host resumes a clip it has not started, out of its usual order: autoUpdate touches
// nothing until the stream starts, which then plays as usual.
TEST_F(AudioClipTest, AResumeBeforeTheStartLeavesOpenALAloneUntilTheStart) {
    open();
    forget();
    clip_.setAudioStreamPause(false);
    clip_.autoUpdate();
    clip_.autoUpdate();
    EXPECT_TRUE(recording_al::calls().empty());

    const Bytes primed = feed(4 * kBlock);
    clip_.startAudioStream();
    EXPECT_EQ(recording_al::queuedBuffers(source_), buffers_);
    recording_al::playBuffers(source_, 4);
    EXPECT_TRUE(recording_al::playedBytes(source_) == primed);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

TEST_F(AudioClipTest, PauseAndResumeCallOpenALOnlyWhenTheValueChanges) {
    openAndStart();
    forget();

    clip_.setAudioStreamPause(false);
    EXPECT_TRUE(recording_al::calls().empty());

    clip_.setAudioStreamPause(true);
    EXPECT_EQ(recording_al::functions(), (Functions{"alSourcePause"}));
    EXPECT_EQ(recording_al::sourceState(source_), AL_PAUSED);
    clip_.setAudioStreamPause(true);
    EXPECT_EQ(recording_al::functions(), (Functions{"alSourcePause"}));

    forget();
    clip_.setAudioStreamPause(false);
    EXPECT_EQ(recording_al::functions(), (Functions{"alGetSourcei", "alSourcePlay"}));
    EXPECT_EQ(recording_al::sourceState(source_), AL_PLAYING);
}

// The host calls autoUpdate every frame, during a pause too: the pause must hold.
TEST_F(AudioClipTest, AutoUpdateRefillsAPausedClipButLeavesItsSourcePaused) {
    openAndStart();
    recording_al::playBuffers(source_, 2);
    feed(2 * kBlock);
    clip_.setAudioStreamPause(true);
    forget();

    clip_.autoUpdate();
    clip_.autoUpdate();

    EXPECT_EQ(recording_al::callsTo("alBufferData").size(), 2u);
    EXPECT_TRUE(recording_al::callsTo("alSourcePlay").empty());
    EXPECT_EQ(recording_al::sourceState(source_), AL_PAUSED);
}

TEST_F(AudioClipTest, ASourceThatRanDryBeforeAPauseResumesWithFreshAudioOnly) {
    Bytes expected = openAndStart();
    recording_al::playBuffers(source_, 4);
    clip_.setAudioStreamPause(true);
    expected = expected + feed(2 * kBlock);
    forget();

    for (int frame = 0; frame < 3; ++frame) {
        clip_.autoUpdate();
    }
    EXPECT_TRUE(recording_al::callsTo("alBufferData").empty()) << "the audio waits for the resume";
    EXPECT_EQ(clip_.ringBuffer().readAvailable(), static_cast<long>(2 * kBlock));

    clip_.setAudioStreamPause(false);
    EXPECT_TRUE(recording_al::callsTo("alSourcePlay").empty()) << "the queue holds played audio";
    clip_.autoUpdate();
    EXPECT_EQ(recording_al::sourceState(source_), AL_PLAYING);
    recording_al::playBuffers(source_, 2);

    EXPECT_TRUE(recording_al::playedBytes(source_) == expected);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

TEST_F(AudioClipTest, CloseUnqueuesWhatIsQueuedAndDeletesTheSourceAndTheFourBuffers) {
    openAndStart();
    recording_al::playBuffers(source_, 1);
    forget();

    EXPECT_TRUE(clip_.closeAudioStream());

    EXPECT_EQ(recording_al::functions(),
              (Functions{"alSourceStop", "alGetSourcei", "alSourceUnqueueBuffers",
                         "alSourceUnqueueBuffers", "alSourceUnqueueBuffers",
                         "alSourceUnqueueBuffers", "alDeleteSources", "alDeleteBuffers"}));
    EXPECT_EQ(recording_al::calls()[1].integers,
              (std::vector<long long>{source_, AL_BUFFERS_QUEUED}));
    for (const recording_al::Call& unqueue : recording_al::callsTo("alSourceUnqueueBuffers")) {
        EXPECT_EQ(unqueue.integers, (std::vector<long long>{source_, 1}));
    }
    EXPECT_EQ(recording_al::callsTo("alDeleteSources")[0].names, (std::vector<ALuint>{source_}));
    EXPECT_EQ(recording_al::callsTo("alDeleteBuffers")[0].names, buffers_);
    EXPECT_EQ(recording_al::liveSources(), 0u);
    EXPECT_EQ(recording_al::liveBuffers(), 0u);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
    EXPECT_EQ(log_.texts(), (std::vector<std::string>{kCloseMessage}));

    // Its names may belong to another clip by now: a second close deletes nothing.
    forget();
    EXPECT_TRUE(clip_.closeAudioStream());
    EXPECT_TRUE(recording_al::calls().empty());
}

TEST_F(AudioClipTest, AClosedClipOpensAgainWithNewSourceAndBuffers) {
    openAndStart();
    const ALuint oldSource = source_;
    const std::vector<ALuint> oldBuffers = buffers_;
    clip_.closeAudioStream();

    const Bytes primed = openAndStart();
    EXPECT_NE(source_, oldSource);
    for (ALuint buffer : buffers_) {
        EXPECT_EQ(std::count(oldBuffers.begin(), oldBuffers.end(), buffer), 0);
    }
    EXPECT_EQ(recording_al::queuedBuffers(source_), buffers_);
    recording_al::playBuffers(source_, 4);
    EXPECT_TRUE(recording_al::playedBytes(source_) == primed);
    EXPECT_EQ(recording_al::liveSources(), 1u);
    EXPECT_EQ(recording_al::liveBuffers(), 4u);
}

TEST_F(AudioClipTest, OpeningAnOpenClipAgainReleasesTheFirstSourceAndBuffers) {
    open();
    open();
    EXPECT_EQ(recording_al::liveSources(), 1u);
    EXPECT_EQ(recording_al::liveBuffers(), 4u);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

// Before openAudioStream and after closeAudioStream there is no staging buffer and no source.
TEST_F(AudioClipTest, StartingOrRefillingAClipThatIsNotOpenTouchesNothing) {
    feed(kBlock);
    for (const char* when : {"before opening", "after closing"}) {
        SCOPED_TRACE(when);
        forget();
        clip_.startAudioStream();
        clip_.autoUpdate();
        EXPECT_TRUE(recording_al::calls().empty());
        EXPECT_EQ(clip_.ringBuffer().readAvailable(), static_cast<long>(kBlock));
        open();
        clip_.closeAudioStream();
    }
}

struct DestroyCase {
    const char* name;
    bool open;
    bool start;
};

void PrintTo(const DestroyCase& param, std::ostream* out) {
    *out << param.name;
}

class AudioClipDestroyTest : public ::testing::TestWithParam<DestroyCase> {
  protected:
    AudioClipDestroyTest() { recording_al::reset(); }
};

// Nothing that OpenAL allocated for a clip outlives it, closed or not.
TEST_P(AudioClipDestroyTest, ReleasesEverythingOpenALHolds) {
    auto clip = std::make_unique<Ogre::AudioClip>();
    if (GetParam().open) {
        clip->openAudioStream(kRate, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo,
                              0);
    }
    if (GetParam().start) {
        clip->startAudioStream();
    }
    clip.reset();
    EXPECT_EQ(recording_al::liveSources(), 0u);
    EXPECT_EQ(recording_al::liveBuffers(), 0u);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
    if (!GetParam().open) {
        EXPECT_TRUE(recording_al::calls().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(States, AudioClipDestroyTest,
                         ::testing::Values(DestroyCase{"NeverOpened", false, false},
                                           DestroyCase{"OpenedOnly", true, false},
                                           DestroyCase{"Playing", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
