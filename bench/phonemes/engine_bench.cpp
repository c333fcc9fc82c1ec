// Benchmark of the phonemes recogniser. Prints tables; see run-engine-bench.
//
//   phonemes_engine_bench batch <work-dir>        100 utterances each by espeak-ng and by
//                                                 flite: load time, per-file overhead, speed,
//                                                 dictation against the bare decoder, then word
//                                                 and phone starts against each synthesiser's
//                                                 own times with phones spread by weight and
//                                                 with phones aligned to the audio, side by side
//   phonemes_engine_bench phone-times <work-dir>  only the side-by-side comparison
//   phonemes_engine_bench utterances <dir>        writes short utterances and their hints file
//   phonemes_engine_bench memory <file> [mode]    dictation over one file; time and peak memory
//   phonemes_engine_bench long-hint <dir> [mode]  a 1 MB hints line on a 1 s file
// mode is weights (the default) or acoustic. Exits 1 when a target the tables show was missed.
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

#include "bench_report.h"
#include "engine/audio_source.h"
#include "engine/phone_set.h"
#include "engine/pronunciation.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "flite_voice.h"
#include "speech_synth.h"
#include "timing_scores.h"

namespace fs = std::filesystem;
using namespace phonemes::engine;
using namespace phonemes::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kUtteranceCount = 100;
constexpr int kSlowWordsPerMinute = 150;
constexpr int kFastWordsPerMinute = 185;
// flite's kal16 speaks at about espeak-ng's faster speed; stretched, it speaks slower.
constexpr float kFliteSlowStretch = 1.2f;
constexpr float kFliteFastStretch = 1.0f;
constexpr double kMaxOverheadMs = 20.0;
constexpr double kMinHintSpeedup = 30.0;
constexpr double kMaxDictationSlowdown = 1.10;
constexpr int kWordToleranceMs = 50;
constexpr double kMinWordShare = 0.90;
// Targets of measured phone times.
constexpr int kPhoneCloseMs = 20;
constexpr int kPhoneNearMs = 50;
constexpr double kMinPhoneCloseShare = 0.80;
constexpr double kMinPhoneNearShare = 0.95;
constexpr double kMinAcousticWordShare = 0.95;
constexpr double kMaxAlignedDictationCost = 1.15;

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

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What a synthesiser says it spoke, in our names.
struct Reference {
    std::vector<TimedPhone> words;
    std::vector<TimedPhone> phones;
};

struct Utterance {
    fs::path file;
    std::string text;
    Reference reference;
    double seconds = 0.0;
};

Reference espeakReference(const testing::SynthesizedSpeech& speech);
Reference fliteReference(const phonemes::bench::FliteSpeech& speech);

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
        phonemes::bench::FliteSpeech speech =
            phonemes::bench::speakWithFlite(text, slow ? kFliteSlowStretch : kFliteFastStretch);
        Reference reference = fliteReference(speech);
        return Spoken{std::move(speech.samples), speech.sampleRate, std::move(reference)};
    });
}

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

// Unvoiced stops and "ch": their closure is silence in espeak-ng's output.
bool isUnvoicedStop(std::string_view phone) {
    return phone == "p" || phone == "t" || phone == "k" || phone == "ch";
}

// espeak-ng's event for an unvoiced stop marks its release; the closure before it, a stretch of
// exact zeros in its output, goes with the phone before. The acoustic model, like flite, counts
// the closure as part of the stop, so the stop's start is moved back to where the silence
// begins (no further than `earliestMs`, the start of the phone before). A release without such
// a silence just before it keeps its time.
int closureStartMs(const testing::SynthesizedSpeech& speech, int releaseMs, int earliestMs) {
    constexpr int kBurstLeadMs = 5;  // the release may start a little before its event
    constexpr int kMinClosureMs = 10;
    const auto sampleAt = [&](int ms) {
        return static_cast<std::size_t>(
            std::clamp<long long>(static_cast<long long>(ms) * speech.sampleRate / 1000, 0,
                                  static_cast<long long>(speech.samples.size())));
    };
    const std::size_t earliest = sampleAt(earliestMs);
    std::size_t end = sampleAt(releaseMs);
    const std::size_t burstLead = sampleAt(releaseMs) - sampleAt(releaseMs - kBurstLeadMs);
    for (std::size_t back = 0; back < burstLead && end > earliest && speech.samples[end - 1] != 0;
         ++back) {
        --end;
    }
    std::size_t start = end;
    while (start > earliest && speech.samples[start - 1] == 0) {
        --start;
    }
    const std::size_t minClosure = sampleAt(kMinClosureMs);
    if (end - start < minClosure || start == earliest) {
        return releaseMs;
    }
    return static_cast<int>(start * 1000 / static_cast<std::size_t>(speech.sampleRate));
}

