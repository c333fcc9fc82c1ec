#include "engine/audio_source.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>

#include "test_support.h"

namespace phonemes::engine {
namespace {

namespace fs = std::filesystem;

// Half a second of a 300 Hz tone at half scale, then half a second of silence.
constexpr double kToneSeconds = 0.5;
constexpr double kFileSeconds = 1.0;
constexpr double kToneLevel = 0.5;

double testSignal(double t) {
    return t < kToneSeconds ? kToneLevel * std::sin(2.0 * std::numbers::pi * 300.0 * t) : 0.0;
}

using phonemes::testing::TempDir;

// Writes the test signal with libsndfile; `channelGain` scales it per channel.
void writeSignal(const fs::path& path, int format, int rate, std::vector<double> channelGain,
                 double seconds = kFileSeconds) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(channelGain.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<double> data;
    data.reserve(frames * channelGain.size());
    for (std::size_t i = 0; i < frames; ++i) {
        for (double gain : channelGain) {
            data.push_back(gain * testSignal(static_cast<double>(i) / rate));
        }
    }
    EXPECT_EQ(sf_writef_double(file, data.data(), static_cast<sf_count_t>(frames)),
              static_cast<sf_count_t>(frames));
    sf_close(file);
}

std::vector<std::int16_t> readAll(AudioSource& source, std::size_t blockSize = 4096) {
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> block(blockSize);
    while (const std::size_t n = source.read(block)) {
        samples.insert(samples.end(), block.begin(), block.begin() + static_cast<long>(n));
        if (n < blockSize) {
            EXPECT_EQ(source.read(block), 0u) << "a short read comes only at the end";
            break;
        }
    }
    return samples;
}

double rms(const std::vector<std::int16_t>& samples, double fromSeconds, double toSeconds) {
    const auto from = static_cast<std::size_t>(fromSeconds * kModelSampleRate);
    const auto to =
        std::min(samples.size(), static_cast<std::size_t>(toSeconds * kModelSampleRate));
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) / 32768.0 : 0.0;
}

struct FormatCase {
    std::string name;
    int sndfileFormat;
    int rate;
    int channels;
    StreamFormat described;
    double levelTolerance;        // relative; lossy encodings differ more
    double paddingSeconds = 0.0;  // block encodings fill their last block

    friend void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }
};

StreamFormat pcm(std::uint16_t tag, int channels, std::uint32_t rate, std::uint16_t bits) {
    const auto blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    return {tag, static_cast<std::uint16_t>(channels), rate, rate * blockAlign, blockAlign, bits};
}

class AudioFormats : public ::testing::TestWithParam<FormatCase> {
  protected:
    TempDir dir_;
};

