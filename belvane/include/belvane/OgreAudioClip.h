#pragma once

#include <belvane/BelvaneExport.h>
#include <glimmerax/OgreTheoraAudioDriver.h>

#include <array>
#include <cstdint>
#include <memory>

namespace belvane {
class AudioClock;
struct SourceReading;
}  // namespace belvane

namespace Ogre {

class Timer;

// Plays the sound track of one video through OpenAL: moves PCM from the host's ring buffer,
// one block at a time, into a queue of four OpenAL buffers on one source, keeps the source
// playing, and keeps the audio clock that the host shows video frames by.
//
// The audio clock is the position of the sample being heard, from the source's play position
// as OpenAL reports it; without a current OpenAL context it runs on the timer.
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
    // The ways the current OpenAL context offers to ask where the source plays; found at
    // openAudioStream.
    struct PositionQueries;
    using Reading = belvane::SourceReading;

    bool isOpen() const { return staging_ != nullptr; }
    bool isPlaying() const { return isOpen() && started_; }
    std::uint32_t blockFrames() const { return blockSize_ / frameBytes_; }
    // Reads the next block into the staging buffer, padded with silence after a short read;
    // returns the bytes that came from the ring buffer.
    std::uint32_t readBlock();
    // Uploads the staging buffer into the buffer, which is then queued next.
    void uploadBlock(unsigned int buffer, std::uint32_t bytesRead);
    // Replaces processed buffers, then spare ones, with fresh blocks until the ring buffer runs
    // short; returns how many it queued. Where the source stood just before the first of them
    // went in is put in atFirstQueue, when given.
    int refill(int processed, Reading* atFirstQueue);
    unsigned int takeSpareBuffer();
    // Takes count buffers that have played off the head of the queue and keeps them as spares.
    void setAsidePlayedBuffers(int count);
    int queuedBufferCount() const { return kQueuedBufferCount - spareCount_; }
    int sourceState();
    void restartSource();
    // The source ran dry before autoUpdate came: refills it from fresh audio and plays it.
    void restartDrySource();
    // The source ran dry while autoUpdate refilled it: plays the fresh blocks unless they have
    // played already.
    void settleRunningDryWhileRefilled(const Reading& before, const Reading& atFirstQueue,
                                       double leftToMix, int refilled);
    // Frames the device has mixed between two readings, at least and at most.
    double surelyMixedSince(const Reading& before, const Reading& after) const;
    double mayHaveMixedSince(const Reading& before, const Reading& after) const;
    void choosePositionQueries();
    // Asks OpenAL where the source plays and tells the clock; without a device, only the time.
    Reading observePosition();
    std::int64_t hostMicros();
    // Stops the source and deletes it and the buffers; frees the staging buffer.
    void releaseStream();

    std::unique_ptr<Timer> timer_;
    std::unique_ptr<belvane::AudioClock> clock_;
    std::unique_ptr<PositionQueries> positionQueries_;
    // True whenever the source is not meant to play: before startAudioStream, during a pause
    // and after closeAudioStream.
    bool paused_ = true;
    // From startAudioStream to closeAudioStream.
    bool started_ = false;
    // Holds one block while it is assembled; exists exactly while the stream is open.
    std::unique_ptr<unsigned char[]> staging_;
    std::uint32_t blockSize_ = 0;
    std::uint32_t sampleRate_ = 0;
    std::uint32_t frameBytes_ = 1;
    std::array<unsigned int, kQueuedBufferCount> buffers_{};
    unsigned int source_ = 0;
    int format_ = 0;
    // What a silent byte is in that format: 8-bit PCM is unsigned, silent at 128.
    unsigned char silence_ = 0;
    // Buffers taken out of the queue after the source ran dry, waiting for fresh audio; the
    // first spareCount_ entries are valid.
    std::array<unsigned int, kQueuedBufferCount> spares_{};
    int spareCount_ = 0;
    // Frames of every block taken off the queue since the stream opened: with the offset in
    // the queue, how far the source has mixed.
    double unqueuedFrames_ = 0.0;
    std::uint32_t startOffsetMs_ = 0;
};

}  // namespace Ogre
