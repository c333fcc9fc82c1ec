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
#include "engine/recognizer.h"
#include "engine/speech_model.h"
#include "engine_report.h"
#include "speech_synth.h"
#include "synthetic_corpus.h"

namespace fs = std::filesystem;
using namespace phonemes::engine;
using namespace phonemes::bench;
using Clock = std::chrono::steady_clock;

namespace {

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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
