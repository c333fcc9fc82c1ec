#include "phrase_builder.h"

#include <algorithm>
#include <optional>

namespace phonemes::engine {

namespace {

// A frame's features come from a 25.6 ms window that starts at the frame, so a change between
// frames f - 1 and f lies best between their windows' centres, 7.8 ms after frame f begins.
// (Word starts of the word pass are left where they were: the benchmark finds them within a few
// ms of the synthesiser's word events.)
constexpr std::int64_t kPhoneBoundaryShiftSamples = 125;

// Samples [first, last) of the model stream.
struct Stretch {
    std::uint64_t first = 0;
    std::uint64_t last = 0;

    std::uint64_t count() const { return last - first; }
    std::uint64_t bytes(const AudioSource& source) const {
        return source.byteOffsetOf(last) - source.byteOffsetOf(first);
    }
};

// Frame f of a phrase begins f x 10 ms after the phrase's first sample, moved by `shift`.
std::uint64_t sampleAt(std::uint64_t startSample, std::uint64_t endSample, int frame,
                       std::int64_t shift) {
    const std::int64_t offset =
        static_cast<std::int64_t>(frame) * SpeechModel::kFrameSamples + shift;
    const std::int64_t length = static_cast<std::int64_t>(endSample - startSample);
    return startSample + static_cast<std::uint64_t>(std::clamp<std::int64_t>(offset, 0, length));
}

// Frames firstFrame to lastFrame (inclusive) of the phrase, kept inside it.
Stretch stretchOf(int firstFrame, int lastFrame, std::int64_t shift, std::uint64_t startSample,
                  std::uint64_t endSample) {
    const std::uint64_t first = sampleAt(startSample, endSample, firstFrame, shift);
    return {first, std::max(first, sampleAt(startSample, endSample, lastFrame + 1, shift))};
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
        const std::int64_t shift = timedPhones ? kPhoneBoundaryShiftSamples : 0;
        const Stretch stretch = stretchOf(firstFrame, lastFrame, shift, startSample, endSample);
        recognized.startSample = stretch.first;
        recognized.sampleCount = stretch.count();
        recognized.streamOffset = source_.byteOffsetOf(stretch.first) - phraseByte;
        recognized.streamSize = stretch.bytes(source_);
        if (timedPhones) {
            for (const PathPhone& phone : word.phones) {
                const Stretch s =
                    stretchOf(phone.firstFrame, phone.lastFrame, shift, startSample, endSample);
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
