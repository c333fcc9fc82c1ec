#pragma once

// The in-process recogniser (CLSID_SpInprocRecognizer), backed by the process's shared speech
// model: its contexts, its input stream and its state decide when recognition runs.

#include <cstdint>

#include "com.h"

namespace phonemes {

// Factory of CLSID_SpInprocRecognizer. The speech model is loaded on the first creation in the
// process; when it cannot be loaded, creation fails (E_FAIL).
HRESULT createInprocRecognizer(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                               void** object);

}  // namespace phonemes
