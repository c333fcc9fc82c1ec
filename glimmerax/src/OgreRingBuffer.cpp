#include <glimmerax/OgreRingBuffer.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Ogre {

RingBuffer::RingBuffer(long capacityBytes) {
    if (capacityBytes < 1) {
        throw std::invalid_argument("RingBuffer capacity must be at least one byte");
    }
    storage_.resize(static_cast<std::size_t>(capacityBytes));
}

RingBuffer::RingBuffer(const RingBuffer& other)
    : storage_(other.storage_),
      written_(other.written_.load()),
      consumed_(other.consumed_.load()) {}

RingBuffer& RingBuffer::operator=(const RingBuffer& other) {
    if (this != &other) {
        storage_ = other.storage_;
        written_.store(other.written_.load());
        consumed_.store(other.consumed_.load());
    }
    return *this;
}

RingBuffer::~RingBuffer() = default;

long RingBuffer::read(void* destination, long maxBytes) {
    if (destination == nullptr || maxBytes < 1) {
        return 0;
    }
    // Acquire pairs with the writer's release: the bytes it counted are in storage_.
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    const std::uint64_t consumed = consumed_.load(std::memory_order_relaxed);
    const std::size_t count =
        std::min(static_cast<std::size_t>(written - consumed), static_cast<std::size_t>(maxBytes));
    if (count == 0) {
        return 0;
    }
    const std::size_t start = static_cast<std::size_t>(consumed % storage_.size());
    const std::size_t first = std::min(count, storage_.size() - start);
    auto* out = static_cast<unsigned char*>(destination);
    std::memcpy(out, storage_.data() + start, first);
    std::memcpy(out + first, storage_.data(), count - first);
    // Release: the writer may reuse these bytes only after they have been copied out.
    consumed_.store(consumed + count, std::memory_order_release);
    return static_cast<long>(count);
}

long RingBuffer::write(const void* source, long maxBytes) {
    if (source == nullptr || maxBytes < 1) {
        return 0;
    }
    const std::uint64_t consumed = consumed_.load(std::memory_order_acquire);
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    const std::size_t freeSpace = storage_.size() - static_cast<std::size_t>(written - consumed);
    const std::size_t count = std::min(freeSpace, static_cast<std::size_t>(maxBytes));
    if (count == 0) {
        return 0;
    }
    const std::size_t start = static_cast<std::size_t>(written % storage_.size());
    const std::size_t first = std::min(count, storage_.size() - start);
    const auto* in = static_cast<const unsigned char*>(source);
    std::memcpy(storage_.data() + start, in, first);
    std::memcpy(storage_.data(), in + first, count - first);
    written_.store(written + count, std::memory_order_release);
    return static_cast<long>(count);
}

long RingBuffer::readAvailable() const {
    const std::uint64_t consumed = consumed_.load(std::memory_order_acquire);
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    return static_cast<long>(written - consumed);
}

long RingBuffer::writeAvailable() const {
    return capacity() - readAvailable();
}

void RingBuffer::clear() {
    consumed_.store(written_.load());
}

}  // namespace Ogre
