#include "event_queue.h"

#include <utility>

#include "recognition_session.h"

namespace phonemes {
namespace {

bool wants(std::uint64_t interest, const SPEVENT& event) {
    return event.eEventId < 64 && (interest & SPFEI(event.eEventId)) != 0;
}

}  // namespace

EventQueue::~EventQueue() {
    close();
}

void EventQueue::post(SPEVENT event) {
    std::shared_ptr<NotifyEvent> notifyEvent;
    ComPtr<ISpNotifySink> sink;
    {
        std::lock_guard lock(mutex_);
        if (!closed_ && wants(eventInterest_, event)) {
            notifyEvent = notifyEvent_;
            if (sink_) {
                sink_->AddRef();
                sink = ComPtr<ISpNotifySink>::adopt(sink_.get());
            }
        }
        if (!closed_ && wants(queuedInterest_, event)) {
            events_.push_back(event);
            event = SPEVENT{};
        }
    }
    // Released and signalled outside the lock: a payload's release or a sink may call back.
    clearEvent(event);
    if (notifyEvent) {
        notifyEvent->signal();
    }
    if (sink) {
        sink->Notify();
    }
}

HRESULT EventQueue::setInterest(std::uint64_t eventInterest, std::uint64_t queuedInterest) {
    if ((eventInterest & SPFEI_FLAGCHECK) != SPFEI_FLAGCHECK ||
        (queuedInterest & SPFEI_FLAGCHECK) != SPFEI_FLAGCHECK ||
        (queuedInterest & ~eventInterest) != 0) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(mutex_);
    eventInterest_ = eventInterest;
    queuedInterest_ = queuedInterest;
    return S_OK;
}

HRESULT EventQueue::fetch(ULONG count, SPEVENT* events, ULONG* fetched) {
    if (events == nullptr || (fetched == nullptr && count != 1)) {
        return E_POINTER;
    }
    std::lock_guard lock(mutex_);
    ULONG moved = 0;
    for (; moved < count && !events_.empty(); ++moved) {
        events[moved] = events_.front();
        events_.pop_front();
    }
    if (fetched != nullptr) {
        *fetched = moved;
    }
    return moved == count ? S_OK : S_FALSE;
}

void EventQueue::useNotifyEvent() {
    std::shared_ptr<NotifyEvent> notifyEvent;
    {
        std::lock_guard lock(mutex_);
        if (!notifyEvent_) {
            notifyEvent_ = std::make_shared<NotifyEvent>();
        }
        sink_.reset();
        if (!events_.empty()) {
            notifyEvent = notifyEvent_;  // events that came before the wait are not missed
        }
    }
    if (notifyEvent) {
        notifyEvent->signal();
    }
}

void EventQueue::useNotifySink(ISpNotifySink* sink) {
    ComPtr<ISpNotifySink> previous;
    {
        std::lock_guard lock(mutex_);
        notifyEvent_.reset();
        if (sink != nullptr) {
            sink->AddRef();
        }
        previous = std::exchange(sink_, ComPtr<ISpNotifySink>::adopt(sink));
    }
}

HRESULT EventQueue::waitForNotification(std::uint32_t milliseconds) {
    std::shared_ptr<NotifyEvent> notifyEvent;
    {
        std::lock_guard lock(mutex_);
        notifyEvent = notifyEvent_;
    }
    if (!notifyEvent) {
        return SPERR_UNINITIALIZED;
    }
    // The lock is not held while waiting: the engine thread needs it to post.
    return notifyEvent->wait(milliseconds);
}

void EventQueue::close() {
    std::deque<SPEVENT> queued;
    ComPtr<ISpNotifySink> sink;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queued.swap(events_);
        sink = std::move(sink_);
    }
    for (SPEVENT& event : queued) {
        clearEvent(event);
    }
}

std::size_t EventQueue::size() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}

}  // namespace phonemes
