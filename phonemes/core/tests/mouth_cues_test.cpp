// Mouth cues as an animator's rig plays them: which shape each sound shows, and the timing rules
// that keep raw phone-to-shape output from looking wrong.
#include "mouth_cues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace phonemes {
namespace {

struct ShapeCase {
    MouthShapeSet set;
    const char* phone;
    const char* next;
    const char* shape;
};

TEST(MouthShapes, EachSoundShowsItsShapeInEverySet) {
    const ShapeCase cases[] = {
        {MouthShapeSet::kExtended, "b", "", "A"},
        {MouthShapeSet::kExtended, "m", "", "A"},
        {MouthShapeSet::kExtended, "iy", "", "B"},
        {MouthShapeSet::kExtended, "ae", "", "C"},
        {MouthShapeSet::kExtended, "aa", "", "D"},
        {MouthShapeSet::kExtended, "er", "", "E"},
        {MouthShapeSet::kExtended, "w", "", "F"},
        {MouthShapeSet::kExtended, "v", "", "G"},
        {MouthShapeSet::kExtended, "l", "", "H"},
        // h is breathed through the shape of the vowel it leads into.
        {MouthShapeSet::kExtended, "h", "aa", "D"},
        {MouthShapeSet::kExtended, "h", "", "B"},
        {MouthShapeSet::kExtended, "_", "", "X"},
        {MouthShapeSet::kBasic, "f", "", "B"},
        {MouthShapeSet::kBasic, "l", "", "C"},
        {MouthShapeSet::kBasic, "p", "", "A"},
        {MouthShapeSet::kOculus, "p", "", "PP"},
        {MouthShapeSet::kOculus, "th", "", "TH"},
        {MouthShapeSet::kOculus, "ng", "", "kk"},
        {MouthShapeSet::kOculus, "l", "", "nn"},
        {MouthShapeSet::kOculus, "h", "uw", "ou"},
        {MouthShapeSet::kOculus, "", "", "sil"},
    };
    for (const ShapeCase& c : cases) {
        EXPECT_EQ(mouthShapeOf(c.set, c.phone, c.next), c.shape)
            << c.phone << " before '" << c.next << "'";
    }
}

TEST(MouthShapes, EveryShapeASetShowsIsOneItListsAndNamesForSwitchLayers) {
    const char* phones[] = {"aa", "ae", "ah", "ao", "aw", "ax", "ay", "b",  "ch", "d",
                            "dh", "eh", "er", "ey", "f",  "g",  "h",  "ih", "iy", "jh",
                            "k",  "l",  "m",  "n",  "ng", "ow", "oy", "p",  "r",  "s",
                            "sh", "t",  "th", "uh", "uw", "v",  "w",  "y",  "z",  "zh"};
    for (MouthShapeSet set :
         {MouthShapeSet::kExtended, MouthShapeSet::kBasic, MouthShapeSet::kOculus}) {
        const auto listed = shapesOf(set);
        for (const char* phone : phones) {
            const std::string_view shape = mouthShapeOf(set, phone, "");
            EXPECT_NE(std::find(listed.begin(), listed.end(), shape), listed.end()) << phone;
            EXPECT_NE(shape, restShape(set)) << phone;
        }
    }
    EXPECT_EQ(switchLayerName(MouthShapeSet::kExtended, "A"), "MBP");
    EXPECT_EQ(switchLayerName(MouthShapeSet::kExtended, "X"), "rest");
    EXPECT_EQ(switchLayerName(MouthShapeSet::kOculus, "aa"), "aa");
}

std::string cueText(const MouthCues& cues) {
    std::string text;
    for (const MouthCue& cue : cues.cues) {
        text += std::string(cue.shape) + "@" + std::to_string(cue.firstFrame) + " ";
    }
    return text;
}

// At 25 frames a second a frame is 40 ms, and frame k shows the sound at (k + 1) * 40 ms.
struct RuleCase {
    const char* fault;
    std::vector<PhoneEntry> entries;
    std::int64_t speechEnd;
    std::int64_t duration;
    const char* cues;
};

TEST(MouthCueRules, EachRulePreventsTheFaultItNames) {
    const RuleCase cases[] = {
        {"a shape flashes for less than a frame",
         {{"aa", 40}, {"s", 120}, {"iy", 130}, {"_", 200}},
         200,
         400,
         "X@0 D@1 B@3 X@5 "},
        {"lips never close on a short b",
         {{"aa", 40}, {"b", 125}, {"aa", 140}, {"_", 240}},
         240,
         400,
         "X@0 D@1 A@3 D@4 X@6 "},
        {"the mouth hangs open in a pause",
         {{"aa", 40}, {"_", 120}, {"aa", 360}, {"_", 440}},
         440,
         600,
         "X@0 D@1 X@3 D@9 X@11 "},
        {"the mouth snaps shut between the words of a phrase",
         {{"aa", 40}, {"_", 120}, {"iy", 240}, {"_", 320}},
         320,
         400,
         "X@0 D@1 B@6 X@8 "},
        {"the last frame flashes where the audio ends inside it",
         {{"aa", 40}, {"_", 410}},
         410,
         410,
         "X@0 D@1 "},
        {"silent audio", {}, 0, 0, "X@0 "},
    };
    for (const RuleCase& c : cases) {
        const MouthCues cues =
            mouthCuesOf(c.entries, c.speechEnd, c.duration, MouthShapeSet::kExtended, 25);
        EXPECT_EQ(cueText(cues), c.cues) << c.fault;
    }
}

// Timelines of random sounds and pauses, at frame rates from 1 to 120.
TEST(MouthCueRules, CuesTileTheAudioAndNoShapeComesLateOrLastsUnderAFrame) {
    std::mt19937 random(7);
    const char* sounds[] = {"aa", "b", "s", "uw", "f", "l", "m", "_"};
    for (int fps : {1, 12, 24, 25, 30, 60, 120}) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<PhoneEntry> entries;
            std::int32_t t = static_cast<std::int32_t>(random() % 300);
            const int count = 1 + static_cast<int>(random() % 30);
            for (int i = 0; i < count; ++i) {
                entries.push_back({sounds[random() % 8], t});
                t += 5 + static_cast<std::int32_t>(random() % 250);
            }
            entries.push_back({"_", t});
            const std::int64_t duration = t + static_cast<std::int64_t>(random() % 500);
            const MouthCues cues = mouthCuesOf(entries, t, duration, MouthShapeSet::kExtended, fps);
            ASSERT_FALSE(cues.cues.empty());
            EXPECT_EQ(cues.cues.front().firstFrame, 0);
            EXPECT_DOUBLE_EQ(cues.endSeconds(cues.cues.size() - 1), duration / 1000.0);
            const double frame = 1.0 / fps;
            for (std::size_t i = 0; i < cues.cues.size(); ++i) {
                EXPECT_LT(cues.startSeconds(i), std::max(duration / 1000.0, 1e-9));
                if (i > 0) {
                    EXPECT_NE(cues.cues[i].shape, cues.cues[i - 1].shape);
                }
                if (i + 1 < cues.cues.size() || duration / 1000.0 >= 2 * frame) {
                    EXPECT_GE(cues.endSeconds(i) - cues.startSeconds(i), frame - 1e-9)
                        << "fps " << fps << ", cue " << i << " of " << cueText(cues);
                }
            }
            // Every sound that fills a whole frame shows from at most a frame before it.
            const std::vector<std::string_view> perFrame = shapePerFrame(cues);
            for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
                const double start = entries[i].start / 1000.0;
                const double end = entries[i + 1].start / 1000.0;
                // A closure just before may take the first frame (the rule above).
                const bool afterClosure =
                    i > 0 && (entries[i - 1].label == "b" || entries[i - 1].label == "m");
                if (entries[i].label == "_" || end - start < 2 * frame || afterClosure) {
                    continue;
                }
                const std::string_view shape =
                    mouthShapeOf(MouthShapeSet::kExtended, entries[i].label,
                                 entries[i + 1].label == "_" ? "" : entries[i + 1].label);
                const auto first = static_cast<std::size_t>(entries[i].start * fps / 1000);
                EXPECT_EQ(perFrame[first], shape)
                    << "fps " << fps << ": " << entries[i].label << " at " << start;
            }
        }
    }
}

}  // namespace
}  // namespace phonemes
