// Phone and word timing on real read speech whose phones were labelled by hand (a corpus in
// TIMIT's layout), in each mode of phone timing; see run-real-speech-bench.
//
//   phonemes_real_speech_bench <corpus-dir> [--dictation]
//
// Every utterance is aligned to its own words. Speakers are split into two halves (alternate
// pairs of speaker folders in name order), so that anything tuned on one half is also reported
// on the other. --dictation adds the CPU time of dictation in each mode.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_report.h"
#include "corpus_alignment.h"
#include "engine/audio_source.h"
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "timing_scores.h"
#include "timit_corpus.h"

namespace fs = std::filesystem;
using namespace phonemes::engine;
using namespace phonemes::bench;

namespace {

// Targets in acoustic mode.
constexpr double kMinPhoneCloseShare = 0.82;
constexpr double kMaxMeanAbsoluteMs = 14.0;
constexpr double kMinWordNearShare = 0.95;
constexpr double kMinHintSpeedup = 30.0;
constexpr double kMaxDictationCost = 1.3;

struct Mode {
    std::string name;
    RecognizerOptions options;
};

// The scores of one mode over a set of utterances.
struct Scores {
    std::size_t files = 0;
    std::size_t falseRecognitions = 0;
    std::size_t labelledPhones = 0;
    Pairing phones;  // equal names only
    Pairing words;
    double cpuSeconds = 0.0;
    double audioSeconds = 0.0;
};

Scores scoresOf(const std::vector<LabelledUtterance>& corpus, const std::vector<Outcome>& outcomes,
                const std::vector<bool>& chosen) {
    Scores scores;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        if (!chosen[i]) {
            continue;
        }
        ++scores.files;
        scores.falseRecognitions += outcomes[i].recognised ? 0 : 1;
        scores.labelledPhones += corpus[i].phones.size();
        addPairs(scores.phones, pairByAlignment(outcomes[i].phones, corpus[i].phones, false));
        addPairs(scores.words, pairByAlignment(outcomes[i].words, corpus[i].words, false));
        scores.cpuSeconds += outcomes[i].cpuSeconds;
        scores.audioSeconds += corpus[i].seconds;
    }
    return scores;
}

std::string_view classOf(std::string_view phone) {
    static const std::map<std::string_view, std::string_view> kClasses = [] {
        std::map<std::string_view, std::string_view> classes;
        for (const char* p : {"p", "b", "t", "d", "k", "g", "ch", "jh"})
            classes[p] = "stops";
        for (const char* p : {"f", "v", "th", "dh", "s", "z", "sh", "zh", "h"})
            classes[p] = "fricatives";
        for (const char* p : {"m", "n", "ng"})
            classes[p] = "nasals";
        for (const char* p : {"l", "r", "w", "y"})
            classes[p] = "liquids and glides";
        return classes;
    }();
    const auto found = kClasses.find(phone);
    return found == kClasses.end() ? "vowels" : found->second;
}

struct Split {
    std::string name;
    std::vector<bool> chosen;
};

std::vector<Split> splitsOf(const std::vector<LabelledUtterance>& corpus) {
    const std::vector<std::string> speakers = speakersOf(corpus);
    Split all{"all speakers", std::vector<bool>(corpus.size(), true)};
    Split first{"half A", std::vector<bool>(corpus.size(), false)};
    Split second{"half B", std::vector<bool>(corpus.size(), false)};
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        const auto index = static_cast<std::size_t>(
            std::find(speakers.begin(), speakers.end(), corpus[i].speaker) - speakers.begin());
        ((index / 2) % 2 == 0 ? first : second).chosen[i] = true;
    }
    return {all, first, second};
}

void printScores(const std::vector<Mode>& modes, const std::vector<Scores>& scores,
                 const std::string& title) {
    std::printf("\n### %s\n\n", title.c_str());
    std::vector<std::string> header = {"measure"};
    for (const Mode& m : modes)
        header.push_back(m.name);
    header.push_back("target (acoustic)");
    Table table(header);
    const auto row = [&](const std::string& name, auto value, const std::string& target) {
        std::vector<std::string> cells = {name};
        for (const Scores& s : scores)
            cells.push_back(value(s));
        cells.push_back(target);
        table.row(cells);
    };
    row(
        "files (false recognitions)",
        [](const Scores& s) { return format("%zu (%zu)", s.files, s.falseRecognitions); },
        "0 false");
    row(
        "labelled phones that pair",
        [](const Scores& s) {
            return percent(static_cast<double>(s.phones.errors.size()) /
                           static_cast<double>(std::max<std::size_t>(s.labelledPhones, 1)));
        },
        "-");
    row(
        "paired phone starts within 20 ms",
        [](const Scores& s) { return percent(shareWithin(s.phones.errors, 20)); },
        format(">= %.0f %%", kMinPhoneCloseShare * 100));
    row(
        "paired phone starts within 50 ms",
        [](const Scores& s) { return percent(shareWithin(s.phones.errors, 50)); }, "-");
    row(
        "mean absolute phone-start error",
        [](const Scores& s) { return format("%.1f ms", meanAbsolute(s.phones.errors)); },
        format("<= %.0f ms", kMaxMeanAbsoluteMs));
    row(
        "median signed phone-start error",
        [](const Scores& s) { return format("%+.1f ms", median(s.phones.errors)); }, "-");
    row(
        "word starts within 20 ms",
        [](const Scores& s) { return percent(shareWithin(s.words.errors, 20)); }, "-");
    row(
        "word starts within 50 ms",
        [](const Scores& s) { return percent(shareWithin(s.words.errors, 50)); },
        format(">= %.0f %%", kMinWordNearShare * 100));
    row(
        "hint mode x real time, one core (CPU)",
        [](const Scores& s) { return format("%.1fx", s.audioSeconds / s.cpuSeconds); },
        format(">= %.0fx", kMinHintSpeedup));
}

