#include "com.h"

#include <cstdlib>

#include "speech_registry.h"

namespace phonemes {
namespace {

// Initialisations of the component system on this thread; objects are created while it is
// above zero.
thread_local int comInitialisations = 0;

std::atomic<std::size_t> liveTaskMemBlocks{0};

}  // namespace

HRESULT CoInitialize(void* /*reserved*/) {
    return comInitialisations++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (comInitialisations > 0) {
        --comInitialisations;
    }
}

void* CoTaskMemAlloc(std::size_t size) {
    // A zero-sized request still yields a block of its own, which must be freed like any other.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        liveTaskMemBlocks.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

void CoTaskMemFree(void* block) {
    if (block != nullptr) {
        liveTaskMemBlocks.fetch_sub(1, std::memory_order_relaxed);
        std::free(block);
    }
}

std::size_t taskMemBlocksInUse() {
    return liveTaskMemBlocks.load(std::memory_order_relaxed);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t classContext, REFIID iid,
                         void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (comInitialisations == 0) {
        return CO_E_NOTINITIALIZED;
    }
    const ClassFactory factory = findClassFactory(clsid);
    if (!factory) {
        return REGDB_E_CLASSNOTREG;
    }
    return factory(outer, classContext, iid, object);
}

}  // namespace phonemes
