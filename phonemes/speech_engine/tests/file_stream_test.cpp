#include "file_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "engine_test_support.h"
#include "test_support.h"
#include "text_conversion.h"

namespace phonemes {
namespace {

using testing::EngineTest;
using testing::TempDir;

// A short tone is enough: only the file's header and format matter here.
std::vector<std::int16_t> tone(int sampleRate) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(sampleRate) / 10);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>((i % 40) * 500 - 10000);
    }
    return samples;
}

HRESULT bind(ISpStream& stream, const std::filesystem::path& file) {
    const std::u16string path = toWideText(file.string()).value();
    return stream.BindToFile(path.c_str(), SPFM_OPEN_READONLY, nullptr, nullptr, SPFEI_ALL_EVENTS);
}

struct FormatCase {
    const char* name;
    testing::WavLayout layout;
    WAVEFORMATEX expected;
};

class FileStreamFormatTest : public EngineTest, public ::testing::WithParamInterface<FormatCase> {};

// GetFormat describes the file's own format, so that byte offsets of results convert to time
// through its byte rate; encodings without a fixed frame size are described as the 16-bit PCM
// they are decoded to.
TEST_P(FileStreamFormatTest, DescribesTheFilesFormat) {
    const FormatCase& c = GetParam();
    TempDir dir;
    const auto file = dir / "audio";
    engine::testing::writeAudio(file, tone(c.layout.sampleRate), c.layout.sampleRate, c.layout);

    ComPtr<ISpStream> stream = testing::createInstance<ISpStream>(CLSID_SpStream);
    ASSERT_TRUE(stream);
    ASSERT_EQ(bind(*stream.get(), file), S_OK);
    const std::size_t blocksBefore = taskMemBlocksInUse();
    GUID formatId{};
    WAVEFORMATEX* format = nullptr;
    ASSERT_EQ(stream->GetFormat(&formatId, &format), S_OK);
    ASSERT_NE(format, nullptr);
    const CoTaskMemPtr<WAVEFORMATEX> owned(format);
    EXPECT_EQ(taskMemBlocksInUse(), blocksBefore + 1) << "handed out as task memory";
    EXPECT_TRUE(formatId == SPDFID_WaveFormatEx);
    EXPECT_EQ(format->wFormatTag, c.expected.wFormatTag);
    EXPECT_EQ(format->nChannels, c.expected.nChannels);
    EXPECT_EQ(format->nSamplesPerSec, c.expected.nSamplesPerSec);
    EXPECT_EQ(format->nAvgBytesPerSec, c.expected.nAvgBytesPerSec);
    EXPECT_EQ(format->nBlockAlign, c.expected.nBlockAlign);
    EXPECT_EQ(format->wBitsPerSample, c.expected.wBitsPerSample);
}

constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kALaw = 6;
constexpr std::uint16_t kMuLaw = 7;

INSTANTIATE_TEST_SUITE_P(
    Formats, FileStreamFormatTest,
    ::testing::Values(FormatCase{"pcm8",
                                 {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
                                 {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0}},
                      FormatCase{"pcm16_stereo",
                                 {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                 {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}},
                      FormatCase{"pcm24",
                                 {48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                                 {WAVE_FORMAT_PCM, 1, 48000, 144000, 3, 24, 0}},
                      FormatCase{"pcm32",
                                 {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_32},
                                 {WAVE_FORMAT_PCM, 1, 16000, 64000, 4, 32, 0}},
                      FormatCase{"float",
                                 {16000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                 {kFloat, 2, 16000, 128000, 8, 32, 0}},
                      FormatCase{"mu_law",
                                 {8000, 1, SF_FORMAT_WAV | SF_FORMAT_ULAW},
                                 {kMuLaw, 1, 8000, 8000, 1, 8, 0}},
                      FormatCase{"a_law",
                                 {8000, 1, SF_FORMAT_WAV | SF_FORMAT_ALAW},
                                 {kALaw, 1, 8000, 8000, 1, 8, 0}},
                      FormatCase{"ima_adpcm",
                                 {11025, 1, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
                                 {WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0}},
                      FormatCase{"flac",
                                 {32000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                 {WAVE_FORMAT_PCM, 2, 32000, 128000, 4, 16, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnreadableCase {
    const char* name;
    // Makes the file in the folder and returns its path.
    std::filesystem::path (*make)(const TempDir& dir);
};

std::filesystem::path wavHeaderCutShort(const TempDir& dir) {
    const auto whole = dir / "whole.wav";
    engine::testing::writeAudio(whole, tone(16000), 16000, testing::kWav16Bit16kHz);
    return dir.write("cut.wav", testing::readFile(whole).substr(0, 30));
}

class FileStreamUnreadableTest : public EngineTest,
                                 public ::testing::WithParamInterface<UnreadableCase> {};

// Anything that is not readable audio fails the bind, and the stream stays without a format.
TEST_P(FileStreamUnreadableTest, BindFailsAndNoFormatIsHandedOut) {
    TempDir dir;
    const auto file = GetParam().make(dir);
    ComPtr<ISpStream> stream = testing::createInstance<ISpStream>(CLSID_SpStream);
    ASSERT_TRUE(stream);
    EXPECT_TRUE(FAILED(bind(*stream.get(), file)));
    GUID formatId{};
    WAVEFORMATEX* format = nullptr;
    EXPECT_TRUE(FAILED(stream->GetFormat(&formatId, &format)));
    EXPECT_EQ(format, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileStreamUnreadableTest,
    ::testing::Values(
        UnreadableCase{"missing", [](const TempDir& dir) { return dir / "missing.wav"; }},
        UnreadableCase{"directory",
                       [](const TempDir& dir) {
                           std::filesystem::create_directory(dir / "folder.wav");
                           return dir / "folder.wav";
                       }},
        UnreadableCase{"text",
                       [](const TempDir& dir) {
                           return dir.write("notes.wav", "These are notes, not audio.\n");
                       }},
        UnreadableCase{"header_cut_short", wavHeaderCutShort},
        UnreadableCase{"empty_file", [](const TempDir& dir) { return dir.write("none.wav", ""); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace phonemes
