#pragma once

// A speech model takes a good part of a second to load, and a load cannot be cancelled half-way.
// With more workers than cores, loading every worker's model at once would only make each load
// slower, and a stop would wait for all of them. So models load on at most as many threads at
// once as the process may use cores, and a thread whose work is stopped while it waits for its
// turn gives up without loading.

#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "engine/speech_model.h"

namespace phonemes {

// A fixed number of slots, taken and given back by any thread.
class LoadSlots {
  public:
    explicit LoadSlots(unsigned count) : free_(count) {}

    // Takes a slot, waiting while none is free. False, without a slot, when the stop is
    // requested first (or already was).
    bool acquire(std::stop_token stop);
    void release();

  private:
    std::mutex mutex_;
    std::condition_variable_any freed_;
    unsigned free_;
};

// The calling thread's own model (SpeechModel::forThisThread). Its first load waits for one of
// the process's load slots, one per usable core; null when the stop came first. Throws what
// loading throws; a later call tries again.
engine::SpeechModel* modelForThisThread(std::stop_token stop);

}  // namespace phonemes
