#include "phone_alignment.h"

#include <optional>
#include <string>

#include "phrase_decoder.h"

namespace phonemes::engine {

SpeechModel* alignerOf(SpeechModel& model) {
    try {
        return &model.aligner();
    } catch (const ModelLoadError&) {
        return nullptr;
    }
}

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
            placed[i].phoneFrameSamples = model.frameSamples();
        }
    }
}

}  // namespace phonemes::engine
