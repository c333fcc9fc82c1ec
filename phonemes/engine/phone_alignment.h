#pragma once

#include <span>
#include <stop_token>
#include <vector>

#include "phrase_builder.h"
#include "speech_model.h"

namespace phonemes::engine {

// Aligns the phones of words already placed, each with the pronunciation it was found with,
// against audio whose start is the frame the words count from; the words get their phones
// when every one of them is placed. The caller sets the normalisation; the model is left with
// the phone grammar as its search.
void alignPhonesOf(SpeechModel& model, std::vector<PlacedWord>& placed,
                   std::span<const std::int16_t> audio, const std::stop_token& stop);

}  // namespace phonemes::engine
