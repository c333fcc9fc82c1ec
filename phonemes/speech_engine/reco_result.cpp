#include "reco_result.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "phrase_block.h"
#include "text_conversion.h"

namespace phonemes {
namespace {

std::atomic<std::size_t> liveResults{0};

// A hypothesis is decoded text only: where its words lie is not known until the phrase ends.
constexpr HRESULT kNotKnownYet = SPERR_NOT_FOUND;

// Phrase elements count bytes in 32 bits; a phrase that would need more is cut off at the
// largest count rather than wrapped to a small one.
std::uint32_t clampToElementBytes(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
}

std::u16string wideText(const std::string& text) {
    return toWideText(text).value_or(u"");
}

struct PhraseTiming {
    SPRECORESULTTIMES times;
    std::uint64_t streamPosition;
    std::uint32_t streamSize;
};

// Where each phone of one word lies; empty when its phones were not placed.
using PhoneSpans = std::vector<SPPHONESPAN>;

class RecoResult final : public ComObject<ISpRecoResult, ISpPhoneAlignment> {
  public:
    RecoResult(std::u16string text, std::optional<PhraseTiming> timing,
               std::vector<PhraseWord> words, std::vector<PhoneSpans> phoneSpans)
        : text_(std::move(text)),
          timing_(timing),
          words_(std::move(words)),
          phoneSpans_(std::move(phoneSpans)) {
        liveResults.fetch_add(1, std::memory_order_relaxed);
    }
    ~RecoResult() override { liveResults.fetch_sub(1, std::memory_order_relaxed); }

    HRESULT GetPhrase(SPPHRASE** phrase) override {
        if (phrase == nullptr) {
            return E_POINTER;
        }
        *phrase = nullptr;
        if (!timing_) {
            return kNotKnownYet;
        }
        *phrase = allocatePhrase(words_, kLangIdAmericanEnglish, timing_->streamPosition,
                                 timing_->streamSize);
        return *phrase == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    HRESULT GetText(std::uint32_t firstElement, std::uint32_t countOfElements,
                    bool /*useTextReplacements*/, char16_t** text,
                    std::uint8_t* displayAttributes) override {
        if (text == nullptr) {
            return E_POINTER;
        }
        *text = nullptr;
        if (displayAttributes != nullptr) {
            *displayAttributes = 0;
        }
        std::u16string selected;
        if (firstElement == SP_GETWHOLEPHRASE && countOfElements == SP_GETWHOLEPHRASE) {
            selected = text_;
        } else {
            // A range of elements: their display texts separated by single spaces.
            const std::size_t first = firstElement;
            if (first > words_.size()) {
                return E_INVALIDARG;
            }
            const std::size_t end =
                countOfElements == SP_GETWHOLEPHRASE
                    ? words_.size()
                    : std::min<std::size_t>(words_.size(), first + countOfElements);
            for (std::size_t i = first; i < end; ++i) {
                if (!selected.empty()) {
                    selected += u' ';
                }
                selected += words_[i].displayText;
            }
        }
        *text = allocateText(selected);
        return *text == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    HRESULT GetResultTimes(SPRECORESULTTIMES* times) override {
        if (times == nullptr) {
            return E_POINTER;
        }
        if (!timing_) {
            return kNotKnownYet;
        }
        *times = timing_->times;
        return S_OK;
    }

    HRESULT GetPhoneSpans(std::uint32_t element, SPPHONESPAN* spans, std::uint32_t capacity,
                          std::uint32_t* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        if (element >= words_.size()) {
            return E_INVALIDARG;
        }
        const PhoneSpans& placed = phoneSpans_[element];
        if (placed.empty()) {
            return S_FALSE;
        }
        if (spans == nullptr || capacity < placed.size()) {
            return E_NOT_SUFFICIENT_BUFFER;
        }
        std::copy(placed.begin(), placed.end(), spans);
        *count = static_cast<std::uint32_t>(placed.size());
        return S_OK;
    }

  private:
    const std::u16string text_;
    const std::optional<PhraseTiming> timing_;
    const std::vector<PhraseWord> words_;
    const std::vector<PhoneSpans> phoneSpans_;  // one entry per word
};

PhoneSpans phoneSpansOf(const engine::RecognizedWord& word) {
    PhoneSpans spans;
    // Spans that do not match the pronunciation one to one cannot time it.
    if (word.phoneSpans.size() != word.phones.size()) {
        return spans;
    }
    for (const engine::PhoneSpan& span : word.phoneSpans) {
        spans.push_back(
            {clampToElementBytes(span.streamOffset), clampToElementBytes(span.streamSize)});
    }
    return spans;
}

}  // namespace

ISpRecoResult* makePhraseResult(const engine::RecognizedPhrase& phrase) {
    std::vector<PhraseWord> words;
    std::vector<PhoneSpans> phoneSpans;
    words.reserve(phrase.words.size());
    for (const engine::RecognizedWord& word : phrase.words) {
        phoneSpans.push_back(phoneSpansOf(word));
        std::u16string display = wideText(word.text);
        std::u16string pronunciation(word.phones.begin(), word.phones.end());
        words.push_back({clampToElementBytes(word.streamOffset),
                         clampToElementBytes(word.streamSize), display, display,
                         std::move(pronunciation)});
    }
    const PhraseTiming timing{{phrase.startTime(), phrase.duration()},
                              phrase.streamStart,
                              clampToElementBytes(phrase.streamSize)};
    return new (std::nothrow)
        RecoResult(wideText(phrase.text), timing, std::move(words), std::move(phoneSpans));
}

ISpRecoResult* makeHypothesisResult(const std::string& text) {
    return new (std::nothrow) RecoResult(wideText(text), std::nullopt, {}, {});
}

std::size_t recoResultsAlive() {
    return liveResults.load(std::memory_order_relaxed);
}

}  // namespace phonemes
