#include "transcript_alignment.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "phone_alignment.h"
#include "phone_path.h"
#include "phrase_builder.h"
#include "phrase_cutter.h"
#include "phrase_decoder.h"
#include "pronunciation.h"
#include "spoken_variants.h"

namespace phonemes::engine {

namespace {

// A transcript's audio is held for a second pass up to this length, that of the longest phrase.
constexpr std::size_t kMaxHeldSamples = PhraseCutter::kMaxPhraseFrames * kDetectorFrameSamples;
// The opening of a file that sets the normalisation for its alignment: long enough for a
// steady average, short enough to hold back in memory. (Dictation adapts the normalisation as
// it goes instead: measuring each phrase first makes its search markedly slower.)
constexpr std::size_t kOpeningSamples = 5 * kModelSampleRate;

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

// Only notes whether the source holds speech anywhere, by the same rule that opens phrases.
class SpeechPresence : public PhraseSink {
  public:
    void phraseBegins(std::uint64_t) override { found = true; }
    void phraseAudio(std::span<const std::int16_t>) override {}
    void phraseEnds(std::uint64_t) override {}

    bool found = false;
};

// No speaker fits more than a phone into 10 ms of audio (and the model gives every phone at
// least one 10 ms frame of its own), so a transcript is listened for only as far as the audio
// could hold it.
std::uint64_t phonesTheAudioCanHold(const AudioSource& source) {
    const std::optional<std::uint64_t> samples = source.lengthInModelSamples();
    if (!samples) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return *samples / SpeechModel::kFrameSamples + 1;
}

// Letter-to-sound rules give at least one phone for every few bytes of a written word: a word
// written longer than this per phone that is left cannot fit, and is not looked up at all.
constexpr std::uint64_t kMaxBytesPerPhone = 16;

// The words of a transcript that can be listened for, with the grammar to listen with.
class TranscriptGrammar {
  public:
    // Words without any pronunciation are left out. The transcript is cut after the words
    // whose shortest pronunciations fill `phoneBudget`. With `withSpokenVariants` each word may
    // also be said as speakers of connected speech say it (spokenVariantsOf).
    TranscriptGrammar(SpeechModel& model, std::string_view transcript, std::uint64_t phoneBudget,
                      bool withSpokenVariants) {
        std::uint64_t phones = 0;
        while (std::optional<TranscriptWord> word = nextTranscriptWord(transcript)) {
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
            entries_.push_back({std::move(*word), std::move(variants)});
            pronunciations_.push_back(std::move(pronunciations));
        }
    }

    // Placing every word is a recognition; a cut transcript never is.
    bool completedBy(std::size_t placedWords) const {
        return !cut_ && !entries_.empty() && placedWords == entries_.size();
    }

