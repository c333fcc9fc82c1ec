// Benchmark of the phonemes recogniser. Prints tables; see run-engine-bench.
//
//   phonemes_engine_bench batch <work-dir>   the 100-utterance batch: load time, per-file
//                                            overhead, speed, dictation against the bare
//                                            decoder, accuracy against espeak-ng
//   phonemes_engine_bench utterances <dir>   writes short utterances and their hints file
//   phonemes_engine_bench memory <file>      dictation over one file; time and peak memory
#include <pocketsphinx.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "engine/audio_source.h"
#include "engine/phone_set.h"
#include "engine/pronunciation.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "speech_synth.h"

namespace fs = std::filesystem;
using namespace phonemes::engine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kUtteranceCount = 100;
constexpr int kSlowWordsPerMinute = 150;
constexpr int kFastWordsPerMinute = 185;
constexpr double kMaxOverheadMs = 20.0;
constexpr double kMinHintSpeedup = 30.0;
constexpr double kMaxDictationSlowdown = 1.10;
constexpr int kWordToleranceMs = 50;
constexpr double kMinWordShare = 0.90;

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
constexpr int kSentenceCount = static_cast<int>(std::size(kSentences));

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the calling thread: the side-by-side comparison is not disturbed by other
// processes on the machine.
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Utterance {
    fs::path file;
    std::string text;
    testing::SynthesizedSpeech speech;
    double seconds = 0.0;
};

