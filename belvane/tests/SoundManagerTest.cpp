// The sound manager and the entry point, against the recording stand-in of OpenAL.
#include "CapturedLog.h"
#include "RecordingAL.h"
#include "support/VtableSlot.h"

#include <belvane/OgreAudioClip.h>
#include <belvane/OgreOpenALSoundManager.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Functions = std::vector<std::string>;

const std::string kNoDeviceMessage =
    "void OpenALSoundManager::start() no audio device could be opened";

// A copy would close the device, destroy the context or free the timer a second time.
static_assert(!std::is_copy_constructible_v<Ogre::OpenALSoundManager>);
static_assert(!std::is_copy_assignable_v<Ogre::OpenALSoundManager>);
static_assert(!std::is_copy_constructible_v<Ogre::AudioClip>);
static_assert(!std::is_copy_assignable_v<Ogre::AudioClip>);

class SoundManagerTest : public ::testing::Test {
  protected:
    SoundManagerTest() { recording_al::reset(); }

    belvane::testing::CapturedLog log_;
};

// The host calls through these slots: their order is part of the plug-in's binary interface.
// The virtual destructor takes the first two (complete and deleting).
TEST_F(SoundManagerTest, VirtualOperationsKeepTheHostsSlots) {
    using glimmerax::testing::vtableSlot;
    using Manager = Ogre::OpenALSoundManager;
    EXPECT_EQ(vtableSlot(&Manager::start), 2);
    EXPECT_EQ(vtableSlot(&Manager::stop), 3);
    EXPECT_EQ(vtableSlot(&Manager::createAudio), 4);
    EXPECT_EQ(vtableSlot(&Manager::destroyAudio), 5);

    using Clip = Ogre::AudioClip;
    EXPECT_EQ(vtableSlot(&Clip::setAudioStreamPause), 0);
    EXPECT_EQ(vtableSlot(&Clip::startAudioStream), 1);
    EXPECT_EQ(vtableSlot(&Clip::getAudioStreamTime), 2);
    EXPECT_EQ(vtableSlot(&Clip::openAudioStream), 3);
    EXPECT_EQ(vtableSlot(&Clip::closeAudioStream), 4);
    EXPECT_EQ(vtableSlot(&Clip::autoUpdate), 5);
}

struct DeviceCase {
    const char* name;
    bool directSound3D;
    bool defaultDevice;
    std::vector<std::string> opened;
};

void PrintTo(const DeviceCase& param, std::ostream* out) {
    *out << param.name;
}

