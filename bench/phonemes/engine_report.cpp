#include "engine_report.h"

#include <pocketsphinx.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "engine/audio_source.h"
#include "engine/speech_model.h"
#include "speech_synth.h"

namespace phonemes::bench {
namespace fs = std::filesystem;
using namespace engine;
using Clock = std::chrono::steady_clock;

namespace {

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

}  // namespace

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
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

}  // namespace phonemes::bench
