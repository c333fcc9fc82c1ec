#include "stop_signals.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <vector>

namespace phonemes {
namespace {

// In a child process, whose exit status is the first signal the callback saw (0 for none):
// SIGHUP, SIGINT and then SIGTERM are sent while StopSignals lives, and none may end the
// process. They are sent in the order of their numbers, in which signals pending together are
// read, so the first one seen is the same however soon the watcher reads. A signal the process
// ignores stays ignored, as a shell ignores SIGINT in a job started with '&' and nohup ignores
// SIGHUP.
TEST(StopSignals, HandsOverSignalsButLeavesIgnoredOnesIgnored) {
    const struct {
        const char* name;
        std::vector<int> ignored;
        int firstSeen;
    } cases[] = {
        {"all caught", {}, SIGHUP},
        {"SIGHUP ignored", {SIGHUP}, SIGINT},
        {"SIGHUP and SIGINT ignored", {SIGHUP, SIGINT}, SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (const int signal : c.ignored) {
                ::signal(signal, SIG_IGN);
            }
            std::atomic<int> first{0};
            {
                const StopSignals signals([&first](int signal) {
                    int none = 0;
                    first.compare_exchange_strong(none, signal);
                });
                ::kill(::getpid(), SIGHUP);
                ::kill(::getpid(), SIGINT);
                ::kill(::getpid(), SIGTERM);
            }  // a signal that the watcher has not read yet is handed over here
            ::_exit(first);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), c.firstSeen);
    }
}

}  // namespace
}  // namespace phonemes
