// A program built against the installed belvane packages, as an application or host plug-in of
// their users would be: it makes a sound system through the plug-in's entry point, starts it
// (OpenAL opens the output device its configuration names), makes and destroys a clip, stops
// it and deletes it.
#include <belvane/OgreAudioClip.h>
#include <belvane/OgreOpenALSoundManager.h>

#include <cstdio>
#include <memory>

int main() {
    std::unique_ptr<Ogre::OpenALSoundManager> manager(getSoundSystem());
    if (!manager) {
        std::fprintf(stderr, "getSoundSystem gave no sound system\n");
        return 1;
    }
    manager->start();
    Ogre::AudioClip* clip = manager->createAudio();
    if (clip == nullptr) {
        std::fprintf(stderr, "the sound system made no clip\n");
        return 1;
    }
    manager->destroyAudio(clip);
    manager->stop();
    std::puts("started and stopped");
    return 0;
}
