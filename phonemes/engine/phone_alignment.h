#pragma once

#include <span>
#include <stop_token>
#include <vector>

#include "phrase_builder.h"
#include "speech_model.h"

namespace phonemes::engine {

// The model's aligner (SpeechModel::aligner), or none when it cannot be loaded: phones are then
// spread by weight.
SpeechModel* alignerOf(SpeechModel& model);

// Aligns the phones of words already placed, each with the pronunciation it was found with,
// against audio whose start is the frame the words count from; the words get their phones
// when every one of them is placed. The caller sets the normalisation; the model is left with
// the phone grammar as its search.
void alignPhonesOf(SpeechModel& model, std::vector<PlacedWord>& placed,
                   std::span<const std::int16_t> audio, const std::stop_token& stop);

}  // namespace phonemes::engine
