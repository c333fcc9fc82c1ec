#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace glimmerax::testing {

// Interleaved samples of a sound file, as libsndfile reads them into 16 bits: 8-bit samples
// land in the top byte (-128..127 times 256), silence is 0 in every format.
struct WaveSamples {
    unsigned int sampleRate = 0;
    unsigned int channels = 0;
    std::vector<short> samples;

    std::size_t frameCount() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// Float and double samples are written with full scale at 1.0 (32768 is 1.0), as sox writes them.
enum class WaveEncoding { kUnsigned8, kSigned16, kFloat32, kFloat64 };

// Test sound that is never silent in any frame, with no two stretches alike: a pseudo-random
// sequence kept away from zero, so that gaps and repeats in what was played can be told apart.
WaveSamples makeDistinctSound(unsigned int sampleRate, unsigned int channels, double seconds,
                              WaveEncoding encoding, std::uint32_t seed = 1);

// Writes a WAV file in the given encoding (8-bit samples keep only their top byte).
void writeWave(const std::filesystem::path& path, const WaveSamples& sound, WaveEncoding encoding);
// Reads any sound file libsndfile knows; throws std::runtime_error when it cannot.
WaveSamples readWave(const std::filesystem::path& path);

}  // namespace glimmerax::testing
