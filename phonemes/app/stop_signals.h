#pragma once

#include <functional>
#include <thread>

#include <signal.h>

namespace phonemes {

// While it lives, SIGINT, SIGTERM and SIGHUP (a closed terminal or ssh session) do not end the
// process at once: they are blocked on the calling thread and on every thread it starts from
// then on, and a watcher thread of its own hands each one that arrives to the callback, outside
// any signal handler, so the program can stop in good order. A signal that the process ignores stays ignored. At the end a signal
// still pending is handed over too, and the signals are unblocked again.
class StopSignals {
  public:
    explicit StopSignals(std::function<void(int signal)> onSignal);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    void watch();

    std::function<void(int)> onSignal_;
    sigset_t signals_;
    sigset_t previousMask_;
    int signalFd_ = -1;
    int stopFd_ = -1;  // written to end the watcher
    std::thread watcher_;
};

// The exit status of a program that a signal stopped: 128 + the signal's number, as shells
// report it (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).
constexpr int exitStatusForSignal(int signal) {
    return 128 + signal;
}

}  // namespace phonemes