// espeak-ng's phones in our names, each with the start of the event it came from (an event
// that maps to two phones times only the first), unvoiced stops from their closure. Pauses map
// to nothing. Words by their word events; espeak-ng has none for some short words ("on the" is
// one event).
Reference espeakReference(const testing::SynthesizedSpeech& speech) {
    Reference reference;
    for (const testing::SpokenWord& word : speech.words) {
        reference.words.push_back({dictionaryFormOf(word.text), word.startMs});
    }
    int previousStartMs = 0;
    for (const testing::SpokenPhone& phone : speech.phones) {
        // Every symbol the IPA mapping gives is one of our phones.
        const std::vector<PhoneId> ids = phoneIdsOfPronunciation(dictionaryPhonesOfIpa(phone.ipa))
                                             .value_or(std::vector<PhoneId>{});
        bool first = true;
        for (PhoneId id : ids) {
            const std::string name(phoneNameOf(id));
            int startMs = -1;
            if (first) {
                startMs = isUnvoicedStop(name) && !reference.phones.empty()
                              ? closureStartMs(speech, phone.startMs, previousStartMs)
                              : phone.startMs;
            }
            reference.phones.push_back({name, startMs});
            first = false;
        }
        previousStartMs = phone.startMs;
    }
    return reference;
}

// flite's phones are CMU's in lower case, as the dictionary's; its schwa "ax" is the
// dictionary's AH.
Reference fliteReference(const phonemes::bench::FliteSpeech& speech) {
    Reference reference;
    for (const phonemes::bench::FliteTimed& word : speech.words) {
        reference.words.push_back({dictionaryFormOf(word.name), word.startMs});
    }
    for (const phonemes::bench::FliteTimed& phone : speech.phones) {
        const std::string name = phone.name == "hh" ? "h" : phone.name == "ax" ? "ah" : phone.name;
        reference.phones.push_back({name, phone.startMs});
    }
    return reference;
}

// Timing of hint-mode results against the synthesiser's, over the files whose whole transcript
// was placed.
struct Accuracy {
    int recognised = 0;
    std::size_t referencePhones = 0;  // in the recognised files
    std::size_t referenceWords = 0;
    Pairing phones;
    Pairing words;
    std::size_t wordCount = 0;
    std::size_t wordsWithSpans = 0;
};

Accuracy accuracyOf(const std::vector<Utterance>& batch, const std::vector<Collector>& results) {
    Accuracy accuracy;
    for (std::size_t f = 0; f < batch.size(); ++f) {
        const Collector& c = results[f];
        if (c.phrases.size() != 1 || c.kinds[0] != PhraseKind::kRecognition) {
            continue;
        }
        ++accuracy.recognised;
        const Reference& reference = batch[f].reference;
        std::vector<TimedPhone> words;
        std::vector<TimedPhone> phones;
        for (const RecognizedWord& word : c.phrases[0].words) {
            words.push_back({dictionaryFormOf(word.text), msOf(word.startSample)});
            const std::vector<TimedPhone> timed = timedPhones(word);
            phones.insert(phones.end(), timed.begin(), timed.end());
            ++accuracy.wordCount;
            accuracy.wordsWithSpans += word.phoneSpans.empty() ? 0 : 1;
        }
        // Words are paired by text, phones by an alignment that allows substitutions.
        const Pairing wordPairs = pairByAlignment(words, reference.words, false);
        const Pairing phonePairs = pairByAlignment(phones, reference.phones, true);
        addPairs(accuracy.words, wordPairs);
        addPairs(accuracy.phones, phonePairs);
        accuracy.referencePhones += static_cast<std::size_t>(
            std::count_if(reference.phones.begin(), reference.phones.end(),
                          [](const TimedPhone& p) { return p.startMs >= 0; }));
        accuracy.referenceWords += reference.words.size();
    }
    return accuracy;
}

// Time spent on a batch in one mode: wall clock, and CPU time of this thread.
struct Timing {
    double wall = 0.0;
    double cpu = 0.0;
};

struct HintRun {
    std::vector<Collector> results;
    Timing timing;
};

