#include "engine_test_support.h"

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
                                engine::testing::resample(withSilence(speech, leadInMs, trailMs),
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
