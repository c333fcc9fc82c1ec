#pragma once

#include <string>
#include <vector>

namespace phonemes::engine {

class SpeechModel;

// Pronunciations that speakers use in connected speech and the dictionary lacks, made from the
// dictionary's own (each in its phone symbols separated by spaces): a word-final t or d after
// another consonant is often not said at all ("and" as AH N, "last" as L AE S). Only those not
// among `pronunciations` already, in a fixed order.
std::vector<std::string> spokenVariantsOf(const std::vector<std::string>& pronunciations);

// Adds the spoken variants of a word the dictionary has as pronunciations of its own
// ("and(3)"), once: a later call finds them there. Needs the model's lock.
void ensureSpokenVariants(SpeechModel& model, const std::string& dictionaryWord);

}  // namespace phonemes::engine
