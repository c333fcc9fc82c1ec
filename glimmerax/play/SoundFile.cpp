#include "SoundFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace glimmerax {

namespace {

bool isEightBit(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8;
}

// libsndfile's integer reads of float data do not scale it (a float file would come out as
// silence): floats are read as floats and scaled here, with 1.0 as 32768.
bool isFloatingPoint(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

constexpr float kShortFullScale = 32768.0f;

short floatToShort(float sample) {
    if (std::isnan(sample)) {
        return 0;
    }
    // Sound beyond full scale is clipped, not wrapped round.
    const float scaled = std::nearbyint(sample * kShortFullScale);
    return static_cast<short>(std::clamp(scaled, -kShortFullScale, kShortFullScale - 1.0f));
}

}  // namespace

SoundFile::SoundFile(const std::filesystem::path& path) {
    SF_INFO info{};
    file_.reset(sf_open(path.c_str(), SFM_READ, &info));
    if (!file_) {
        throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    }
    if (info.channels < 1 || info.channels > 2) {
        throw std::runtime_error(path.string() + " has " + std::to_string(info.channels) +
                                 " channels; only mono and stereo can be played");
    }
    if (info.samplerate < 1) {
        throw std::runtime_error(path.string() + " has no sample rate");
    }
    format_.sampleRate = static_cast<unsigned int>(info.samplerate);
    format_.channels = static_cast<unsigned int>(info.channels);
    format_.bytesPerSample = isEightBit(info.format) ? 1 : 2;
    frameCount_ = info.frames > 0 ? static_cast<std::uint64_t>(info.frames) : 0;
    floatingPoint_ = isFloatingPoint(info.format);
    // Compressed formats decoded through floats (Vorbis, ...) clip beyond full scale rather
    // than wrap round.
    sf_command(file_.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

sf_count_t SoundFile::readFloatFrames(std::size_t maxFrames) {
    floatSamples_.resize(maxFrames * format_.channels);
    const sf_count_t frames =
        sf_readf_float(file_.get(), floatSamples_.data(), static_cast<sf_count_t>(maxFrames));
    if (frames > 0) {
        std::transform(floatSamples_.begin(),
                       floatSamples_.begin() + frames * static_cast<sf_count_t>(format_.channels),
                       samples_.begin(), floatToShort);
    }
    return frames;
}

std::size_t SoundFile::readFrames(unsigned char* destination, std::size_t maxFrames) {
    samples_.resize(maxFrames * format_.channels);
    const sf_count_t frames = floatingPoint_ ? readFloatFrames(maxFrames)
                                             : sf_readf_short(file_.get(), samples_.data(),
                                                              static_cast<sf_count_t>(maxFrames));
    if (frames <= 0) {
        return 0;
    }
    const std::size_t sampleCount = static_cast<std::size_t>(frames) * format_.channels;
    if (format_.bytesPerSample == 2) {
        std::memcpy(destination, samples_.data(), sampleCount * sizeof(short));
    } else {
        // libsndfile widens 8-bit samples to the top byte of a short; OpenAL's 8-bit PCM is
        // unsigned with silence at 128.
        for (std::size_t i = 0; i < sampleCount; ++i) {
            destination[i] = static_cast<unsigned char>((samples_[i] >> 8) + 128);
        }
    }
    return static_cast<std::size_t>(frames);
}

}  // namespace glimmerax