TEST_P(AudioFormats, DescribeTheStreamAndDecodeToTheModelRate) {
    const FormatCase& c = GetParam();
    const fs::path path = dir_ / (c.name + ".audio");
    writeSignal(path, c.sndfileFormat, c.rate, std::vector<double>(c.channels, 1.0));
    auto source = AudioSource::open(path);
    EXPECT_EQ(source->format(), c.described);

    const std::vector<std::int16_t> samples = readAll(*source);
    EXPECT_GE(samples.size(), kFileSeconds * kModelSampleRate - 2);
    EXPECT_LE(samples.size(), (kFileSeconds + c.paddingSeconds) * kModelSampleRate + 2);
    // The tone keeps its level and its place; the silence stays silent.
    const double toneRms = kToneLevel / std::numbers::sqrt2;
    EXPECT_NEAR(rms(samples, 0.01, kToneSeconds - 0.01), toneRms, toneRms * c.levelTolerance);
    EXPECT_LT(rms(samples, kToneSeconds + 0.01, kFileSeconds), 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AudioFormats,
    ::testing::Values(FormatCase{"wav_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 22050, 1,
                                 pcm(kFormatTagPcm, 1, 22050, 8), 0.03},
                      FormatCase{"wav_16_at_model_rate", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1,
                                 pcm(kFormatTagPcm, 1, 16000, 16), 0.01},
                      FormatCase{"wav_16_8k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1,
                                 pcm(kFormatTagPcm, 1, 8000, 16), 0.01},
                      FormatCase{"wav_16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                 pcm(kFormatTagPcm, 2, 44100, 16), 0.01},
                      FormatCase{"wav_24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1,
                                 pcm(kFormatTagPcm, 1, 44100, 24), 0.01},
                      FormatCase{"wav_32_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 48000, 1,
                                 pcm(kFormatTagPcm, 1, 48000, 32), 0.01},
                      FormatCase{"wav_float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 1,
                                 pcm(kFormatTagIeeeFloat, 1, 22050, 32), 0.01},
                      FormatCase{"wav_double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 11025, 3,
                                 pcm(kFormatTagIeeeFloat, 3, 11025, 64), 0.01},
                      FormatCase{"wav_mulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1,
                                 pcm(kFormatTagMuLaw, 1, 8000, 8), 0.03},
                      FormatCase{"wav_alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1,
                                 pcm(kFormatTagALaw, 1, 8000, 8), 0.03},
                      FormatCase{"wav_lowest_rate", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4000, 1,
                                 pcm(kFormatTagPcm, 1, 4000, 16), 0.01},
                      FormatCase{"wav_highest_rate", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 384000, 1,
                                 pcm(kFormatTagPcm, 1, 384000, 16), 0.01},
                      FormatCase{"aiff_16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, 1,
                                 pcm(kFormatTagPcm, 1, 22050, 16), 0.01},
                      // No fixed frame size: described as the decoded 16-bit stream.
                      FormatCase{"wav_ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 22050, 1,
                                 pcm(kFormatTagPcm, 1, 22050, 16), 0.05, 505.0 / 22050},
                      FormatCase{"flac_24_stereo", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 2,
                                 pcm(kFormatTagPcm, 2, 48000, 16), 0.01},
                      FormatCase{"ogg_vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 1,
                                 pcm(kFormatTagPcm, 1, 44100, 16), 0.05}),
    [](const auto& info) { return info.param.name; });

TEST(AudioSource, MixesChannelsToTheirAverage) {
    TempDir dir;
    writeSignal(dir / "left_only.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, {1.0, 0.0});
    auto source = AudioSource::open(dir / "left_only.wav");
    const std::vector<std::int16_t> samples = readAll(*source);
    const double toneRms = kToneLevel / std::numbers::sqrt2;
    EXPECT_NEAR(rms(samples, 0.01, kToneSeconds - 0.01), toneRms / 2.0, toneRms * 0.01);
}

TEST(AudioSource, ReadsTheSameSamplesWhateverTheBlockSize) {
    TempDir dir;
    writeSignal(dir / "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {1.0, 1.0}, 2.3);
    auto reference = AudioSource::open(dir / "a.wav");
    const std::vector<std::int16_t> expected = readAll(*reference, 100000);
    for (std::size_t blockSize : {1u, 333u, 4096u, 16000u}) {
        auto source = AudioSource::open(dir / "a.wav");
        EXPECT_EQ(readAll(*source, blockSize), expected) << blockSize;
    }
}

TEST(AudioSource, ByteOffsetsAgreeWithTheDescribedFormat) {
    TempDir dir;
    for (const auto& [format, rate, channels] :
         {std::tuple{SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2},
          std::tuple{SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1},
          std::tuple{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1}}) {
        const fs::path path = dir / "offsets.audio";
        writeSignal(path, format, rate, std::vector<double>(channels, 1.0), 0.1);
        auto source = AudioSource::open(path);
        const StreamFormat& f = source->format();
        for (std::uint64_t seconds : {0u, 1u, 7u, 3600u}) {
            EXPECT_EQ(source->byteOffsetOf(seconds * kModelSampleRate), seconds * f.avgBytesPerSec);
        }
        for (std::uint64_t sample : {1u, 159u, 12345u, 999999u}) {
            const std::uint64_t bytes = source->byteOffsetOf(sample);
            EXPECT_EQ(bytes % f.blockAlign, 0u);
            // What the extractor computes from the bytes is the sample's time, to 1 ms.
            EXPECT_NEAR(static_cast<double>(bytes * 1000 / f.avgBytesPerSec),
                        static_cast<double>(sample) / 16.0, 1.0);
        }
    }
}

TEST(AudioSource, AFileCutShortIsReadUpToTheCut) {
    TempDir dir;
    const fs::path whole = dir / "whole.wav";
    writeSignal(whole, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, {1.0});
    // The header still announces one second; only 0.4 s of data follow it.
    const fs::path cut = dir / "cut.wav";
    fs::copy_file(whole, cut);
    fs::resize_file(cut, 44 + 2 * 6400);
    auto source = AudioSource::open(cut);
    EXPECT_EQ(readAll(*source).size(), 6400u);
}

TEST(AudioSource, AnEmptyWavIsOpenAndHasNoSamples) {
    TempDir dir;
    writeSignal(dir / "empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, {1.0}, 0.0);
    auto source = AudioSource::open(dir / "empty.wav");
    EXPECT_EQ(source->format(), pcm(kFormatTagPcm, 1, 22050, 16));
    EXPECT_TRUE(readAll(*source).empty());
}

// Float samples are taken as they are written, at the model's rate: full scale saturates, and
// samples that are not a number (which a broken editor or a division by zero can leave in a
// float file) become silence.
TEST(AudioSource, FloatSamplesBeyondFullScaleSaturateAndNaNIsSilence) {
    TempDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const std::vector<float> written = {0.5f, nan, -nan, 0.25f, infinity, -infinity, 2.0f, -0.5f};
    const std::vector<std::int16_t> expected = {16384, 0, 0, 8192, 32767, -32768, 32767, -16384};
    SF_INFO info{};
    info.samplerate = static_cast<int>(kModelSampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open((dir / "float.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, written.data(), static_cast<sf_count_t>(written.size())),
              static_cast<sf_count_t>(written.size()));
    sf_close(file);
    auto source = AudioSource::open(dir / "float.wav");
    EXPECT_EQ(readAll(*source), expected);
}

// A canonical 44-byte WAV header for 16-bit PCM with the given fields, without data.
std::string wavHeader(std::uint32_t rate, std::uint16_t channels) {
    std::string header;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            header += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    header += "RIFF";
    put(36, 4);
    header += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 2, 4);
    put(channels * 2u, 2);
    put(16, 2);
    header += "data";
    put(0, 4);
    return header;
}

// A test folder that can also keep files open while the test runs.
class Folder : public TempDir {
  public:
    ~Folder() {
        for (int fd : open_) {
            ::close(fd);
        }
    }
    void keepOpen(int fd) { open_.push_back(fd); }

  private:
    std::vector<int> open_;
};

struct RefusedCase {
    std::string name;
    std::function<fs::path(Folder&)> make;

    friend void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }
};

class RefusedFiles : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFiles, AreNotReadableAudio) {
    Folder dir;
    const fs::path path = GetParam().make(dir);
    try {
        AudioSource::open(path);
        FAIL() << "opened " << path;
    } catch (const AudioOpenError& error) {
        const std::string reason = error.what();
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    }
}

fs::path writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedFiles,
    ::testing::Values(
        RefusedCase{"missing", [](Folder& d) { return d / "nowhere.wav"; }},
        RefusedCase{"directory",
                    [](Folder& d) {
                        fs::create_directory(d / "folder.wav");
                        return d / "folder.wav";
                    }},
        RefusedCase{"text",
                    [](Folder& d) { return writeBytes(d / "notes.wav", "just some words\n"); }},
        RefusedCase{"zero_bytes", [](Folder& d) { return writeBytes(d / "nothing.wav", ""); }},
        RefusedCase{
            "header_cut",
            [](Folder& d) { return writeBytes(d / "cut.wav", wavHeader(16000, 1).substr(0, 20)); }},
        RefusedCase{"no_channels",
                    [](Folder& d) { return writeBytes(d / "mute.wav", wavHeader(16000, 0)); }},
        RefusedCase{"rate_too_low",
                    [](Folder& d) { return writeBytes(d / "slow.wav", wavHeader(3999, 1)); }},
        RefusedCase{"rate_too_high",
                    [](Folder& d) { return writeBytes(d / "fast.wav", wavHeader(384001, 1)); }},
        // Not regular files. The pipe holds a WAV header and its writer stays, so reading it
        // would not block: it is refused for what it is.
        RefusedCase{"pipe",
                    [](Folder& d) {
                        const fs::path fifo = d / "pipe.wav";
                        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
                        const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                        EXPECT_GE(writer, 0);
                        d.keepOpen(writer);
                        const std::string header = wavHeader(16000, 1);
                        EXPECT_EQ(::write(writer, header.data(), header.size()),
                                  static_cast<ssize_t>(header.size()));
                        return fifo;
                    }},
        RefusedCase{"socket",
                    [](Folder& d) {
                        phonemes::testing::makeSocketFile(d / "socket.wav");
                        return d / "socket.wav";
                    }},
        RefusedCase{"character_device", [](Folder&) { return fs::path("/dev/zero"); }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace phonemes::engine
