#include "ResampledSource.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace glimmerax {

namespace {

constexpr std::size_t kSourceChunkFrames = 4096;
constexpr unsigned int kEightBitSilence = 128;

}  // namespace

ResampledSource::ResampledSource(PcmSource& source, unsigned int rate) : source_(source) {
    const PcmFormat& from = source.format();
    format_.sampleRate = rate;
    format_.channels = from.channels;
    format_.bytesPerSample = kBytesPerSample;
    frameCount_ = (source.frameCount() * rate + from.sampleRate / 2) / from.sampleRate;

    // Without dither the same input always gives the same output.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    soxr_io_spec_t undithered = io;
    undithered.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler_.reset(
        soxr_create(from.sampleRate, rate, from.channels, &error, &undithered, &quality, nullptr));
    if (error != nullptr || !resampler_) {
        throw std::runtime_error(std::string("cannot resample: ") + soxr_strerror(error));
    }
    sourceBytes_.resize(kSourceChunkFrames * from.frameBytes());
    input_.resize(kSourceChunkFrames * from.channels);
}

bool ResampledSource::readSource() {
    const PcmFormat& from = source_.format();
    inputFrame_ = 0;
    inputFrames_ = source_.readFrames(sourceBytes_.data(), kSourceChunkFrames);
    const std::size_t samples = inputFrames_ * from.channels;
    if (from.bytesPerSample == 2) {
        std::memcpy(input_.data(), sourceBytes_.data(), samples * sizeof(short));
    } else {
        // Unsigned 8-bit, silence at 128, into the top byte of a signed 16-bit sample.
        for (std::size_t i = 0; i < samples; ++i) {
            input_[i] = static_cast<short>(
                (static_cast<int>(sourceBytes_[i]) - static_cast<int>(kEightBitSilence)) * 256);
        }
    }
    return inputFrames_ > 0;
}

std::size_t ResampledSource::readFrames(unsigned char* destination, std::size_t maxFrames) {
    // The resampler holds some input back; it may take several chunks before output comes.
    while (true) {
        if (!sourceEnded_ && inputFrame_ == inputFrames_) {
            sourceEnded_ = !readSource();
        }
        // At the end, no input tells the resampler to give out what it holds.
        const short* input =
            sourceEnded_ ? nullptr : input_.data() + inputFrame_ * format_.channels;
        std::size_t used = 0;
        std::size_t made = 0;
        const soxr_error_t error = soxr_process(resampler_.get(), input, inputFrames_ - inputFrame_,
                                                &used, destination, maxFrames, &made);
        if (error != nullptr) {
            throw std::runtime_error(std::string("cannot resample: ") + error);
        }
        inputFrame_ += used;
        if (made > 0 || sourceEnded_) {
            return made;
        }
    }
}

}  // namespace glimmerax
