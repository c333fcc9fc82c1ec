// A corpus read with its words looked up in the recogniser's own dictionary.
#include <string>
#include <vector>

#include "engine/pronunciation.h"
#include "engine/speech_model.h"
#include "timit_corpus.h"

namespace phonemes::bench {

namespace fs = std::filesystem;

std::vector<LabelledUtterance> readCorpus(const fs::path& root, engine::SpeechModel& model) {
    const auto lock = model.lock();
    return readCorpus(root, [&](const std::string& word) {
        std::vector<std::string> pronunciations;
        for (const engine::PronunciationVariant& v : engine::pronunciationVariants(model, word)) {
            pronunciations.push_back(v.phones);
        }
        return pronunciations;
    });
}

}  // namespace phonemes::bench
