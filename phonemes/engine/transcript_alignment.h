#pragma once

#include <stop_token>
#include <string_view>

#include "audio_source.h"
#include "long_alignment.h"
#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// The transcript's words aligned to the whole source as one phrase
// (Recognizer::recognizeTranscript). With alignPhones the grammar is made of the words' phones,
// so that the pass that places the words places their phones too. A recording longer than
// `limits` allow for one stretch is aligned stretch by stretch. Needs the model's lock.
void alignTranscript(SpeechModel& model, bool alignPhones, AudioSource& source,
                     std::string_view transcript, RecognitionListener& listener,
                     std::stop_token stop, const LongAlignmentLimits& limits = {});

}  // namespace phonemes::engine
