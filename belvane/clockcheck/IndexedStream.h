#pragma once

#include "PcmSource.h"

#include <cstdint>
#include <optional>

namespace belvane::clockcheck {

// A stereo 16-bit stream whose every frame carries its own index, spread over its two channels
// and never 0 in either: the frame found at any point of a recording tells which sample of the
// stream played there, and silence is never part of the stream.
class IndexedStream final : public glimmerax::PcmSource {
  public:
    IndexedStream(unsigned int sampleRate, double seconds);

    const glimmerax::PcmFormat& format() const override { return format_; }
    std::uint64_t frameCount() const override { return frameCount_; }
    std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) override;

    // The index that a frame of a recording carries; nothing for silence.
    static std::optional<std::uint64_t> indexOf(short left, short right);

  private:
    glimmerax::PcmFormat format_;
    std::uint64_t frameCount_;
    std::uint64_t next_ = 0;
};

}  // namespace belvane::clockcheck
