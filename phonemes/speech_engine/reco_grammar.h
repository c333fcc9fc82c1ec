#pragma once

// Grammars of a recognition context: free dictation, or rules whose one path is a sequence of
// words (a known transcript). Activating either asks the recogniser to listen for it.

#include <cstdint>
#include <memory>

#include "com.h"
#include "event_queue.h"
#include "recognition_engine.h"
#include "speech_api.h"

namespace phonemes {

// A new grammar of the context, handed out in *grammar with one reference. Its recognitions
// are posted to `events`.
HRESULT createRecoGrammar(ComPtr<ISpRecoContext> context, std::shared_ptr<RecognitionEngine> engine,
                          std::shared_ptr<EventQueue> events, std::uint64_t grammarId,
                          ISpRecoGrammar** grammar);

}  // namespace phonemes
