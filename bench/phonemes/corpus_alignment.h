#pragma once

#include <vector>

#include "engine/recognizer.h"
#include "timing_scores.h"
#include "timit_corpus.h"

namespace phonemes::bench {

// What one mode of the recogniser made of one labelled utterance, aligned to its own words.
struct Outcome {
    bool recognised = false;  // the whole hint was placed
    std::vector<engine::RecognizedWord> recognisedWords;
    std::vector<TimedPhone> words;
    std::vector<TimedPhone> phones;
    double cpuSeconds = 0.0;  // of the recognition alone
};

Outcome alignUtterance(engine::Recognizer& recognizer, const LabelledUtterance& utterance);

// The speakers in corpus order (the corpus holds each speaker's utterances together).
std::vector<std::string> speakersOf(const std::vector<LabelledUtterance>& corpus);

}  // namespace phonemes::bench