HintRun runHints(Recognizer& recognizer, const std::vector<Utterance>& batch) {
    HintRun run;
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    for (const Utterance& u : batch) {
        run.results.push_back(recognizeFile(recognizer, u.file, &u.text));
    }
    run.timing = {secondsSince(start), threadCpuSeconds() - cpuStart};
    return run;
}

double audioSecondsOf(const std::vector<Utterance>& batch) {
    double seconds = 0.0;
    for (const Utterance& u : batch) {
        seconds += u.seconds;
    }
    return seconds;
}

// One voice's batch in both modes of phone timing.
struct VoiceResult {
    std::string voice;
    double audioSeconds = 0.0;
    Accuracy weights;
    Accuracy acoustic;
    Timing hintWeights;
    Timing hintAcoustic;
    Timing dictationWeights;
    Timing dictationAcoustic;
};

VoiceResult measureVoice(const std::string& voice, const std::vector<Utterance>& batch) {
    SpeechModel& model = SpeechModel::shared();
    Recognizer weights(model);
    Recognizer acoustic(model, {.alignPhones = true});
    VoiceResult result;
    result.voice = voice;
    result.audioSeconds = audioSecondsOf(batch);
    const HintRun hintWeights = runHints(weights, batch);
    const HintRun hintAcoustic = runHints(acoustic, batch);
    result.weights = accuracyOf(batch, hintWeights.results);
    result.acoustic = accuracyOf(batch, hintAcoustic.results);
    result.hintWeights = hintWeights.timing;
    result.hintAcoustic = hintAcoustic.timing;
    // File by file in turn, so that a change in the machine's load falls on both alike.
    for (const Utterance& u : batch) {
        for (const auto& [recognizer, timing] : {std::pair{&weights, &result.dictationWeights},
                                                 std::pair{&acoustic, &result.dictationAcoustic}}) {
            const auto start = Clock::now();
            const double cpuStart = threadCpuSeconds();
            recognizeFile(*recognizer, u.file, nullptr);
            timing->wall += secondsSince(start);
            timing->cpu += threadCpuSeconds() - cpuStart;
        }
    }
    return result;
}

// The two voices in both modes side by side, with the targets of the acoustic mode.
void printPhoneTimes(const std::vector<VoiceResult>& voices) {
    std::vector<std::string> header = {"measure"};
    for (const VoiceResult& v : voices) {
        header.push_back(v.voice + " weights");
        header.push_back(v.voice + " acoustic");
    }
    header.push_back("target (acoustic)");
    header.push_back("met");
    Table table(header);
    const auto row = [&](const std::string& measure, const auto& cell, const std::string& target,
                         const auto& met) {
        std::vector<std::string> cells = {measure};
        bool allMet = true;
        for (const VoiceResult& v : voices) {
            cells.push_back(cell(v.weights, v.hintWeights, v.dictationWeights, v));
            cells.push_back(cell(v.acoustic, v.hintAcoustic, v.dictationAcoustic, v));
            allMet = allMet && met(v);
        }
        cells.push_back(target);
        cells.push_back(target == "-" ? "-" : verdict(allMet));
        table.row(cells);
    };
    const auto always = [](const VoiceResult&) { return true; };
    row(
        "files whose whole transcript was placed",
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return format("%d of %d", a.recognised, kUtteranceCount);
        },
        "-", always);
    row(
        "words whose phones the phone pass placed",
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return format("%zu of %zu", a.wordsWithSpans, a.wordCount);
        },
        "-", always);
    row(
        "reference phones paired (same name)",
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return format(
                "%zu of %zu (%.0f %%)", a.phones.errors.size(), a.referencePhones,
                100.0 * static_cast<double>(a.phones.sameName) /
                    static_cast<double>(std::max<std::size_t>(a.phones.errors.size(), 1)));
        },
        "-", always);
    row(
        format("phone starts within %d ms", kPhoneCloseMs),
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return percent(shareWithin(a.phones.errors, kPhoneCloseMs));
        },
        format(">= %.0f %%", kMinPhoneCloseShare * 100.0),
        [](const VoiceResult& v) {
            return shareWithin(v.acoustic.phones.errors, kPhoneCloseMs) >= kMinPhoneCloseShare;
        });
    row(
        format("phone starts within %d ms", kPhoneNearMs),
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return percent(shareWithin(a.phones.errors, kPhoneNearMs));
        },
        format(">= %.0f %%", kMinPhoneNearShare * 100.0),
        [](const VoiceResult& v) {
            return shareWithin(v.acoustic.phones.errors, kPhoneNearMs) >= kMinPhoneNearShare;
        });
    row(
        format("of which stops within %d ms (mean signed error)", kPhoneCloseMs),
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            const std::vector<int> stops = errorsWhere(a.phones, isStop);
            return format("%s of %zu (%+.1f ms)",
                          percent(shareWithin(stops, kPhoneCloseMs)).c_str(), stops.size(),
                          mean(stops));
        },
        "-", always);
    row(
        "mean absolute phone-start error (mean signed)",
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return format("%.1f ms (%+.1f)", meanAbsolute(a.phones.errors), mean(a.phones.errors));
        },
        "-", always);
    row(
        format("word starts within %d ms (words paired)", kWordToleranceMs),
        [](const Accuracy& a, const Timing&, const Timing&, const VoiceResult&) {
            return format("%s of %zu/%zu",
                          percent(shareWithin(a.words.errors, kWordToleranceMs)).c_str(),
                          a.words.errors.size(), a.referenceWords);
        },
        format(">= %.0f %%", kMinAcousticWordShare * 100.0),
        [](const VoiceResult& v) {
            return shareWithin(v.acoustic.words.errors, kWordToleranceMs) >= kMinAcousticWordShare;
        });
    row(
        "hint mode: times faster than real time, CPU (wall)",
        [](const Accuracy&, const Timing& hint, const Timing&, const VoiceResult& v) {
            return format("%.1fx (%.1fx)", v.audioSeconds / hint.cpu, v.audioSeconds / hint.wall);
        },
        format(">= %.0fx", kMinHintSpeedup),
        [](const VoiceResult& v) {
            return v.audioSeconds / v.hintAcoustic.cpu >= kMinHintSpeedup;
        });
    row(
        "dictation: times faster than real time, CPU (wall); CPU against weights",
        [](const Accuracy&, const Timing&, const Timing& dictation, const VoiceResult& v) {
            return format("%.1fx (%.1fx); %.3f", v.audioSeconds / dictation.cpu,
                          v.audioSeconds / dictation.wall, dictation.cpu / v.dictationWeights.cpu);
        },
        format("<= %.2f", kMaxAlignedDictationCost),
        [](const VoiceResult& v) {
            return v.dictationAcoustic.cpu / v.dictationWeights.cpu <= kMaxAlignedDictationCost;
        });
}

