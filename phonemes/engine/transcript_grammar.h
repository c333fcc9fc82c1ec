#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "phrase_builder.h"
#include "pronunciation.h"
#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// The words of a transcript that can be listened for, with the grammar to listen with.
class TranscriptGrammar {
  public:
    // Words without any pronunciation are left out. The transcript is cut after the words
    // whose shortest pronunciations fill `phoneBudget`. With `withSpokenVariants` each word may
    // also be said as speakers of connected speech say it (spokenVariantsOf).
    TranscriptGrammar(SpeechModel& model, std::string_view transcript, std::uint64_t phoneBudget,
                      bool withSpokenVariants);

    // Placing every word is a recognition; a cut transcript never is.
    bool completedBy(std::size_t placedWords) const {
        return !cut_ && !entries_.empty() && placedWords == entries_.size();
    }
    // The words listened for, and whether the budget cut the transcript before its end.
    std::size_t size() const { return entries_.size(); }
    bool cut() const { return cut_; }
    // How many words of the transcript (those left out included) the first `placedWords`
    // words listened for take up.
    std::size_t transcriptWordsThrough(std::size_t placedWords) const {
        return placedWords == 0 ? 0 : entries_[placedWords - 1].transcriptIndex + 1;
    }

    // Makes it the model's current search: a grammar of the words, or of their phones.
    bool use(SpeechModel& model, bool phonesAsWords) const;

    // The words in the order the decoder placed them, as far as they match the transcript.
    // Their frames have `frameSamples` samples each.
    std::vector<PlacedWord> place(const std::vector<DecodedSegment>& segments, bool phonesAsWords,
                                  int frameSamples) const;

    // The written words the decoder's best words so far stand for.
    std::string shownText(const std::string& decoded, bool phonesAsWords) const;

  private:
    struct Entry {
        TranscriptWord word;
        std::vector<std::string> variants;  // dictionary names: "read", "read(2)"
        std::size_t transcriptIndex = 0;    // the word's place among the transcript's words
    };

    std::vector<PlacedWord> placeWords(const std::vector<DecodedSegment>& segments) const;
    std::vector<PlacedWord> placePhones(const std::vector<DecodedSegment>& segments) const;

    bool cut_ = false;
    std::vector<Entry> entries_;
    // The phones of each entry's variants, in the same order: the phone grammar's words, kept
    // whole so that reading a path back needs no copy.
    std::vector<WordPronunciations> pronunciations_;
};

}  // namespace phonemes::engine
