#include "DecoderThread.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace glimmerax {

namespace {

constexpr std::size_t kChunkFrames = 1024;
// How long the decoder waits before it looks again at a ring buffer that is full enough.
constexpr auto kWaitForRoom = std::chrono::milliseconds(1);

}  // namespace

DecoderThread::DecoderThread(PcmSource& source, Ogre::RingBuffer& ringBuffer,
                             std::vector<TimedHold> stalls, long leadBytes)
    : source_(source),
      ringBuffer_(ringBuffer),
      stalls_(std::move(stalls)),
      leadBytes_(std::min(leadBytes, ringBuffer.capacity())),
      thread_([this] { run(); }) {}

DecoderThread::~DecoderThread() {
    stop();
}

void DecoderThread::stop() {
    stopRequested_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DecoderThread::run() {
    const PcmFormat& format = source_.format();
    const long frameBytes = static_cast<long>(format.frameBytes());
    std::vector<unsigned char> chunk(kChunkFrames * static_cast<std::size_t>(frameBytes));
    std::size_t chunkStart = 0;
    std::size_t chunkEnd = 0;
    std::uint64_t delivered = 0;
    std::size_t nextStall = 0;

    while (!stopRequested_.load(std::memory_order_relaxed)) {
        if (chunkStart == chunkEnd) {
            const std::size_t frames = source_.readFrames(chunk.data(), kChunkFrames);
            if (frames == 0) {
                finished_.store(true, std::memory_order_release);
                return;
            }
            chunkStart = 0;
            chunkEnd = frames * static_cast<std::size_t>(frameBytes);
        }

        long wanted = static_cast<long>(chunkEnd - chunkStart);
        if (nextStall < stalls_.size()) {
            const std::uint64_t stallAt = static_cast<std::uint64_t>(std::llround(
                                              stalls_[nextStall].atSeconds * format.sampleRate)) *
                                          static_cast<std::uint64_t>(frameBytes);
            if (delivered >= stallAt) {
                stall(stalls_[nextStall].lengthSeconds);
                ++nextStall;
                continue;
            }
            wanted = static_cast<long>(std::min<std::uint64_t>(wanted, stallAt - delivered));
        }

        // Whole frames only: a sound system that takes a partial frame would shift every
        // sample after it.
        long room =
            std::min(ringBuffer_.writeAvailable(), leadBytes_ - ringBuffer_.readAvailable());
        room -= room % frameBytes;
        if (room <= 0) {
            std::this_thread::sleep_for(kWaitForRoom);
            continue;
        }
        const long written = ringBuffer_.write(chunk.data() + chunkStart, std::min(wanted, room));
        chunkStart += static_cast<std::size_t>(written);
        delivered += static_cast<std::uint64_t>(written);
        delivered_.store(delivered, std::memory_order_release);
    }
}

void DecoderThread::stall(double seconds) {
    stalled_.store(true, std::memory_order_relaxed);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(seconds));
    while (!stopRequested_.load(std::memory_order_relaxed) &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kWaitForRoom);
    }
    stalled_.store(false, std::memory_order_relaxed);
}

}  // namespace glimmerax
