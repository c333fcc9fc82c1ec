#pragma once

// The engine benchmark's corpus: everyday sentences, spoken by espeak-ng and by flite at two
// speeds each, written as WAV files with each synthesiser's own times as their reference.

#include <filesystem>
#include <string>
#include <vector>

#include "synthetic_references.h"

namespace phonemes::bench {

inline constexpr int kUtteranceCount = 100;

// The sentences, each spoken at two speeds in a batch.
extern const char* const kSentences[];
extern const int kSentenceCount;

struct Utterance {
    std::filesystem::path file;
    std::string text;
    Reference reference;
    double seconds = 0.0;
};

// kUtteranceCount files in the folder: each sentence at two speeds, slow for the first half.
std::vector<Utterance> makeEspeakBatch(const std::filesystem::path& dir);
std::vector<Utterance> makeFliteBatch(const std::filesystem::path& dir);

double audioSecondsOf(const std::vector<Utterance>& batch);

// One file per sentence, and a hints file "hints.txt" that gives each file its sentence.
int writeUtterances(const std::filesystem::path& dir);

}  // namespace phonemes::bench
