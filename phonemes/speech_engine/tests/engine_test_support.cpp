#include "engine_test_support.h"

#include <soxr.h>

#include <stdexcept>

#include "speech_engine.h"
#include "speech_registry.h"

namespace phonemes::testing {

void EngineTest::SetUp() {
    resetSpeechRegistry();
    registerSpeechEngine();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
}

void EngineTest::TearDown() {
    CoUninitialize();
    resetSpeechRegistry();
}

namespace {

// The same samples at another rate. Without dither, so that a file written twice is the same
// file: the recogniser's alignment moves with even the faintest noise.
std::vector<std::int16_t> resampleWithoutDither(const std::vector<std::int16_t>& samples,
                                                int fromRate, int toRate) {
    if (fromRate == toRate || samples.empty()) {
        return samples;
    }
    std::vector<std::int16_t> out(
        samples.size() * static_cast<std::size_t>(toRate) / static_cast<std::size_t>(fromRate) + 1);
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t produced = 0;
    const soxr_error_t error =
        soxr_oneshot(fromRate, toRate, 1, samples.data(), samples.size(), nullptr, out.data(),
                     out.size(), &produced, &io, &quality, nullptr);
    if (error) {
        throw std::runtime_error(std::string("resampling failed: ") + error);
    }
    out.resize(produced);
    return out;
}

std::vector<std::int16_t> withSilence(const SynthesizedSpeech& speech, int leadInMs, int trailMs) {
    std::vector<std::int16_t> samples = engine::testing::silence(speech.sampleRate, leadInMs);
    samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
    const std::vector<std::int16_t> trail = engine::testing::silence(speech.sampleRate, trailMs);
    samples.insert(samples.end(), trail.begin(), trail.end());
    return samples;
}

}  // namespace

void writeSpeech(const std::filesystem::path& file, const SynthesizedSpeech& speech,
                 const WavLayout& layout, int leadInMs, int trailMs) {
    // Resampled here, so that the writer gets samples at the layout's rate and keeps them.
    engine::testing::writeAudio(file,
                                resampleWithoutDither(withSilence(speech, leadInMs, trailMs),
                                                      speech.sampleRate, layout.sampleRate),
                                layout.sampleRate, layout);
}

Utterance writeUtterance(const std::filesystem::path& file, const std::string& text,
                         const WavLayout& layout, int leadInMs, int trailMs) {
    const SynthesizedSpeech speech = engine::testing::synthesize(text);
    writeSpeech(file, speech, layout, leadInMs, trailMs);
    Utterance utterance;
    utterance.file = file;
    for (const engine::testing::SpokenWord& word : speech.words) {
        utterance.words.push_back({word.text, word.startMs + leadInMs});
    }
    // The synthesiser's pause event after its last phone is where the speech ends.
    int speechEndMs = speech.durationMs();
    for (auto phone = speech.phones.rbegin(); phone != speech.phones.rend(); ++phone) {
        if (!phone->ipa.empty()) {
            break;
        }
        speechEndMs = phone->startMs;
    }
    utterance.speechEndMs = speechEndMs + leadInMs;
    utterance.durationMs = speech.durationMs() + leadInMs + trailMs;
    return utterance;
}

}  // namespace phonemes::testing
