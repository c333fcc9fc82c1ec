#include "pronunciation.h"

#include <array>
#include <cstdint>
#include <utility>

#include "letter_to_sound.h"
#include "speech_model.h"

namespace phonemes::engine {

namespace {

struct IpaPhone {
    std::string_view ipa;
    std::string_view phones;
};

// Longer symbols come first so that "aɪ" wins over "a". An r-coloured vowel followed by the
// linking r of the next syllable ("glimmerax": ɚɹ) is one ER in the dictionary's spelling.
constexpr std::array kIpaPhones = std::to_array<IpaPhone>({
    {"ɜːɹ", "ER"}, {"ɚɹ", "ER"},  {"ɝɹ", "ER"}, {"tʃ", "CH"}, {"dʒ", "JH"}, {"aɪ", "AY"},
    {"aʊ", "AW"},  {"eɪ", "EY"},  {"oʊ", "OW"}, {"əʊ", "OW"}, {"ɔɪ", "OY"}, {"ɑː", "AA"},
    {"ɔː", "AO"},  {"oː", "AO"},  {"ɜː", "ER"}, {"iː", "IY"}, {"uː", "UW"}, {"n̩", "AH N"},
    {"l̩", "AH L"}, {"m̩", "AH M"}, {"ɑ", "AA"},  {"ɒ", "AA"},  {"æ", "AE"},  {"a", "AE"},
    {"ʌ", "AH"},   {"ə", "AH"},   {"ɐ", "AH"},  {"ɔ", "AO"},  {"ɛ", "EH"},  {"e", "EH"},
    {"ɚ", "ER"},   {"ɝ", "ER"},   {"ɜ", "ER"},  {"ɪ", "IH"},  {"ᵻ", "IH"},  {"i", "IY"},
    {"ʊ", "UH"},   {"u", "UW"},   {"o", "OW"},  {"b", "B"},   {"d", "D"},   {"ð", "DH"},
    {"f", "F"},    {"ɡ", "G"},    {"g", "G"},   {"h", "HH"},  {"ç", "HH"},  {"j", "Y"},
    {"k", "K"},    {"x", "K"},    {"l", "L"},   {"ɫ", "L"},   {"ɬ", "L"},   {"m", "M"},
    {"n", "N"},    {"ŋ", "NG"},   {"p", "P"},   {"ɹ", "R"},   {"r", "R"},   {"s", "S"},
    {"ʃ", "SH"},   {"t", "T"},    {"ɾ", "T"},   {"ʔ", "T"},   {"θ", "TH"},  {"v", "V"},
    {"w", "W"},    {"ʍ", "W"},    {"z", "Z"},   {"ʒ", "ZH"},
});

bool isAsciiWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The length in bytes of the UTF-8 sequence that starts with this byte (1 for stray bytes).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// The code point of a UTF-8 sequence; stray bytes stand for themselves.
char32_t codePointOf(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) {
        return lead;
    }
    char32_t value = lead & (0x7F >> sequence.size());
    for (std::size_t i = 1; i < sequence.size(); ++i) {
        value = (value << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
    }
    return value;
}

bool isPunctuation(char32_t c) {
    const bool asciiPunctuation = (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) ||
                                  (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    const bool latin1Punctuation = (c >= 0xA1 && c <= 0xBF) || c == 0xD7 || c == 0xF7;
    const bool generalPunctuation = c >= 0x2010 && c <= 0x205E;
    return asciiPunctuation || latin1Punctuation || generalPunctuation;
}

// The byte length of the last UTF-8 sequence of a non-empty text.
std::size_t lastSequenceLength(std::string_view text) {
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    return sequenceLength(static_cast<unsigned char>(text[start])) == text.size() - start
               ? text.size() - start
               : 1;
}

}  // namespace

std::string dictionaryFormOf(std::string_view written) {
    while (!written.empty()) {
        const std::size_t length =
            std::min(sequenceLength(static_cast<unsigned char>(written[0])), written.size());
        if (!isPunctuation(codePointOf(written.substr(0, length)))) {
            break;
        }
        written.remove_prefix(length);
    }
    while (!written.empty()) {
        const std::size_t length = lastSequenceLength(written);
        if (!isPunctuation(codePointOf(written.substr(written.size() - length)))) {
            break;
        }
        written.remove_suffix(length);
    }
    std::string form(written);
    for (char& c : form) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return form;
}

std::optional<TranscriptWord> nextTranscriptWord(std::string_view& rest) {
    while (!rest.empty()) {
        std::size_t start = 0;
        while (start < rest.size() && isAsciiWhiteSpace(rest[start])) {
            ++start;
        }
        std::size_t end = start;
        while (end < rest.size() && !isAsciiWhiteSpace(rest[end])) {
            ++end;
        }
        TranscriptWord word{std::string(rest.substr(start, end - start)), {}};
        rest.remove_prefix(end);
        word.dictionaryWord = dictionaryFormOf(word.written);
        if (!word.dictionaryWord.empty()) {
            return word;
        }
    }
    return std::nullopt;
}

std::vector<TranscriptWord> splitTranscript(std::string_view transcript) {
    std::vector<TranscriptWord> words;
    while (std::optional<TranscriptWord> word = nextTranscriptWord(transcript)) {
        words.push_back(std::move(*word));
    }
    return words;
}

std::string dictionaryPhonesOfIpa(std::string_view ipa) {
    std::string phones;
    while (!ipa.empty()) {
        const IpaPhone* match = nullptr;
        for (const IpaPhone& entry : kIpaPhones) {
            if (ipa.starts_with(entry.ipa)) {
                match = &entry;
                break;
            }
        }
        if (!match) {
            // A mark or a symbol outside the table: skip its whole UTF-8 sequence.
            ipa.remove_prefix(
                std::min(sequenceLength(static_cast<unsigned char>(ipa[0])), ipa.size()));
            continue;
        }
        if (!phones.empty()) {
            phones += ' ';
        }
        phones += match->phones;
        ipa.remove_prefix(match->ipa.size());
    }
    return phones;
}

bool ensurePronunciation(SpeechModel& model, const std::string& dictionaryWord) {
    if (model.pronunciationOf(dictionaryWord)) {
        return true;
    }
    const std::string phones = dictionaryPhonesOfIpa(ipaPronunciationOf(dictionaryWord));
    return !phones.empty() && model.addWord(dictionaryWord, phones);
}

std::vector<PronunciationVariant> pronunciationVariants(const SpeechModel& model,
                                                        const std::string& dictionaryWord) {
    std::vector<PronunciationVariant> variants;
    std::string name = dictionaryWord;
    while (std::optional<std::string> phones = model.pronunciationOf(name)) {
        variants.push_back({name, std::move(*phones)});
        name = dictionaryWord + "(" + std::to_string(variants.size() + 1) + ")";
    }
    return variants;
}

}  // namespace phonemes::engine
