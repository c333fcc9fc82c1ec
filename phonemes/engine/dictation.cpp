#include "dictation.h"

#include <array>
#include <span>
#include <string>
#include <vector>

#include "phone_alignment.h"
#include "phrase_builder.h"
#include "phrase_cutter.h"
#include "phrase_decoder.h"

namespace phonemes::engine {

namespace {

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
    // The second pass: the pronunciations the words were found with, one after another,
    // against the phrase's audio on the aligner, normalised by the phrase's own average
    // spectrum. The language model's decoder is left as it was, so the next phrase is decoded
    // as it would be without this pass.
    void placePhones(std::vector<PlacedWord>& placed) {
        SpeechModel* aligner = alignerOf(model_);
        if (!aligner) {
            return;
        }
        const auto lock = aligner->lock();
        aligner->beginFile();
        aligner->normaliseTo(audio_);
        alignPhonesOf(*aligner, placed, audio_, stop_);
    }

    SpeechModel& model_;
    PhraseBuilder builder_;
    RecognitionListener& listener_;
    std::stop_token stop_;
    PhraseDecoder phrase_;
    bool alignPhones_;
    std::uint64_t startSample_ = 0;
    std::vector<std::int16_t> audio_;
};

}  // namespace

void dictate(SpeechModel& model, bool alignPhones, AudioSource& source,
             RecognitionListener& listener, std::stop_token stop) {
    if (!model.useDictation()) {
        listener.onEndOfStream(0);
        return;
    }
    model.beginFile();
    DictationSink sink(model, source, listener, stop, alignPhones);
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

}  // namespace phonemes::engine
