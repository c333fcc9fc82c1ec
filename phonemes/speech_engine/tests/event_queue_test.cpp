#include "event_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "reco_result.h"
#include "recognition_session.h"

namespace phonemes {
namespace {

constexpr std::uint64_t kSessionInterest = kInterestMask;

SPEVENT hypothesisEvent(const std::string& text) {
    SPEVENT event{};
    event.eEventId = SPEI_HYPOTHESIS;
    setEventObject(event, SPET_LPARAM_IS_OBJECT, makeHypothesisResult(text));
    return event;
}

SPEVENT eventWithResult(std::uint16_t id) {
    SPEVENT event = hypothesisEvent("payload");
    event.eEventId = id;
    return event;
}

SPEVENT endOfStreamEvent() {
    SPEVENT event{};
    event.eEventId = SPEI_END_SR_STREAM;
    return event;
}

class EventQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resultsBefore_ = recoResultsAlive();
        ASSERT_EQ(queue_.setInterest(kSessionInterest, kSessionInterest), S_OK);
    }
    std::size_t resultsHeld() const { return recoResultsAlive() - resultsBefore_; }

    EventQueue queue_;
    std::size_t resultsBefore_ = 0;
};

TEST_F(EventQueueTest, EventsOutsideTheInterestAreReleasedAtOnce) {
    queue_.post(eventWithResult(SPEI_SOUND_START));
    queue_.post(eventWithResult(SPEI_PHRASE_START));
    queue_.post(hypothesisEvent("hello"));

    EXPECT_EQ(queue_.size(), 1u);
    EXPECT_EQ(resultsHeld(), 1u);
    SPEVENT event{};
    ASSERT_EQ(queue_.fetch(1, &event, nullptr), S_OK);
    EXPECT_EQ(event.eEventId, SPEI_HYPOTHESIS);
    clearEvent(event);
    EXPECT_EQ(resultsHeld(), 0u);
}

TEST_F(EventQueueTest, FetchingMovesEventsOutInOrder) {
    SPEVENT events[3] = {};
    EXPECT_EQ(queue_.fetch(1, events, nullptr), S_FALSE) << "an empty queue";
    EXPECT_EQ(queue_.fetch(2, events, nullptr), E_POINTER) << "several need a fetched count";

    queue_.post(hypothesisEvent("one"));
    queue_.post(endOfStreamEvent());
    ULONG fetched = 99;
    EXPECT_EQ(queue_.fetch(3, events, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(events[0].eEventId, SPEI_HYPOTHESIS);
    EXPECT_EQ(events[1].eEventId, SPEI_END_SR_STREAM);
    EXPECT_EQ(queue_.size(), 0u);
    EXPECT_EQ(resultsHeld(), 1u) << "the fetched event owns its result now";
    clearEvent(events[0]);
    EXPECT_EQ(resultsHeld(), 0u);
}

TEST_F(EventQueueTest, EventsQueuedBeforeTheWaitAreNotMissed) {
    EXPECT_EQ(queue_.waitForNotification(0), SPERR_UNINITIALIZED) << "no notify event yet";
    queue_.post(hypothesisEvent("early"));
    queue_.useNotifyEvent();
    EXPECT_EQ(queue_.waitForNotification(0), S_OK);
    EXPECT_EQ(queue_.waitForNotification(0), S_FALSE) << "one signal wakes one wait";

    queue_.post(endOfStreamEvent());
    EXPECT_EQ(queue_.waitForNotification(0), S_OK);

    queue_.useNotifySink(nullptr);
    EXPECT_EQ(queue_.waitForNotification(0), SPERR_UNINITIALIZED) << "notification removed";
}

TEST_F(EventQueueTest, AWaitBlocksUntilAnotherThreadPosts) {
    queue_.useNotifyEvent();
    std::thread engine([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue_.post(endOfStreamEvent());
    });
    EXPECT_EQ(queue_.waitForNotification(INFINITE), S_OK);
    engine.join();
    EXPECT_EQ(queue_.size(), 1u);
}

TEST_F(EventQueueTest, ClosingFreesQueuedPayloadsAndEverythingPostedLater) {
    queue_.post(hypothesisEvent("one"));
    queue_.post(eventWithResult(SPEI_RECOGNITION));
    queue_.post(eventWithResult(SPEI_FALSE_RECOGNITION));
    ASSERT_EQ(resultsHeld(), 3u);

    queue_.close();
    EXPECT_EQ(resultsHeld(), 0u);
    queue_.post(eventWithResult(SPEI_RECOGNITION));
    EXPECT_EQ(resultsHeld(), 0u);
    EXPECT_EQ(queue_.size(), 0u);
}

TEST_F(EventQueueTest, InterestMustCarryTheFlagCheckAndCoverTheQueuedEvents) {
    EXPECT_EQ(queue_.setInterest(SPFEI(SPEI_RECOGNITION), SPFEI(SPEI_RECOGNITION)), E_INVALIDARG);
    EXPECT_EQ(queue_.setInterest(SPFEI_FLAGCHECK | SPFEI(SPEI_RECOGNITION),
                                 SPFEI_FLAGCHECK | SPFEI(SPEI_HYPOTHESIS)),
              E_INVALIDARG);
    // A notification without queuing: the event wakes the waiter but is not kept.
    ASSERT_EQ(queue_.setInterest(SPFEI_FLAGCHECK | SPFEI(SPEI_HYPOTHESIS), SPFEI_FLAGCHECK), S_OK);
    queue_.useNotifyEvent();
    queue_.post(hypothesisEvent("heard"));
    EXPECT_EQ(queue_.waitForNotification(0), S_OK);
    EXPECT_EQ(queue_.size(), 0u);
    EXPECT_EQ(resultsHeld(), 0u);
}

}  // namespace
}  // namespace phonemes
