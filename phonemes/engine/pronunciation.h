#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace phonemes::engine {

class SpeechModel;

// One word of a transcript.
struct TranscriptWord {
    std::string written;         // as the transcript writes it; shown as the word's text
    std::string dictionaryWord;  // lower case, surrounding punctuation stripped
};

// The dictionary's form of a written word: ASCII letters in lower case, punctuation stripped
// from both ends (ASCII, Latin-1 and general punctuation), inner characters kept.
std::string dictionaryFormOf(std::string_view written);

// The words of a transcript, cut at spaces (tabs and line breaks count as spaces), in order.
// Pieces that hold nothing but punctuation are not spoken and are left out.
std::vector<TranscriptWord> splitTranscript(std::string_view transcript);
// The same one word at a time: the next word of `rest`, which then holds what follows it; none
// when no word is left.
std::optional<TranscriptWord> nextTranscriptWord(std::string_view& rest);

// IPA mapped onto the dictionary's phone symbols, separated by spaces: "ɡlˈɪmɚɹˌæks" gives
// "G L IH M ER AE K S". Stress, length and syllable marks, and symbols outside American
// English, are dropped.
std::string dictionaryPhonesOfIpa(std::string_view ipa);

// Makes sure the dictionary has the word, adding it with espeak-ng's letter-to-sound
// pronunciation when it lacks it. False when no pronunciation can be found. Needs the
// model's lock.
bool ensurePronunciation(SpeechModel& model, const std::string& dictionaryWord);

// One of a word's pronunciations in the dictionary.
struct PronunciationVariant {
    std::string name;    // the dictionary's name for it: "read", "read(2)", ...
    std::string phones;  // its phone symbols: "R EH D"
};

// Every pronunciation of a word, in the dictionary's order. Empty when the dictionary lacks
// the word. Needs the model's lock.
std::vector<PronunciationVariant> pronunciationVariants(const SpeechModel& model,
                                                        const std::string& dictionaryWord);

}  // namespace phonemes::engine
