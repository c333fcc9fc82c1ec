#include "long_alignment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "phrase_builder.h"
#include "phrase_cutter.h"
#include "phrase_decoder.h"
#include "pronunciation.h"
#include "transcript_grammar.h"

namespace phonemes::engine {

namespace {

// A stretch is given more of the transcript than its length at the remaining words' average
// rate would hold, since speakers speed up and slow down: this share more, and a few words.
// (Every word more in the grammar costs time in every frame; a window that proves too short is
// widened below.)
constexpr double kWordWindowSlack = 1.3;
constexpr std::size_t kSpareWords = 8;
// A stretch that places every word it was given may hold more: it is aligned again with twice
// the words, this many times at most.
constexpr int kMaxWidenings = 3;
// A stretch that places none of the words it was given is aligned again from up to this many
// points further on in its window.
constexpr std::size_t kSkipTries = 4;

// A pause's cut lies half the cutter's pause into its silence (PauseFinder). A word that the
// stretch's open end placed more than a tenth of a second into that silence may be a later word
// of the transcript put in the pause: it is left to the next stretch, which hears what follows.
constexpr std::uint64_t kPauseKeepMargin =
    PhraseCutter::kPauseFrames / 2 * kDetectorFrameSamples - kModelSampleRate / 10;

// Where the audio pauses, and whether it holds speech at all, by the rule that cuts phrases.
class PauseFinder : public PhraseSink {
  public:
    void phraseBegins(std::uint64_t startSample) override {
        found = true;
        phraseStart_ = startSample;
    }
    void phraseAudio(std::span<const std::int16_t>) override {}
    void phraseEnds(std::uint64_t endSample) override {
        // A phrase shorter than the cutter's long ones ended after a pause of kPauseFrames: the
        // cut goes into the middle of that pause. A long one may have ended inside speech.
        if (endSample - phraseStart_ < PhraseCutter::kLongPhraseFrames * kDetectorFrameSamples) {
            cuts.push_back(endSample - PhraseCutter::kPauseFrames / 2 * kDetectorFrameSamples);
        }
    }

    // The last cut in (after, upTo], if any.
    std::optional<std::uint64_t> lastCutIn(std::uint64_t after, std::uint64_t upTo) const {
        for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut) {
            if (*cut <= after) {
                break;
            }
            if (*cut <= upTo) {
                return *cut;
            }
        }
        return std::nullopt;
    }
    void forgetBefore(std::uint64_t sample) {
        while (!cuts.empty() && cuts.front() < sample) {
            cuts.pop_front();
        }
    }

    std::deque<std::uint64_t> cuts;  // in order
    bool found = false;

  private:
    std::uint64_t phraseStart_ = 0;
};

// The source's audio from the stretch being aligned on, read only as far as a stretch needs.
// Everything read also goes through the phrase cutter.
class HeldAudio {
  public:
    HeldAudio(AudioSource& source, PhraseCutter& cutter) : source_(source), cutter_(cutter) {}

    // Reads until the audio before `end` is held or the source has ended.
    void readTo(std::uint64_t end, const std::stop_token& stop) {
        while (!ended_ && this->end() < end && !stop.stop_requested()) {
            const std::span<const std::int16_t> samples = readBlock();
            samples_.insert(samples_.end(), samples.begin(), samples.end());
        }
    }
    void forgetBefore(std::uint64_t sample) {
        const auto count = static_cast<std::size_t>(std::min(sample, end()) - first_);
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(count));
        first_ += count;
    }
    std::span<const std::int16_t> between(std::uint64_t first, std::uint64_t last) const {
        return std::span(samples_).subspan(static_cast<std::size_t>(first - first_),
                                           static_cast<std::size_t>(last - first));
    }
    // Reads the rest of the source through the cutter without holding it.
    void passOverTheRest(const std::stop_token& stop) {
        first_ = end();
        samples_ = {};
        while (!ended_ && !stop.stop_requested()) {
            first_ += readBlock().size();
        }
    }
    std::uint64_t end() const { return first_ + samples_.size(); }
    bool ended() const { return ended_; }

  private:
    // The next block of the source, passed through the cutter; empty at the source's end.
    std::span<const std::int16_t> readBlock() {
        const std::size_t count = source_.read(block_);
        if (count == 0) {
            ended_ = true;
            cutter_.finish();
        }
        const auto samples = std::span(block_).first(count);
        cutter_.push(samples);
        return samples;
    }

