#pragma once

// The result objects that recognition events carry: a final phrase with its times and words,
// or a hypothesis that has only its text so far.

#include <cstddef>
#include <string>

#include "engine/audio_source.h"
#include "engine/recognizer.h"
#include "speech_api.h"

namespace phonemes {

// A new result with one reference for a phrase the recogniser finished: times from the start of
// the stream, element offsets and sizes in bytes of the stream's own format (as GetFormat gives
// it). Null when memory runs out.
ISpRecoResult* makePhraseResult(const engine::RecognizedPhrase& phrase);

// A new result with one reference for a hypothesis: it has a text, but no times or words yet.
ISpRecoResult* makeHypothesisResult(const std::string& text);

// Results not yet released, over the whole process.
std::size_t recoResultsAlive();

}  // namespace phonemes
