#pragma once

#include <glimmerax/GlimmeraxExport.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace Ogre {

// A byte ring buffer between the decoder, which writes decoded PCM, and the sound system, which
// reads it. One thread may write while one other thread reads, without a lock: each side owns
// one position and publishes it to the other only after the bytes are in place.
class GLIMMERAX_EXPORT RingBuffer {
  public:
    // About 1.4 s of 44.1 kHz stereo 16-bit PCM.
    static constexpr long kDefaultCapacity = 256 * 1024;

    // Throws std::invalid_argument for a capacity below one byte.
    explicit RingBuffer(long capacityBytes = kDefaultCapacity);

    // Copies take the capacity and the bytes held at that moment; neither buffer may be in use
    // by another thread while it is copied or assigned.
    RingBuffer(const RingBuffer& other);
    RingBuffer& operator=(const RingBuffer& other);
    ~RingBuffer();

    // Reader side: copies at most maxBytes of the oldest bytes to destination and returns how
    // many it copied, 0 when the buffer holds none (or for a null destination or maxBytes < 1).
    long read(void* destination, long maxBytes);

    // Writer side: copies at most maxBytes from source into the free space and returns how many
    // it copied, 0 when the buffer is full (or for a null source or maxBytes < 1).
    long write(const void* source, long maxBytes);

    // Bytes held now. For the reader a lower bound: the writer may add more at any moment.
    long readAvailable() const;
    // Free space now. For the writer a lower bound: the reader may free more at any moment.
    long writeAvailable() const;
    long capacity() const { return static_cast<long>(storage_.size()); }

    // Forgets every byte held. Only while no other thread reads or writes.
    void clear();

  private:
    std::vector<unsigned char> storage_;
    // Bytes ever written and ever read. 64-bit totals never wrap in practice, so their
    // difference is the fill level and each modulo the capacity is a position.
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> consumed_{0};
};

}  // namespace Ogre
