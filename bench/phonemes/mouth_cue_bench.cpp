// Mouth cues on real read speech whose phones were labelled by hand (a corpus in TIMIT's
// layout): the cues made from our phone times against the cues the same rules make from the
// hand-labelled phones; see run-mouth-cue-bench.
//
//   phonemes_mouth_cue_bench <corpus-dir>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "bench_report.h"
#include "corpus_alignment.h"
#include "engine/speech_model.h"
#include "file_result.h"
#include "mouth_cue_formats.h"
#include "phone_inventory.h"
#include "phone_timeline.h"

namespace fs = std::filesystem;
using namespace phonemes;
using namespace phonemes::engine;
using namespace phonemes::bench;

namespace {

// Targets in acoustic mode at 24 frames a second.
constexpr double kMinFramesRight = 0.85;
constexpr double kMinClosuresShown = 0.95;
constexpr int kTargetFps = 24;
// The program's default minimum phone duration (-m): the cues come from the phones it keeps.
constexpr std::int32_t kMinimumDuration = 10;
// A labelled closure at least this long is one a viewer sees.
constexpr int kVisibleClosureMs = 30;

const PhoneInventory& inventory() {
    static const PhoneInventory built = [] {
        PhoneInventory inventory;
        inventory.buildWeightLookup();
        return inventory;
    }();
    return built;
}

// The timeline the program builds from a recognition: aligned phones at their own starts,
// the others spread over their word by weight.
PhoneTimeline timelineOf(const Outcome& outcome, int durationMs) {
    PhoneTimeline timeline(inventory());
    for (const RecognizedWord& word : outcome.recognisedWords) {
        const std::string names = phoneNamesOf(word.phones).value_or("");
        const int start = msOf(word.startSample);
        const int end = msOf(word.startSample + word.sampleCount);
        std::vector<std::int32_t> starts;
        for (const PhoneSpan& span : word.phoneSpans) {
            starts.push_back(msOf(span.startSample));
        }
        if (word.phoneSpans.empty() || !timeline.addAlignedWord(names, starts, end, word.text)) {
            timeline.addWord(names, start, static_cast<std::uint32_t>(end - start), word.text);
        }
        timeline.endTime = static_cast<std::uint32_t>(end);
    }
    timeline.audioLength = static_cast<std::uint32_t>(durationMs);
    return timeline;
}

std::vector<PhoneEntry> entriesOf(const std::vector<TimedPhone>& sounds) {
    std::vector<PhoneEntry> entries;
    for (const TimedPhone& sound : sounds) {
        entries.push_back({sound.name, sound.startMs});
    }
    return entries;
}

struct CueScores {
    std::size_t frames = 0;
    std::size_t framesRight = 0;
    std::size_t closures = 0;
    std::size_t closuresShown = 0;
    double shortestMs = std::numeric_limits<double>::infinity();
};

void score(CueScores& scores, const MouthCues& ours, const MouthCues& reference,
           const std::vector<TimedPhone>& sounds, int durationMs) {
    const std::vector<std::string_view> ourFrames = shapePerFrame(ours);
    const std::vector<std::string_view> referenceFrames = shapePerFrame(reference);
    for (std::size_t k = 0; k < std::min(ourFrames.size(), referenceFrames.size()); ++k) {
        ++scores.frames;
        scores.framesRight += ourFrames[k] == referenceFrames[k] ? 1 : 0;
    }
    // A labelled closure is shown when a frame that overlaps it, or the frame before, shows
    // closed lips.
    const double frameMs = 1000.0 / ours.fps;
    for (std::size_t i = 0; i + 1 < sounds.size(); ++i) {
        const std::string& name = sounds[i].name;
        const int start = sounds[i].startMs;
        const int end = sounds[i + 1].startMs;
        if ((name != "p" && name != "b" && name != "m") || end - start < kVisibleClosureMs) {
            continue;
        }
        ++scores.closures;
        const auto first = static_cast<std::size_t>(std::max(0.0, start / frameMs - 1));
        const auto last = std::min(static_cast<std::size_t>(end / frameMs), ourFrames.size() - 1);
        for (std::size_t k = first; k <= last; ++k) {
            if (isClosedLips(ours.set, ourFrames[k])) {
                ++scores.closuresShown;
                break;
            }
        }
    }
    for (std::size_t c = 0; c < ours.cues.size(); ++c) {
        const double length = (ours.endSeconds(c) - ours.startSeconds(c)) * 1000.0;
        // Only a file shorter than two frames may hold a cue shorter than one.
        if (durationMs >= 2 * frameMs) {
            scores.shortestMs = std::min(scores.shortestMs, length);
        }
    }
}

int run(const fs::path& root) {
    SpeechModel& model = SpeechModel::shared();
    const std::vector<LabelledUtterance> corpus = readCorpus(root, model);
    if (corpus.empty()) {
        std::fprintf(stderr, "no labelled utterances in %s\n", root.c_str());
        return 2;
    }
    std::printf("%zu utterances of %zu speakers, from %s\n", corpus.size(),
                speakersOf(corpus).size(), root.c_str());

    struct Mode {
        const char* name;
        RecognizerOptions options;
        std::vector<PhoneTimeline> timelines;
    };
    std::vector<Mode> modes = {{"weights", {}, {}}, {"acoustic", {.alignPhones = true}, {}}};
    for (Mode& mode : modes) {
        Recognizer recognizer(model, mode.options);
        for (const LabelledUtterance& u : corpus) {
            mode.timelines.push_back(
                timelineOf(alignUtterance(recognizer, u), static_cast<int>(u.seconds * 1000)));
        }
    }

    const struct {
        const char* name;
        MouthShapeSet set;
    } sets[] = {{"extended", MouthShapeSet::kExtended},
                {"basic", MouthShapeSet::kBasic},
                {"oculus", MouthShapeSet::kOculus}};
    std::printf(
        "\nFrames that show the shape the hand-labelled phones give, hand-labelled p, b and m "
        "closures of at least %d ms that show closed lips, and the shortest cue written.\n\n",
        kVisibleClosureMs);
    Table table(
        {"set", "fps", "mode", "frames right", "closures shown", "shortest cue", "targets met"});
    bool allMet = true;
    for (const auto& s : sets) {
        for (int fps : {24, 30}) {
            for (const Mode& mode : modes) {
                CueScores scores;
                for (std::size_t i = 0; i < corpus.size(); ++i) {
                    const int durationMs = static_cast<int>(corpus[i].seconds * 1000);
                    const std::vector<PhoneEntry> labelled = entriesOf(corpus[i].sounds);
                    const MouthCues reference =
                        mouthCuesOf(labelled, durationMs, durationMs, s.set, fps);
                    const FileResult result =
                        makeFileResult(corpus[i].id, mode.timelines[i], kMinimumDuration);
                    score(scores, mouthCuesOf(result, s.set, fps), reference, corpus[i].sounds,
                          durationMs);
                }
                const double right = static_cast<double>(scores.framesRight) /
                                     static_cast<double>(std::max<std::size_t>(scores.frames, 1));
                const double shown = static_cast<double>(scores.closuresShown) /
                                     static_cast<double>(std::max<std::size_t>(scores.closures, 1));
                const bool judged = fps == kTargetFps && std::string(mode.name) == "acoustic";
                std::string met = "-";
                if (judged) {
                    const bool ok = right >= kMinFramesRight && shown >= kMinClosuresShown &&
                                    scores.shortestMs >= 1000.0 / fps - 1e-6;
                    met = verdict(ok);
                    allMet = allMet && ok;
                }
                table.row({s.name, format("%d", fps), mode.name, percent(right),
                           format("%s of %zu", percent(shown).c_str(), scores.closures),
                           format("%.1f ms", scores.shortestMs), met});
            }
        }
    }
    std::printf(
        "\nTargets (acoustic, %d fps): frames right >= %.0f %%, closures shown >= %.0f %%, "
        "no cue shorter than a frame (%.1f ms). Met: %s\n",
        kTargetFps, kMinFramesRight * 100, kMinClosuresShown * 100, 1000.0 / kTargetFps,
        allMet ? "yes" : "NO");
    return allMet ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus-dir>\n", argv[0]);
        return 2;
    }
    try {
        return run(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench failed: %s\n", error.what());
        return 2;
    }
}
