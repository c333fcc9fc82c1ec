#include "reco_context.h"

#include <utility>

#include "event_queue.h"
#include "reco_grammar.h"

namespace phonemes {
namespace {

class RecoContext final : public ComObject<ISpRecoContext> {
  public:
    RecoContext(ComPtr<ISpRecognizer> recognizer, std::shared_ptr<RecognitionEngine> engine)
        : recognizer_(std::move(recognizer)),
          engine_(std::move(engine)),
          events_(std::make_shared<EventQueue>()) {}

    // Grammars keep their context, so none of them is listening any more; whatever the engine
    // queued and nobody fetched goes now.
    ~RecoContext() override { events_->close(); }

    HRESULT SetNotifySink(ISpNotifySink* sink) override {
        events_->useNotifySink(sink);
        return S_OK;
    }
    HRESULT SetNotifyWin32Event() override {
        events_->useNotifyEvent();
        return S_OK;
    }
    HRESULT WaitForNotifyEvent(std::uint32_t milliseconds) override {
        return events_->waitForNotification(milliseconds);
    }
    HRESULT SetInterest(std::uint64_t eventInterest, std::uint64_t queuedInterest) override {
        return events_->setInterest(eventInterest, queuedInterest);
    }
    HRESULT GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override {
        return events_->fetch(count, events, fetched);
    }

    HRESULT CreateGrammar(std::uint64_t grammarId, ISpRecoGrammar** grammar) override {
        if (grammar == nullptr) {
            return E_POINTER;
        }
        AddRef();
        return createRecoGrammar(ComPtr<ISpRecoContext>::adopt(this), engine_, events_, grammarId,
                                 grammar);
    }

  private:
    ComPtr<ISpRecognizer> recognizer_;  // held only to keep it: its engine outlives the context
    std::shared_ptr<RecognitionEngine> engine_;
    std::shared_ptr<EventQueue> events_;
};

}  // namespace

HRESULT createRecoContext(ComPtr<ISpRecognizer> recognizer,
                          std::shared_ptr<RecognitionEngine> engine, ISpRecoContext** context) {
    if (context == nullptr) {
        return E_POINTER;
    }
    void* created = nullptr;
    const HRESULT status = createComObject<RecoContext>(IID_ISpRecoContext, &created,
                                                        std::move(recognizer), std::move(engine));
    *context = static_cast<ISpRecoContext*>(created);
    return status;
}

}  // namespace phonemes
