#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "speech_model.h"

namespace phonemes::engine {

// One phone of a decoded path, in 10 ms frames of the phrase.
struct PathPhone {
    int firstFrame = 0;
    int lastFrame = 0;  // inclusive
};

// A word of the grammar as the path took it.
struct PathWord {
    std::size_t pronunciation = 0;  // which of the word's pronunciations
    std::vector<PathPhone> phones;  // one per phone of that pronunciation
};

// Reads the path of a phone grammar (SpeechModel::usePhoneSequence over `words`) back into
// words: the grammar's words from the first that the path covers completely, each with the
// pronunciation it was said with. A path that stops inside a word, as the best path of an
// unfinished phrase may, gives the words before it. Fillers are passed over.
std::vector<PathWord> wordsOfPhonePath(const std::vector<DecodedSegment>& path,
                                       std::span<const WordPronunciations> words);

}  // namespace phonemes::engine
