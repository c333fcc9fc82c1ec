#pragma once

// The in-process recogniser (CLSID_SpInprocRecognizer), backed by the speech model of the thread
// that creates it: its contexts, its input stream and its state decide when recognition runs,
// and that thread's cancellation (thread_cancellation.h) ends its recognitions early.

#include <cstdint>

#include "com.h"

namespace phonemes {

// Factory of CLSID_SpInprocRecognizer. The speech model is loaded on the first creation on the
// calling thread; when it cannot be loaded, creation fails (E_FAIL).
HRESULT createInprocRecognizer(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                               void** object);

}  // namespace phonemes