    // Makes it the model's current search: a grammar of the words, or of their phones.
    bool use(SpeechModel& model, bool phonesAsWords) const {
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

    // The words in the order the decoder placed them, as far as they match the transcript.
    // Their frames have `frameSamples` samples each.
    std::vector<PlacedWord> place(const std::vector<DecodedSegment>& segments, bool phonesAsWords,
                                  int frameSamples) const {
        std::vector<PlacedWord> placed =
            phonesAsWords ? placePhones(segments) : placeWords(segments);
        for (PlacedWord& word : placed) {
            word.segmentFrameSamples = frameSamples;
            word.phoneFrameSamples = frameSamples;
        }
        return placed;
    }

    // The written words the decoder's best words so far stand for.
    std::string shownText(const std::string& decoded, bool phonesAsWords) const {
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

  private:
    struct Entry {
        TranscriptWord word;
        std::vector<std::string> variants;  // dictionary names: "read", "read(2)"
    };

    std::vector<PlacedWord> placeWords(const std::vector<DecodedSegment>& segments) const {
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

    std::vector<PlacedWord> placePhones(const std::vector<DecodedSegment>& segments) const {
        std::vector<PlacedWord> placed;
        for (PathWord& word : wordsOfPhonePath(segments, pronunciations_)) {
            const Entry& entry = entries_[placed.size()];
            DecodedSegment segment{entry.variants[word.pronunciation],
                                   word.phones.front().firstFrame, word.phones.back().lastFrame,
                                   false};
            placed.push_back({std::move(segment), entry.word.written, std::move(word.phones)});
        }
        return placed;
    }

    bool cut_ = false;
    std::vector<Entry> entries_;
    // The phones of each entry's variants, in the same order: the phone grammar's words, kept
    // whole so that reading a path back needs no copy.
    std::vector<WordPronunciations> pronunciations_;
};

// Hears nothing: for a second pass over audio whose hypotheses were passed on already.
class NoListener : public RecognitionListener {
  public:
    void onHypothesis(const std::string&) override {}
    void onPhrase(const RecognizedPhrase&, PhraseKind) override {}
    void onEndOfStream(std::uint64_t) override {}
};

// One pass of a file's audio against a transcript's grammar. The best path's end moves on as
// the audio goes on; where the whole transcript cannot be placed, the path that placed the most
// words on the way is kept (the path at the very end may have given up even the first word).
class TranscriptPass {
  public:
    TranscriptPass(SpeechModel& model, const TranscriptGrammar& grammar, bool phonesAsWords,
                   SpeechModel::OpeningContext context, RecognitionListener& listener,
                   std::stop_token stop)
        : model_(model),
          grammar_(grammar),
          phonesAsWords_(phonesAsWords),
          phrase_(
              model, listener,
              [this](const std::string& decoded) {
                  return grammar_.shownText(decoded, phonesAsWords_);
              },
              kOpeningSamples, context, std::move(stop), [this] { notePartialPath(); }) {
        model_.beginFile();
        if (grammar_.use(model_, phonesAsWords_)) {
            phrase_.begin();
        }
    }

    void feed(std::span<const std::int16_t> samples) { phrase_.feed(samples); }

    struct Result {
        std::vector<PlacedWord> placed;
        bool complete = false;  // the whole transcript was placed
    };
    // All audio has been fed.
    Result finish() {
        phrase_.flush();
        if (phrase_.decoding()) {
            notePartialPath();
        }
        const bool decoded = phrase_.end();
        Result result;
        if (decoded) {
            result.placed =
                grammar_.place(model_.finalSegments(), phonesAsWords_, model_.frameSamples());
        }
        result.complete = grammar_.completedBy(result.placed.size());
        if (!result.complete) {
            result.placed = std::move(mostPlaced_);
        }
        return result;
    }

  private:
    void notePartialPath() {
        std::vector<PlacedWord> placed =
            grammar_.place(model_.partialSegments(), phonesAsWords_, model_.frameSamples());
        if (placed.size() >= mostPlaced_.size()) {
            mostPlaced_ = std::move(placed);
        }
    }

    SpeechModel& model_;
    const TranscriptGrammar& grammar_;
    bool phonesAsWords_;
    std::vector<PlacedWord> mostPlaced_;
    PhraseDecoder phrase_;
};

// The words of a transcript placed by a word grammar in audio held in memory, with their phones
// aligned in a second pass.
TranscriptPass::Result placeWordsThenPhones(SpeechModel& model, const TranscriptGrammar& grammar,
                                            std::span<const std::int16_t> audio,
                                            const std::stop_token& stop) {
    NoListener quiet;
    TranscriptPass words(model, grammar, false, SpeechModel::OpeningContext::kOwnFirstFrame, quiet,
                         stop);
    words.feed(audio);
    TranscriptPass::Result result = words.finish();
    std::vector<PlacedWord>& placed = result.placed;
    if (placed.empty() || stop.stop_requested()) {
        return result;
    }
    // Up to the end of the last word placed: what follows is speech no word of the grammar fits.
    const auto end = std::min<std::size_t>(
        audio.size(), static_cast<std::size_t>(placed.back().segment.lastFrame + 1) *
                          static_cast<std::size_t>(model.frameSamples()));
    model.beginFile();
    model.normaliseTo(audio.first(std::min(audio.size(), kOpeningSamples)));
    alignPhonesOf(model, placed, audio.first(end), stop);
    return result;
}

// With phone times asked for, the transcript's grammar is made of phones, so the one pass that
// places the words also places their phones, and the audio need not be held for a second.
// Only when that pass cannot place the whole transcript, a phone grammar's best path may give up
// words that a word grammar keeps: then, for audio short enough to have been held, the words are
// also placed with the word grammar and their phones aligned in a further pass; the pass that
// placed more words wins, and a word grammar that places them all makes it a recognition.
void alignTranscriptWith(SpeechModel& model, bool alignPhones, AudioSource& source,
                         std::string_view transcript, RecognitionListener& listener,
                         const std::stop_token& stop) {
    const TranscriptGrammar grammar(model, transcript, phonesTheAudioCanHold(source), alignPhones);
    // The passes that give phone times take a file's opening on its own audio alone; without
    // them the words are placed as they always were.
    const auto context = alignPhones ? SpeechModel::OpeningContext::kOwnFirstFrame
                                     : SpeechModel::OpeningContext::kStreamed;
    TranscriptPass pass(model, grammar, alignPhones, context, listener, stop);
    std::vector<std::int16_t> held;
    bool holding = alignPhones;

    SpeechPresence presence;
    PhraseCutter cutter(presence);
    std::array<std::int16_t, kReadBlockSamples> block{};
    std::uint64_t total = 0;
    while (const std::size_t count = source.read(block)) {
        if (stop.stop_requested()) {
            return;
        }
        const auto samples = std::span(block).first(count);
        cutter.push(samples);
        pass.feed(samples);
        total += count;
        if (holding && held.size() + count > kMaxHeldSamples) {
            holding = false;
            held = {};
        } else if (holding) {
            held.insert(held.end(), samples.begin(), samples.end());
        }
    }
    cutter.finish();
    TranscriptPass::Result result = pass.finish();
    if (!result.complete && holding && !stop.stop_requested()) {
        TranscriptPass::Result byWords = placeWordsThenPhones(model, grammar, held, stop);
        if (byWords.complete || byWords.placed.size() > result.placed.size()) {
            result = std::move(byWords);
        }
    }
    if (stop.stop_requested()) {
        return;
    }
    if (presence.found) {
        const RecognizedPhrase phrase = PhraseBuilder(model, source).build(result.placed, 0, total);
        listener.onPhrase(
            phrase, result.complete ? PhraseKind::kRecognition : PhraseKind::kFalseRecognition);
    }
    listener.onEndOfStream(source.byteOffsetOf(total));
}

}  // namespace

// With phone times asked for, every pass runs on the model's aligner, whose finer frames time
// short phones better; a transcript is then looked up in the aligner's dictionary.
void alignTranscript(SpeechModel& model, bool alignPhones, AudioSource& source,
                     std::string_view transcript, RecognitionListener& listener,
                     std::stop_token stop) {
    SpeechModel* aligner = alignPhones ? alignerOf(model) : nullptr;
    if (!aligner) {
        alignTranscriptWith(model, false, source, transcript, listener, stop);
        return;
    }
    const auto lock = aligner->lock();
    alignTranscriptWith(*aligner, true, source, transcript, listener, stop);
}

}  // namespace phonemes::engine
