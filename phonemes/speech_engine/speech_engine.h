#pragma once

// The recogniser behind the speech platform layer: registers the engine's objects for the
// platform's class ids, so that the layer's users create them by class id.

namespace phonemes {

// Registers the in-process recogniser (its contexts, grammars and results come from it), the
// file stream, and the American English phone converter with its token ("Language=409"). Call
// once per process, and again after resetSpeechRegistry.
void registerSpeechEngine();

}  // namespace phonemes
