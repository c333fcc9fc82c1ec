#pragma once

#include <glimmerax/OgreTheoraAudioDriver.h>

#include <cstddef>
#include <cstdint>

namespace glimmerax {

// Layout of interleaved PCM as the decoder hands it to the sound system.
struct PcmFormat {
    unsigned int sampleRate = 0;
    unsigned int channels = 0;        // 1 or 2
    unsigned int bytesPerSample = 0;  // 1: unsigned 8-bit; 2: signed 16-bit, machine byte order

    unsigned int frameBytes() const { return channels * bytesPerSample; }
    double bytesPerSecond() const { return static_cast<double>(sampleRate) * frameBytes(); }
    Ogre::eAudioSampleFormat sampleFormat() const {
        return bytesPerSample == 1 ? Ogre::AUDIO_SAMPLES_8BIT : Ogre::AUDIO_SAMPLES_16BIT;
    }
    unsigned int channelFlags() const { return channels == 2 ? Ogre::kAudioChannelFlagStereo : 0; }
};

// Where the decoder thread gets its PCM from.
class PcmSource {
  public:
    virtual ~PcmSource() = default;
    virtual const PcmFormat& format() const = 0;
    virtual std::uint64_t frameCount() const = 0;
    // Copies up to maxFrames whole frames to destination; returns how many, 0 at the end.
    virtual std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) = 0;
};

}  // namespace glimmerax
