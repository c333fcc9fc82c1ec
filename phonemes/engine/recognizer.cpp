#include "recognizer.h"

#include "dictation.h"
#include "speech_model.h"
#include "transcript_alignment.h"

namespace phonemes::engine {

Recognizer::Recognizer(SpeechModel& model, RecognizerOptions options)
    : model_(model), options_(options) {}

void Recognizer::recognizeDictation(AudioSource& source, RecognitionListener& listener,
                                    std::stop_token stop) {
    const auto lock = model_.lock();
    dictate(model_, options_.alignPhones, source, listener, std::move(stop));
}

void Recognizer::recognizeTranscript(AudioSource& source, std::string_view transcript,
                                     RecognitionListener& listener, std::stop_token stop) {
    const auto lock = model_.lock();
    alignTranscript(model_, options_.alignPhones, source, transcript, listener, std::move(stop));
}

}  // namespace phonemes::engine