void printClasses(const std::vector<Mode>& modes, const std::vector<Scores>& scores) {
    std::printf(
        "\n### By class of the labelled phone (all speakers): within 20 ms, median "
        "signed error\n\n");
    std::vector<std::string> header = {"class", "pairs"};
    for (const Mode& m : modes)
        header.push_back(m.name);
    Table table(header);
    for (const char* phoneClass :
         {"stops", "fricatives", "nasals", "liquids and glides", "vowels"}) {
        std::vector<std::string> cells = {phoneClass};
        cells.push_back(format("%zu", errorsWhere(scores.back().phones, [&](std::string_view p) {
                                          return classOf(p) == phoneClass;
                                      }).size()));
        for (const Scores& s : scores) {
            const std::vector<int> errors =
                errorsWhere(s.phones, [&](std::string_view p) { return classOf(p) == phoneClass; });
            cells.push_back(
                format("%s, %+.1f ms", percent(shareWithin(errors, 20)).c_str(), median(errors)));
        }
        table.row(cells);
    }
}

// Dictation over every utterance in each mode, file by file in turn so that a change in the
// machine's load falls on all modes alike: CPU seconds per mode.
std::vector<double> dictationCpu(SpeechModel& model, const std::vector<Mode>& modes,
                                 const std::vector<LabelledUtterance>& corpus) {
    std::vector<double> cpu(modes.size());
    for (const LabelledUtterance& u : corpus) {
        for (std::size_t m = 0; m < modes.size(); ++m) {
            Recognizer recognizer(model, modes[m].options);
            Collector collector;
            auto source = AudioSource::open(u.audio);
            const double start = threadCpuSeconds();
            recognizer.recognizeDictation(*source, collector);
            cpu[m] += threadCpuSeconds() - start;
        }
    }
    return cpu;
}

bool met(const Scores& s) {
    return s.falseRecognitions == 0 && shareWithin(s.phones.errors, 20) >= kMinPhoneCloseShare &&
           meanAbsolute(s.phones.errors) <= kMaxMeanAbsoluteMs &&
           shareWithin(s.words.errors, 50) >= kMinWordNearShare &&
           s.audioSeconds / s.cpuSeconds >= kMinHintSpeedup;
}

int run(const fs::path& root, bool withDictation) {
    SpeechModel& model = SpeechModel::shared();
    const std::vector<LabelledUtterance> corpus = readCorpus(root, model);
    if (corpus.empty()) {
        std::fprintf(stderr, "no labelled utterances in %s\n", root.c_str());
        return 2;
    }
    double audioSeconds = 0.0;
    for (const LabelledUtterance& u : corpus) {
        audioSeconds += u.seconds;
    }
    std::printf("%zu utterances of %zu speakers, %.1f s of audio, from %s\n", corpus.size(),
                speakersOf(corpus).size(), audioSeconds, root.c_str());

    const std::vector<Mode> modes = {
        {"weights", {}},
        {"acoustic", {.alignPhones = true}},
    };
    std::vector<std::vector<Outcome>> outcomes(modes.size());
    for (std::size_t m = 0; m < modes.size(); ++m) {
        Recognizer recognizer(model, modes[m].options);
        for (const LabelledUtterance& u : corpus) {
            outcomes[m].push_back(alignUtterance(recognizer, u));
        }
    }
    bool allMet = true;
    for (const Split& split : splitsOf(corpus)) {
        std::vector<Scores> scores;
        for (std::size_t m = 0; m < modes.size(); ++m) {
            scores.push_back(scoresOf(corpus, outcomes[m], split.chosen));
        }
        printScores(modes, scores, split.name);
        if (split.name == "all speakers") {
            allMet = met(scores[1]);
            printClasses(modes, scores);
        }
    }
    if (withDictation) {
        const std::vector<double> cpu = dictationCpu(model, modes, corpus);
        std::printf("\n### Dictation, CPU time against weights mode\n\n");
        Table table({"mode", "CPU", "x weights", "target", "met"});
        for (std::size_t m = 0; m < modes.size(); ++m) {
            const double ratio = cpu[m] / cpu[0];
            table.row({modes[m].name, format("%.1f s", cpu[m]), format("%.3f", ratio),
                       format("<= %.1f", kMaxDictationCost), verdict(ratio <= kMaxDictationCost)});
            allMet = allMet && ratio <= kMaxDictationCost;
        }
    }
    std::printf("\nAcoustic mode meets every target on all speakers: %s\n",
                verdict(allMet).c_str());
    return allMet ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool withDictation = argc == 3 && std::strcmp(argv[2], "--dictation") == 0;
    if (argc < 2 || argc > 3 || (argc == 3 && !withDictation)) {
        std::fprintf(stderr, "usage: %s <corpus-dir> [--dictation]\n", argv[0]);
        return 2;
    }
    try {
        return run(argv[1], withDictation);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench failed: %s\n", error.what());
        return 2;
    }
}
