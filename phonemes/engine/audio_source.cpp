#include "audio_source.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <vector>

namespace phonemes::engine {

namespace {

constexpr int kMinSampleRate = 4000;
constexpr int kMaxSampleRate = 384000;
// Source frames decoded per block: a fraction of a second at any rate, so memory stays small.
constexpr std::size_t kBlockFrames = 4096;
// Medium quality is transparent for 16-bit speech and costs little next to decoding.
constexpr unsigned long kResampleQuality = SOXR_MQ;
constexpr float kInt16Scale = 32768.0f;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SoxrDeleter {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using SoxrHandle = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

// Containers whose encodings have no fixed frame size whatever their subtype says.
bool isCompressedContainer(int major) {
    return major == SF_FORMAT_FLAC || major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG;
}

StreamFormat describe(const SF_INFO& info) {
    std::uint16_t tag = kFormatTagPcm;
    std::uint16_t bits = 16;
    if (!isCompressedContainer(info.format & SF_FORMAT_TYPEMASK)) {
        switch (info.format & SF_FORMAT_SUBMASK) {
            case SF_FORMAT_PCM_S8:
            case SF_FORMAT_PCM_U8:
                bits = 8;
                break;
            case SF_FORMAT_PCM_16:
                bits = 16;
                break;
            case SF_FORMAT_PCM_24:
                bits = 24;
                break;
            case SF_FORMAT_PCM_32:
                bits = 32;
                break;
            case SF_FORMAT_FLOAT:
                tag = kFormatTagIeeeFloat;
                bits = 32;
                break;
            case SF_FORMAT_DOUBLE:
                tag = kFormatTagIeeeFloat;
                bits = 64;
                break;
            case SF_FORMAT_ULAW:
                tag = kFormatTagMuLaw;
                bits = 8;
                break;
            case SF_FORMAT_ALAW:
                tag = kFormatTagALaw;
                bits = 8;
                break;
            default:
                break;  // decoded as 16-bit PCM
        }
    }
    StreamFormat format;
    format.formatTag = tag;
    format.channels = static_cast<std::uint16_t>(info.channels);
    format.samplesPerSec = static_cast<std::uint32_t>(info.samplerate);
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<std::uint16_t>(info.channels * (bits / 8));
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    return format;
}

std::int16_t toInt16(float sample) {
    // NaN passes std::clamp unchanged, and its cast to an integer is undefined: it is silence.
    if (std::isnan(sample)) {
        return 0;
    }
    const float scaled = std::nearbyint(sample * kInt16Scale);
    return static_cast<std::int16_t>(std::clamp(scaled, -kInt16Scale, kInt16Scale - 1.0f));
}

}  // namespace

struct AudioSource::Decoder {
    SndfileHandle file;
    SoxrHandle resampler;  // empty when the file is at the model rate already
    StreamFormat format;
    int channels = 0;
    sf_count_t frames = 0;  // as the header announces them
    std::vector<float> interleaved;
    std::vector<float> mono;
    std::vector<float> resampled;
    std::vector<std::int16_t> ready;  // decoded model samples not yet handed out
    std::size_t readyPos = 0;
    bool finished = false;

    // Decodes the next block into `ready`. False once nothing more will come.
    bool refill();
    void emit(std::span<const float> samples);
};

void AudioSource::Decoder::emit(std::span<const float> samples) {
    for (float sample : samples) {
        ready.push_back(toInt16(sample));
    }
}

bool AudioSource::Decoder::refill() {
    ready.clear();
    readyPos = 0;
    if (finished) {
        return false;
    }
    const sf_count_t got =
        sf_readf_float(file.get(), interleaved.data(), static_cast<sf_count_t>(kBlockFrames));
    const std::size_t frames = got > 0 ? static_cast<std::size_t>(got) : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) {
            sum += interleaved[i * channels + c];
        }
        mono[i] = sum / static_cast<float>(channels);
    }
    if (!resampler) {
        emit(std::span(mono).first(frames));
        finished = frames == 0;
        return !finished;
    }
    // At the end a null input tells soxr to flush what its filter still holds.
    const float* input = frames > 0 ? mono.data() : nullptr;
    std::size_t consumed = 0;
    do {
        std::size_t inputDone = 0;
        std::size_t outputDone = 0;
        const soxr_error_t error =
            soxr_process(resampler.get(), input ? input + consumed : nullptr, frames - consumed,
                         &inputDone, resampled.data(), resampled.size(), &outputDone);
        if (error) {
            finished = true;
            break;
        }
        emit(std::span(resampled).first(outputDone));
        consumed += inputDone;
        if (!input && outputDone == 0) {
            finished = true;
        }
        if (input && consumed >= frames && outputDone < resampled.size()) {
            break;
        }
    } while (!finished);
    return !ready.empty() || !finished;
}