    AudioSource& source_;
    PhraseCutter& cutter_;
    std::array<std::int16_t, kReadBlockSamples> block_{};
    std::vector<std::int16_t> samples_;
    std::uint64_t first_ = 0;  // the sample of the stream that samples_ begins with
    bool ended_ = false;
};

// One stretch's audio against a grammar of its part of the transcript, on its own
// normalisation. The best path wherever it has got to at the stretch's end, as far as it
// matches the grammar; for the file's last stretch, the path to the grammar's end when one
// reaches it.
std::vector<PlacedWord> alignStretch(SpeechModel& model, const TranscriptGrammar& grammar,
                                     bool phonesAsWords, std::span<const std::int16_t> audio,
                                     bool lastStretch, const std::stop_token& stop) {
    model.beginFile();
    if (!grammar.use(model, phonesAsWords)) {
        return {};
    }
    model.normaliseTo(audio.first(std::min(audio.size(), kOpeningSamples)));
    std::vector<DecodedSegment> best;
    const std::vector<DecodedSegment> whole = decodeWholePhrase(model, audio, stop, &best);
    if (lastStretch) {
        std::vector<PlacedWord> placed = grammar.place(whole, phonesAsWords, model.frameSamples());
        if (grammar.completedBy(placed.size())) {
            return placed;
        }
    }
    return grammar.place(best, phonesAsWords, model.frameSamples());
}

std::string joinedWritten(const std::vector<TranscriptWord>& words, std::size_t first,
                          std::size_t count) {
    std::string text;
    for (std::size_t i = first; i < first + count; ++i) {
        if (!text.empty()) {
            text += ' ';
        }
        text += words[i].written;
    }
    return text;
}

// Moves a word placed in a stretch to the frames of the file.
void moveBy(PlacedWord& word, int frames) {
    word.segment.firstFrame += frames;
    word.segment.lastFrame += frames;
    for (PathPhone& phone : word.phones) {
        phone.firstFrame += frames;
        phone.lastFrame += frames;
    }
}

}  // namespace

bool isLongRecording(const AudioSource& source, const LongAlignmentLimits& limits) {
    const std::optional<std::uint64_t> samples = source.lengthInModelSamples();
    return samples && *samples > limits.oneStretchSamples;
}

