#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/recognizer.h"

namespace phonemes::bench {

// CPU time of the calling thread: a comparison is not disturbed by other processes on the
// machine.
double threadCpuSeconds();

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

std::string percent(double share);
// "yes" or "NO", for a column that says whether a target was met. Each NO is counted.
std::string verdict(bool ok);
// How many targets verdict() has reported missed.
int missedTargets();

// A Markdown table written row by row to standard output.
class Table {
  public:
    explicit Table(const std::vector<std::string>& header);
    void row(const std::vector<std::string>& cells);
};

// Keeps what a recognition delivers.
class Collector : public engine::RecognitionListener {
  public:
    void onHypothesis(const std::string&) override { ++hypotheses; }
    void onPhrase(const engine::RecognizedPhrase& phrase, engine::PhraseKind kind) override {
        phrases.push_back(phrase);
        kinds.push_back(kind);
    }
    void onEndOfStream(std::uint64_t) override { ended = true; }

    std::vector<engine::RecognizedPhrase> phrases;
    std::vector<engine::PhraseKind> kinds;
    int hypotheses = 0;
    bool ended = false;
};

}  // namespace phonemes::bench
