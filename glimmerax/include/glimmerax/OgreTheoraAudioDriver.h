#pragma once

#include <glimmerax/GlimmeraxExport.h>
#include <glimmerax/OgreRingBuffer.h>

namespace Ogre {

// Width of the PCM samples that the decoder writes into the ring buffer. Fixed to int so that
// any value a host passes is a valid one; sound systems decide what other values mean.
enum eAudioSampleFormat : int {
    AUDIO_SAMPLES_8BIT = 0,   // unsigned 8-bit samples
    AUDIO_SAMPLES_16BIT = 1,  // signed 16-bit samples in the machine's byte order
};

// Bit of openAudioStream's channel flags that marks two interleaved channels (left, right).
constexpr unsigned int kAudioChannelFlagStereo = 8;

// What the video plug-in asks of a sound system for the sound track of one video. The decoder
// writes PCM into the ring buffer held here; the driver plays it and keeps the audio clock by
// which video frames are shown. The order of the virtual operations is part of the binary
// interface with plug-ins built separately: never reorder, insert or remove one.
class GLIMMERAX_EXPORT TheoraAudioDriver {
  public:
    TheoraAudioDriver();

    // Holds (true) or resumes (false) the sound.
    virtual void setAudioStreamPause(bool pause) = 0;
    // Starts playing from what the ring buffer holds; called once after openAudioStream.
    virtual bool startAudioStream() = 0;
    // The audio clock: playing time in milliseconds, counted from the start offset.
    virtual float getAudioStreamTime() = 0;
    // Prepares playing: sampleRate in Hz, the sample width, the number of channels, the
    // channel flags (kAudioChannelFlagStereo) and where the audio clock starts, in ms.
    virtual bool openAudioStream(unsigned int sampleRate, eAudioSampleFormat sampleFormat,
                                 unsigned int channelCount, unsigned int channelFlags,
                                 unsigned int startOffsetMs) = 0;
    // Stops playing and releases what openAudioStream set up.
    virtual bool closeAudioStream() = 0;
    // Called once per video frame while the stream plays: moves PCM from the ring buffer on.
    virtual void autoUpdate() = 0;

    // The decoder's side of the stream: the host writes decoded PCM here.
    RingBuffer& ringBuffer() { return ringBuffer_; }

  protected:
    TheoraAudioDriver(const TheoraAudioDriver& other);
    TheoraAudioDriver& operator=(const TheoraAudioDriver& other);
    // Not virtual, and so not public: a driver goes back to the sound system that made it, which
    // destroys it as the type that it really is.
    ~TheoraAudioDriver();

    RingBuffer ringBuffer_;
};

}  // namespace Ogre
