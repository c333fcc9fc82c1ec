#include "WaveFiles.h"

#include <sndfile.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace glimmerax::testing {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

int subtypeOf(WaveEncoding encoding) {
    switch (encoding) {
        case WaveEncoding::kUnsigned8:
            return SF_FORMAT_PCM_U8;
        case WaveEncoding::kSigned16:
            return SF_FORMAT_PCM_16;
        case WaveEncoding::kFloat32:
            return SF_FORMAT_FLOAT;
        case WaveEncoding::kFloat64:
            return SF_FORMAT_DOUBLE;
    }
    throw std::logic_error("unknown wave encoding");
}

}  // namespace

WaveSamples makeDistinctSound(unsigned int sampleRate, unsigned int channels, double seconds,
                              WaveEncoding encoding, std::uint32_t seed) {
    WaveSamples sound;
    sound.sampleRate = sampleRate;
    sound.channels = channels;
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    sound.samples.resize(frames * channels);
    std::uint32_t state = seed;
    for (short& sample : sound.samples) {
        state = state * 1664525u + 1013904223u;  // Numerical Recipes' LCG
        const auto bits = static_cast<int>(state >> 16);
        const int sign = (bits & 1) != 0 ? 1 : -1;
        if (encoding == WaveEncoding::kUnsigned8) {
            // 1..100 steps of 256 away from silence, as an 8-bit file stores it.
            sample = static_cast<short>(sign * (1 + (bits >> 1) % 100) * 256);
        } else {
            sample = static_cast<short>(sign * (200 + (bits >> 1) % 20000));
        }
    }
    return sound;
}

void writeWave(const std::filesystem::path& path, const WaveSamples& sound, WaveEncoding encoding) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sound.sampleRate);
    info.channels = static_cast<int>(sound.channels);
    info.format = SF_FORMAT_WAV | subtypeOf(encoding);
    SndfileHandle file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    }
    const auto frames = static_cast<sf_count_t>(sound.frameCount());
    // Into a float file, 16-bit samples go scaled so that 32768 is 1.0.
    sf_command(file.get(), SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    if (sf_writef_short(file.get(), sound.samples.data(), frames) != frames) {
        throw std::runtime_error("short write to " + path.string());
    }
}

WaveSamples readWave(const std::filesystem::path& path) {
    SF_INFO info{};
    SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    }
    WaveSamples sound;
    sound.sampleRate = static_cast<unsigned int>(info.samplerate);
    sound.channels = static_cast<unsigned int>(info.channels);
    sound.samples.resize(static_cast<std::size_t>(info.frames) * sound.channels);
    const sf_count_t read = sf_readf_short(file.get(), sound.samples.data(), info.frames);
    sound.samples.resize(static_cast<std::size_t>(read) * sound.channels);
    return sound;
}

}  // namespace glimmerax::testing
