// Mouth-cue files in the layouts their importers read.
#include "mouth_cue_formats.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace phonemes {
namespace {

struct FormatCase {
    MouthCueFormat format;
    const char* text;
};

TEST(MouthCueFormats, EachFormatWritesTheLayoutItsImportersRead) {
    const std::vector<PhoneEntry> entries = {{"m", 40}, {"aa", 120}, {"_", 280}};
    const MouthCues cues = mouthCuesOf(entries, 280, 400, MouthShapeSet::kExtended, 25);
    const FormatCase cases[] = {
        {MouthCueFormat::kTsv, "0.000\tX\n0.040\tA\n0.120\tD\n0.280\tX\n"},
        {MouthCueFormat::kJson,
         "{\"metadata\":{\"soundFile\":\"a&b\\\"<.wav\",\"duration\":0.400},\"mouthCues\":["
         "{\"start\":0.000,\"end\":0.040,\"value\":\"X\"},"
         "{\"start\":0.040,\"end\":0.120,\"value\":\"A\"},"
         "{\"start\":0.120,\"end\":0.280,\"value\":\"D\"},"
         "{\"start\":0.280,\"end\":0.400,\"value\":\"X\"}]}\n"},
        {MouthCueFormat::kXml,
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rhubarbResult>\n  <metadata>\n"
         "    <soundFile>a&amp;b&quot;&lt;.wav</soundFile>\n    <duration>0.400</duration>\n"
         "  </metadata>\n  <mouthCues>\n"
         "    <mouthCue start=\"0.000\" end=\"0.040\">X</mouthCue>\n"
         "    <mouthCue start=\"0.040\" end=\"0.120\">A</mouthCue>\n"
         "    <mouthCue start=\"0.120\" end=\"0.280\">D</mouthCue>\n"
         "    <mouthCue start=\"0.280\" end=\"0.400\">X</mouthCue>\n"
         "  </mouthCues>\n</rhubarbResult>\n"},
        {MouthCueFormat::kDat, "MohoSwitch1\n1 rest\n2 MBP\n4 AI\n8 rest\n"},
    };
    for (const FormatCase& c : cases) {
        std::ostringstream out;
        EXPECT_TRUE(writeMouthCues(out, cues, "a&b\"<.wav", c.format));
        EXPECT_EQ(out.str(), c.text) << mouthCueExtension(c.format);
    }
}

TEST(MouthCueFormats, TabSeparatedCuesEndWithTheRestThatEndsTheLastShape) {
    const std::vector<PhoneEntry> entries = {{"aa", 0}, {"_", 300}};
    const MouthCues cues = mouthCuesOf(entries, 300, 300, MouthShapeSet::kOculus, 10);
    std::ostringstream out;
    writeMouthCues(out, cues, "a.wav", MouthCueFormat::kTsv);
    EXPECT_EQ(out.str(), "0.000\taa\n0.300\tsil\n");
}

}  // namespace
}  // namespace phonemes
