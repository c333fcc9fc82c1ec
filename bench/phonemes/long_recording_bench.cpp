// Hinted long recordings: accuracy, time, memory and drift; see run-long-recording-bench.
//
//   phonemes_long_recording_bench <corpus-dir> <work-dir> [minutes,...]
//
// The utterances of a corpus in TIMIT's layout are read in place and joined, with half a second
// of silence after each, into one recording per speaker and one of all of them, their
// transcripts joined the same way; the hand labels are moved by each utterance's offset. Longer
// recordings (1, 5, 10 and 20 minutes unless other lengths are named) repeat the corpus's
// utterances in order. Joined audio is written to <work-dir> as 16 kHz WAV.
#include <sys/resource.h>

#include <sndfile.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_report.h"
#include "engine/audio_source.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "engine/transcript_alignment.h"
#include "speech_synth.h"
#include "timing_scores.h"
#include "timit_corpus.h"

namespace fs = std::filesystem;
using namespace phonemes::engine;
using namespace phonemes::bench;

namespace {

// Targets.
constexpr double kMaxAccuracyLossPoints = 2.0;
constexpr double kMaxGrowthExponent = 1.15;
constexpr double kMinWeightsSpeedup = 40.0;
constexpr double kMinAcousticSpeedup = 25.0;
constexpr double kMaxMemoryAboveModelMiB = 50.0;
// The length at which the speed targets hold.
constexpr int kSpeedTargetMinutes = 20;

constexpr int kPauseSamples = kModelSampleRate / 2;
// Per-speaker recordings are shorter than one stretch; they are also aligned stretch by stretch
// with stretches this short, as a file ten times longer would be.
constexpr LongAlignmentLimits kShortStretches{10 * kModelSampleRate, 10 * kModelSampleRate,
                                              2 * kModelSampleRate};

struct Mode {
    std::string name;
    RecognizerOptions options;
};
const std::vector<Mode> kModes = {{"weights", {}}, {"acoustic", {.alignPhones = true}}};

std::vector<std::int16_t> samplesOf(const fs::path& audio) {
    auto source = AudioSource::open(audio);
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> block(4096);
    while (const std::size_t count = source->read(block)) {
        samples.insert(samples.end(), block.begin(), block.begin() + static_cast<long>(count));
    }
    return samples;
}

// Utterances joined into one file: which, in order, and where each begins.
struct Recording {
    fs::path file;
    std::string hint;
    std::vector<std::size_t> utterances;
    std::vector<int> offsetsMs;
    double seconds = 0.0;
};

Recording join(const std::vector<std::vector<std::int16_t>>& audio,
               const std::vector<LabelledUtterance>& corpus,
               const std::vector<std::size_t>& utterances, const fs::path& file) {
    Recording recording;
    recording.file = file;
    recording.utterances = utterances;
    std::vector<std::int16_t> samples;
    for (std::size_t u : utterances) {
        recording.offsetsMs.push_back(msOf(samples.size()));
        samples.insert(samples.end(), audio[u].begin(), audio[u].end());
        samples.insert(samples.end(), kPauseSamples, 0);
        recording.hint += (recording.hint.empty() ? "" : " ") + corpus[u].hint;
    }
    recording.seconds = static_cast<double>(samples.size()) / kModelSampleRate;
    phonemes::engine::testing::writeAudio(file, samples, kModelSampleRate,
                                          {kModelSampleRate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16});
    return recording;
}

std::vector<TimedPhone> movedBy(const std::vector<TimedPhone>& timed, int ms) {
    std::vector<TimedPhone> moved = timed;
    for (TimedPhone& t : moved) {
        if (t.startMs >= 0) {
            t.startMs += ms;
        }
    }
    return moved;
}

struct Aligned {
    RecognisedTimes times;
    bool recognised = false;
    double cpuSeconds = 0.0;
    double peakAboveModelMiB = 0.0;
};

long residentKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::char_traits<char>::length(field));
        }
    }
    return 0;
}

// Resets the process's peak resident memory to what it holds now (Linux).
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The model's resident memory, measured once both of its decoders are loaded.
long modelKiB = 0;

