#include "timing_scores.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <utility>

#include "engine/pronunciation.h"
#include "phone_timeline.h"

namespace phonemes::bench {

using engine::kModelSampleRate;
using engine::PhoneId;
using engine::phoneNameOf;

bool isStop(std::string_view phone) {
    for (std::string_view stop : {"p", "t", "k", "b", "d", "g", "ch", "jh"}) {
        if (phone == stop) {
            return true;
        }
    }
    return false;
}

Pairing pairByAlignment(const std::vector<TimedPhone>& recognised,
                        const std::vector<TimedPhone>& reference, bool substitutions) {
    const std::size_t n = recognised.size();
    const std::size_t m = reference.size();
    std::vector<std::vector<int>> cost(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = 0; i <= n; ++i)
        cost[i][0] = static_cast<int>(i);
    for (std::size_t j = 0; j <= m; ++j)
        cost[0][j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const int substitute = recognised[i - 1].name == reference[j - 1].name ? 0 : 1;
            cost[i][j] =
                std::min({cost[i - 1][j] + 1, cost[i][j - 1] + 1, cost[i - 1][j - 1] + substitute});
        }
    }
    Pairing pairing;
    std::size_t i = n;
    std::size_t j = m;
    while (i > 0 && j > 0) {
        const int substitute = recognised[i - 1].name == reference[j - 1].name ? 0 : 1;
        if (cost[i][j] == cost[i - 1][j - 1] + substitute) {
            if (reference[j - 1].startMs >= 0 && (substitutions || substitute == 0)) {
                pairing.errors.push_back(recognised[i - 1].startMs - reference[j - 1].startMs);
                pairing.referenceNames.push_back(reference[j - 1].name);
                pairing.sameName += substitute == 0 ? 1 : 0;
            }
            --i;
            --j;
        } else if (cost[i][j] == cost[i - 1][j] + 1) {
            --i;
        } else {
            --j;
        }
    }
    return pairing;
}

std::vector<int> errorsWhere(const Pairing& pairing,
                             const std::function<bool(std::string_view)>& chosen) {
    std::vector<int> errors;
    for (std::size_t k = 0; k < pairing.errors.size(); ++k) {
        if (chosen(pairing.referenceNames[k])) {
            errors.push_back(pairing.errors[k]);
        }
    }
    return errors;
}

void addPairs(Pairing& into, const Pairing& more) {
    into.errors.insert(into.errors.end(), more.errors.begin(), more.errors.end());
    into.referenceNames.insert(into.referenceNames.end(), more.referenceNames.begin(),
                               more.referenceNames.end());
    into.sameName += more.sameName;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos) {
            words.push_back(text.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return words;
}

int wordErrors(const std::string& reference, const std::string& hypothesis) {
    const std::vector<std::string> r = wordsOf(reference);
    const std::vector<std::string> h = wordsOf(hypothesis);
    std::vector<int> row(h.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= r.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= h.size(); ++j) {
            const int above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (r[i - 1] == h[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[h.size()];
}

double shareWithin(const std::vector<int>& errors, int tolerance) {
    if (errors.empty()) {
        return 0.0;
    }
    const auto within = std::count_if(errors.begin(), errors.end(),
                                      [&](int e) { return std::abs(e) <= tolerance; });
    return static_cast<double>(within) / static_cast<double>(errors.size());
}

double mean(const std::vector<int>& values) {
    if (values.empty()) {
        return 0.0;
    }
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

double meanAbsolute(const std::vector<int>& values) {
    if (values.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (int v : values) {
        sum += std::abs(v);
    }
    return sum / static_cast<double>(values.size());
}

double median(std::vector<int> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

int msOf(std::uint64_t sample) {
    return static_cast<int>(sample * 1000 / kModelSampleRate);
}
std::vector<TimedPhone> spreadPhones(const engine::RecognizedWord& word) {
    static const PhoneInventory inventory = [] {
        PhoneInventory built;
        built.buildWeightLookup();
        return built;
    }();
    PhoneTimeline timeline(inventory);
    const std::string names = engine::phoneNamesOf(word.phones).value_or("");
    timeline.addWord(names, msOf(word.startSample),
                     static_cast<std::uint32_t>(word.sampleCount * 1000 / kModelSampleRate));
    std::vector<TimedPhone> phones;
    for (const PhoneEntry& entry : timeline.entries) {
        if (!entry.label.empty() && entry.label != kWordEndMarker) {
            phones.push_back({entry.label, entry.start});
        }
    }
    return phones;
}

std::vector<TimedPhone> timedPhones(const engine::RecognizedWord& word) {
    if (word.phoneSpans.empty() || word.phoneSpans.size() != word.phones.size()) {
        return spreadPhones(word);
    }
    std::vector<TimedPhone> phones;
    for (std::size_t k = 0; k < word.phones.size(); ++k) {
        phones.push_back(
            {std::string(phoneNameOf(word.phones[k])), msOf(word.phoneSpans[k].startSample)});
    }
    return phones;
}

RecognisedTimes timesOf(const std::vector<engine::RecognizedPhrase>& phrases) {
    RecognisedTimes times;
    for (const engine::RecognizedPhrase& phrase : phrases) {
        for (const engine::RecognizedWord& word : phrase.words) {
            times.words.push_back({engine::dictionaryFormOf(word.text), msOf(word.startSample)});
            const std::vector<TimedPhone> timed = timedPhones(word);
            times.phones.insert(times.phones.end(), timed.begin(), timed.end());
        }
    }
    return times;
}

}  // namespace phonemes::bench
