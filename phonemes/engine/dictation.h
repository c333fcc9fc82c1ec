#pragma once

#include <stop_token>

#include "audio_source.h"
#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// Free dictation over the whole source with the language model, cut into phrases at pauses
// (Recognizer::recognizeDictation). With alignPhones the phones of each phrase's words are
// aligned against its audio in a second pass. Needs the model's lock.
void dictate(SpeechModel& model, bool alignPhones, AudioSource& source,
             RecognitionListener& listener, std::stop_token stop);

}  // namespace phonemes::engine
