#include "recognizer.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

#include "phrase_cutter.h"
#include "pronunciation.h"
#include "speech_model.h"

namespace phonemes::engine {

namespace {

// Audio is read in blocks of 100 ms; the stop request is looked at between blocks.
constexpr std::size_t kReadBlockSamples = kModelSampleRate / 10;
// Partial results are looked at after every 300 ms of audio.
constexpr std::uint64_t kHypothesisIntervalSamples = 3 * kModelSampleRate / 10;
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

// A decoded word with the text it is shown with.
struct PlacedWord {
    DecodedSegment segment;
    std::string text;
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
            const std::uint64_t first = sampleAt(startSample, endSample, word.segment.firstFrame);
            const std::uint64_t last =
                std::max(first, sampleAt(startSample, endSample, word.segment.lastFrame + 1));
            RecognizedWord recognized;
            recognized.text = word.text;
            recognized.phones = phonesOf(word.segment.word);
            recognized.startSample = first;
            recognized.sampleCount = last - first;
            const std::uint64_t firstByte = source_.byteOffsetOf(first);
            recognized.streamOffset = firstByte - phraseByte;
            recognized.streamSize = source_.byteOffsetOf(last) - firstByte;
            if (!phrase.text.empty()) {
                phrase.text += ' ';
            }
            phrase.text += recognized.text;
            phrase.words.push_back(std::move(recognized));
        }
        return phrase;
    }

  private:
    // Frame f of a phrase begins f x 10 ms after the phrase's first sample. No offset is added:
    // the benchmark finds word starts placed so within a few ms of the synthesiser's own word
    // events on average.
    static std::uint64_t sampleAt(std::uint64_t startSample, std::uint64_t endSample, int frame) {
        const std::int64_t offset = static_cast<std::int64_t>(frame) * SpeechModel::kFrameSamples;
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

// Passes on partial results at intervals, and only when they have changed.
class HypothesisReporter {
  public:
    using ShownText = std::function<std::string(const std::string& decoded)>;

    HypothesisReporter(RecognitionListener& listener, ShownText shownText)
        : listener_(listener), shownText_(std::move(shownText)) {}

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
        const std::string text = shownText_(model.partialText());
        if (!text.empty() && text != last_) {
            last_ = text;
            listener_.onHypothesis(text);
        }
    }

  private:
    RecognitionListener& listener_;
    ShownText shownText_;
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
                  std::stop_token stop)
        : model_(model),
          hypotheses_(listener, std::move(shownText)),
          openingSamples_(openingSamples),
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
        healthy_ = model_.beginPhrase();
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
    std::stop_token stop_;
    std::vector<std::int16_t> opening_;
    bool open_ = false;
    bool started_ = false;
    bool healthy_ = false;
};

// Decodes each phrase that the cutter finds with the language model.
class DictationSink : public PhraseSink {
  public:
    DictationSink(SpeechModel& model, const AudioSource& source, RecognitionListener& listener,
                  std::stop_token stop)
        : model_(model),
          builder_(model, source),
          listener_(listener),
          stop_(stop),
          phrase_(
              model, listener, [](const std::string& decoded) { return decoded; }, 0, stop) {}

    void phraseBegins(std::uint64_t startSample) override {
        startSample_ = startSample;
        phrase_.begin();
    }

    void phraseAudio(std::span<const std::int16_t> samples) override { phrase_.feed(samples); }

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
                    placed.push_back({std::move(segment), std::move(text)});
                }
            }
        }
        const RecognizedPhrase phrase = builder_.build(placed, startSample_, endSample);
        listener_.onPhrase(
            phrase, placed.empty() ? PhraseKind::kFalseRecognition : PhraseKind::kRecognition);
    }

  private:
    SpeechModel& model_;
    PhraseBuilder builder_;
    RecognitionListener& listener_;
    std::stop_token stop_;
    PhraseDecoder phrase_;
    std::uint64_t startSample_ = 0;
};

// Only notes whether the source holds speech anywhere, by the same rule that opens phrases.
class SpeechPresence : public PhraseSink {
  public:
    void phraseBegins(std::uint64_t) override { found = true; }
    void phraseAudio(std::span<const std::int16_t>) override {}
    void phraseEnds(std::uint64_t) override {}

    bool found = false;
};

// The transcript's words in the order the decoder placed them, as far as they match.
std::vector<PlacedWord> placeTranscript(const std::vector<DecodedSegment>& segments,
                                        const std::vector<TranscriptWord>& words) {
    std::vector<PlacedWord> placed;
    for (const DecodedSegment& segment : segments) {
        if (segment.filler) {
            continue;
        }
        if (placed.size() == words.size() ||
            plainWord(segment.word) != words[placed.size()].dictionaryWord) {
            break;
        }
        placed.push_back({segment, words[placed.size()].written});
    }
    return placed;
}

std::string writtenPrefix(const std::vector<TranscriptWord>& words, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min(count, words.size()); ++i) {
        if (!text.empty()) {
            text += ' ';
        }
        text += words[i].written;
    }
    return text;
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
    DictationSink sink(model_, source, listener, stop);
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

void Recognizer::recognizeTranscript(AudioSource& source, std::string_view transcript,
                                     RecognitionListener& listener, std::stop_token stop) {
    const auto lock = model_.lock();
    std::vector<TranscriptWord> words;
    std::vector<std::string> dictionaryWords;
    for (TranscriptWord& word : splitTranscript(transcript)) {
        // A word without any pronunciation cannot be listened for; it is left out.
        if (ensurePronunciation(model_, word.dictionaryWord)) {
            dictionaryWords.push_back(word.dictionaryWord);
            words.push_back(std::move(word));
        }
    }
    model_.beginFile();
    PhraseDecoder phrase(
        model_, listener,
        [&words](const std::string& decoded) { return writtenPrefix(words, countWords(decoded)); },
        kOpeningSamples, stop);
    if (!words.empty() && model_.useWordSequence(dictionaryWords)) {
        phrase.begin();
    }

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
        phrase.feed(samples);
        total += count;
    }
    cutter.finish();
    phrase.flush();
    if (stop.stop_requested()) {
        return;
    }

    // The best path before the end may stop short of the grammar's end; it is what could be
    // placed when the whole transcript cannot be.
    const std::vector<DecodedSegment> partial =
        phrase.decoding() ? model_.partialSegments() : std::vector<DecodedSegment>{};
    const bool decoded = phrase.end();
    std::vector<PlacedWord> placed =
        decoded ? placeTranscript(model_.finalSegments(), words) : std::vector<PlacedWord>{};
    const bool complete = !words.empty() && placed.size() == words.size();
    if (!complete) {
        placed = placeTranscript(partial, words);
    }
    if (presence.found) {
        const RecognizedPhrase result = PhraseBuilder(model_, source).build(placed, 0, total);
        listener.onPhrase(result,
                          complete ? PhraseKind::kRecognition : PhraseKind::kFalseRecognition);
    }
    listener.onEndOfStream(source.byteOffsetOf(total));
}

}  // namespace phonemes::engine
