#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// Audio is read in blocks of 100 ms; the stop request is looked at between blocks.
constexpr std::size_t kReadBlockSamples = kModelSampleRate / 10;
// Partial results are looked at after every 300 ms of audio.
constexpr std::uint64_t kHypothesisIntervalSamples = 3 * kModelSampleRate / 10;

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

// The opening of a file (or of a stretch of a long one) that sets the normalisation for its
// alignment: long enough for a steady average, short enough to hold back in memory. (Dictation
// adapts the normalisation as it goes instead: measuring each phrase first makes its search
// markedly slower.)
constexpr std::size_t kOpeningSamples = 5 * kModelSampleRate;

// Hears nothing: for a pass whose hypotheses are not passed on (a second pass over audio whose
// hypotheses were passed on already, or a stretch of a longer alignment).
class NoListener : public RecognitionListener {
  public:
    void onHypothesis(const std::string&) override {}
    void onPhrase(const RecognizedPhrase&, PhraseKind) override {}
    void onEndOfStream(std::uint64_t) override {}
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
// nothing when the decoder fails, no path reaches the end or a stop is requested. With
// `bestPath`, that also receives the best path at the phrase's last frame wherever it ends in
// the search (SpeechModel::partialSegments), or nothing on a failure or a stop.
std::vector<DecodedSegment> decodeWholePhrase(SpeechModel& model,
                                              std::span<const std::int16_t> audio,
                                              const std::stop_token& stop,
                                              std::vector<DecodedSegment>* bestPath = nullptr);

}  // namespace phonemes::engine
