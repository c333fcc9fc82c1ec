#include "stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace phonemes {

StopSignals::StopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    sigemptyset(&signals_);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A blocked signal is kept pending even when the process ignores it (as a shell does
        // for SIGINT in a job started with '&'), so an ignored one is left out altogether.
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
            sigaddset(&signals_, signal);
        }
    }
    signalFd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || stopFd_ < 0) {
        return;  // left to their usual action, which ends the process
    }
    ::pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    try {
        watcher_ = std::thread(&StopSignals::watch, this);
    } catch (const std::system_error&) {
        // Still blocked: a signal that arrives now is handed over at the end.
    }
}

StopSignals::~StopSignals() {
    if (watcher_.joinable()) {
        const std::uint64_t wake = 1;
        while (::write(stopFd_, &wake, sizeof wake) < 0 && errno == EINTR) {
        }
        watcher_.join();
    }
    if (signalFd_ >= 0 && stopFd_ >= 0) {
        const timespec now{};
        for (int signal; (signal = ::sigtimedwait(&signals_, nullptr, &now)) > 0;) {
            onSignal_(signal);
        }
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    for (int fd : {signalFd_, stopFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void StopSignals::watch() {
    pollfd watched[] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    while (true) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            onSignal_(static_cast<int>(info.ssi_signo));
        }
    }
}

}  // namespace phonemes
