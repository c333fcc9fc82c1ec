#include "phrase_block.h"

#include <algorithm>
#include <new>

namespace phonemes {
namespace {

constexpr std::size_t roundUp(std::size_t size, std::size_t alignment) {
    return (size + alignment - 1) / alignment * alignment;
}

std::size_t textUnits(std::u16string_view text) {
    return text.size() + 1;
}

// Copies a text with its terminator to the cursor and moves the cursor past it.
const char16_t* placeText(char16_t*& cursor, std::u16string_view text) {
    char16_t* placed = cursor;
    std::copy(text.begin(), text.end(), placed);
    placed[text.size()] = u'\0';
    cursor += textUnits(text);
    return placed;
}

}  // namespace

SPPHRASE* allocatePhrase(std::span<const PhraseWord> words, std::uint16_t langId,
                         std::uint64_t audioStreamPosition, std::uint32_t audioSizeBytes) {
    const std::size_t elementsAt = roundUp(sizeof(SPPHRASE), alignof(SPPHRASEELEMENT));
    const std::size_t textsAt = elementsAt + words.size() * sizeof(SPPHRASEELEMENT);
    std::size_t units = 0;
    for (const PhraseWord& word : words) {
        units += textUnits(word.displayText) + textUnits(word.lexicalForm) +
                 textUnits(word.pronunciation);
    }
    auto* block = static_cast<std::byte*>(CoTaskMemAlloc(textsAt + units * sizeof(char16_t)));
    if (block == nullptr) {
        return nullptr;
    }

    auto* elements = reinterpret_cast<SPPHRASEELEMENT*>(block + elementsAt);
    auto* cursor = reinterpret_cast<char16_t*>(block + textsAt);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const PhraseWord& word = words[i];
        SPPHRASEELEMENT element{};
        element.ulAudioStreamOffset = word.audioStreamOffset;
        element.ulAudioSizeBytes = word.audioSizeBytes;
        element.pszDisplayText = placeText(cursor, word.displayText);
        element.pszLexicalForm = placeText(cursor, word.lexicalForm);
        element.pszPronunciation = placeText(cursor, word.pronunciation);
        new (&elements[i]) SPPHRASEELEMENT(element);
    }

    SPPHRASE phrase{};
    phrase.cbSize = sizeof(SPPHRASE);
    phrase.LangID = langId;
    phrase.ullAudioStreamPosition = audioStreamPosition;
    phrase.ulAudioSizeBytes = audioSizeBytes;
    phrase.Rule.ulFirstElement = 0;
    phrase.Rule.ulCountOfElements = static_cast<std::uint32_t>(words.size());
    phrase.pElements = words.empty() ? nullptr : elements;
    return new (block) SPPHRASE(phrase);
}

char16_t* allocateText(std::u16string_view text) {
    auto* block = static_cast<char16_t*>(CoTaskMemAlloc(textUnits(text) * sizeof(char16_t)));
    if (block == nullptr) {
        return nullptr;
    }
    char16_t* cursor = block;
    placeText(cursor, text);
    return block;
}

}  // namespace phonemes
