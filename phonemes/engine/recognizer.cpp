#include "recognizer.h"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <optional>

#include "phone_path.h"
#include "phrase_cutter.h"
#include "pronunciation.h"
#include "speech_model.h"

namespace phonemes::engine {

namespace {

// Audio is read in blocks of 100 ms; the stop request is looked at between blocks.
constexpr std::size_t kReadBlockSamples = kModelSampleRate / 10;
// Partial results are looked at after every 300 ms of audio.
constexpr std::uint64_t kHypothesisIntervalSamples = 3 * kModelSampleRate / 10;
// A frame's features come from a 25.6 ms window that starts at the frame, so a change between
// frames f - 1 and f lies best between their windows' centres, 7.8 ms after frame f begins.
// (Word starts of the word pass are left where they were: the benchmark finds them within a few
// ms of the synthesiser's word events.)
constexpr std::int64_t kPhoneBoundaryShiftSamples = 125;
// A transcript's audio is held for a second pass up to this length, that of the longest phrase.
constexpr std::size_t kMaxHeldSamples = PhraseCutter::kMaxPhraseFrames * kDetectorFrameSamples;
// The opening of a file that sets the normalisation for its alignment: long enough for a
// steady average, short enough to hold back in memory. (Dictation adapts the normalisation as
// it goes instead: measuring each phrase first makes its search markedly slower.)
constexpr std::size_t kOpeningSamples = 5 * kModelSampleRate;

// "read(2)" is the dictionary's second pronunciation of "read".
std::string plainWord(std::string_view word) {
    if (word.size() > 2 && word.back() == ')') {
        const std::size_t open = word.rfind('(');
        if (open != std::string_view::npos && open > 0) {
            return std::string(word.substr(0, open));
        }
    }
    return std::string(word);
}

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

// A decoded word with the text it is shown with, and its phones where a phone pass placed them.
struct PlacedWord {
    DecodedSegment segment;
    std::string text;
    std::vector<PathPhone> phones;
};

// Turns decoded words into a phrase with times in samples and in bytes of the source stream.
class PhraseBuilder {
  public:
    PhraseBuilder(const SpeechModel& model, const AudioSource& source)
        : model_(model), source_(source) {}

    RecognizedPhrase build(const std::vector<PlacedWord>& placed, std::uint64_t startSample,
                           std::uint64_t endSample) const {
        RecognizedPhrase phrase;
        phrase.startSample = startSample;
        phrase.sampleCount = endSample - startSample;
        const std::uint64_t phraseByte = source_.byteOffsetOf(startSample);
        phrase.streamStart = phraseByte;
        phrase.streamSize = source_.byteOffsetOf(endSample) - phraseByte;
        for (const PlacedWord& word : placed) {
            RecognizedWord recognized;
            recognized.text = word.text;
            recognized.phones = phonesOf(word.segment.word);
            const bool timedPhones =
                !word.phones.empty() && word.phones.size() == recognized.phones.size();
            // Placed by its phones when it has them: from the first phone's start to the last
            // phone's end.
            const int firstFrame =
                timedPhones ? word.phones.front().firstFrame : word.segment.firstFrame;
            const int lastFrame = timedPhones ? word.phones.back().lastFrame : word.segment.lastFrame;
            const std::int64_t shift = timedPhones ? kPhoneBoundaryShiftSamples : 0;
            const Stretch stretch =
                stretchOf(firstFrame, lastFrame, shift, startSample, endSample);
            recognized.startSample = stretch.first;
            recognized.sampleCount = stretch.count();
            recognized.streamOffset = source_.byteOffsetOf(stretch.first) - phraseByte;
            recognized.streamSize = stretch.bytes(source_);
            if (timedPhones) {
                for (const PathPhone& phone : word.phones) {
                    const Stretch s = stretchOf(phone.firstFrame, phone.lastFrame, shift,
                                                startSample, endSample);
                    recognized.phoneSpans.push_back(
                        {s.first, s.count(), source_.byteOffsetOf(s.first) - phraseByte,
                         s.bytes(source_)});
                }
            }
            if (!phrase.text.empty()) {
                phrase.text += ' ';
            }
            phrase.text += recognized.text;
            phrase.words.push_back(std::move(recognized));
        }
        return phrase;
    }

  private:
    // Samples [first, last) of the model stream.
    struct Stretch {
        std::uint64_t first = 0;
        std::uint64_t last = 0;

        std::uint64_t count() const { return last - first; }
        std::uint64_t bytes(const AudioSource& source) const {
            return source.byteOffsetOf(last) - source.byteOffsetOf(first);
        }
    };

