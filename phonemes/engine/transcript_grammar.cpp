#include "transcript_grammar.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "phone_path.h"
#include "spoken_variants.h"

namespace phonemes::engine {

namespace {

std::size_t countWords(std::string_view text) {
    std::size_t count = 0;
    bool inWord = false;
    for (char c : text) {
        const bool space = c == ' ';
        if (!space && !inWord) {
            ++count;
        }
        inWord = !space;
    }
    return count;
}

// Letter-to-sound rules give at least one phone for every few bytes of a written word: a word
// written longer than this per phone that is left cannot fit, and is not looked up at all.
constexpr std::uint64_t kMaxBytesPerPhone = 16;

}  // namespace

TranscriptGrammar::TranscriptGrammar(SpeechModel& model, std::string_view transcript,
                                     std::uint64_t phoneBudget, bool withSpokenVariants) {
    std::uint64_t phones = 0;
    for (std::size_t index = 0; std::optional<TranscriptWord> word = nextTranscriptWord(transcript);
         ++index) {
        const std::uint64_t room = phoneBudget - std::min(phones, phoneBudget);
        if (room == 0 || word->dictionaryWord.size() / kMaxBytesPerPhone > room) {
            cut_ = true;
            break;
        }
        // A word without any pronunciation cannot be listened for; it is left out, but the
        // time spent looking counts, so that no line of such words takes long either.
        if (!ensurePronunciation(model, word->dictionaryWord)) {
            phones += word->dictionaryWord.size() / kMaxBytesPerPhone + 1;
            continue;
        }
        std::vector<std::string> variants;
        WordPronunciations pronunciations;
        std::size_t shortest = std::numeric_limits<std::size_t>::max();
        for (PronunciationVariant& variant :
             withSpokenVariants ? pronunciationsWithSpokenVariants(model, word->dictionaryWord)
                                : pronunciationVariants(model, word->dictionaryWord)) {
            shortest = std::min(shortest, pronunciationSymbols(variant.phones).size());
            variants.push_back(std::move(variant.name));
            pronunciations.push_back(std::move(variant.phones));
        }
        if (shortest > room) {
            cut_ = true;
            break;
        }
        phones += shortest;
        entries_.push_back({std::move(*word), std::move(variants), index});
        pronunciations_.push_back(std::move(pronunciations));
    }
}

bool TranscriptGrammar::use(SpeechModel& model, bool phonesAsWords) const {
    if (entries_.empty()) {
        return false;
    }
    if (phonesAsWords) {
        return model.usePhoneSequence(pronunciations_);
    }
    std::vector<std::string> words;
    for (const Entry& entry : entries_) {
        words.push_back(entry.word.dictionaryWord);
    }
    return model.useWordSequence(words);
}

std::vector<PlacedWord> TranscriptGrammar::place(const std::vector<DecodedSegment>& segments,
                                                 bool phonesAsWords, int frameSamples) const {
    std::vector<PlacedWord> placed = phonesAsWords ? placePhones(segments) : placeWords(segments);
    for (PlacedWord& word : placed) {
        word.segmentFrameSamples = frameSamples;
        word.phoneFrameSamples = frameSamples;
    }
    return placed;
}

std::string TranscriptGrammar::shownText(const std::string& decoded, bool phonesAsWords) const {
    std::size_t count = 0;
    if (phonesAsWords) {
        std::vector<DecodedSegment> path;
        for (std::string& symbol : pronunciationSymbols(decoded)) {
            path.push_back({std::move(symbol), 0, 0, false});
        }
        count = wordsOfPhonePath(path, pronunciations_).size();
    } else {
        count = countWords(decoded);
    }
    std::string text;
    for (std::size_t i = 0; i < std::min(count, entries_.size()); ++i) {
        if (!text.empty()) {
            text += ' ';
        }
        text += entries_[i].word.written;
    }
    return text;
}

std::vector<PlacedWord> TranscriptGrammar::placeWords(
    const std::vector<DecodedSegment>& segments) const {
    std::vector<PlacedWord> placed;
    for (const DecodedSegment& segment : segments) {
        if (segment.filler) {
            continue;
        }
        if (placed.size() == entries_.size() ||
            plainWord(segment.word) != entries_[placed.size()].word.dictionaryWord) {
            break;
        }
        placed.push_back({segment, entries_[placed.size()].word.written, {}});
    }
    return placed;
}

std::vector<PlacedWord> TranscriptGrammar::placePhones(
    const std::vector<DecodedSegment>& segments) const {
    std::vector<PlacedWord> placed;
    for (PathWord& word : wordsOfPhonePath(segments, pronunciations_)) {
        const Entry& entry = entries_[placed.size()];
        DecodedSegment segment{entry.variants[word.pronunciation], word.phones.front().firstFrame,
                               word.phones.back().lastFrame, false};
        placed.push_back({std::move(segment), entry.word.written, std::move(word.phones)});
    }
    return placed;
}

}  // namespace phonemes::engine
