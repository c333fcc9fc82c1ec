#include "QueueTimeline.h"

#include <algorithm>

namespace belvane {

void QueueTimeline::append(std::uint32_t frames, std::uint32_t streamFrames) {
    Block& block = blocks_[appended_ % kRememberedBlocks];
    block.sourceStart = sourceEnd_;
    block.streamStart = streamEnd_;
    block.frames = frames;
    block.streamFrames = std::min(streamFrames, frames);
    ++appended_;
    sourceEnd_ += frames;
    streamEnd_ += block.streamFrames;
}

double QueueTimeline::streamFramesAt(double sourceFrame) const {
    if (sourceFrame >= sourceEnd_) {
        return streamEnd_;
    }
    const std::size_t remembered = std::min(appended_, kRememberedBlocks);
    for (std::size_t back = 1; back <= remembered; ++back) {
        const Block& block = blocks_[(appended_ - back) % kRememberedBlocks];
        if (sourceFrame >= block.sourceStart) {
            return block.streamStart + std::min(sourceFrame - block.sourceStart,
                                                static_cast<double>(block.streamFrames));
        }
    }
    if (remembered == 0) {
        return 0.0;
    }
    const Block& oldest = blocks_[(appended_ - remembered) % kRememberedBlocks];
    return std::max(0.0, oldest.streamStart - (oldest.sourceStart - sourceFrame));
}

}  // namespace belvane
