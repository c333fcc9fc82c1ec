#include "recognition_engine.h"

#include <system_error>
#include <utility>

#include "reco_result.h"

namespace phonemes {
namespace {

// Stream number of every event: a recogniser reads one input stream at a time.
constexpr std::uint32_t kStreamNumber = 1;

// Turns what the recogniser finds into events on the context's queue, on the engine thread.
class EventPoster final : public engine::RecognitionListener {
  public:
    explicit EventPoster(std::shared_ptr<EventQueue> events) : events_(std::move(events)) {}

    void onHypothesis(const std::string& text) override {
        postResult(SPEI_HYPOTHESIS, makeHypothesisResult(text), lastPhraseEnd_);
    }

    void onPhrase(const engine::RecognizedPhrase& phrase, engine::PhraseKind kind) override {
        lastPhraseEnd_ = phrase.streamStart + phrase.streamSize;
        postResult(
            kind == engine::PhraseKind::kRecognition ? SPEI_RECOGNITION : SPEI_FALSE_RECOGNITION,
            makePhraseResult(phrase), lastPhraseEnd_);
    }

    void onEndOfStream(std::uint64_t streamSize) override {
        ended_ = true;
        SPEVENT event{};
        event.eEventId = SPEI_END_SR_STREAM;
        event.ulStreamNum = kStreamNumber;
        event.ullAudioStreamOffset = streamSize;
        events_->post(event);
    }

    bool ended() const { return ended_; }

  private:
    // A result that could not be made (no memory) leaves an event without payload, which its
    // user skips; the event itself still tells that a phrase was heard.
    void postResult(SPEVENTENUM id, ISpRecoResult* result, std::uint64_t streamOffset) {
        SPEVENT event{};
        event.eEventId = id;
        event.ulStreamNum = kStreamNumber;
        event.ullAudioStreamOffset = streamOffset;
        if (result != nullptr) {
            setEventObject(event, SPET_LPARAM_IS_OBJECT, result);
        }
        events_->post(event);
    }

    std::shared_ptr<EventQueue> events_;
    std::uint64_t lastPhraseEnd_ = 0;  // bytes of the stream
    bool ended_ = false;
};

// The body of the engine thread: one recognition of the whole source. It stops early when its
// owner stops it (stop) or when it is cancelled.
void recognize(std::stop_token stop, engine::SpeechModel& model, engine::RecognizerOptions options,
               std::unique_ptr<engine::AudioSource> source, GrammarActivation activation,
               std::stop_token cancellation) {
    std::stop_source stopOrCancel;
    const auto forward = [&stopOrCancel] { stopOrCancel.request_stop(); };
    const std::stop_callback onStop(stop, forward);
    const std::stop_callback onCancel(cancellation, forward);

    EventPoster poster(std::move(activation.events));
    try {
        engine::Recognizer recognizer(model, options);
        if (activation.dictation) {
            recognizer.recognizeDictation(*source, poster, stopOrCancel.get_token());
        } else {
            recognizer.recognizeTranscript(*source, activation.transcript, poster,
                                           stopOrCancel.get_token());
        }
    } catch (...) {
        // Falls through: a recognition that breaks off ends its stream with what it found.
    }
    // Whoever waits for the end of the stream must not wait for ever, unless the owner stopped
    // the recognition and waits for the thread instead.
    if (!stop.stop_requested() && !poster.ended()) {
        try {
            poster.onEndOfStream(0);
        } catch (...) {
        }
    }
}

}  // namespace

RecognitionEngine::~RecognitionEngine() {
    shutDown();
}

HRESULT RecognitionEngine::setInput(std::unique_ptr<engine::AudioSource> source) {
    std::lock_guard lock(mutex_);
    stopRun();
    source_ = std::move(source);
    return startIfReady();
}

HRESULT RecognitionEngine::setActive(bool active) {
    std::lock_guard lock(mutex_);
    active_ = active;
    if (!active) {
        stopRun();
        return S_OK;
    }
    return startIfReady();
}

void RecognitionEngine::setOptions(engine::RecognizerOptions options) {
    std::lock_guard lock(mutex_);
    options_ = options;
}

engine::RecognizerOptions RecognitionEngine::options() {
    std::lock_guard lock(mutex_);
    return options_;
}

HRESULT RecognitionEngine::activate(GrammarActivation activation) {
    std::lock_guard lock(mutex_);
    if (activation_) {
        if (activation_->owner != activation.owner) {
            return E_FAIL;
        }
        if (run_.joinable()) {
            return S_OK;  // already listening for this grammar
        }
    }
    activation_ = std::move(activation);
    return startIfReady();
}

void RecognitionEngine::deactivate(const void* owner) {
    std::lock_guard lock(mutex_);
    if (activation_ && activation_->owner == owner) {
        stopRun();
        activation_.reset();
    }
}

void RecognitionEngine::shutDown() {
    std::lock_guard lock(mutex_);
    stopRun();
    activation_.reset();
    source_.reset();
    active_ = false;
}

HRESULT RecognitionEngine::startIfReady() {
    if (!active_ || !activation_ || !source_ || run_.joinable()) {
        return S_OK;
    }
    try {
        run_ = std::jthread(recognize, std::ref(model_), options_, std::move(source_),
                            *activation_, cancellation_);
    } catch (const std::system_error&) {
        return E_FAIL;  // no thread to run on; the input went with the attempt
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void RecognitionEngine::stopRun() {
    // The engine thread never takes mutex_, so waiting for it here cannot deadlock.
    if (run_.joinable()) {
        run_.request_stop();
        run_.join();
    }
}

}  // namespace phonemes
