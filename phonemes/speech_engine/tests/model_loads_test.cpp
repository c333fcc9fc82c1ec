// Loads of the speech model: at most as many at once as there are slots, and none started for
// work that was stopped, so that a stop never waits for more loads than there are cores.
#include "model_loads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "test_support.h"
#include "thread_cancellation.h"

namespace phonemes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(LoadSlots, AWaiterGetsAFreedSlotOrGivesUpWhenStopped) {
    LoadSlots slots(1);
    std::stop_source never;
    ASSERT_TRUE(slots.acquire(never.get_token()));

    // Every slot taken: the waiter gets the one given back.
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        waiting.set_value();
        return slots.acquire(never.get_token());
    });
    waiting.get_future().wait();
    slots.release();
    EXPECT_TRUE(waiter.get());

    // Every slot taken again: a stop ends the wait without one.
    std::stop_source stop;
    auto stopped = std::async(std::launch::async, [&] { return slots.acquire(stop.get_token()); });
    stop.request_stop();
    EXPECT_FALSE(stopped.get());

    // A stop that came before is not waited for, and a free slot is not taken for it.
    slots.release();
    EXPECT_FALSE(slots.acquire(stop.get_token()));
    EXPECT_TRUE(slots.acquire(never.get_token()));
}

// The real model, but its acoustic model's definition is a named pipe: a load that opens it
// waits there until the test writes the real file into the pipe, so the test sees every load
// that begins and still lets it end well.
class PipeModel : public testing::EngineTest {
  protected:
    static constexpr const char* kRealModel = "/usr/share/pocketsphinx/model/en-us";

    void SetUp() override {
        testing::EngineTest::SetUp();
        fs::create_directory(dir_ / "en-us");
        for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(kRealModel) / "en-us")) {
            if (entry.path().filename() != "mdef") {
                fs::create_symlink(entry.path(), dir_ / "en-us" / entry.path().filename());
            }
        }
        for (const char* part : {"en-us.lm.bin", "cmudict-en-us.dict"}) {
            fs::create_symlink(fs::path(kRealModel) / part, dir_ / part);
        }
        ASSERT_EQ(::mkfifo(pipe().c_str(), 0600), 0);
        if (const char* previous = std::getenv("PHONEMES_MODEL_DIR")) {
            previous_ = previous;
        }
        ::setenv("PHONEMES_MODEL_DIR", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (previous_) {
            ::setenv("PHONEMES_MODEL_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("PHONEMES_MODEL_DIR");
        }
        testing::EngineTest::TearDown();
    }

    fs::path pipe() const { return dir_ / "en-us" / "mdef"; }

    // Feeds the real file to a load that has the pipe open; true when there was one.
    bool feedAWaitingLoad() {
        // Opening for writing without waiting succeeds only while a reader has the pipe open.
        const int fd = ::open(pipe().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        ::fcntl(fd, F_SETFL, 0);
        const std::string bytes = testing::readFile(fs::path(kRealModel) / "en-us" / "mdef");
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (written <= 0) {
                break;  // the reader went away (SIGPIPE is ignored while the test runs)
            }
            done += static_cast<std::size_t>(written);
        }
        ::close(fd);
        return true;
    }

    testing::TempDir dir_;
    std::optional<std::string> previous_;
};

// A thread whose work is stopped makes no recogniser and starts no load of its model.
TEST_F(PipeModel, AStoppedThreadStartsNoLoad) {
    std::atomic<bool> done{false};
    HRESULT status = S_OK;
    std::thread worker([&] {
        std::stop_source stop;
        stop.request_stop();
        setThreadCancellation(stop.get_token());
        CoInitialize(nullptr);
        void* created = nullptr;
        status = CoCreateInstance(CLSID_SpInprocRecognizer, nullptr, CLSCTX_ALL,
                                  ISpRecognizer::kIid, &created);
        if (created != nullptr) {
            static_cast<ISpRecognizer*>(created)->Release();
        }
        CoUninitialize();
        setThreadCancellation({});
        done = true;
    });
    const auto previousPipeAction = ::signal(SIGPIPE, SIG_IGN);
    bool loadStarted = false;
    while (!done) {
        loadStarted = feedAWaitingLoad() || loadStarted;
        std::this_thread::sleep_for(10ms);
    }
    ::signal(SIGPIPE, previousPipeAction);
    worker.join();
    EXPECT_FALSE(loadStarted);
    EXPECT_EQ(status, E_FAIL);
}

}  // namespace
}  // namespace phonemes
