#include "letter_to_sound.h"

#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <string_view>

namespace phonemes::engine {

namespace {

constexpr const char* kVoice = "en-us";

// A voice's languages are a priority byte and a name, repeated; its first is its own.
bool isCurrentVoice(std::string_view language) {
    const espeak_VOICE* voice = espeak_GetCurrentVoice();
    return voice && voice->languages && voice->languages[0] != '\0' &&
           std::string_view(voice->languages + 1) == language;
}

}  // namespace

std::string ipaPronunciationOf(std::string_view word) {
    static std::mutex espeakMutex;
    std::lock_guard guard(espeakMutex);
    // Without DONT_EXIT espeak-ng ends the process when its data is missing.
    static const bool initialised =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) > 0;
    if (!initialised) {
        return {};
    }
    // Another part of the process may have picked another voice since. Chosen only then: each
    // choice loads the voice again, and after espeak-ng has been initialised anew it leaks.
    if (!isCurrentVoice(kVoice) && espeak_SetVoiceByName(kVoice) != EE_OK) {
        return {};
    }
    const std::string text(word);
    const void* rest = text.c_str();
    std::string ipa;
    // Each call translates up to a clause boundary and advances `rest`; null at the end.
    while (rest) {
        const char* clause = espeak_TextToPhonemes(&rest, espeakCHARS_UTF8, espeakPHONEMES_IPA);
        if (!clause) {
            break;
        }
        if (!ipa.empty() && *clause) {
            ipa += ' ';
        }
        ipa += clause;
    }
    return ipa;
}

}  // namespace phonemes::engine