// Load, per-file overhead and dictation against the bare decoder, on espeak-ng's batch.
void printCosts(const fs::path& dir, const std::vector<Utterance>& batch) {
    const double audioSeconds = audioSecondsOf(batch);
    const auto loadStart = Clock::now();
    SpeechModel& model = SpeechModel::shared();
    const double loadSeconds = secondsSince(loadStart);
    Recognizer recognizer(model);
    std::vector<double> hintSeconds;
    std::vector<double> durations;
    const auto hintStart = Clock::now();
    for (const Utterance& u : batch) {
        const auto start = Clock::now();
        recognizeFile(recognizer, u.file, &u.text);
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

    // Dictation against the bare decoder, file by file, side by side, in CPU time.
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

    const double overheadMs = std::max(tinyMs, intercept * 1000.0);
    const double hintSpeedup = audioSeconds / hintTotal;
    const double dictationRatio = oursSeconds / bareSeconds;

    std::printf("\nespeak-ng batch: %d utterances, %.1f s of audio (22.05 kHz 16-bit mono WAV)\n\n",
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
}

int runBatch(const fs::path& dir, bool timingOnly) {
    std::printf("Generating %d utterances with espeak-ng and %d with flite in %s ...\n",
                kUtteranceCount, kUtteranceCount, dir.c_str());
    const std::vector<Utterance> espeak = makeEspeakBatch(dir / "espeak");
    const std::vector<Utterance> flite = makeFliteBatch(dir / "flite");
    if (!timingOnly) {
        printCosts(dir, espeak);
    }
    std::printf(
        "\nPhone and word starts in hint mode against each synthesiser's own times "
        "(espeak-ng's p, t, k and ch from the start of their closure: its events mark "
        "their release); speed of hint mode and dictation (espeak-ng: %.1f s of audio, "
        "flite kal16: %.1f s)\n\n",
        audioSecondsOf(espeak), audioSecondsOf(flite));
    printPhoneTimes({measureVoice("espeak-ng", espeak), measureVoice("flite", flite)});
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

int runMemory(const fs::path& file, bool alignPhones) {
    SpeechModel& model = SpeechModel::shared();
    Recognizer recognizer(model, {.alignPhones = alignPhones});
    const long afterLoad = peakMemoryKiB();
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    const Collector result = recognizeFile(recognizer, file, nullptr);
    const double seconds = secondsSince(start);
    const double cpuSeconds = threadCpuSeconds() - cpuStart;
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
    table.row({"dictation file, phone times", format("%.1f min of audio, %s", audioSeconds / 60.0,
                                                     alignPhones ? "acoustic" : "weights")});
    table.row({"phrases / words", format("%zu / %zu", result.phrases.size(), words)});
    table.row({"dictation time: CPU (wall clock)",
               format("%.1f s (%.1f s), %.2f of real time", cpuSeconds, seconds,
                      cpuSeconds / audioSeconds)});
    table.row({"peak resident memory after model load", format("%.1f MiB", afterLoad / 1024.0)});
    table.row({"peak resident memory after the file", format("%.1f MiB", peak / 1024.0)});
    return 0;
}

// A hints line of 1 MB for a file of 1 s: the transcript is listened for only as far as the
// audio can hold it, so neither time nor memory grows with the line.
int runLongHint(const fs::path& dir, bool alignPhones) {
    constexpr std::size_t kLineBytes = 1 << 20;
    constexpr int kFileMs = 1000;
    constexpr double kMaxSeconds = 1.0;
    constexpr double kMaxExtraMiB = 50.0;
    fs::create_directories(dir);
    const std::string spoken = "route sixty six";
    const testing::SynthesizedSpeech speech = testing::synthesize(spoken);
    std::vector<std::int16_t> samples = speech.samples;
    samples.resize(static_cast<std::size_t>(speech.sampleRate) * kFileMs / 1000);
    const fs::path file = dir / "route.wav";
    testing::writeAudio(file, samples, speech.sampleRate,
                        {speech.sampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    // Words the dictionary lacks, each different, so that none is pronounced for free.
    std::string line = spoken;
    for (int i = 0; line.size() < kLineBytes; ++i) {
        line += " glimmer" + std::to_string(i);
    }

    SpeechModel& model = SpeechModel::shared();
    Recognizer recognizer(model, {.alignPhones = alignPhones});
    const long afterLoad = peakMemoryKiB();
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    const Collector result = recognizeFile(recognizer, file, &line);
    const double seconds = secondsSince(start);
    const double cpuSeconds = threadCpuSeconds() - cpuStart;
    const double extraMiB = static_cast<double>(peakMemoryKiB() - afterLoad) / 1024.0;
    const bool placed = result.phrases.size() == 1 && !result.phrases[0].words.empty();

    Table table({"measure", "value", "target", "met"});
    table.row({"hints line on a 1 s file, phone times",
               format("%zu bytes, %s", line.size(), alignPhones ? "acoustic" : "weights"), "-",
               "-"});
    table.row({"result",
               placed ? format("%s: \"%s\"",
                               result.kinds[0] == PhraseKind::kRecognition ? "recognition"
                                                                           : "false recognition",
                               result.phrases[0].text.c_str())
                      : "no words placed",
               "false recognition of the words placed", verdict(placed)});
    table.row({"time: CPU (wall clock)", format("%.3f s (%.3f s)", cpuSeconds, seconds),
               format("< %.0f s", kMaxSeconds), verdict(seconds < kMaxSeconds)});
    table.row({"peak resident memory above the loaded model", format("%.1f MiB", extraMiB),
               format("<= %.0f MiB", kMaxExtraMiB), verdict(extraMiB <= kMaxExtraMiB)});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const bool acoustic = argc == 4 && std::string(argv[3]) == "acoustic";
    if (argc < 3 || argc > 4 || (argc == 4 && !acoustic && std::string(argv[3]) != "weights")) {
        std::fprintf(stderr,
                     "usage: %s batch <work-dir> | phone-times <work-dir> | utterances <dir> | "
                     "memory <file> [weights|acoustic] | long-hint <work-dir> [weights|acoustic]\n",
                     argv[0]);
        return 2;
    }
    const auto withTargets = [](int status) {
        return status != 0 ? status : (missedTargets() > 0 ? 1 : 0);
    };
    try {
        if (command == "batch")
            return withTargets(runBatch(argv[2], false));
        if (command == "phone-times")
            return withTargets(runBatch(argv[2], true));
        if (command == "utterances")
            return writeUtterances(argv[2]);
        if (command == "memory")
            return withTargets(runMemory(argv[2], acoustic));
        if (command == "long-hint")
            return withTargets(runLongHint(argv[2], acoustic));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench failed: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
