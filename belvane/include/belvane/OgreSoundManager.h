#pragma once

namespace Ogre {

class AudioClip;
class TheoraAudioDriver;

// The interface through which the video plug-in drives a sound system. The order of the
// virtual operations is part of the binary interface with the host: never reorder, insert or
// remove one.
class SoundManager {
  public:
    virtual ~SoundManager() {}

  protected:
    // Opens the output; the host calls it once before the first clip is opened.
    virtual void start() {}
    // Closes the output; the host calls it after the last clip is closed.
    virtual void stop() {}

  public:
    // A new clip, not yet opened, owned by the caller until handed to destroyAudio.
    virtual AudioClip* createAudio() = 0;
    // Destroys a clip that createAudio made; null is ignored.
    virtual void destroyAudio(TheoraAudioDriver* clip) = 0;
};

}  // namespace Ogre
