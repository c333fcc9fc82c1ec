#include "json_record_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_support.h"

namespace phonemes {
namespace {

using Entries = std::vector<PhoneEntry>;

struct JsonCase {
    const char* name;
    Entries entries;
    std::vector<WordSpan> words;
    std::uint32_t endTime;
    std::int32_t minimum;
    const char* expected;
};

void PrintTo(const JsonCase& c, std::ostream* os) {
    *os << c.name;
}

const Entries kHello = {{"h", 100}, {"eh", 150}, {"l", 250}, {"ow", 300}, {"_", 450}};
const std::vector<WordSpan> kHelloWord = {{"Hello,", 100, 450}};

class WriteJsonRecord : public ::testing::TestWithParam<JsonCase> {
  protected:
    WriteJsonRecord() { inventory.buildWeightLookup(); }
    PhoneInventory inventory;
};

TEST_P(WriteJsonRecord, OneObjectPerLine) {
    const JsonCase& c = GetParam();
    PhoneTimeline timeline(inventory);
    timeline.entries = c.entries;
    timeline.words = c.words;
    timeline.endTime = c.endTime;
    timeline.audioLength = 600;
    ExtractorOptions options;
    options.minPhonemeDuration = c.minimum;
    std::ostringstream out;
    EXPECT_TRUE(writeJsonRecord(out, "a.wav", timeline, options));
    EXPECT_EQ(out.str(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, WriteJsonRecord,
    ::testing::Values(
        JsonCase{"Worked", kHello, kHelloWord, 500, 10,
                 R"({"file":"a.wav","end":0.5,"duration":0.6,)"
                 R"("words":[{"word":"Hello,","start":0.1,"end":0.45}],)"
                 R"("phones":[{"phone":"h","start":0.1,"end":0.15},)"
                 R"({"phone":"eh","start":0.15,"end":0.25},{"phone":"l","start":0.25,"end":0.3},)"
                 R"({"phone":"ow","start":0.3,"end":0.45}]})"
                 "\n"},
        // The minimum drops the same phones as in records; each kept one still ends where the
        // next entry starts.
        JsonCase{"MinimumDropsShortPhones", kHello, kHelloWord, 500, 60,
                 R"({"file":"a.wav","end":0.5,"duration":0.6,)"
                 R"("words":[{"word":"Hello,","start":0.1,"end":0.45}],)"
                 R"("phones":[{"phone":"eh","start":0.15,"end":0.25},)"
                 R"({"phone":"ow","start":0.3,"end":0.45}]})"
                 "\n"},
        JsonCase{"NothingRecognisedIgnoresEntries", kHello, kHelloWord, 0, 10,
                 R"({"file":"a.wav","end":0.0,"duration":0.6,"words":[],"phones":[]})"
                 "\n"},
        JsonCase{"NoWords",
                 {},
                 {},
                 500,
                 10,
                 R"({"file":"a.wav","end":0.5,"duration":0.6,"words":[],"phones":[]})"
                 "\n"},
        JsonCase{"PauseBetweenWordsIsNoPhone",
                 {{"aa", 0}, {"_", 200}, {"b", 350}, {"_", 400}},
                 {{"ah", 0, 200}, {"be", 350, 400}},
                 400,
                 10,
                 R"({"file":"a.wav","end":0.4,"duration":0.6,)"
                 R"("words":[{"word":"ah","start":0.0,"end":0.2},{"word":"be","start":0.35,)"
                 R"("end":0.4}],"phones":[{"phone":"aa","start":0.0,"end":0.2},)"
                 R"({"phone":"b","start":0.35,"end":0.4}]})"
                 "\n"}),
    [](const ::testing::TestParamInfo<JsonCase>& info) { return info.param.name; });

// Whatever bytes a name or word holds, every line is JSON that a real parser reads back.
TEST(JsonRecordWriter, AnyNameOrWordGivesJsonThatJqReads) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    const std::vector<std::string> names = {"plain.wav", "quote\" and back\\slash.wav",
                                            "tab\tand\x01"
                                            "control.wav",
                                            "caf\xC3\xA9 \xE2\x84\x96.wav", "latin1 h\xE9llo.wav"};
    const std::vector<std::string> decoded = {"plain.wav", "quote\" and back\\slash.wav",
                                              "tab\tand\x01"
                                              "control.wav",
                                              "caf\xC3\xA9 \xE2\x84\x96.wav",
                                              "latin1 h\xEF\xBF\xBDllo.wav"};
    testing::TempDir dir;
    const std::filesystem::path file = dir / "out.jsonl";
    {
        std::ofstream out(file, std::ios::binary);
        for (const std::string& name : names) {
            PhoneTimeline timeline(inventory);
            timeline.addWord("aa", 0, 100, name);
            timeline.endTime = 100;
            ASSERT_TRUE(writeJsonRecord(out, name, timeline, ExtractorOptions{}));
        }
    }
    // Invalid UTF-8 comes back as U+FFFD; every other byte as it was.
    EXPECT_EQ(testing::jqLines(".file", file), decoded);
    EXPECT_EQ(testing::jqLines(".words[0].word", file), decoded);
    EXPECT_EQ(testing::jqLines(R"jq("\(.end) \(.phones[0].phone) \(.phones[0].end)")jq", file),
              std::vector<std::string>(names.size(), "0.1 aa 0.1"));
}

}  // namespace
}  // namespace phonemes
