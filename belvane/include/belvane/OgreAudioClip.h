#pragma once

#include <belvane/BelvaneExport.h>
#include <glimmerax/OgreTheoraAudioDriver.h>

#include <array>
#include <cstdint>
#include <memory>

namespace Ogre {

class Timer;

// Plays the sound track of one video through OpenAL: moves PCM from the host's ring buffer,
// one block at a time, into a queue of four OpenAL buffers on one source, keeps the source
// playing, and keeps the audio clock that the host shows video frames by.
//
// Lifecycle: openAudioStream, startAudioStream, then per frame autoUpdate and
// getAudioStreamTime (and setAudioStreamPause), then closeAudioStream. OpenAL objects are made
// in the context current at openAudioStream. Clips are made and destroyed by the sound manager.
class BELVANE_EXPORT AudioClip final : public TheoraAudioDriver {
  public:
    // Bytes of every ring-buffer read and every buffer upload.
    static constexpr std::uint32_t kBlockSize = 4096;
    static constexpr int kQueuedBufferCount = 4;

    AudioClip();
    // Releases the OpenAL source and buffers if the clip is still open.
    ~AudioClip();

    // A copy would share the timer, the staging buffer and the OpenAL objects, and release
    // them twice.
    AudioClip(const AudioClip&) = delete;
    AudioClip& operator=(const AudioClip&) = delete;

    void setAudioStreamPause(bool pause) override;
    bool startAudioStream() override;
    float getAudioStreamTime() override;
    bool openAudioStream(unsigned int sampleRate, eAudioSampleFormat sampleFormat,
                         unsigned int channelCount, unsigned int channelFlags,
                         unsigned int startOffsetMs) override;
    bool closeAudioStream() override;
    void autoUpdate() override;

  private:
    bool isOpen() const { return staging_ != nullptr; }
    // Reads the next block into the staging buffer, padded with silence after a short read;
    // returns the bytes that came from the ring buffer.
    std::uint32_t readBlock();
    void uploadBlock(unsigned int buffer);
    unsigned int takeSpareBuffer();
    // Unqueues count buffers from the head of the queue and keeps them as spares.
    void unqueueAsSpares(int count);
    int queuedBufferCount() const { return kQueuedBufferCount - spareCount_; }
    int sourceState();
    // Stops the source and deletes it and the buffers; frees the staging buffer.
    void releaseStream();
    // Timer time plus start offset minus time spent in pauses, modulo 2^32.
    std::uint32_t runningClock();

    std::unique_ptr<Timer> timer_;
    // True whenever the source is not meant to play: before startAudioStream, during a pause
    // and after closeAudioStream.
    bool paused_ = true;
    // True from a pause to its resume: the clock holds the value it had when the pause began.
    bool holdingClock_ = false;
    // Holds one block while it is assembled; exists exactly while the stream is open.
    std::unique_ptr<unsigned char[]> staging_;
    std::uint32_t blockSize_ = 0;
    std::uint32_t sampleRate_ = 0;
    std::array<unsigned int, kQueuedBufferCount> buffers_{};
    unsigned int source_ = 0;
    int format_ = 0;
    // What a silent byte is in that format: 8-bit PCM is unsigned, silent at 128.
    unsigned char silence_ = 0;
    // Buffers taken out of the queue after the source ran dry, waiting for fresh audio; the
    // first spareCount_ entries are valid.
    std::array<unsigned int, kQueuedBufferCount> spares_{};
    int spareCount_ = 0;
    std::uint32_t pausedTotalMs_ = 0;
    std::uint32_t pauseStartMs_ = 0;
    std::uint32_t startOffsetMs_ = 0;
};

}  // namespace Ogre