    // Frames firstFrame to lastFrame (inclusive) of the phrase, kept inside it.
    static Stretch stretchOf(int firstFrame, int lastFrame, std::int64_t shift,
                             std::uint64_t startSample, std::uint64_t endSample) {
        const std::uint64_t first = sampleAt(startSample, endSample, firstFrame, shift);
        return {first, std::max(first, sampleAt(startSample, endSample, lastFrame + 1, shift))};
    }

    // Frame f of a phrase begins f x 10 ms after the phrase's first sample, moved by `shift`.
    static std::uint64_t sampleAt(std::uint64_t startSample, std::uint64_t endSample, int frame,
                                  std::int64_t shift) {
        const std::int64_t offset =
            static_cast<std::int64_t>(frame) * SpeechModel::kFrameSamples + shift;
        const std::int64_t length = static_cast<std::int64_t>(endSample - startSample);
        return startSample +
               static_cast<std::uint64_t>(std::clamp<std::int64_t>(offset, 0, length));
    }

    std::vector<PhoneId> phonesOf(const std::string& word) const {
        const std::optional<std::string> pronunciation = model_.pronunciationOf(word);
        if (!pronunciation) {
            return {};
        }
        return phoneIdsOfPronunciation(*pronunciation).value_or(std::vector<PhoneId>{});
    }

    const SpeechModel& model_;
    const AudioSource& source_;
};

// Passes on partial results at intervals, and only when they have changed. `atInterval`, when
// given, is called at the same intervals.
class HypothesisReporter {
  public:
    using ShownText = std::function<std::string(const std::string& decoded)>;

    HypothesisReporter(RecognitionListener& listener, ShownText shownText,
                       std::function<void()> atInterval)
        : listener_(listener),
          shownText_(std::move(shownText)),
          atInterval_(std::move(atInterval)) {}

    void reset() {
        samplesSinceCheck_ = 0;
        last_.clear();
    }
    void decoded(const SpeechModel& model, std::size_t samples) {
        samplesSinceCheck_ += samples;
        if (samplesSinceCheck_ < kHypothesisIntervalSamples) {
            return;
        }
        samplesSinceCheck_ = 0;
        if (atInterval_) {
            atInterval_();
        }
        const std::string text = shownText_(model.partialText());
        if (!text.empty() && text != last_) {
            last_ = text;
            listener_.onHypothesis(text);
        }
    }

  private:
    RecognitionListener& listener_;
    ShownText shownText_;
    std::function<void()> atInterval_;
    std::uint64_t samplesSinceCheck_ = 0;
    std::string last_;
};

// One phrase through the decoder, decoded in blocks with partial results between them until a
// stop is requested. Its first `openingSamples` may be held back until they can set the
// phrase's normalisation. A phrase left open by an early return is ended, so the decoder is
// ready for the next.
class PhraseDecoder {
  public:
    PhraseDecoder(SpeechModel& model, RecognitionListener& listener,
                  HypothesisReporter::ShownText shownText, std::size_t openingSamples,
                  SpeechModel::OpeningContext context, std::stop_token stop,
                  std::function<void()> atInterval = {})
        : model_(model),
          hypotheses_(listener, std::move(shownText), std::move(atInterval)),
          openingSamples_(openingSamples),
          context_(context),
          stop_(std::move(stop)) {}
    ~PhraseDecoder() {
        if (started_) {
            model_.endPhrase();
        }
    }
    PhraseDecoder(const PhraseDecoder&) = delete;
    PhraseDecoder& operator=(const PhraseDecoder&) = delete;

    void begin() {
        opening_.clear();
        hypotheses_.reset();
        open_ = true;
        if (openingSamples_ == 0) {
            flush();
        }
    }
    void feed(std::span<const std::int16_t> samples) {
        if (!open_) {
            return;
        }
        if (started_) {
            decode(samples);
            return;
        }
        opening_.insert(opening_.end(), samples.begin(), samples.end());
        if (opening_.size() >= openingSamples_) {
            flush();
        }
    }
    // All audio has been fed: decodes what is still held back.
    void flush() {
        if (!open_ || started_) {
            return;
        }
        started_ = true;
        if (openingSamples_ > 0) {
            model_.normaliseTo(opening_);
        }
        healthy_ = model_.beginPhrase(context_);
        decode(opening_);
        opening_.clear();
    }
    // True while the decoder has taken every sample so far.
    bool decoding() const { return open_ && started_ && healthy_; }
    // Ends the phrase; false when it was never begun or the decoder failed on the way.
    bool end() {
        if (!open_) {
            return false;
        }
        flush();
        open_ = false;
        started_ = false;
        return model_.endPhrase() && healthy_;
    }

