#pragma once

#include "PcmSource.h"

#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace glimmerax {

// An audio file decoded by libsndfile into PCM for the sound system: 8-bit files stay 8-bit,
// everything else (16-bit, wider, float, Ogg Vorbis, ...) becomes 16-bit. Float and double
// samples are full scale at 1.0, as libsndfile reads integer samples into floats: 16-bit sound
// written as float comes back unchanged.
class SoundFile final : public PcmSource {
  public:
    // Throws std::runtime_error naming the file when it cannot be read or has neither one nor
    // two channels.
    explicit SoundFile(const std::filesystem::path& path);

    const PcmFormat& format() const override { return format_; }
    std::uint64_t frameCount() const override { return frameCount_; }
    std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) override;

  private:
    // Reads float or double samples and converts them to 16 bits.
    sf_count_t readFloatFrames(std::size_t maxFrames);

    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    std::unique_ptr<SNDFILE, Closer> file_;
    PcmFormat format_;
    std::uint64_t frameCount_ = 0;
    bool floatingPoint_ = false;
    std::vector<short> samples_;
    std::vector<float> floatSamples_;
};

}  // namespace glimmerax
