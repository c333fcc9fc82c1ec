#pragma once

// What runs recognition for one recogniser object: its input, its state, the grammar that is
// active, and the engine thread. A recognition starts on its own thread once the recogniser is
// active, has its input and has a grammar activated, in whatever order those came; it posts its
// events to the queue of the grammar's context. Stopping (a grammar deactivated or released, the
// recogniser made inactive, given new input or released) asks the thread to stop and waits for
// it, so no event is posted after that. An input is recognised once: its audio is read as it is
// decoded. A cancellation given at construction ends a running recognition early as well, but
// that one still posts the end of its stream, so whoever waits for it is not kept waiting.

#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "com.h"
#include "engine/audio_source.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "event_queue.h"

namespace phonemes {

// What an active grammar asks the recogniser to listen for.
struct GrammarActivation {
    const void* owner = nullptr;  // the rule or the dictation that was activated
    bool dictation = true;        // free dictation, or else the transcript
    std::string transcript;       // words separated by single spaces
    std::shared_ptr<EventQueue> events;
};

class RecognitionEngine {
  public:
    explicit RecognitionEngine(engine::SpeechModel& model, std::stop_token cancellation)
        : model_(model), cancellation_(std::move(cancellation)) {}
    ~RecognitionEngine();
    RecognitionEngine(const RecognitionEngine&) = delete;
    RecognitionEngine& operator=(const RecognitionEngine&) = delete;

    // Each of these may start the recognition; a failure status when its thread cannot start.
    // New input: a recognition still running on the old one is stopped first.
    HRESULT setInput(std::unique_ptr<engine::AudioSource> source);
    HRESULT setActive(bool active);
    // How the recognitions started from now on time their words' phones.
    void setOptions(engine::RecognizerOptions options);
    engine::RecognizerOptions options();
    // Fails when another rule or dictation is active already: one search runs at a time.
    HRESULT activate(GrammarActivation activation);
    // Stops the recognition if it listens for that owner.
    void deactivate(const void* owner);
    // Stops any recognition for good.
    void shutDown();

  private:
    HRESULT startIfReady();
    void stopRun();

    engine::SpeechModel& model_;
    std::stop_token cancellation_;
    std::mutex mutex_;
    std::unique_ptr<engine::AudioSource> source_;  // until a recognition takes it
    bool active_ = false;
    engine::RecognizerOptions options_;
    std::optional<GrammarActivation> activation_;
    std::jthread run_;
};

}  // namespace phonemes
