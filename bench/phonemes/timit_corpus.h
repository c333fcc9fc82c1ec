#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "timing_scores.h"

namespace phonemes::engine {
class SpeechModel;
}

namespace phonemes::bench {

// One utterance of a corpus in TIMIT's layout (speaker folders holding ID.wav, ID.phn, ID.wrd),
// with its hand labels in our phone names.
struct LabelledUtterance {
    std::string speaker;  // the folder's name: "dr1-fvmh0"
    std::string id;       // "sa1"
    std::filesystem::path audio;
    double seconds = 0.0;
    std::string hint;                // the words, lower case, without punctuation
    std::vector<TimedPhone> words;   // each word's start
    std::vector<TimedPhone> phones;  // each labelled phone's start, silences left out
    std::vector<TimedPhone> sounds;  // the same with each pause's start as "_"
};

// Looks a word up in the dictionary the recogniser uses: its pronunciations' phone symbols.
using PronunciationLookup = std::function<std::vector<std::string>(const std::string& word)>;

// TIMIT's 61 phones become our 40 as phoneticians map them: a closure and its release are one
// stop starting at the closure (a closure alone is that stop); ax, ax-h become ah, axr er, ix ih,
// ux uw, el l, em m, en n, eng ng, nx n, hv h; dx is t or d as the word's pronunciation has it;
// h#, pau and epi are silence; q joins the phone after it, and inside a word it is a t.
// With markPauses, each stretch of silence starts with an entry "_".
std::vector<TimedPhone> ourPhonesOf(const std::vector<std::pair<int, std::string>>& timitPhones,
                                    const std::vector<std::pair<int, std::string>>& words,
                                    const PronunciationLookup& lookup, bool markPauses = false);

// Every utterance below `root` (speaker folders, sorted by name, then utterances by ID).
std::vector<LabelledUtterance> readCorpus(const std::filesystem::path& root,
                                          const PronunciationLookup& lookup);
// Every utterance below `root`, its words looked up in the model's dictionary (takes the
// model's lock).
std::vector<LabelledUtterance> readCorpus(const std::filesystem::path& root,
                                          engine::SpeechModel& model);

}  // namespace phonemes::bench
