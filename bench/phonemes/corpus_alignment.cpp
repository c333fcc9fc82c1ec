#include "corpus_alignment.h"

#include "bench_report.h"
#include "engine/audio_source.h"
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
        outcome.recognisedWords.insert(outcome.recognisedWords.end(), phrase.words.begin(),
                                       phrase.words.end());
    }
    RecognisedTimes times = timesOf(collector.phrases);
    outcome.words = std::move(times.words);
    outcome.phones = std::move(times.phones);
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

}  // namespace phonemes::bench
