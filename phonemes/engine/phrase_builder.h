#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio_source.h"
#include "phone_path.h"
#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// "read(2)" is the dictionary's second pronunciation of "read".
std::string plainWord(std::string_view word);

// A decoded word with the text it is shown with, and its phones where a phone pass placed them.
struct PlacedWord {
    DecodedSegment segment;
    std::string text;
    std::vector<PathPhone> phones;
    // Samples per frame of the decoders that placed the word and its phones.
    int segmentFrameSamples = SpeechModel::kFrameSamples;
    int phoneFrameSamples = SpeechModel::kFrameSamples;
};

// Turns decoded words into a phrase with times in samples and in bytes of the source stream.
class PhraseBuilder {
  public:
    PhraseBuilder(const SpeechModel& model, const AudioSource& source)
        : model_(model), source_(source) {}

    RecognizedPhrase build(const std::vector<PlacedWord>& placed, std::uint64_t startSample,
                           std::uint64_t endSample) const;

  private:
    std::vector<PhoneId> phonesOf(const std::string& word) const;

    const SpeechModel& model_;
    const AudioSource& source_;
};

}  // namespace phonemes::engine
