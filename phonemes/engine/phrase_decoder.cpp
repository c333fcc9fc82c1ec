#include "phrase_decoder.h"

#include <algorithm>

namespace phonemes::engine {

std::vector<DecodedSegment> decodeWholePhrase(SpeechModel& model,
                                              std::span<const std::int16_t> audio,
                                              const std::stop_token& stop,
                                              std::vector<DecodedSegment>* bestPath) {
    bool healthy = model.beginPhrase(SpeechModel::OpeningContext::kOwnFirstFrame);
    while (healthy && !audio.empty() && !stop.stop_requested()) {
        const auto block = audio.first(std::min(audio.size(), kReadBlockSamples));
        healthy = model.process(block);
        audio = audio.subspan(block.size());
    }
    if (bestPath) {
        *bestPath = healthy && !stop.stop_requested() ? model.partialSegments()
                                                      : std::vector<DecodedSegment>{};
    }
    const bool ended = model.endPhrase();
    if (!healthy || !ended || stop.stop_requested()) {
        return {};
    }
    return model.finalSegments();
}

}  // namespace phonemes::engine