std::vector<Utterance> makeBatch(const fs::path& dir) {
    fs::create_directories(dir);
    std::vector<Utterance> batch;
    for (int i = 0; i < kUtteranceCount; ++i) {
        Utterance u;
        u.text = kSentences[i % kSentenceCount];
        const int speed = i < kSentenceCount ? kSlowWordsPerMinute : kFastWordsPerMinute;
        u.speech = testing::synthesize(u.text, speed);
        u.file = dir / ("utterance" + std::to_string(i) + ".wav");
        testing::writeAudio(u.file, u.speech.samples, u.speech.sampleRate,
                            {u.speech.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
        u.seconds = static_cast<double>(u.speech.samples.size()) / u.speech.sampleRate;
        batch.push_back(std::move(u));
    }
    return batch;
}

// Keeps what a recognition delivers.
class Collector : public RecognitionListener {
  public:
    void onHypothesis(const std::string&) override { ++hypotheses; }
    void onPhrase(const RecognizedPhrase& phrase, PhraseKind kind) override {
        phrases.push_back(phrase);
        kinds.push_back(kind);
    }
    void onEndOfStream(std::uint64_t) override { ended = true; }

    std::vector<RecognizedPhrase> phrases;
    std::vector<PhraseKind> kinds;
    int hypotheses = 0;
    bool ended = false;
};

Collector recognizeFile(Recognizer& recognizer, const fs::path& file, const std::string* text) {
    Collector collector;
    auto source = AudioSource::open(file);
    if (text) {
        recognizer.recognizeTranscript(*source, *text, collector);
    } else {
        recognizer.recognizeDictation(*source, collector);
    }
    return collector;
}

// Least-squares line through (x, y): the intercept is the cost of a file of no length.
std::pair<double, double> fitLine(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    return {my - slope * mx, slope};
}

std::string verdict(bool ok) {
    return ok ? "yes" : "NO";
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

// A Markdown table written row by row to standard output.
class Table {
  public:
    explicit Table(const std::vector<std::string>& header) {
        row(header);
        row(std::vector<std::string>(header.size(), "---"));
    }
    void row(const std::vector<std::string>& cells) {
        std::string line = "|";
        for (const std::string& cell : cells) {
            line += " " + cell + " |";
        }
        std::puts(line.c_str());
    }
};

// The bare decoder with the recogniser's configuration, fed the same 16 kHz audio as one
// utterance per file.
class BareDecoder {
  public:
    explicit BareDecoder(const std::vector<std::string>& arguments) : arguments_(arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments_) {
            argv.push_back(argument.data());
        }
        cmd_ln_t* config =
            cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
        decoder_ = config ? ps_init(config) : nullptr;
        if (config) {
            cmd_ln_free_r(config);
        }
        if (!decoder_) {
            throw std::runtime_error("cannot create the bare decoder");
        }
    }
    ~BareDecoder() { ps_free(decoder_); }

    std::string decode(const std::vector<std::int16_t>& samples) {
        ps_start_utt(decoder_);
        ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE);
        ps_end_utt(decoder_);
        const char* hyp = ps_get_hyp(decoder_, nullptr);
        return hyp ? hyp : "";
    }

  private:
    std::vector<std::string> arguments_;
    ps_decoder_t* decoder_ = nullptr;
};

std::vector<std::int16_t> modelSamples(const fs::path& file) {
    auto source = AudioSource::open(file);
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> block(4096);
    while (const std::size_t n = source->read(block)) {
        samples.insert(samples.end(), block.begin(), block.begin() + static_cast<long>(n));
    }
    return samples;
}

int weightOf(std::string_view phone) {
    static const std::vector<std::pair<std::string_view, int>> kWeights = {
        {"aa", 3}, {"ae", 2}, {"ah", 2}, {"ao", 2}, {"aw", 3}, {"ax", 2}, {"ay", 3}, {"b", 1},
        {"ch", 1}, {"d", 1},  {"dh", 1}, {"eh", 2}, {"er", 3}, {"ey", 3}, {"f", 1},  {"g", 1},
        {"h", 1},  {"ih", 2}, {"iy", 3}, {"jh", 1}, {"k", 1},  {"l", 1},  {"m", 1},  {"n", 1},
        {"ng", 2}, {"ow", 3}, {"oy", 3}, {"p", 1},  {"r", 1},  {"s", 1},  {"sh", 2}, {"t", 1},
        {"th", 2}, {"uh", 3}, {"uw", 3}, {"v", 1},  {"w", 1},  {"y", 1},  {"z", 1},  {"zh", 1}};
    for (const auto& [name, weight] : kWeights) {
        if (name == phone) {
            return weight;
        }
    }
    return 0;
}

struct TimedPhone {
    std::string name;  // our phone name
    int startMs = 0;
};

// The phones of a recognised word with starts spread over its duration by weight, in whole
// milliseconds as the extractor computes them.
std::vector<TimedPhone> spreadPhones(const RecognizedWord& word) {
    const auto start = static_cast<std::uint32_t>(word.startSample * 1000 / kModelSampleRate);
    const auto duration = static_cast<std::uint32_t>(word.sampleCount * 1000 / kModelSampleRate);
    std::uint32_t total = 0;
    for (PhoneId id : word.phones) {
        total += static_cast<std::uint32_t>(weightOf(phoneNameOf(id)));
    }
    std::vector<TimedPhone> phones;
    std::uint32_t before = 0;
    for (PhoneId id : word.phones) {
        const std::string name(phoneNameOf(id));
        phones.push_back({name, static_cast<int>(start + (total ? before * duration / total : 0))});
        before += static_cast<std::uint32_t>(weightOf(name));
    }
    return phones;
}

// The synthesiser's phones in our names, each with the start of the event it came from (an
// event that maps to two phones times only the first). Pauses map to nothing.
std::vector<TimedPhone> referencePhones(const testing::SynthesizedSpeech& speech) {
    std::vector<TimedPhone> phones;
    for (const testing::SpokenPhone& phone : speech.phones) {
        const std::string mapped = dictionaryPhonesOfIpa(phone.ipa);
        bool first = true;
        std::size_t pos = 0;
        while (pos < mapped.size()) {
            const std::size_t end = std::min(mapped.find(' ', pos), mapped.size());
            std::string name = mapped.substr(pos, end - pos);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            phones.push_back({name == "hh" ? "h" : name, first ? phone.startMs : -1});
            first = false;
            pos = end + 1;
        }
    }
    return phones;
}

// Pairs two sequences by an edit-distance alignment of their names; returns the start
// differences of the pairs whose reference has a time (with substitutions: any aligned pair;
// without: equal names only).
std::vector<int> alignedErrors(const std::vector<TimedPhone>& recognised,
                               const std::vector<TimedPhone>& reference, bool substitutions) {
    const std::size_t n = recognised.size();
    const std::size_t m = reference.size();
    std::vector<std::vector<int>> cost(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = 0; i <= n; ++i)
        cost[i][0] = static_cast<int>(i);
    for (std::size_t j = 0; j <= m; ++j)
        cost[0][j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const int substitute = recognised[i - 1].name == reference[j - 1].name ? 0 : 1;
            cost[i][j] =
                std::min({cost[i - 1][j] + 1, cost[i][j - 1] + 1, cost[i - 1][j - 1] + substitute});
        }
    }
    std::vector<int> errors;
    std::size_t i = n;
    std::size_t j = m;
    while (i > 0 && j > 0) {
        const int substitute = recognised[i - 1].name == reference[j - 1].name ? 0 : 1;
        if (cost[i][j] == cost[i - 1][j - 1] + substitute) {
            if (reference[j - 1].startMs >= 0 && (substitutions || substitute == 0)) {
                errors.push_back(recognised[i - 1].startMs - reference[j - 1].startMs);
            }
            --i;
            --j;
        } else if (cost[i][j] == cost[i - 1][j] + 1) {
            --i;
        } else {
            --j;
        }
    }
    return errors;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos) {
            words.push_back(text.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return words;
}

// Substitutions, insertions and deletions that turn the reference into the hypothesis.
int wordErrors(const std::string& reference, const std::string& hypothesis) {
    const std::vector<std::string> r = wordsOf(reference);
    const std::vector<std::string> h = wordsOf(hypothesis);
    std::vector<int> row(h.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= r.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= h.size(); ++j) {
            const int above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (r[i - 1] == h[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[h.size()];
}

double shareWithin(const std::vector<int>& errors, int tolerance) {
    if (errors.empty()) {
        return 0.0;
    }
    const auto within = std::count_if(errors.begin(), errors.end(),
                                      [&](int e) { return std::abs(e) <= tolerance; });
    return static_cast<double>(within) / static_cast<double>(errors.size());
}

double mean(const std::vector<int>& values) {
    if (values.empty()) {
        return 0.0;
    }
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

int runBatch(const fs::path& dir) {
    std::printf("Generating %d utterances with espeak-ng in %s ...\n", kUtteranceCount,
                dir.c_str());
    const std::vector<Utterance> batch = makeBatch(dir);
    double audioSeconds = 0.0;
    for (const Utterance& u : batch) {
        audioSeconds += u.seconds;
    }

    // 1. Hint mode over the batch; the first file loads the model.
    const auto loadStart = Clock::now();
    SpeechModel& model = SpeechModel::shared();
    const double loadSeconds = secondsSince(loadStart);
    Recognizer recognizer(model);
    std::vector<double> hintSeconds;
    std::vector<double> durations;
    std::vector<Collector> hintResults;
    const auto hintStart = Clock::now();
    for (const Utterance& u : batch) {
        const auto start = Clock::now();
        hintResults.push_back(recognizeFile(recognizer, u.file, &u.text));
        hintSeconds.push_back(secondsSince(start));
        durations.push_back(u.seconds);
    }
    const double hintTotal = secondsSince(hintStart);

    // A file of 100 ms of silence: what a file costs beyond its audio.
    const fs::path tiny = dir / "tiny.wav";
    testing::writeAudio(tiny, testing::silence(16000, 100), 16000,
                        {16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    const std::string tinyText = kSentences[0];
    const auto tinyStart = Clock::now();
    constexpr int kTinyRepeats = 50;
    for (int i = 0; i < kTinyRepeats; ++i) {
        recognizeFile(recognizer, tiny, &tinyText);
    }
    const double tinyMs = secondsSince(tinyStart) * 1000.0 / kTinyRepeats;
    const auto [intercept, slope] =
        fitLine(std::vector<double>(durations.begin() + 1, durations.end()),
                std::vector<double>(hintSeconds.begin() + 1, hintSeconds.end()));

    // 2. Dictation against the bare decoder, file by file, side by side, in CPU time.
    BareDecoder bare(model.arguments());
    double oursSeconds = 0.0;
    double bareSeconds = 0.0;
    int oursErrors = 0;
    int bareErrors = 0;
    int referenceWords = 0;
    for (const Utterance& u : batch) {
        const std::vector<std::int16_t> samples = modelSamples(u.file);
        double start = threadCpuSeconds();
        const std::string bareText = bare.decode(samples);
        bareSeconds += threadCpuSeconds() - start;
        start = threadCpuSeconds();
        const Collector ours = recognizeFile(recognizer, u.file, nullptr);
        oursSeconds += threadCpuSeconds() - start;
        std::string oursText;
        for (const RecognizedPhrase& p : ours.phrases) {
            oursText += (oursText.empty() || p.text.empty() ? "" : " ") + p.text;
        }
        oursErrors += wordErrors(u.text, oursText);
        bareErrors += wordErrors(u.text, bareText);
        referenceWords += static_cast<int>(wordsOf(u.text).size());
    }

    // 3. Accuracy of hint mode against the synthesiser's events, file by file. espeak-ng has
    // no word event for some short words ("on the" is one event), so words are paired by text.
    std::vector<int> wordErrors;
    std::vector<int> phoneErrors;
    int recognised = 0;
    for (std::size_t f = 0; f < batch.size(); ++f) {
        const Utterance& u = batch[f];
        const Collector& c = hintResults[f];
        if (c.phrases.size() != 1 || c.kinds[0] != PhraseKind::kRecognition) {
            continue;
        }
        ++recognised;
        std::vector<TimedPhone> words;
        std::vector<TimedPhone> phones;
        for (const RecognizedWord& word : c.phrases[0].words) {
            words.push_back({dictionaryFormOf(word.text),
                             static_cast<int>(word.startSample * 1000 / kModelSampleRate)});
            const std::vector<TimedPhone> spread = spreadPhones(word);
            phones.insert(phones.end(), spread.begin(), spread.end());
        }
        std::vector<TimedPhone> spokenWords;
        for (const testing::SpokenWord& word : u.speech.words) {
            spokenWords.push_back({dictionaryFormOf(word.text), word.startMs});
        }
        const std::vector<int> wordErr = alignedErrors(words, spokenWords, false);
        wordErrors.insert(wordErrors.end(), wordErr.begin(), wordErr.end());
        const std::vector<int> phoneErr = alignedErrors(phones, referencePhones(u.speech), true);
        phoneErrors.insert(phoneErrors.end(), phoneErr.begin(), phoneErr.end());
    }

    const double overheadMs = std::max(tinyMs, intercept * 1000.0);
    const double hintSpeedup = audioSeconds / hintTotal;
    const double dictationRatio = oursSeconds / bareSeconds;
    const double wordShare = shareWithin(wordErrors, kWordToleranceMs);

    std::printf("\nBatch: %d utterances, %.1f s of audio (22.05 kHz 16-bit mono WAV)\n\n",
                kUtteranceCount, audioSeconds);
    Table table({"measure", "value", "target", "met"});
    table.row({"model load (first file)", format("%.0f ms", loadSeconds * 1000.0), "-", "-"});
    table.row({"first file in hint mode, after load", format("%.1f ms", hintSeconds[0] * 1000.0),
               "-", "-"});
    table.row({"per-file cost, 100 ms silent file, hint mode", format("%.2f ms", tinyMs),
               format("<= %.0f ms", kMaxOverheadMs), verdict(tinyMs <= kMaxOverheadMs)});
    table.row({format("per-file overhead, intercept of time against length (files 2-%d)",
                      kUtteranceCount),
               format("%.2f ms", intercept * 1000.0), format("<= %.0f ms", kMaxOverheadMs),
               verdict(overheadMs <= kMaxOverheadMs)});
    table.row({"hint mode, end to end (wall clock)",
               format("%.1fx faster than real time (%.3f s)", hintSpeedup, hintTotal),
               format(">= %.0fx", kMinHintSpeedup), verdict(hintSpeedup >= kMinHintSpeedup)});
    table.row({"dictation, ours, end to end (CPU time)",
               format("%.3f s (%.2f of real time), word error rate %.0f %%", oursSeconds,
                      oursSeconds / audioSeconds, 100.0 * oursErrors / referenceWords),
               "-", "-"});
    table.row({"bare decoder, same audio and configuration (CPU time)",
               format("%.3f s (%.2f of real time), word error rate %.0f %%", bareSeconds,
                      bareSeconds / audioSeconds, 100.0 * bareErrors / referenceWords),
               "-", "-"});
    table.row({"dictation / bare decoder", format("%.3f", dictationRatio),
               format("<= %.2f", kMaxDictationSlowdown),
               verdict(dictationRatio <= kMaxDictationSlowdown)});
    table.row({"hint mode recognitions (whole transcript placed)",
               format("%d of %d files", recognised, kUtteranceCount), "-", "-"});
    table.row({format("word starts within %d ms of espeak-ng's word events", kWordToleranceMs),
               format("%.1f %% of %zu (mean offset %+.1f ms)", wordShare * 100.0, wordErrors.size(),
                      mean(wordErrors)),
               format(">= %.0f %%", kMinWordShare * 100.0), verdict(wordShare >= kMinWordShare)});
    table.row({"phone starts within 20 ms of espeak-ng's phone events",
               format("%.1f %% of %zu (mean offset %+.1f ms)", shareWithin(phoneErrors, 20) * 100.0,
                      phoneErrors.size(), mean(phoneErrors)),
               "report", "-"});
    table.row({"phone starts within 50 ms of espeak-ng's phone events",
               format("%.1f %%", shareWithin(phoneErrors, 50) * 100.0), "report", "-"});
    return 0;
}

// One file per sentence, and a hints file "hints.txt" that gives each file its sentence.
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

int runMemory(const fs::path& file) {
    SpeechModel& model = SpeechModel::shared();
    Recognizer recognizer(model);
    const long afterLoad = peakMemoryKiB();
    const auto start = Clock::now();
    const Collector result = recognizeFile(recognizer, file, nullptr);
    const double seconds = secondsSince(start);
    const long peak = peakMemoryKiB();
    std::size_t words = 0;
    for (const RecognizedPhrase& p : result.phrases) {
        words += p.words.size();
    }
    auto source = AudioSource::open(file);
    const double audioSeconds = [&] {
        std::vector<std::int16_t> block(1 << 16);
        std::uint64_t n = 0;
        while (const std::size_t got = source->read(block))
            n += got;
        return static_cast<double>(n) / kModelSampleRate;
    }();
    Table table({"measure", "value"});
    table.row({"dictation file", format("%.1f min of audio", audioSeconds / 60.0)});
    table.row({"phrases / words", format("%zu / %zu", result.phrases.size(), words)});
    table.row({"dictation time (wall clock)",
               format("%.1f s (%.2f of real time)", seconds, seconds / audioSeconds)});
    table.row({"peak resident memory after model load", format("%.1f MiB", afterLoad / 1024.0)});
    table.row({"peak resident memory after the file", format("%.1f MiB", peak / 1024.0)});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s batch <work-dir> | utterances <dir> | memory <file>\n",
                     argv[0]);
        return 2;
    }
    const std::string command = argv[1];
    try {
        if (command == "batch")
            return runBatch(argv[2]);
        if (command == "utterances")
            return writeUtterances(argv[2]);
        if (command == "memory")
            return runMemory(argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench failed: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
