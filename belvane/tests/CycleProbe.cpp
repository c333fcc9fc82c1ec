// Runs clip lifetimes through the plug-in with OpenAL Soft, for a test that reads what OpenAL
// Soft reports as left over when the device closes.
//
//   belvane_cycle_probe CYCLES [--leak-a-buffer]
//
// --leak-a-buffer generates one buffer and never deletes it, so that a test can see the report
// that a leak makes. Exits 1 when no OpenAL context could be made.

#include <belvane/OgreAudioClip.h>
#include <belvane/OgreOpenALSoundManager.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <OgreLogManager.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CYCLES [--leak-a-buffer]\n", argv[0]);
        return 2;
    }
    const int cycles = std::atoi(argv[1]);
    const bool leakABuffer = argc > 2 && std::string(argv[2]) == "--leak-a-buffer";

    auto logManager = std::make_unique<Ogre::LogManager>();
    logManager->createLog("probe.log", true, false, true);

    std::unique_ptr<Ogre::OpenALSoundManager> manager(getSoundSystem());
    manager->start();
    if (alcGetCurrentContext() == nullptr) {
        std::fprintf(stderr, "no OpenAL context\n");
        return 1;
    }

    const std::vector<unsigned char> pcm(6000, 100);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        Ogre::TheoraAudioDriver* clip = manager->createAudio();
        clip->openAudioStream(44100, Ogre::AUDIO_SAMPLES_16BIT, 2, Ogre::kAudioChannelFlagStereo,
                              0);
        clip->ringBuffer().write(pcm.data(), static_cast<long>(pcm.size()));
        clip->startAudioStream();
        clip->autoUpdate();
        clip->closeAudioStream();
        manager->destroyAudio(clip);
    }
    if (leakABuffer) {
        ALuint buffer = 0;
        alGenBuffers(1, &buffer);
    }

    manager->stop();
    return 0;
}
