#include "IndexedStream.h"

#include <algorithm>
#include <cstring>

namespace belvane::clockcheck {

namespace {

// Each channel holds one digit of the index in this base, plus 1.
constexpr std::uint64_t kIndexBase = 32000;

}  // namespace

IndexedStream::IndexedStream(unsigned int sampleRate, double seconds)
    : frameCount_(static_cast<std::uint64_t>(seconds * sampleRate)) {
    format_ = {sampleRate, 2, 2};
}

std::size_t IndexedStream::readFrames(unsigned char* destination, std::size_t maxFrames) {
    const auto frames =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxFrames, frameCount_ - next_));
    for (std::size_t i = 0; i < frames; ++i, ++next_) {
        const short frame[2] = {static_cast<short>(next_ % kIndexBase + 1),
                                static_cast<short>(next_ / kIndexBase + 1)};
        std::memcpy(destination + sizeof frame * i, frame, sizeof frame);
    }
    return frames;
}

std::optional<std::uint64_t> IndexedStream::indexOf(short left, short right) {
    if (left <= 0 || right <= 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(right - 1) * kIndexBase +
           static_cast<std::uint64_t>(left - 1);
}

}  // namespace belvane::clockcheck