void alignLongTranscript(SpeechModel& model, bool alignPhones, AudioSource& source,
                         std::string_view transcript, RecognitionListener& listener,
                         const std::stop_token& stop, const LongAlignmentLimits& limits) {
    const std::vector<TranscriptWord> words = splitTranscript(transcript);
    const std::uint64_t length = source.lengthInModelSamples().value_or(0);
    const auto frameSamples = static_cast<std::uint64_t>(model.frameSamples());
    PauseFinder pauses;
    PhraseCutter cutter(pauses);
    HeldAudio audio(source, cutter);

    std::vector<PlacedWord> placed;
    std::size_t next = 0;     // the first word of the transcript not placed yet
    std::uint64_t start = 0;  // where the next stretch begins: always on a frame boundary
    bool complete = words.empty();
    bool skipped = false;  // words of the transcript were passed over
    std::string shown;
    while (next < words.size()) {
        audio.readTo(start + limits.stretchSamples, stop);
        if (stop.stop_requested()) {
            return;
        }
        if (start >= audio.end()) {
            break;
        }
        const bool lastStretch = audio.ended() && audio.end() <= start + limits.stretchSamples;
        // A stretch that ends in a pause keeps every word before that pause: those words were
        // heard to their end and the silence after them. One that ends inside speech leaves its
        // last part to the next stretch.
        const std::optional<std::uint64_t> pause =
            lastStretch ? std::nullopt
                        : pauses.lastCutIn(start + limits.stretchSamples / 2,
                                           start + limits.stretchSamples);
        const std::uint64_t stretchEnd =
            lastStretch ? audio.end() : pause.value_or(start + limits.stretchSamples);
        const std::uint64_t keepUntil =
            lastStretch ? stretchEnd
            : pause     ? stretchEnd - kPauseKeepMargin
                        : pauses.lastCutIn(start, stretchEnd - limits.overlapSamples)
                          .value_or(stretchEnd - limits.overlapSamples);
        const std::span<const std::int16_t> stretch = audio.between(start, stretchEnd);

        // The words the rest of the file holds, spread evenly over the rest of its audio.
        const std::size_t left = words.size() - next;
        const double wordsPerSample =
            static_cast<double>(left) / static_cast<double>(std::max(length, stretchEnd) - start);
        std::size_t window = std::min(
            left, static_cast<std::size_t>(std::ceil(wordsPerSample * kWordWindowSlack *
                                                     static_cast<double>(stretch.size()))) +
                      kSpareWords);
        std::optional<TranscriptGrammar> grammar;
        std::vector<PlacedWord> found;
        std::size_t grammarFirst = next;  // the transcript word the grammar begins with
        const auto alignFrom = [&](std::size_t first) {
            grammarFirst = first;
            for (int widening = 0;; ++widening) {
                grammar.emplace(model, joinedWritten(words, first, window),
                                stretch.size() / SpeechModel::kFrameSamples + 1, alignPhones);
                found = alignStretch(model, *grammar, alignPhones, stretch, lastStretch, stop);
                const bool ranOut = found.size() == grammar->size() && !grammar->cut() &&
                                    first + window < words.size();
                if (!ranOut || widening == kMaxWidenings || stop.stop_requested()) {
                    break;
                }
                window = std::min(words.size() - first, window * 2);
            }
        };
        alignFrom(next);
        // A stretch in which the transcript's next words place nothing, though it holds speech,
        // is aligned again from further on in the transcript: those words were not spoken here
        // (or not as written), and the words after them may be. Words passed over leave the
        // record, as words that cannot be placed do.
        const std::size_t skipStep = std::max<std::size_t>(1, window / kSkipTries);
        for (std::size_t skip = skipStep;
             found.empty() && pauses.found && skip <= kSkipTries * skipStep &&
             next + skip < words.size() && !stop.stop_requested();
             skip += skipStep) {
            window = std::min(words.size() - next - skip, window);
            alignFrom(next + skip);
            if (!found.empty()) {
                next += skip;
                skipped = true;
            }
        }
        if (stop.stop_requested()) {
            return;
        }

        std::size_t kept = found.size();
        if (!lastStretch) {
            // The path's last word was placed with nothing after it to confirm it: the open end
            // may have squeezed it into the tail of the word before. It is aligned again with the
            // next stretch (unless it is the only word placed).
            const std::size_t confirmed = found.size() > 1 ? found.size() - 1 : found.size();
            kept = 0;
            while (kept < confirmed &&
                   start + (static_cast<std::uint64_t>(found[kept].segment.lastFrame) + 1) *
                               frameSamples <=
                       keepUntil) {
                ++kept;
            }
        }
        if (kept > 0) {
            const auto offset = static_cast<int>(start / frameSamples);
            start +=
                (static_cast<std::uint64_t>(found[kept - 1].segment.lastFrame) + 1) * frameSamples;
            next += grammar->transcriptWordsThrough(kept);
            complete =
                !skipped && (next == words.size() ||
                             (grammarFirst + window == words.size() && grammar->completedBy(kept)));
            for (std::size_t i = 0; i < kept; ++i) {
                shown += (shown.empty() ? "" : " ") + found[i].text;
                moveBy(found[i], offset);
                placed.push_back(std::move(found[i]));
            }
            listener.onHypothesis(shown);
        } else {
            // Nothing of the transcript begins before the kept part's end: go on after it.
            start = std::max(start + frameSamples, keepUntil / frameSamples * frameSamples);
        }
        if (lastStretch || complete) {
            break;
        }
        audio.forgetBefore(start);
        pauses.forgetBefore(start);
    }
    audio.passOverTheRest(stop);
    if (stop.stop_requested()) {
        return;
    }
    const std::uint64_t total = audio.end();
    if (pauses.found) {
        const RecognizedPhrase phrase = PhraseBuilder(model, source).build(placed, 0, total);
        listener.onPhrase(phrase,
                          complete ? PhraseKind::kRecognition : PhraseKind::kFalseRecognition);
    }
    listener.onEndOfStream(source.byteOffsetOf(total));
}

}  // namespace phonemes::engine
