#include "phrase_builder.h"

#include <algorithm>
#include <optional>

namespace phonemes::engine {

namespace {

// How frames of a phrase map onto its samples: frame f begins f x frameSamples after the
// phrase's first sample, and a boundary at frame f is put `shift` samples later.
struct FrameScale {
    int frameSamples = SpeechModel::kFrameSamples;
    std::int64_t shift = 0;
};

// A frame's features come from a window that starts at the frame (24 ms long on the aligner).
// A phone is put 10.3 ms after its first frame begins, shortly before the centre of that window:
// on real read speech labelled by hand, later shifts put more phone starts near the labels
// (tuned on half of its speakers, checked on the other half), and this is the latest that keeps
// the synthetic voices' word starts near their own. (Word starts of the word pass are left where
// they were: the benchmark finds them within a few ms of the synthesiser's word events.)
constexpr std::int64_t kPhoneBoundaryShiftSamples = 165;

// Samples [first, last) of the model stream.
struct Stretch {
    std::uint64_t first = 0;
    std::uint64_t last = 0;

    std::uint64_t count() const { return last - first; }
    std::uint64_t bytes(const AudioSource& source) const {
        return source.byteOffsetOf(last) - source.byteOffsetOf(first);
    }
};

// The sample where frame f of a phrase begins, kept inside the phrase.
std::uint64_t sampleAt(std::uint64_t startSample, std::uint64_t endSample, int frame,
                       FrameScale scale) {
    const std::int64_t offset = static_cast<std::int64_t>(frame) * scale.frameSamples + scale.shift;
    const std::int64_t length = static_cast<std::int64_t>(endSample - startSample);
    return startSample + static_cast<std::uint64_t>(std::clamp<std::int64_t>(offset, 0, length));
}

// Frames firstFrame to lastFrame (inclusive) of the phrase, kept inside it.
Stretch stretchOf(int firstFrame, int lastFrame, FrameScale scale, std::uint64_t startSample,
                  std::uint64_t endSample) {
    const std::uint64_t first = sampleAt(startSample, endSample, firstFrame, scale);
    return {first, std::max(first, sampleAt(startSample, endSample, lastFrame + 1, scale))};
}

}  // namespace

std::string plainWord(std::string_view word) {
    if (word.size() > 2 && word.back() == ')') {
        const std::size_t open = word.rfind('(');
        if (open != std::string_view::npos && open > 0) {
            return std::string(word.substr(0, open));
        }
    }
    return std::string(word);
}

RecognizedPhrase PhraseBuilder::build(const std::vector<PlacedWord>& placed,
                                      std::uint64_t startSample, std::uint64_t endSample) const {
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
        const FrameScale scale =
            timedPhones ? FrameScale{word.phoneFrameSamples, kPhoneBoundaryShiftSamples}
                        : FrameScale{word.segmentFrameSamples, 0};
        const Stretch stretch = stretchOf(firstFrame, lastFrame, scale, startSample, endSample);
        recognized.startSample = stretch.first;
        recognized.sampleCount = stretch.count();
        recognized.streamOffset = source_.byteOffsetOf(stretch.first) - phraseByte;
        recognized.streamSize = stretch.bytes(source_);
        if (timedPhones) {
            for (const PathPhone& phone : word.phones) {
                const Stretch s =
                    stretchOf(phone.firstFrame, phone.lastFrame, scale, startSample, endSample);
                recognized.phoneSpans.push_back({s.first, s.count(),
                                                 source_.byteOffsetOf(s.first) - phraseByte,
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

std::vector<PhoneId> PhraseBuilder::phonesOf(const std::string& word) const {
    const std::optional<std::string> pronunciation = model_.pronunciationOf(word);
    if (!pronunciation) {
        return {};
    }
    return phoneIdsOfPronunciation(*pronunciation).value_or(std::vector<PhoneId>{});
}

}  // namespace phonemes::engine
