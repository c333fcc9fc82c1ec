#pragma once

// The recognition context: the event queue with its interest and notification, and the maker
// of grammars. It keeps its recogniser alive, and frees the events still queued when it goes.

#include <memory>

#include "com.h"
#include "recognition_engine.h"
#include "speech_api.h"

namespace phonemes {

// A new context of the recogniser, handed out in *context with one reference.
HRESULT createRecoContext(ComPtr<ISpRecognizer> recognizer,
                          std::shared_ptr<RecognitionEngine> engine, ISpRecoContext** context);

}  // namespace phonemes