AudioSource::AudioSource(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {}

AudioSource::~AudioSource() = default;

std::unique_ptr<AudioSource> AudioSource::open(const std::filesystem::path& path) {
    // Only regular files are decoded: opening a pipe would wait for a writer, and no pipe,
    // socket or device is an audio file. (libsndfile opens the path itself afterwards, which
    // keeps its guess by extension for headerless files that sf_open_fd would lose.)
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) {
        throw AudioOpenError(path.string() + " is a directory");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw AudioOpenError(path.string() + " is not a regular file (a pipe, socket or device)");
    }
    SF_INFO info{};
    SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        throw AudioOpenError("cannot read " + path.string() + " as audio: " + sf_strerror(nullptr));
    }
    if (info.channels <= 0) {
        throw AudioOpenError(path.string() + " has no audio channels");
    }
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate) {
        throw AudioOpenError(path.string() + " has a sample rate of " +
                             std::to_string(info.samplerate) + " Hz, outside 4000 to 384000 Hz");
    }

    auto decoder = std::make_unique<Decoder>();
    decoder->format = describe(info);
    decoder->channels = info.channels;
    decoder->frames = info.frames;
    decoder->interleaved.resize(kBlockFrames * static_cast<std::size_t>(info.channels));
    decoder->mono.resize(kBlockFrames);
    if (info.samplerate != static_cast<int>(kModelSampleRate)) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(kResampleQuality, 0);
        soxr_error_t soxrError = nullptr;
        decoder->resampler.reset(
            soxr_create(info.samplerate, kModelSampleRate, 1, &soxrError, &io, &quality, nullptr));
        if (!decoder->resampler) {
            throw AudioOpenError("cannot resample " + path.string() + ": " +
                                 (soxrError ? soxrError : "unknown error"));
        }
        // Room for one block's output at the largest up-sampling ratio, plus filter slack.
        const std::size_t outputRoom =
            kBlockFrames * kModelSampleRate / static_cast<std::size_t>(kMinSampleRate) + 1024;
        decoder->resampled.resize(outputRoom);
    }
    decoder->file = std::move(file);
    return std::unique_ptr<AudioSource>(new AudioSource(std::move(decoder)));
}

const StreamFormat& AudioSource::format() const {
    return decoder_->format;
}

std::size_t AudioSource::read(std::span<std::int16_t> out) {
    Decoder& d = *decoder_;
    std::size_t written = 0;
    while (written < out.size()) {
        if (d.readyPos == d.ready.size()) {
            if (!d.refill()) {
                break;
            }
            continue;
        }
        const std::size_t count = std::min(out.size() - written, d.ready.size() - d.readyPos);
        std::copy_n(d.ready.begin() + static_cast<std::ptrdiff_t>(d.readyPos), count,
                    out.begin() + static_cast<std::ptrdiff_t>(written));
        d.readyPos += count;
        written += count;
    }
    return written;
}

std::optional<std::uint64_t> AudioSource::lengthInModelSamples() const {
    const Decoder& d = *decoder_;
    // libsndfile says SF_COUNT_MAX when it cannot tell.
    if (d.frames < 0 || d.frames == SF_COUNT_MAX) {
        return std::nullopt;
    }
    const auto frames = static_cast<std::uint64_t>(d.frames);
    const std::uint64_t rate = d.format.samplesPerSec;
    return (frames * kModelSampleRate + rate - 1) / rate;
}

std::uint64_t AudioSource::byteOffsetOf(std::uint64_t modelSample) const {
    const StreamFormat& f = decoder_->format;
    const std::uint64_t frame =
        (modelSample * f.samplesPerSec + kModelSampleRate / 2) / kModelSampleRate;
    return frame * f.blockAlign;
}

}  // namespace phonemes::engine
