#pragma once

// What the two synthesisers say they spoke, in our phone names: the reference the engine
// benchmark scores recognised times against.

#include <vector>

#include "flite_voice.h"
#include "speech_synth.h"
#include "timing_scores.h"

namespace phonemes::bench {

// What a synthesiser says it spoke, in our names.
struct Reference {
    std::vector<TimedPhone> words;
    std::vector<TimedPhone> phones;
};

// espeak-ng's event for an unvoiced stop marks its release; the closure before it, a stretch of
// exact zeros in its output, goes with the phone before. The acoustic model, like flite, counts
// the closure as part of the stop, so the stop's start is moved back to where the silence
// begins (no further than `earliestMs`, the start of the phone before). A release without such
// a silence just before it keeps its time.
int closureStartMs(const engine::testing::SynthesizedSpeech& speech, int releaseMs, int earliestMs);

// espeak-ng's phones in our names, each with the start of the event it came from (an event
// that maps to two phones times only the first), unvoiced stops from their closure. Pauses map
// to nothing. Words by their word events; espeak-ng has none for some short words ("on the" is
// one event).
Reference espeakReference(const engine::testing::SynthesizedSpeech& speech);

// flite's phones are CMU's in lower case, as the dictionary's; its schwa "ax" is the
// dictionary's AH.
Reference fliteReference(const FliteSpeech& speech);

}  // namespace phonemes::bench