  private:
    void decode(std::span<const std::int16_t> samples) {
        while (healthy_ && !samples.empty() && !stop_.stop_requested()) {
            const auto block = samples.first(std::min(samples.size(), kReadBlockSamples));
            healthy_ = model_.process(block);
            if (healthy_) {
                hypotheses_.decoded(model_, block.size());
            }
            samples = samples.subspan(block.size());
        }
    }

    SpeechModel& model_;
    HypothesisReporter hypotheses_;
    std::size_t openingSamples_;
    SpeechModel::OpeningContext context_;
    std::stop_token stop_;
    std::vector<std::int16_t> opening_;
    bool open_ = false;
    bool started_ = false;
    bool healthy_ = false;
};

// Decodes audio held in memory as one phrase with the current search: its final path, or
// nothing when the decoder fails, no path reaches the end or a stop is requested.
std::vector<DecodedSegment> decodeWholePhrase(SpeechModel& model,
                                              std::span<const std::int16_t> audio,
                                              const std::stop_token& stop) {
    bool healthy = model.beginPhrase(SpeechModel::OpeningContext::kOwnFirstFrame);
    while (healthy && !audio.empty() && !stop.stop_requested()) {
        const auto block = audio.first(std::min(audio.size(), kReadBlockSamples));
        healthy = model.process(block);
        audio = audio.subspan(block.size());
    }
    const bool ended = model.endPhrase();
    if (!healthy || !ended || stop.stop_requested()) {
        return {};
    }
    return model.finalSegments();
}

// Aligns the phones of words already placed, each with the pronunciation it was found with,
// against audio whose start is the frame the words count from; the words get their phones
// when every one of them is placed. The caller sets the normalisation; the model is left with
// the phone grammar as its search.
void alignPhonesOf(SpeechModel& model, std::vector<PlacedWord>& placed,
                   std::span<const std::int16_t> audio, const std::stop_token& stop) {
    std::vector<WordPronunciations> grammar;
    for (const PlacedWord& word : placed) {
        std::optional<std::string> pronunciation = model.pronunciationOf(word.segment.word);
        if (!pronunciation) {
            return;
        }
        grammar.push_back({std::move(*pronunciation)});
    }
    if (!model.usePhoneSequence(grammar)) {
        return;
    }
    const std::vector<PathWord> path =
        wordsOfPhonePath(decodeWholePhrase(model, audio, stop), grammar);
    if (path.size() == placed.size()) {
        for (std::size_t i = 0; i < placed.size(); ++i) {
            placed[i].phones = path[i].phones;
        }
    }
}

// Decodes each phrase that the cutter finds with the language model, and then, when phone
// times are asked for, aligns the phones of the words found against the phrase's audio. The
// phrase's audio is held for that second pass; the cutter bounds a phrase's length.
class DictationSink : public PhraseSink {
  public:
    DictationSink(SpeechModel& model, const AudioSource& source, RecognitionListener& listener,
                  std::stop_token stop, bool alignPhones)
        : model_(model),
          builder_(model, source),
          listener_(listener),
          stop_(stop),
          phrase_(
              model, listener, [](const std::string& decoded) { return decoded; }, 0,
              SpeechModel::OpeningContext::kStreamed, stop),
          alignPhones_(alignPhones) {}

    void phraseBegins(std::uint64_t startSample) override {
        startSample_ = startSample;
        if (alignPhones_) {
            audio_.clear();
            atPhraseStart_ = model_.normalisation();
        }
        phrase_.begin();
    }

    void phraseAudio(std::span<const std::int16_t> samples) override {
        phrase_.feed(samples);
        if (alignPhones_) {
            audio_.insert(audio_.end(), samples.begin(), samples.end());
        }
    }

    void phraseEnds(std::uint64_t endSample) override {
        const bool decoded = phrase_.end();
        if (stop_.stop_requested()) {
            return;
        }
        std::vector<PlacedWord> placed;
        if (decoded) {
            for (DecodedSegment& segment : model_.finalSegments()) {
                if (!segment.filler) {
                    std::string text = plainWord(segment.word);
                    placed.push_back({std::move(segment), std::move(text), {}});
                }
            }
        }
        if (alignPhones_ && !placed.empty()) {
            placePhones(placed);
            if (stop_.stop_requested()) {
                return;
            }
        }
        const RecognizedPhrase phrase = builder_.build(placed, startSample_, endSample);
        listener_.onPhrase(
            phrase, placed.empty() ? PhraseKind::kFalseRecognition : PhraseKind::kRecognition);
    }

