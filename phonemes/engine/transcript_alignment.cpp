#include "transcript_alignment.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "phone_alignment.h"
#include "phrase_builder.h"
#include "phrase_cutter.h"
#include "phrase_decoder.h"
#include "transcript_grammar.h"

namespace phonemes::engine {

namespace {

// A transcript's audio is held for a second pass up to this length, that of the longest phrase.
constexpr std::size_t kMaxHeldSamples = PhraseCutter::kMaxPhraseFrames * kDetectorFrameSamples;

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
// A long recording is aligned stretch by stretch (alignLongTranscript) instead.
void alignTranscript(SpeechModel& model, bool alignPhones, AudioSource& source,
                     std::string_view transcript, RecognitionListener& listener,
                     std::stop_token stop, const LongAlignmentLimits& limits) {
    const auto align = [&](SpeechModel& on, bool phones) {
        if (isLongRecording(source, limits)) {
            alignLongTranscript(on, phones, source, transcript, listener, stop, limits);
        } else {
            alignTranscriptWith(on, phones, source, transcript, listener, stop);
        }
    };
    SpeechModel* aligner = alignPhones ? alignerOf(model) : nullptr;
    if (!aligner) {
        align(model, false);
        return;
    }
    const auto lock = aligner->lock();
    align(*aligner, true);
}

}  // namespace phonemes::engine
