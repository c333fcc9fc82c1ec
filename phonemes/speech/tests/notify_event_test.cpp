// The notification event that real recognisers signal from their own threads.
#include <gtest/gtest.h>

#include <thread>

#include "notify_event.h"
#include "speech_api.h"

namespace phonemes {
namespace {

TEST(NotifyEvent, SignalGivenBeforeTheWaitIsKeptUntilOneWaitTakesIt) {
    NotifyEvent event;
    event.signal();
    event.signal();  // signals do not add up
    EXPECT_EQ(event.wait(0), S_OK);
    EXPECT_EQ(event.wait(10), S_FALSE);
}

TEST(NotifyEvent, UnsignalledWaitTimesOut) {
    NotifyEvent event;
    EXPECT_EQ(event.wait(20), S_FALSE);
}

TEST(NotifyEvent, SignalFromAnotherThreadEndsAnEndlessWait) {
    NotifyEvent event;
    std::thread recogniser([&event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.signal();
    });
    EXPECT_EQ(event.wait(INFINITE), S_OK);
    recogniser.join();
}

}  // namespace
}  // namespace phonemes