  private:
    // The second pass: the pronunciations the words were found with, one after another, against
    // the same audio from the same normalisation. The normalisation the first pass ended with
    // is put back afterwards, so the next phrase is decoded as it would be without this pass.
    void placePhones(std::vector<PlacedWord>& placed) {
        const SpeechModel::Normalisation afterWords = model_.normalisation();
        model_.restoreNormalisation(atPhraseStart_);
        alignPhonesOf(model_, placed, audio_, stop_);
        model_.restoreNormalisation(afterWords);
        model_.useDictation();
    }

    SpeechModel& model_;
    PhraseBuilder builder_;
    RecognitionListener& listener_;
    std::stop_token stop_;
    PhraseDecoder phrase_;
    bool alignPhones_;
    std::uint64_t startSample_ = 0;
    std::vector<std::int16_t> audio_;
    SpeechModel::Normalisation atPhraseStart_;
};

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
    // whose shortest pronunciations fill `phoneBudget`.
    TranscriptGrammar(SpeechModel& model, std::string_view transcript, std::uint64_t phoneBudget) {
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
                 pronunciationVariants(model, word->dictionaryWord)) {
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
    std::vector<PlacedWord> place(const std::vector<DecodedSegment>& segments,
                                  bool phonesAsWords) const {
        return phonesAsWords ? placePhones(segments) : placeWords(segments);
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
            result.placed = grammar_.place(model_.finalSegments(), phonesAsWords_);
        }
        result.complete = grammar_.completedBy(result.placed.size());
        if (!result.complete) {
            result.placed = std::move(mostPlaced_);
        }
        return result;
    }

  private:
    void notePartialPath() {
        std::vector<PlacedWord> placed = grammar_.place(model_.partialSegments(), phonesAsWords_);
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
        audio.size(),
        static_cast<std::size_t>(placed.back().segment.lastFrame + 1) * SpeechModel::kFrameSamples);
    model.beginFile();
    model.normaliseTo(audio.first(std::min(audio.size(), kOpeningSamples)));
    alignPhonesOf(model, placed, audio.first(end), stop);
    return result;
}

}  // namespace

Recognizer::Recognizer(SpeechModel& model, RecognizerOptions options)
    : model_(model), options_(options) {}

void Recognizer::recognizeDictation(AudioSource& source, RecognitionListener& listener,
                                    std::stop_token stop) {
    const auto lock = model_.lock();
    if (!model_.useDictation()) {
        listener.onEndOfStream(0);
        return;
    }
    model_.beginFile();
    DictationSink sink(model_, source, listener, stop, options_.alignPhones);
    PhraseCutter cutter(sink);
    std::array<std::int16_t, kReadBlockSamples> block{};
    std::uint64_t total = 0;
    while (const std::size_t count = source.read(block)) {
        if (stop.stop_requested()) {
            return;
        }
        cutter.push(std::span(block).first(count));
        total += count;
    }
    cutter.finish();
    if (stop.stop_requested()) {
        return;
    }
    listener.onEndOfStream(source.byteOffsetOf(total));
}

// With phone times asked for, the transcript's grammar is made of phones, so the one pass that
// places the words also places their phones, and the audio need not be held for a second.
// Only when that pass cannot place the whole transcript, a phone grammar's best path may give up
// words that a word grammar keeps: then, for audio short enough to have been held, the words are
// also placed with the word grammar and their phones aligned in a further pass; the pass that
// placed more words wins, and a word grammar that places them all makes it a recognition.
void Recognizer::recognizeTranscript(AudioSource& source, std::string_view transcript,
                                     RecognitionListener& listener, std::stop_token stop) {
    const auto lock = model_.lock();
    const TranscriptGrammar grammar(model_, transcript, phonesTheAudioCanHold(source));
    // The passes that give phone times take a file's opening on its own audio alone; without
    // them the words are placed as they always were.
    const auto context = options_.alignPhones ? SpeechModel::OpeningContext::kOwnFirstFrame
                                              : SpeechModel::OpeningContext::kStreamed;
    TranscriptPass pass(model_, grammar, options_.alignPhones, context, listener, stop);
    std::vector<std::int16_t> held;
    bool holding = options_.alignPhones;

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
        TranscriptPass::Result byWords = placeWordsThenPhones(model_, grammar, held, stop);
        if (byWords.complete || byWords.placed.size() > result.placed.size()) {
            result = std::move(byWords);
        }
    }
    if (stop.stop_requested()) {
        return;
    }
    if (presence.found) {
        const RecognizedPhrase phrase = PhraseBuilder(model_, source).build(result.placed, 0, total);
        listener.onPhrase(phrase, result.complete ? PhraseKind::kRecognition
                                                  : PhraseKind::kFalseRecognition);
    }
    listener.onEndOfStream(source.byteOffsetOf(total));
}

}  // namespace phonemes::engine
