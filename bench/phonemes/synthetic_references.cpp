#include "synthetic_references.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/phone_set.h"
#include "engine/pronunciation.h"

namespace phonemes::bench {
using namespace engine;

namespace {

// Unvoiced stops and "ch": their closure is silence in espeak-ng's output.
bool isUnvoicedStop(std::string_view phone) {
    return phone == "p" || phone == "t" || phone == "k" || phone == "ch";
}

}  // namespace

int closureStartMs(const testing::SynthesizedSpeech& speech, int releaseMs, int earliestMs) {
    constexpr int kBurstLeadMs = 5;  // the release may start a little before its event
    constexpr int kMinClosureMs = 10;
    const auto sampleAt = [&](int ms) {
        return static_cast<std::size_t>(
            std::clamp<long long>(static_cast<long long>(ms) * speech.sampleRate / 1000, 0,
                                  static_cast<long long>(speech.samples.size())));
    };
    const std::size_t earliest = sampleAt(earliestMs);
    std::size_t end = sampleAt(releaseMs);
    const std::size_t burstLead = sampleAt(releaseMs) - sampleAt(releaseMs - kBurstLeadMs);
    for (std::size_t back = 0; back < burstLead && end > earliest && speech.samples[end - 1] != 0;
         ++back) {
        --end;
    }
    std::size_t start = end;
    while (start > earliest && speech.samples[start - 1] == 0) {
        --start;
    }
    const std::size_t minClosure = sampleAt(kMinClosureMs);
    if (end - start < minClosure || start == earliest) {
        return releaseMs;
    }
    return static_cast<int>(start * 1000 / static_cast<std::size_t>(speech.sampleRate));
}

Reference espeakReference(const testing::SynthesizedSpeech& speech) {
    Reference reference;
    for (const testing::SpokenWord& word : speech.words) {
        reference.words.push_back({dictionaryFormOf(word.text), word.startMs});
    }
    int previousStartMs = 0;
    for (const testing::SpokenPhone& phone : speech.phones) {
        // Every symbol the IPA mapping gives is one of our phones.
        const std::vector<PhoneId> ids = phoneIdsOfPronunciation(dictionaryPhonesOfIpa(phone.ipa))
                                             .value_or(std::vector<PhoneId>{});
        bool first = true;
        for (PhoneId id : ids) {
            const std::string name(phoneNameOf(id));
            int startMs = -1;
            if (first) {
                startMs = isUnvoicedStop(name) && !reference.phones.empty()
                              ? closureStartMs(speech, phone.startMs, previousStartMs)
                              : phone.startMs;
            }
            reference.phones.push_back({name, startMs});
            first = false;
        }
        previousStartMs = phone.startMs;
    }
    return reference;
}

Reference fliteReference(const FliteSpeech& speech) {
    Reference reference;
    for (const FliteTimed& word : speech.words) {
        reference.words.push_back({dictionaryFormOf(word.name), word.startMs});
    }
    for (const FliteTimed& phone : speech.phones) {
        const std::string name = phone.name == "hh" ? "h" : phone.name == "ax" ? "ah" : phone.name;
        reference.phones.push_back({name, phone.startMs});
    }
    return reference;
}

}  // namespace phonemes::bench
