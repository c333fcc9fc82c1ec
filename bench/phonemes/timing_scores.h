#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/recognizer.h"

namespace phonemes::bench {

// A phone or word with its start, as a reference gives it or as the recogniser placed it.
struct TimedPhone {
    std::string name;  // our phone name, or a word's dictionary form
    int startMs = 0;   // -1: the reference gave this one no time of its own
};

// How recognised starts compare with the reference's.
struct Pairing {
    std::vector<int> errors;                  // recognised minus reference start, ms
    std::vector<std::string> referenceNames;  // the reference's name for each error
    std::size_t sameName = 0;                 // pairs whose names agree
};

// Stops (and the affricates) begin with a closure.
bool isStop(std::string_view phone);

// Pairs two sequences by an edit-distance alignment of their names and compares the starts of
// the pairs whose reference has a time: with substitutions, every aligned pair (a phone heard
// as a neighbour still marks the same stretch of sound); without, equal names only.
Pairing pairByAlignment(const std::vector<TimedPhone>& recognised,
                        const std::vector<TimedPhone>& reference, bool substitutions);
// The errors of the pairs whose reference phone is one that `chosen` picks.
std::vector<int> errorsWhere(const Pairing& pairing,
                             const std::function<bool(std::string_view)>& chosen);
// Adds the pairs of `more` to `into`.
void addPairs(Pairing& into, const Pairing& more);

std::vector<std::string> wordsOf(const std::string& text);
// Substitutions, insertions and deletions that turn the reference into the hypothesis.
int wordErrors(const std::string& reference, const std::string& hypothesis);

double shareWithin(const std::vector<int>& errors, int tolerance);
double mean(const std::vector<int>& values);
double meanAbsolute(const std::vector<int>& values);
// The middle value (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<int> values);

int msOf(std::uint64_t sample);

// A word's phones with starts spread over its duration by weight, in whole milliseconds as the
// program computes them.
std::vector<TimedPhone> spreadPhones(const engine::RecognizedWord& word);
// A word's phones as the program times them: from the phone pass when it placed them,
// otherwise spread over the word by weight.
std::vector<TimedPhone> timedPhones(const engine::RecognizedWord& word);

// The words (in their dictionary forms) and phones of recognised phrases with their starts, the
// phones timed as the program times them.
struct RecognisedTimes {
    std::vector<TimedPhone> words;
    std::vector<TimedPhone> phones;
};
RecognisedTimes timesOf(const std::vector<engine::RecognizedPhrase>& phrases);

}  // namespace phonemes::bench
