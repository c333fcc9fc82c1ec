#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Speech made by espeak-ng for tests and benchmarks, with the synthesiser's own times of the
// words and phones it spoke: the reference that recognised times are checked against.
namespace phonemes::engine::testing {

struct SpokenWord {
    std::string text;  // the word as the text writes it
    int startMs = 0;   // the synthesiser's word event
};

struct SpokenPhone {
    std::string ipa;  // the phone in IPA; empty for a pause
    int startMs = 0;
};

struct SynthesizedSpeech {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;  // mono
    std::vector<SpokenWord> words;
    std::vector<SpokenPhone> phones;

    int durationMs() const {
        return sampleRate ? static_cast<int>(samples.size() * 1000 / sampleRate) : 0;
    }
};

// American English speech of the text at the given speed. Throws std::runtime_error when
// espeak-ng cannot speak.
SynthesizedSpeech synthesize(std::string_view text, int wordsPerMinute = 160);

// The samples at another rate (soxr, high quality, without dither so that results repeat).
std::vector<std::int16_t> resample(const std::vector<std::int16_t>& samples, int fromRate,
                                   int toRate);

// Silence of the given length.
std::vector<std::int16_t> silence(int sampleRate, int milliseconds);

struct WavLayout {
    int sampleRate = 22050;
    int channels = 1;  // the mono samples are copied to every channel
    int format = 0;    // a libsndfile format, e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16
};

// Writes mono 16-bit samples in the layout (resampled to its rate first when needed).
// Throws std::runtime_error when libsndfile refuses.
void writeAudio(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                int sampleRate, const WavLayout& layout);

}  // namespace phonemes::engine::testing