Aligned align(const Mode& mode, const fs::path& file, const std::string& hint,
              const LongAlignmentLimits* limits = nullptr) {
    Collector collector;
    auto source = AudioSource::open(file);
    resetPeakMemory();
    const double start = threadCpuSeconds();
    if (limits) {
        SpeechModel& model = SpeechModel::shared();
        const auto lock = model.lock();
        alignTranscript(model, mode.options.alignPhones, *source, hint, collector, {}, *limits);
    } else {
        Recognizer(SpeechModel::shared(), mode.options)
            .recognizeTranscript(*source, hint, collector);
    }
    Aligned aligned;
    aligned.cpuSeconds = threadCpuSeconds() - start;
    aligned.peakAboveModelMiB = static_cast<double>(residentKiB("VmHWM:") - modelKiB) / 1024.0;
    aligned.recognised =
        collector.phrases.size() == 1 && collector.kinds[0] == PhraseKind::kRecognition;
    aligned.times = timesOf(collector.phrases);
    return aligned;
}

struct Accuracy {
    Pairing phones;
    Pairing words;
    std::size_t falseRecognitions = 0;
    double cpuSeconds = 0.0;

    void add(const Aligned& aligned, const std::vector<TimedPhone>& referencePhones,
             const std::vector<TimedPhone>& referenceWords) {
        addPairs(phones, pairByAlignment(aligned.times.phones, referencePhones, false));
        addPairs(words, pairByAlignment(aligned.times.words, referenceWords, false));
        falseRecognitions += aligned.recognised ? 0 : 1;
        cpuSeconds += aligned.cpuSeconds;
    }
    double phoneShare() const { return shareWithin(phones.errors, 20); }
    double wordShare() const { return shareWithin(words.errors, 50); }
};

struct References {
    std::vector<TimedPhone> phones;
    std::vector<TimedPhone> words;
};
References referencesOf(const Recording& r, const std::vector<LabelledUtterance>& corpus) {
    References refs;
    for (std::size_t i = 0; i < r.utterances.size(); ++i) {
        const LabelledUtterance& u = corpus[r.utterances[i]];
        const auto phones = movedBy(u.phones, r.offsetsMs[i]);
        const auto words = movedBy(u.words, r.offsetsMs[i]);
        refs.phones.insert(refs.phones.end(), phones.begin(), phones.end());
        refs.words.insert(refs.words.end(), words.begin(), words.end());
    }
    return refs;
}

// What each utterance aligned alone gives, in the frame of a recording that joins them.
std::vector<TimedPhone> aloneWordsIn(const Recording& r, const std::vector<Aligned>& alone) {
    std::vector<TimedPhone> words;
    for (std::size_t i = 0; i < r.utterances.size(); ++i) {
        const auto moved = movedBy(alone[r.utterances[i]].times.words, r.offsetsMs[i]);
        words.insert(words.end(), moved.begin(), moved.end());
    }
    return words;
}

// The slope of log time against log length, by least squares.
double growthExponent(const std::vector<double>& lengths, const std::vector<double>& times) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const auto n = static_cast<double>(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const double x = std::log(lengths[i]);
        const double y = std::log(times[i]);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

std::vector<int> minutesOf(const std::string& list) {
    std::vector<int> minutes;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        minutes.push_back(std::stoi(item));
    }
    return minutes;
}

