#include "phone_path.h"

#include <algorithm>

#include "phone_set.h"

namespace phonemes::engine {

namespace {

// Where the parse of the path may stand after some words: `pos` phones consumed, reached from
// node `previous` of the layer before with the word's pronunciation `pronunciation`.
struct ParseNode {
    std::size_t pos = 0;
    std::size_t previous = 0;
    std::size_t pronunciation = 0;
};

}  // namespace

std::vector<PathWord> wordsOfPhonePath(const std::vector<DecodedSegment>& path,
                                       std::span<const WordPronunciations> words) {
    std::vector<const DecodedSegment*> phones;
    for (const DecodedSegment& segment : path) {
        if (!segment.filler) {
            phones.push_back(&segment);
        }
    }
    const auto matches = [&](std::size_t pos, const std::vector<std::string>& symbols) {
        if (pos + symbols.size() > phones.size()) {
            return false;
        }
        for (std::size_t k = 0; k < symbols.size(); ++k) {
            if (phones[pos + k]->word != symbols[k]) {
                return false;
            }
        }
        return true;
    };

    // Pronunciations may share a beginning ("AH N" and "AH N D"), so every way through is
    // followed, word by word; a layer holds each position at most once.
    std::vector<std::vector<ParseNode>> layers{{ParseNode{}}};
    for (std::size_t i = 0; i < words.size() && !layers.back().empty(); ++i) {
        std::vector<std::vector<std::string>> alternatives;
        for (const std::string& pronunciation : words[i]) {
            alternatives.push_back(pronunciationSymbols(pronunciation));
        }
        std::vector<ParseNode> next;
        const std::vector<ParseNode>& current = layers.back();
        for (std::size_t n = 0; n < current.size(); ++n) {
            for (std::size_t p = 0; p < alternatives.size(); ++p) {
                const std::vector<std::string>& phonesOfWord = alternatives[p];
                const std::size_t end = current[n].pos + phonesOfWord.size();
                const bool seen = std::any_of(next.begin(), next.end(), [&](const ParseNode& node) {
                    return node.pos == end;
                });
                if (!phonesOfWord.empty() && !seen && matches(current[n].pos, phonesOfWord)) {
                    next.push_back({end, n, p});
                }
            }
        }
        layers.push_back(std::move(next));
    }
    if (layers.back().empty()) {
        layers.pop_back();
    }

    // The deepest layer, preferring the parse that used the whole path.
    const std::vector<ParseNode>& last = layers.back();
    std::size_t node = static_cast<std::size_t>(
        std::max_element(last.begin(), last.end(),
                         [](const ParseNode& a, const ParseNode& b) { return a.pos < b.pos; }) -
        last.begin());
    std::vector<PathWord> result(layers.size() - 1);
    for (std::size_t layer = layers.size() - 1; layer > 0; --layer) {
        const ParseNode& at = layers[layer][node];
        PathWord& word = result[layer - 1];
        word.pronunciation = at.pronunciation;
        // The word begins where the parse stood before it.
        const std::size_t start = layers[layer - 1][at.previous].pos;
        for (std::size_t k = start; k < at.pos; ++k) {
            word.phones.push_back({phones[k]->firstFrame, phones[k]->lastFrame});
        }
        node = at.previous;
    }
    return result;
}

}  // namespace phonemes::engine
