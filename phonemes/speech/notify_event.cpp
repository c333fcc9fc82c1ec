#include "notify_event.h"

#include <chrono>

#include "speech_api.h"

namespace phonemes {

void NotifyEvent::signal() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    signalled_.notify_one();
}

HRESULT NotifyEvent::wait(std::uint32_t milliseconds) {
    std::unique_lock lock(mutex_);
    const auto isSet = [this] { return set_; };
    if (milliseconds == INFINITE) {
        signalled_.wait(lock, isSet);
    } else if (!signalled_.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
        return S_FALSE;
    }
    set_ = false;
    return S_OK;
}

}  // namespace phonemes
