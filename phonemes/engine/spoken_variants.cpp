#include "spoken_variants.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "phone_set.h"
#include "pronunciation.h"
#include "speech_model.h"

namespace phonemes::engine {

namespace {

bool isVowel(std::string_view symbol) {
    static constexpr std::string_view kVowels[] = {"AA", "AE", "AH", "AO", "AW", "AX", "AY", "EH",
                                                   "ER", "EY", "IH", "IY", "OW", "OY", "UH", "UW"};
    return std::find(std::begin(kVowels), std::end(kVowels), symbol) != std::end(kVowels);
}

std::string joined(const std::vector<std::string>& symbols) {
    std::string text;
    for (const std::string& symbol : symbols) {
        if (!text.empty()) {
            text += ' ';
        }
        text += symbol;
    }
    return text;
}

// The pronunciation without a final t or d that follows another consonant; none otherwise.
std::optional<std::string> withoutFinalStop(const std::string& pronunciation) {
    std::vector<std::string> symbols = pronunciationSymbols(pronunciation);
    if (symbols.size() < 3) {
        return std::nullopt;
    }
    const std::string& last = symbols.back();
    const std::string& before = symbols[symbols.size() - 2];
    if ((last != "T" && last != "D") || isVowel(before) || before == "T" || before == "D") {
        return std::nullopt;
    }
    symbols.pop_back();
    return joined(symbols);
}

}  // namespace

std::vector<std::string> spokenVariantsOf(const std::vector<std::string>& pronunciations) {
    std::vector<std::string> variants;
    for (const std::string& pronunciation : pronunciations) {
        const std::optional<std::string> variant = withoutFinalStop(pronunciation);
        if (variant &&
            std::find(pronunciations.begin(), pronunciations.end(), *variant) ==
                pronunciations.end() &&
            std::find(variants.begin(), variants.end(), *variant) == variants.end()) {
            variants.push_back(*variant);
        }
    }
    return variants;
}

std::vector<PronunciationVariant> pronunciationsWithSpokenVariants(
    SpeechModel& model, const std::string& dictionaryWord) {
    std::vector<PronunciationVariant> variants = pronunciationVariants(model, dictionaryWord);
    std::vector<std::string> pronunciations;
    for (const PronunciationVariant& variant : variants) {
        pronunciations.push_back(variant.phones);
    }
    for (std::string& spoken : spokenVariantsOf(pronunciations)) {
        std::string name = dictionaryWord + "(" + std::to_string(variants.size() + 1) + ")";
        if (!model.addWord(name, spoken)) {
            break;  // a later name would leave a gap that lookups stop at
        }
        variants.push_back({std::move(name), std::move(spoken)});
    }
    return variants;
}

}  // namespace phonemes::engine
