#pragma once

// What the speech engine's tests share: the engine's classes registered on a thread with the
// component system, creation by class id, and utterances spoken by espeak-ng into audio files
// with the synthesiser's own word times.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <string>
#include <vector>

#include "com.h"
#include "speech_api.h"
#include "speech_synth.h"

namespace phonemes::testing {

using engine::testing::SynthesizedSpeech;
using engine::testing::WavLayout;

// Registers the engine's classes and initialises the component system for the test's thread.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// A new object of a registered class; fails the test when it cannot be made.
template <class Interface>
ComPtr<Interface> createInstance(REFCLSID clsid) {
    void* created = nullptr;
    const HRESULT status = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, Interface::kIid, &created);
    EXPECT_EQ(status, S_OK);
    return ComPtr<Interface>::adopt(static_cast<Interface*>(created));
}

inline constexpr WavLayout kWav16Bit16kHz{16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16};

struct SpokenWord {
    std::string text;
    int startMs;  // from the start of the file
};

// Speech written to a file: where each word begins in it, and how long the file lasts.
struct Utterance {
    std::filesystem::path file;
    std::vector<SpokenWord> words;
    int speechEndMs = 0;  // where the synthesiser stopped speaking
    int durationMs = 0;
};

// Speaks the text (espeak-ng, American English) with silence before and after it, and writes
// it in the layout.
Utterance writeUtterance(const std::filesystem::path& file, const std::string& text,
                         const WavLayout& layout = kWav16Bit16kHz, int leadInMs = 300,
                         int trailMs = 300);

// The same speech (already spoken) written again in another layout.
void writeSpeech(const std::filesystem::path& file, const SynthesizedSpeech& speech,
                 const WavLayout& layout, int leadInMs = 300, int trailMs = 300);

}  // namespace phonemes::testing
