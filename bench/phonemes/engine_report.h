#pragma once

// The engine benchmark's measurements on a batch and the tables it prints of them, each with
// its targets: the costs of the recogniser (load, per-file overhead, dictation against the
// bare decoder) and phone and word timing of both voices in both modes of phone timing.

#include <filesystem>
#include <string>
#include <vector>

#include "engine/recognizer.h"
#include "engine_scoring.h"
#include "synthetic_corpus.h"

namespace phonemes::bench {

// Time spent on a batch in one mode: wall clock, and CPU time of this thread.
struct Timing {
    double wall = 0.0;
    double cpu = 0.0;
};

// One voice's batch in both modes of phone timing.
struct VoiceResult {
    std::string voice;
    double audioSeconds = 0.0;
    Accuracy weights;
    Accuracy acoustic;
    Timing hintWeights;
    Timing hintAcoustic;
    Timing dictationWeights;
    Timing dictationAcoustic;
};

double secondsSince(std::chrono::steady_clock::time_point start);

// What one recognition of the file gives: by the transcript when one is given, else dictation.
Collector recognizeFile(engine::Recognizer& recognizer, const std::filesystem::path& file,
                        const std::string* text);

// The voice's batch in hint mode and in dictation, in both modes of phone timing.
VoiceResult measureVoice(const std::string& voice, const std::vector<Utterance>& batch);

// The two voices in both modes side by side, with the targets of the acoustic mode.
void printPhoneTimes(const std::vector<VoiceResult>& voices);

// Load, per-file overhead and dictation against the bare decoder, on espeak-ng's batch.
void printCosts(const std::filesystem::path& dir, const std::vector<Utterance>& batch);

}  // namespace phonemes::bench
