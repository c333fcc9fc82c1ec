#include "synthetic_corpus.h"

#include <sndfile.h>

#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "flite_voice.h"
#include "speech_synth.h"

namespace phonemes::bench {
namespace fs = std::filesystem;
using namespace engine;

// Short sentences of everyday words; each is spoken at two speeds.
const char* const kSentences[] = {
    "the cat sat on the warm mat",
    "please bring me a glass of water",
    "we walked along the river before dinner",
    "the old man fixed the broken fence",
    "my sister plays the piano every morning",
    "a strong wind blew across the open field",
    "they painted the kitchen a bright yellow",
    "the train leaves the station at noon",
    "she wrote a long letter to her friend",
    "the children laughed at the funny clown",
    "he forgot his keys on the table",
    "the garden is full of red roses",
    "our teacher read us a story",
    "the dog chased the ball down the hill",
    "it rained all day in the city",
    "the baker sells fresh bread each morning",
    "we need more paper for the printer",
    "the bird built a nest in the tree",
    "the phone rang twice and then stopped",
    "he drank a cup of hot coffee",
    "the movie started later than we expected",
    "she opened the window to let in air",
    "the farmer drove his truck to town",
    "a small boat floated near the shore",
    "the lights went out during the storm",
    "they sold their house last summer",
    "the doctor asked me to wait outside",
    "my brother likes to cook spicy food",
    "the snow covered the roofs of the village",
    "we played cards until midnight",
    "the road was wet and very slippery",
    "he carried the heavy box up the stairs",
    "the music was loud at the party",
    "she found a coin under the sofa",
    "the plane landed safely in the fog",
    "the students listened to the lecture",
    "a black horse ran across the meadow",
    "the soup needs a little more salt",
    "he painted a picture of the sea",
    "the shop closes early on sunday",
    "we watched the sun go down",
    "the clock on the wall was slow",
    "she planted tomatoes in the spring",
    "the bus was late again this morning",
    "my father reads the paper after lunch",
    "the kitten slept in a basket",
    "they built a bridge over the river",
    "the water in the lake was cold",
    "he wore a blue shirt to the meeting",
    "the leaves turn brown in the autumn",
};
const int kSentenceCount = static_cast<int>(std::size(kSentences));

namespace {

constexpr int kSlowWordsPerMinute = 150;
constexpr int kFastWordsPerMinute = 185;
// flite's kal16 speaks at about espeak-ng's faster speed; stretched, it speaks slower.
constexpr float kFliteSlowStretch = 1.2f;
constexpr float kFliteFastStretch = 1.0f;

// One utterance as a synthesiser speaks it, with its own times.
struct Spoken {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    Reference reference;
};

// Each sentence at two speeds, slow for the first half of the batch.
template <typename Speak>
std::vector<Utterance> makeBatch(const fs::path& dir, Speak speak) {
    fs::create_directories(dir);
    std::vector<Utterance> batch;
    for (int i = 0; i < kUtteranceCount; ++i) {
        const std::string text = kSentences[i % kSentenceCount];
        Spoken spoken = speak(text, i < kSentenceCount);
        const fs::path file = dir / ("utterance" + std::to_string(i) + ".wav");
        testing::writeAudio(file, spoken.samples, spoken.sampleRate,
                            {spoken.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
        batch.push_back({file, text, std::move(spoken.reference),
                         static_cast<double>(spoken.samples.size()) / spoken.sampleRate});
    }
    return batch;
}

}  // namespace

std::vector<Utterance> makeEspeakBatch(const fs::path& dir) {
    return makeBatch(dir, [](const std::string& text, bool slow) {
        testing::SynthesizedSpeech speech =
            testing::synthesize(text, slow ? kSlowWordsPerMinute : kFastWordsPerMinute);
        Reference reference = espeakReference(speech);
        return Spoken{std::move(speech.samples), speech.sampleRate, std::move(reference)};
    });
}

std::vector<Utterance> makeFliteBatch(const fs::path& dir) {
    return makeBatch(dir, [](const std::string& text, bool slow) {
        FliteSpeech speech = speakWithFlite(text, slow ? kFliteSlowStretch : kFliteFastStretch);
        Reference reference = fliteReference(speech);
        return Spoken{std::move(speech.samples), speech.sampleRate, std::move(reference)};
    });
}

double audioSecondsOf(const std::vector<Utterance>& batch) {
    double seconds = 0.0;
    for (const Utterance& u : batch) {
        seconds += u.seconds;
    }
    return seconds;
}

int writeUtterances(const fs::path& dir) {
    fs::create_directories(dir);
    std::FILE* hints = std::fopen((dir / "hints.txt").c_str(), "w");
    if (hints == nullptr) {
        throw std::runtime_error("cannot write " + (dir / "hints.txt").string());
    }
    for (int i = 0; i < kSentenceCount; ++i) {
        const std::string name = "sentence" + std::to_string(i) + ".wav";
        const testing::SynthesizedSpeech speech = testing::synthesize(kSentences[i]);
        testing::writeAudio(dir / name, speech.samples, speech.sampleRate,
                            {speech.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
        std::fprintf(hints, "%s:%s\n", name.c_str(), kSentences[i]);
    }
    return std::fclose(hints) == 0 ? 0 : 1;
}

}  // namespace phonemes::bench
