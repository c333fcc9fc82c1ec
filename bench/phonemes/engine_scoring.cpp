#include "engine_scoring.h"

#include <algorithm>
#include <numeric>

#include "engine/pronunciation.h"

namespace phonemes::bench {
using namespace engine;

Accuracy accuracyOf(const std::vector<Utterance>& batch, const std::vector<Collector>& results) {
    Accuracy accuracy;
    for (std::size_t f = 0; f < batch.size(); ++f) {
        const Collector& c = results[f];
        if (c.phrases.size() != 1 || c.kinds[0] != PhraseKind::kRecognition) {
            continue;
        }
        ++accuracy.recognised;
        const Reference& reference = batch[f].reference;
        std::vector<TimedPhone> words;
        std::vector<TimedPhone> phones;
        for (const RecognizedWord& word : c.phrases[0].words) {
            words.push_back({dictionaryFormOf(word.text), msOf(word.startSample)});
            const std::vector<TimedPhone> timed = timedPhones(word);
            phones.insert(phones.end(), timed.begin(), timed.end());
            ++accuracy.wordCount;
            accuracy.wordsWithSpans += word.phoneSpans.empty() ? 0 : 1;
        }
        // Words are paired by text, phones by an alignment that allows substitutions.
        const Pairing wordPairs = pairByAlignment(words, reference.words, false);
        const Pairing phonePairs = pairByAlignment(phones, reference.phones, true);
        addPairs(accuracy.words, wordPairs);
        addPairs(accuracy.phones, phonePairs);
        accuracy.referencePhones += static_cast<std::size_t>(
            std::count_if(reference.phones.begin(), reference.phones.end(),
                          [](const TimedPhone& p) { return p.startMs >= 0; }));
        accuracy.referenceWords += reference.words.size();
    }
    return accuracy;
}

std::pair<double, double> fitLine(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    return {my - slope * mx, slope};
}

}  // namespace phonemes::bench
