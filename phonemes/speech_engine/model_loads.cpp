#include "model_loads.h"

#include "platform.h"

namespace phonemes {

bool LoadSlots::acquire(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (stop.stop_requested() || !freed_.wait(lock, stop, [this] { return free_ > 0; })) {
        return false;
    }
    --free_;
    return true;
}

void LoadSlots::release() {
    {
        std::lock_guard lock(mutex_);
        ++free_;
    }
    freed_.notify_one();
}

engine::SpeechModel* modelForThisThread(std::stop_token stop) {
    thread_local engine::SpeechModel* loaded = nullptr;
    if (loaded != nullptr) {
        return loaded;
    }
    static LoadSlots slots(usableCoreCount());
    if (!slots.acquire(std::move(stop))) {
        return nullptr;
    }
    struct Slot {
        ~Slot() { slots.release(); }
    } slot;
    loaded = &engine::SpeechModel::forThisThread();
    return loaded;
}

}  // namespace phonemes