int run(const fs::path& root, const fs::path& work, const std::vector<int>& minutes) {
    SpeechModel& model = SpeechModel::shared();
    const std::vector<LabelledUtterance> corpus = readCorpus(root, model);
    if (corpus.empty()) {
        std::fprintf(stderr, "no labelled utterances in %s\n", root.c_str());
        return 2;
    }
    fs::create_directories(work);
    std::vector<Recording> perSpeaker;
    Recording all;
    std::vector<Recording> sized;
    {
        std::vector<std::vector<std::int16_t>> audio;
        for (const LabelledUtterance& u : corpus) {
            audio.push_back(samplesOf(u.audio));
        }
        std::vector<std::size_t> everyone;
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            if (i == 0 || corpus[i].speaker != corpus[i - 1].speaker) {
                perSpeaker.push_back({});
                perSpeaker.back().file = corpus[i].speaker;
            }
            perSpeaker.back().utterances.push_back(i);
            everyone.push_back(i);
        }
        for (Recording& r : perSpeaker) {
            r = join(audio, corpus, r.utterances, work / (r.file.string() + ".wav"));
        }
        all = join(audio, corpus, everyone, work / "all-speakers.wav");
        for (int m : minutes) {
            std::vector<std::size_t> cycle;
            double seconds = 0.0;
            for (std::size_t i = 0; seconds < m * 60.0; i = (i + 1) % corpus.size()) {
                cycle.push_back(i);
                seconds += static_cast<double>(audio[i].size() + kPauseSamples) / kModelSampleRate;
            }
            sized.push_back(
                join(audio, corpus, cycle, work / ("minutes-" + std::to_string(m) + ".wav")));
        }
    }
    std::printf("%zu utterances of %zu speakers from %s; all speakers joined: %.1f s\n",
                corpus.size(), perSpeaker.size(), root.c_str(), all.seconds);

    // Utterances one by one, which also loads both decoders before memory is measured.
    std::vector<std::vector<Aligned>> alone(kModes.size());
    for (std::size_t m = 0; m < kModes.size(); ++m) {
        for (const LabelledUtterance& u : corpus) {
            alone[m].push_back(align(kModes[m], u.audio, u.hint));
        }
    }
    modelKiB = residentKiB("VmRSS:");

    std::printf("\n### Accuracy against the hand labels\n\n");
    std::vector<std::string> header = {"recordings"};
    for (const Mode& mode : kModes) {
        header.push_back(mode.name + ": phone starts within 20 ms");
        header.push_back(mode.name + ": word starts within 50 ms");
    }
    header.push_back("x real time (CPU)");
    header.push_back("false recognitions");
    header.push_back(format("within %.0f points of one by one", kMaxAccuracyLossPoints));
    Table accuracy(header);
    std::vector<Accuracy> oneByOne(kModes.size());
    for (std::size_t m = 0; m < kModes.size(); ++m) {
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            oneByOne[m].add(alone[m][i], corpus[i].phones, corpus[i].words);
        }
    }
    const auto accuracyRow = [&](const std::string& name, const std::vector<Accuracy>& scores,
                                 double audioSeconds, bool judged) {
        std::vector<std::string> cells = {name};
        std::size_t falseRecognitions = 0;
        bool close = true;
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            cells.push_back(percent(scores[m].phoneShare()));
            cells.push_back(percent(scores[m].wordShare()));
            falseRecognitions += scores[m].falseRecognitions;
            close = close &&
                    scores[m].phoneShare() * 100 >=
                        oneByOne[m].phoneShare() * 100 - kMaxAccuracyLossPoints &&
                    scores[m].wordShare() * 100 >=
                        oneByOne[m].wordShare() * 100 - kMaxAccuracyLossPoints;
        }
        std::string speeds;
        for (const Accuracy& a : scores) {
            speeds += format(speeds.empty() ? "%.1fx" : " / %.1fx", audioSeconds / a.cpuSeconds);
        }
        cells.push_back(speeds);
        cells.push_back(format("%zu", falseRecognitions));
        cells.push_back(judged ? verdict(close) : "-");
        accuracy.row(cells);
    };
    double corpusSeconds = 0.0;
    for (const LabelledUtterance& u : corpus) {
        corpusSeconds += u.seconds;
    }
    accuracyRow(format("%zu utterances one by one", corpus.size()), oneByOne, corpusSeconds, false);
    const auto scoreJoined = [&](const std::vector<const Recording*>& recordings,
                                 const LongAlignmentLimits* limits) {
        std::vector<Accuracy> scores(kModes.size());
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            for (const Recording* r : recordings) {
                const References refs = referencesOf(*r, corpus);
                scores[m].add(align(kModes[m], r->file, r->hint, limits), refs.phones, refs.words);
            }
        }
        return scores;
    };
    std::vector<const Recording*> speakers;
    double shortest = 1e9, longest = 0, speakerSeconds = 0;
    for (const Recording& r : perSpeaker) {
        speakers.push_back(&r);
        speakerSeconds += r.seconds;
        shortest = std::min(shortest, r.seconds);
        longest = std::max(longest, r.seconds);
    }
    accuracyRow(format("one per speaker (%zu of %.0f-%.0f s, one pass)", perSpeaker.size(),
                       shortest, longest),
                scoreJoined(speakers, nullptr), speakerSeconds, true);
    accuracyRow("one per speaker, in stretches of 10 s", scoreJoined(speakers, &kShortStretches),
                speakerSeconds, true);
    accuracyRow(format("all speakers (%.0f s, in stretches)", all.seconds),
                scoreJoined({&all}, nullptr), all.seconds, true);

    std::printf("\n### Time and peak memory (CPU of one thread)\n\n");
    Table speed({"length", "mode", "CPU", "x real time", "peak memory above the model",
                 "words placed", "recognised"});
    for (std::size_t m = 0; m < kModes.size(); ++m) {
        double aloneCpu = 0.0;
        for (const Aligned& a : alone[m]) {
            aloneCpu += a.cpuSeconds;
        }
        speed.row({format("%zu utterances one by one, %.1f min", corpus.size(), corpusSeconds / 60),
                   kModes[m].name, format("%.1f s", aloneCpu),
                   format("%.1fx", corpusSeconds / aloneCpu), "-", "-", "-"});
    }
    std::vector<std::vector<double>> cpu(kModes.size());
    std::vector<double> lengths;
    std::vector<std::vector<Aligned>> sizedResults(kModes.size());
    bool memoryMet = true;
    for (const Recording& r : sized) {
        lengths.push_back(r.seconds);
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            Aligned a = align(kModes[m], r.file, r.hint);
            cpu[m].push_back(a.cpuSeconds);
            memoryMet = memoryMet && a.peakAboveModelMiB <= kMaxMemoryAboveModelMiB;
            speed.row({format("%.1f min", r.seconds / 60), kModes[m].name,
                       format("%.1f s", a.cpuSeconds), format("%.1fx", r.seconds / a.cpuSeconds),
                       format("%.1f MiB", a.peakAboveModelMiB),
                       format("%zu of %zu", a.times.words.size(), wordsOf(r.hint).size()),
                       a.recognised ? "yes" : "no"});
            sizedResults[m].push_back(std::move(a));
        }
    }
    std::printf("\n### Targets\n\n");
    Table targets({"measure", "mode", "value", "target", "met"});
    for (std::size_t m = 0; m < kModes.size() && lengths.size() >= 2; ++m) {
        const double exponent = growthExponent(lengths, cpu[m]);
        targets.row({"growth exponent (log CPU against log length)", kModes[m].name,
                     format("%.3f", exponent), format("<= %.2f", kMaxGrowthExponent),
                     verdict(exponent <= kMaxGrowthExponent)});
    }
    for (std::size_t i = 0; i < sized.size(); ++i) {
        if (minutes[i] != kSpeedTargetMinutes) {
            continue;
        }
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            const double speedup = sized[i].seconds / cpu[m][i];
            const double target = m == 0 ? kMinWeightsSpeedup : kMinAcousticSpeedup;
            targets.row({format("x real time at %d min", kSpeedTargetMinutes), kModes[m].name,
                         format("%.1fx", speedup), format(">= %.0fx", target),
                         verdict(speedup >= target)});
        }
    }
    targets.row({"peak memory above the model, every length", "both",
                 memoryMet ? "within" : "above", format("<= %.0f MiB", kMaxMemoryAboveModelMiB),
                 verdict(memoryMet)});

    if (!sized.empty()) {
        const Recording& longestRecording = sized.back();
        std::printf(
            "\n### Drift on the %.1f-minute recording: word starts against the same "
            "utterance aligned alone\n\n",
            longestRecording.seconds / 60);
        Table drift({"mode", "words paired", "within 20 ms", "within 50 ms", "largest distance"});
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            const Pairing pairing =
                pairByAlignment(sizedResults[m].back().times.words,
                                aloneWordsIn(longestRecording, alone[m]), false);
            int largest = 0;
            for (int e : pairing.errors) {
                largest = std::max(largest, std::abs(e));
            }
            drift.row(
                {kModes[m].name,
                 format("%zu of %zu", pairing.errors.size(), wordsOf(longestRecording.hint).size()),
                 percent(shareWithin(pairing.errors, 20)), percent(shareWithin(pairing.errors, 50)),
                 format("%d ms", largest)});
        }
    }
    const int missed = missedTargets();
    std::printf("\nTargets missed: %d\n", missed);
    return missed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s <corpus-dir> <work-dir> [minutes,...]\n", argv[0]);
        return 2;
    }
    try {
        return run(argv[1], argv[2], minutesOf(argc == 4 ? argv[3] : "1,5,10,20"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench failed: %s\n", error.what());
        return 2;
    }
}