class SoundManagerStartTest : public SoundManagerTest,
                              public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(SoundManagerStartTest, OpensTheFirstDeviceThereIsAndMakesItsContextCurrent) {
    const DeviceCase& param = GetParam();
    recording_al::setDeviceAvailability(param.directSound3D, param.defaultDevice);
    std::unique_ptr<Ogre::OpenALSoundManager> manager(getSoundSystem());
    EXPECT_TRUE(recording_al::calls().empty()) << "the constructor opens nothing";

    manager->start();

    std::vector<std::string> opened;
    for (const recording_al::Call& call : recording_al::callsTo("alcOpenDevice")) {
        opened.push_back(call.deviceName);
    }
    EXPECT_EQ(opened, param.opened);
    const bool found = param.directSound3D || param.defaultDevice;
    EXPECT_EQ(recording_al::openDevices(), found ? 1u : 0u);
    EXPECT_EQ(recording_al::liveContexts(), found ? 1u : 0u);
    EXPECT_EQ(recording_al::currentContext() != nullptr, found);
    EXPECT_EQ(recording_al::callsTo("alcCreateContext").at(0).integers, (std::vector<long long>{0}))
        << "no attribute list";
    EXPECT_EQ(log_.texts(),
              found ? std::vector<std::string>{} : std::vector<std::string>{kNoDeviceMessage});

    // Without a device the manager carries on: a clip goes through its whole life.
    Ogre::AudioClip* clip = manager->createAudio();
    clip->openAudioStream(22050, Ogre::AUDIO_SAMPLES_16BIT, 1, 0, 0);
    clip->startAudioStream();
    clip->autoUpdate();
    EXPECT_TRUE(clip->closeAudioStream());
    manager->destroyAudio(clip);

    manager->stop();
    EXPECT_EQ(recording_al::openDevices(), 0u);
    EXPECT_EQ(recording_al::liveContexts(), 0u);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SoundManagerStartTest,
    ::testing::Values(DeviceCase{"DirectSound3D", true, true, {"DirectSound3D"}},
                      DeviceCase{"DefaultOnly", false, true, {"DirectSound3D", "(default)"}},
                      DeviceCase{"NoDevice", false, false, {"DirectSound3D", "(default)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundManagerTest, StopDestroysTheContextThenClosesTheDeviceOnce) {
    Ogre::OpenALSoundManager manager;
    manager.start();
    recording_al::clearCalls();

    manager.stop();
    EXPECT_EQ(recording_al::functions(), (Functions{"alcDestroyContext", "alcCloseDevice"}));
    EXPECT_EQ(recording_al::currentContext(), nullptr);

    recording_al::clearCalls();
    manager.stop();
    EXPECT_TRUE(recording_al::calls().empty());
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

TEST_F(SoundManagerTest, StoppingAManagerThatNeverStartedDoesNothing) {
    Ogre::OpenALSoundManager manager;
    manager.stop();
    EXPECT_TRUE(recording_al::calls().empty());
}

TEST_F(SoundManagerTest, StartingAStartedManagerKeepsItsDevice) {
    Ogre::OpenALSoundManager manager;
    manager.start();
    manager.start();
    EXPECT_EQ(recording_al::openDevices(), 1u);
    EXPECT_EQ(recording_al::liveContexts(), 1u);
}

TEST_F(SoundManagerTest, DeletingAStartedManagerStopsIt) {
    Ogre::SoundManager* manager = getSoundSystem();
    static_cast<Ogre::OpenALSoundManager*>(manager)->start();
    delete manager;
    EXPECT_EQ(recording_al::openDevices(), 0u);
    EXPECT_EQ(recording_al::liveContexts(), 0u);
}

TEST_F(SoundManagerTest, EachCallOfTheEntryPointMakesAnIndependentManager) {
    std::unique_ptr<Ogre::OpenALSoundManager> first(getSoundSystem());
    std::unique_ptr<Ogre::OpenALSoundManager> second(getSoundSystem());
    ASSERT_NE(first.get(), second.get());

    first->start();
    second->start();
    EXPECT_EQ(recording_al::openDevices(), 2u);
    ALCcontext* secondContext = recording_al::currentContext();

    first->stop();
    EXPECT_EQ(recording_al::openDevices(), 1u);
    EXPECT_EQ(recording_al::liveContexts(), 1u);
    EXPECT_EQ(recording_al::currentContext(), secondContext) << "the second keeps its context";
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

TEST_F(SoundManagerTest, DestroyAudioIgnoresNull) {
    Ogre::OpenALSoundManager manager;
    manager.destroyAudio(nullptr);
    EXPECT_TRUE(recording_al::calls().empty());
}

TEST_F(SoundManagerTest, DestroyAudioReleasesTheSourceAndBuffersOfAClipLeftOpen) {
    Ogre::OpenALSoundManager manager;
    manager.start();
    Ogre::AudioClip* clip = manager.createAudio();
    clip->openAudioStream(44100, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo, 0);
    clip->startAudioStream();
    manager.destroyAudio(clip);
    EXPECT_EQ(recording_al::liveSources(), 0u);
    EXPECT_EQ(recording_al::liveBuffers(), 0u);
}

TEST_F(SoundManagerTest, AThousandClipLifetimesLeaveNothingBehind) {
    std::unique_ptr<Ogre::OpenALSoundManager> manager(getSoundSystem());
    manager->start();
    const unsigned char pcm[6000] = {1};
    for (int cycle = 0; cycle < 1000; ++cycle) {
        Ogre::TheoraAudioDriver* clip = manager->createAudio();
        clip->openAudioStream(44100, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo,
                              0);
        clip->ringBuffer().write(pcm, sizeof pcm);
        clip->startAudioStream();
        recording_al::playBuffers(recording_al::lastSource(), 2);
        clip->autoUpdate();
        clip->closeAudioStream();
        manager->destroyAudio(clip);
        ASSERT_EQ(recording_al::liveSources(), 0u) << "cycle " << cycle;
        ASSERT_EQ(recording_al::liveBuffers(), 0u) << "cycle " << cycle;
        recording_al::clearCalls();
    }
    manager.reset();
    EXPECT_EQ(recording_al::openDevices(), 0u);
    EXPECT_EQ(recording_al::liveContexts(), 0u);
    EXPECT_TRUE(recording_al::errors().empty()) << recording_al::errors().front();
}

}  // namespace
