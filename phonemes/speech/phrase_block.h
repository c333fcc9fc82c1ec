#pragma once

// Packing of recognition results into the single blocks of task memory that the platform hands
// out: a phrase with its elements and their texts, or one text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "speech_api.h"

namespace phonemes {

struct PhraseWord {
    std::uint32_t audioStreamOffset;  // bytes from the start of the phrase
    std::uint32_t audioSizeBytes;
    std::u16string displayText;
    std::u16string lexicalForm;
    std::u16string pronunciation;  // phone ids
};

// One block holding the SPPHRASE, its elements and every text they point at; freed with one
// CoTaskMemFree. Null when memory runs out.
SPPHRASE* allocatePhrase(std::span<const PhraseWord> words, std::uint16_t langId,
                         std::uint64_t audioStreamPosition, std::uint32_t audioSizeBytes);

// A null-terminated copy in task memory; null when memory runs out.
char16_t* allocateText(std::u16string_view text);

}  // namespace phonemes
