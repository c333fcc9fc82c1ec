#pragma once

// The queue behind a recognition context: the engine thread posts events into it, the context's
// user fetches them on its own thread. It owns the payload of every queued event, tells the
// user about new events through the notification that the context set up, and frees whatever
// is still queued when the context goes.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "com.h"
#include "notify_event.h"
#include "speech_api.h"

namespace phonemes {

// A context's interest until SetInterest changes it: final recognitions only.
inline constexpr std::uint64_t kDefaultInterest = SPFEI_FLAGCHECK | SPFEI(SPEI_RECOGNITION);

class EventQueue {
  public:
    EventQueue() = default;
    ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // Takes over the event's payload. The event is queued when the queued interest asks for
    // it, and the notification is given when the event interest asks for it; a payload that is
    // not queued, or arrives after close(), is released at once.
    void post(SPEVENT event);

    // Both masks must carry SPFEI_FLAGCHECK, and only events of interest may be queued.
    HRESULT setInterest(std::uint64_t eventInterest, std::uint64_t queuedInterest);
    // Moves up to count events to the caller, who then owns their payloads.
    HRESULT fetch(ULONG count, SPEVENT* events, ULONG* fetched);

    // Notification by an event object of the queue's own; events already queued signal it.
    void useNotifyEvent();
    // Notification through a sink, or (null) none at all.
    void useNotifySink(ISpNotifySink* sink);
    // Blocks until events have been queued since the last wait; fails without a notify event.
    HRESULT waitForNotification(std::uint32_t milliseconds);

    // Frees every queued payload; later posts are released as they arrive.
    void close();

    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::deque<SPEVENT> events_;
    std::uint64_t eventInterest_ = kDefaultInterest;
    std::uint64_t queuedInterest_ = kDefaultInterest;
    std::shared_ptr<NotifyEvent> notifyEvent_;
    ComPtr<ISpNotifySink> sink_;
    bool closed_ = false;
};

}  // namespace phonemes
