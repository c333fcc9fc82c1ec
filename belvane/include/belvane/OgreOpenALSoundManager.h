#pragma once

#include <belvane/BelvaneExport.h>
#include <belvane/OgreSoundManager.h>

#include <AL/alc.h>

#include <memory>

namespace Ogre {

// The OpenAL sound system: owns one output device and one context on it, from start to stop,
// and makes and destroys the clips that play through the context.
class BELVANE_EXPORT OpenALSoundManager : public SoundManager {
  public:
    // The device that a Windows build of OpenAL names for DirectSound output; where OpenAL has
    // no device of that name, start opens the default device instead.
    static constexpr const char* kPreferredDeviceName = "DirectSound3D";

    OpenALSoundManager();
    // Stops the manager if it is still started.
    ~OpenALSoundManager() override;

    // A copy would close the same device and destroy the same context a second time.
    OpenALSoundManager(const OpenALSoundManager&) = delete;
    OpenALSoundManager& operator=(const OpenALSoundManager&) = delete;

    // Opens the device, creates a context on it and makes that context current. Without any
    // device it logs one line and carries on: clips then play nothing, but their clocks run.
    // Does nothing while the manager holds a device already.
    void start() override;
    // Destroys the context and closes the device; does nothing when there is none.
    void stop() override;

    AudioClip* createAudio() override;
    // Destroys the clip as the AudioClip that it is; an open clip releases its OpenAL source
    // and buffers first.
    void destroyAudio(TheoraAudioDriver* clip) override;

  private:
    struct DeviceCloser {
        void operator()(ALCdevice* device) const;
    };
    struct ContextDestroyer {
        void operator()(ALCcontext* context) const;
    };

    // Declared in this order so that the context goes before its device.
    std::unique_ptr<ALCdevice, DeviceCloser> device_;
    std::unique_ptr<ALCcontext, ContextDestroyer> context_;
};

}  // namespace Ogre

// The plug-in's entry point: the host finds it by this name in the loaded library. Each call
// makes a new, independent manager that belongs to the caller, who deletes it after stop.
extern "C" BELVANE_EXPORT Ogre::OpenALSoundManager* getSoundSystem();
