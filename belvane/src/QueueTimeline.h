#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace belvane {

// Where the blocks queued on a source lie in the stream. The source's timeline counts every
// frame ever queued, silent padding included; the stream counts only the frames that came from
// the ring buffer. A point of the source's timeline maps to the stream frame playing there, and
// inside padding the stream holds at the end of the block's audio.
class QueueTimeline {
  public:
    // The next block queued: frames in all, of which the first streamFrames came from the stream.
    void append(std::uint32_t frames, std::uint32_t streamFrames);
    // Frames queued so far, padding included.
    double sourceEnd() const { return sourceEnd_; }
    // The stream frame at a point of the source's timeline. Points before the blocks still
    // remembered count frame for frame: padding only comes with an underrun or the stream's end.
    double streamFramesAt(double sourceFrame) const;

  private:
    struct Block {
        double sourceStart = 0.0;
        double streamStart = 0.0;
        std::uint32_t frames = 0;
        std::uint32_t streamFrames = 0;
    };
    // The queue's four blocks and those heard within the output latency of the last one, at any
    // rate a stream is likely to have.
    static constexpr std::size_t kRememberedBlocks = 64;

    std::array<Block, kRememberedBlocks> blocks_{};
    std::size_t appended_ = 0;
    double sourceEnd_ = 0.0;
    double streamEnd_ = 0.0;
};

}  // namespace belvane
