#pragma once

// The event object behind a notify source's SetNotifyWin32Event: the recogniser's threads
// signal it whenever they queue events, and WaitForNotifyEvent blocks on it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "com.h"

namespace phonemes {

// An auto-reset event: a signal stays set until one wait consumes it, so a signal given
// before the wait starts is not lost.
class NotifyEvent {
  public:
    void signal();
    // S_OK once signalled, S_FALSE when the time ran out first; INFINITE waits without limit.
    HRESULT wait(std::uint32_t milliseconds);

  private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool set_ = false;
};

}  // namespace phonemes
