#pragma once

#include "PcmSource.h"
#include "PlayerOptions.h"

#include <glimmerax/OgreRingBuffer.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace glimmerax {

// Decodes the sound track on a thread of its own and writes it into the sound system's ring
// buffer, as the video plug-in's decoder does: whole frames only, at most leadBytes ahead of
// what the sound system has taken, and pausing at each stall for its length of wall time.
class DecoderThread {
  public:
    // Starts decoding at once. The source and the ring buffer must outlive the thread.
    DecoderThread(PcmSource& source, Ogre::RingBuffer& ringBuffer, std::vector<TimedHold> stalls,
                  long leadBytes);
    // Stops the thread and waits for it.
    ~DecoderThread();

    DecoderThread(const DecoderThread&) = delete;
    DecoderThread& operator=(const DecoderThread&) = delete;

    // Asks the thread to stop and waits for it; the ring buffer is then the reader's alone.
    void stop();
    // True once every frame of the source is in the ring buffer.
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    bool stalled() const { return stalled_.load(std::memory_order_relaxed); }
    std::uint64_t deliveredBytes() const { return delivered_.load(std::memory_order_acquire); }

  private:
    void run();
    // Sleeps for the stall's length, or less when asked to stop.
    void stall(double seconds);

    PcmSource& source_;
    Ogre::RingBuffer& ringBuffer_;
    std::vector<TimedHold> stalls_;
    long leadBytes_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<std::uint64_t> delivered_{0};
    std::thread thread_;
};

}  // namespace glimmerax
