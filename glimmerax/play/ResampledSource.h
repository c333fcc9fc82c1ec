#pragma once

#include "PcmSource.h"

#include <soxr.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace glimmerax {

// Another source's sound at a new rate, resampled by libsoxr; always signed 16-bit.
class ResampledSource final : public PcmSource {
  public:
    static constexpr unsigned int kBytesPerSample = 2;

    // Throws std::runtime_error when libsoxr cannot make the resampler.
    ResampledSource(PcmSource& source, unsigned int rate);

    const PcmFormat& format() const override { return format_; }
    std::uint64_t frameCount() const override { return frameCount_; }
    std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) override;

  private:
    struct Deleter {
        void operator()(soxr_t resampler) const { soxr_delete(resampler); }
    };

    // Reads the next stretch of the source into input_ as 16-bit samples; false at its end.
    bool readSource();

    PcmSource& source_;
    PcmFormat format_;
    std::uint64_t frameCount_ = 0;
    std::unique_ptr<struct soxr, Deleter> resampler_;
    std::vector<unsigned char> sourceBytes_;
    std::vector<short> input_;
    std::size_t inputFrame_ = 0;  // the first frame of input_ not yet resampled
    std::size_t inputFrames_ = 0;
    bool sourceEnded_ = false;
};

}  // namespace glimmerax
