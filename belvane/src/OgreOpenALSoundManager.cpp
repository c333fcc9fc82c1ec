#include <belvane/OgreAudioClip.h>
#include <belvane/OgreOpenALSoundManager.h>

#include "PluginLog.h"

#include <AL/alc.h>

#include <string>

namespace Ogre {

using belvane::logNormal;

namespace {

const std::string kNoDeviceMessage =
    "void OpenALSoundManager::start() no audio device could be opened";

}  // namespace

void OpenALSoundManager::DeviceCloser::operator()(ALCdevice* device) const {
    alcCloseDevice(device);
}

void OpenALSoundManager::ContextDestroyer::operator()(ALCcontext* context) const {
    alcDestroyContext(context);
}

OpenALSoundManager::OpenALSoundManager() = default;

OpenALSoundManager::~OpenALSoundManager() {
    stop();
}

void OpenALSoundManager::start() {
    if (device_) {
        return;
    }
    device_.reset(alcOpenDevice(kPreferredDeviceName));
    if (!device_) {
        // Only Windows builds of OpenAL know the preferred device.
        device_.reset(alcOpenDevice(nullptr));
    }
    if (!device_) {
        logNormal(kNoDeviceMessage);
    }
    // Without a device this yields no context and leaves none current: clips then make OpenAL
    // calls that do nothing, while their clocks run on.
    context_.reset(alcCreateContext(device_.get(), nullptr));
    alcMakeContextCurrent(context_.get());
}

void OpenALSoundManager::stop() {
    context_.reset();
    device_.reset();
}

AudioClip* OpenALSoundManager::createAudio() {
    return new AudioClip();
}

void OpenALSoundManager::destroyAudio(TheoraAudioDriver* clip) {
    // Every driver handed out here is an AudioClip, and TheoraAudioDriver's destructor is not
    // virtual: destroy it as what it is.
    delete static_cast<AudioClip*>(clip);
}

}  // namespace Ogre

extern "C" Ogre::OpenALSoundManager* getSoundSystem() {
    return new Ogre::OpenALSoundManager();
}
