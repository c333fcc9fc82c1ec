#include "corpus_alignment.h"

#include "bench_report.h"
#include "engine/audio_source.h"
#include "engine/pronunciation.h"
#include "engine/speech_model.h"

namespace phonemes::bench {

using namespace engine;

Outcome alignUtterance(Recognizer& recognizer, const LabelledUtterance& utterance) {
    Collector collector;
    auto source = AudioSource::open(utterance.audio);
    const double cpuStart = threadCpuSeconds();
    recognizer.recognizeTranscript(*source, utterance.hint, collector);
    Outcome outcome;
    outcome.cpuSeconds = threadCpuSeconds() - cpuStart;
    outcome.recognised =
        collector.phrases.size() == 1 && collector.kinds[0] == PhraseKind::kRecognition;
    for (const RecognizedPhrase& phrase : collector.phrases) {
        for (const RecognizedWord& word : phrase.words) {
            outcome.recognisedWords.push_back(word);
            outcome.words.push_back({dictionaryFormOf(word.text), msOf(word.startSample)});
            const std::vector<TimedPhone> timed = timedPhones(word);
            outcome.phones.insert(outcome.phones.end(), timed.begin(), timed.end());
        }
    }
    return outcome;
}

std::vector<std::string> speakersOf(const std::vector<LabelledUtterance>& corpus) {
    std::vector<std::string> speakers;
    for (const LabelledUtterance& u : corpus) {
        if (speakers.empty() || speakers.back() != u.speaker) {
            speakers.push_back(u.speaker);
        }
    }
    return speakers;
}

std::vector<LabelledUtterance> readCorpusWith(SpeechModel& model,
                                              const std::filesystem::path& root) {
    const auto lock = model.lock();
    return readCorpus(root, [&](const std::string& word) {
        std::vector<std::string> pronunciations;
        for (const PronunciationVariant& v : pronunciationVariants(model, word)) {
            pronunciations.push_back(v.phones);
        }
        return pronunciations;
    });
}

}  // namespace phonemes::bench
