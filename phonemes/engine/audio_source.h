#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace phonemes::engine {

// The recogniser listens at this rate, in mono.
inline constexpr std::uint32_t kModelSampleRate = 16000;

// Format tags as WAVEFORMATEX writes them.
inline constexpr std::uint16_t kFormatTagPcm = 1;
inline constexpr std::uint16_t kFormatTagIeeeFloat = 3;
inline constexpr std::uint16_t kFormatTagALaw = 6;
inline constexpr std::uint16_t kFormatTagMuLaw = 7;

// The audio stream of a file, field for field as a WAVEFORMATEX describes it.
struct StreamFormat {
    std::uint16_t formatTag = kFormatTagPcm;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;  // samplesPerSec x blockAlign, never 0 for an open source
    std::uint16_t blockAlign = 0;      // bytes of one frame (all channels)
    std::uint16_t bitsPerSample = 0;

    bool operator==(const StreamFormat&) const = default;
};

// A file that is not readable audio. what() is a one-line reason.
class AudioOpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An audio file decoded in blocks, mixed to mono and resampled to kModelSampleRate, in constant
// memory whatever the file's length.
class AudioSource {
  public:
    // Opens any regular file libsndfile reads. Throws AudioOpenError, without blocking, for a
    // missing file, a directory, a pipe, socket or device, anything that is not audio or whose
    // header is refused, no channels, and a sample rate outside 4 kHz to 384 kHz.
    static std::unique_ptr<AudioSource> open(const std::filesystem::path& path);

    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // The file's own format for PCM of 8, 16, 24 or 32 bits, float of 32 or 64 bits, mu-law
    // and A-law; for encodings without a fixed frame size (ADPCM, FLAC, Vorbis, ...) the
    // decoded stream as 16-bit PCM at the file's rate and channel count.
    const StreamFormat& format() const;

    // Fills the front of `out` with the next samples of the model stream (16-bit, mono,
    // kModelSampleRate). Returns how many it wrote; fewer than out.size() only at the end of
    // the audio, 0 once everything has been read. A file that breaks off early ends there.
    std::size_t read(std::span<std::int16_t> out);

    // How many model samples the file's header announces; none when it does not say. A file
    // that breaks off early gives fewer.
    std::optional<std::uint64_t> lengthInModelSamples() const;

    // The byte position in the stream of format() that lies at a sample of the model stream:
    // the nearest whole frame, times blockAlign. Hence positions / avgBytesPerSec gives seconds.
    std::uint64_t byteOffsetOf(std::uint64_t modelSample) const;

  private:
    struct Decoder;
    explicit AudioSource(std::unique_ptr<Decoder> decoder);

    std::unique_ptr<Decoder> decoder_;
};

}  // namespace phonemes::engine
