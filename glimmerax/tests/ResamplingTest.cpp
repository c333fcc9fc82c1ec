// The rate the host plays a source at, and the resampler that takes it there.
#include "Playback.h"
#include "ResampledSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using glimmerax::PcmFormat;

// A source's format and a rate: the one it is played at, or the one it is resampled to.
struct RateCase {
    const char* name;
    PcmFormat source;
    unsigned int rate;
};

void PrintTo(const RateCase& param, std::ostream* out) {
    *out << param.name;
}

class PlayedRateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(PlayedRateTest, IsTheSourcesOwnOrTheNearestThatPlays) {
    EXPECT_EQ(glimmerax::playedRate(GetParam().source), GetParam().rate);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PlayedRateTest,
    ::testing::Values(RateCase{"Stereo16At44kHz", {44100, 2, 2}, 44100},
                      RateCase{"Mono16At4kHz", {4000, 1, 2}, 8000},
                      RateCase{"Mono8At8kHz", {8000, 1, 1}, 8000},
                      RateCase{"Mono16At192kHz", {192000, 1, 2}, 192000},
                      RateCase{"Mono16At768kHz", {768000, 1, 2}, 192000},
                      // The queue of 16-bit stereo at 192 kHz lasts 21 ms, less than two frames.
                      RateCase{"Stereo16At192kHz", {192000, 2, 2}, 96000},
                      RateCase{"Stereo16At96kHz", {96000, 2, 2}, 96000},
                      RateCase{"Stereo8At176kHz", {176400, 2, 1}, 176400},
                      // Resampled sound is 16-bit: as wide as 16-bit stereo.
                      RateCase{"Stereo8At384kHz", {384000, 2, 1}, 96000}),
    [](const auto& info) { return std::string(info.param.name); });

// A source of one value held throughout, in 8 or 16 bits.
class SteadySource final : public glimmerax::PcmSource {
  public:
    SteadySource(PcmFormat format, std::uint64_t frames, unsigned char byteValue, short value)
        : format_(format), frames_(frames), byteValue_(byteValue), value_(value) {}

    const PcmFormat& format() const override { return format_; }
    std::uint64_t frameCount() const override { return frames_; }
    std::size_t readFrames(unsigned char* destination, std::size_t maxFrames) override {
        const std::size_t frames = std::min<std::uint64_t>(maxFrames, frames_ - read_);
        const std::size_t samples = frames * format_.channels;
        for (std::size_t i = 0; i < samples; ++i) {
            if (format_.bytesPerSample == 1) {
                destination[i] = byteValue_;
            } else {
                std::memcpy(destination + i * sizeof(short), &value_, sizeof(short));
            }
        }
        read_ += frames;
        return frames;
    }

  private:
    PcmFormat format_;
    std::uint64_t frames_;
    unsigned char byteValue_;
    short value_;
    std::uint64_t read_ = 0;
};

std::vector<short> readAll(glimmerax::PcmSource& source) {
    std::vector<short> samples;
    std::vector<unsigned char> chunk(1000 * source.format().frameBytes());
    while (const std::size_t frames = source.readFrames(chunk.data(), 1000)) {
        const std::size_t count = frames * source.format().channels;
        const std::size_t at = samples.size();
        samples.resize(at + count);
        std::memcpy(samples.data() + at, chunk.data(), count * sizeof(short));
    }
    return samples;
}

class ResampledSourceTest : public ::testing::TestWithParam<RateCase> {};

// A second of a steady value comes out as a second at the new rate, in 16 bits, holding the
// same value away from the edges (8-bit 132 is 4 steps above silence: 1024 in 16 bits).
TEST_P(ResampledSourceTest, GivesTheWholeSoundAtTheNewRateIn16Bits) {
    const RateCase& param = GetParam();
    SteadySource source(param.source, param.source.sampleRate, 132, 1024);
    glimmerax::ResampledSource resampled(source, param.rate);

    EXPECT_EQ(resampled.format().sampleRate, param.rate);
    EXPECT_EQ(resampled.format().channels, param.source.channels);
    EXPECT_EQ(resampled.format().bytesPerSample, 2u);
    EXPECT_EQ(resampled.frameCount(), param.rate);
    const std::vector<short> samples = readAll(resampled);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(param.rate) * param.source.channels);
    const std::size_t edge = samples.size() / 10;
    for (std::size_t i = edge; i < samples.size() - edge; ++i) {
        ASSERT_NEAR(samples[i], 1024, 2) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ResampledSourceTest,
                         ::testing::Values(RateCase{"Down16Stereo", {768000, 2, 2}, 96000},
                                           RateCase{"Up16Mono", {4000, 1, 2}, 8000},
                                           RateCase{"Up8Mono", {6000, 1, 1}, 8000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
