#pragma once

// How the engine benchmark turns recognitions into its figures: timing against the
// synthesisers' own times, and the per-file overhead fitted to the files' costs.

#include <cstddef>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "synthetic_corpus.h"
#include "timing_scores.h"

namespace phonemes::bench {

// Timing of hint-mode results against the synthesiser's, over the files whose whole transcript
// was placed.
struct Accuracy {
    int recognised = 0;
    std::size_t referencePhones = 0;  // in the recognised files
    std::size_t referenceWords = 0;
    Pairing phones;
    Pairing words;
    std::size_t wordCount = 0;
    std::size_t wordsWithSpans = 0;
};

// The results are those of the batch's files, in order. A file counts when it gave one phrase,
// a recognition of its whole transcript; words are paired by text, phones by an alignment that
// allows substitutions.
Accuracy accuracyOf(const std::vector<Utterance>& batch, const std::vector<Collector>& results);

// Least-squares line through (x, y) as {intercept, slope}: the intercept is the cost of a file
// of no length. A slope of 0 when all x are equal.
std::pair<double, double> fitLine(const std::vector<double>& x, const std::vector<double>& y);

}  // namespace phonemes::bench
