#pragma once

#include <string>
#include <string_view>

namespace phonemes::engine {

// How espeak-ng's American English letter-to-sound rules pronounce a word, in IPA (UTF-8),
// for example "ɡlˈɪmɚɹˌæks" for "glimmerax". Empty when espeak-ng is not available or gives
// nothing. Calls are serialised; espeak-ng is initialised on first use.
std::string ipaPronunciationOf(std::string_view word);

}  // namespace phonemes::engine
