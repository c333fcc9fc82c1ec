#pragma once

#include <string>
#include <vector>

#include "pronunciation.h"

namespace phonemes::engine {

class SpeechModel;

// Pronunciations that speakers use in connected speech and the dictionary lacks, made from the
// dictionary's own (each in its phone symbols separated by spaces): a word-final t or d after
// another consonant is often not said at all ("and" as AH N, "last" as L AE S). Only those not
// among `pronunciations` already, in a fixed order.
std::vector<std::string> spokenVariantsOf(const std::vector<std::string>& pronunciations);

// Every pronunciation of a word the dictionary has (pronunciationVariants), followed by its
// spoken variants, which are added to the dictionary as pronunciations of their own ("and(3)")
// the first time: a later call finds them there. Needs the model's lock.
std::vector<PronunciationVariant> pronunciationsWithSpokenVariants(
    SpeechModel& model, const std::string& dictionaryWord);

}  // namespace phonemes::engine
