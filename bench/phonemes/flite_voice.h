#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Speech made by flite's kal16 voice (16 kHz) with its exact times: a second voice to check the
// recogniser's timing against, unlike espeak-ng in sound and in how it times phones.
namespace phonemes::bench {

struct FliteTimed {
    std::string name;  // a word as flite normalised it, or a phone in flite's lower-case CMU
                       // names ("hh", "ax")
    int startMs = 0;
};

struct FliteSpeech {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;  // mono
    std::vector<FliteTimed> words;
    std::vector<FliteTimed> phones;  // pauses left out
};

// Speaks the text; durationStretch above 1 speaks slower. Throws std::runtime_error when flite
// gives no audio.
FliteSpeech speakWithFlite(std::string_view text, float durationStretch = 1.0f);

}  // namespace phonemes::bench
