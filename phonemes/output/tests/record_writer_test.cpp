#include "record_writer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace phonemes {
namespace {

using Entries = std::vector<PhoneEntry>;

const Entries kHello = {{"h", 100}, {"eh", 150}, {"l", 250}, {"ow", 300}, {"_", 450}};

struct RecordCase {
    const char* name;
    Entries entries;
    std::uint32_t endTime;
    std::int32_t minimum;
    const char* plain;
    const char* tagged;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteRecord : public ::testing::TestWithParam<RecordCase> {
  protected:
    WriteRecord() { inventory.buildWeightLookup(); }

    std::string write(bool xml) {
        const RecordCase& c = GetParam();
        PhoneTimeline timeline(inventory);
        timeline.entries = c.entries;
        timeline.endTime = c.endTime;
        ExtractorOptions options;
        options.minPhonemeDuration = c.minimum;
        options.xmlFormat = xml;
        std::ostringstream out;
        EXPECT_TRUE(writeRecord(out, "a.wav", timeline, options));
        return out.str();
    }

    PhoneInventory inventory;
};

TEST_P(WriteRecord, PlainForm) {
    EXPECT_EQ(write(false), GetParam().plain);
}
TEST_P(WriteRecord, TaggedForm) {
    EXPECT_EQ(write(true), GetParam().tagged);
}

INSTANTIATE_TEST_SUITE_P(
    Records, WriteRecord,
    ::testing::Values(
        RecordCase{"Worked", kHello, 500, 10,
                   "[a.wav]\t500\r\nh\t100\r\neh\t150\r\nl\t250\r\now\t300\r\n_\t450\r\n\r\n",
                   "[a.wav]\t500\r\n<Phonemes>100:150:h,150:250:eh,250:300:l,300:450:ow,"
                   "450:500:_</Phonemes>\r\n\r\n"},
        RecordCase{"ShortPhonesLeftOut", kHello, 500, 60,
                   "[a.wav]\t500\r\neh\t150\r\now\t300\r\n_\t450\r\n\r\n",
                   "[a.wav]\t500\r\n<Phonemes>150:250:eh,300:450:ow,450:500:_</Phonemes>\r\n"
                   "\r\n"},
        RecordCase{"ZeroMinimumKeepsZeroDurations",
                   {{"d", 0}, {"XX", 2}, {"ow", 2}, {"_", 10}},
                   10,
                   0,
                   "[a.wav]\t10\r\nd\t0\r\nXX\t2\r\now\t2\r\n_\t10\r\n\r\n",
                   "[a.wav]\t10\r\n<Phonemes>0:2:d,2:2:XX,2:10:ow,10:10:_</Phonemes>\r\n\r\n"},
        RecordCase{"DefaultMinimumDropsZeroDurations",
                   {{"d", 0}, {"XX", 20}, {"ow", 20}, {"_", 40}},
                   40,
                   10,
                   "[a.wav]\t40\r\nd\t0\r\now\t20\r\n_\t40\r\n\r\n",
                   "[a.wav]\t40\r\n<Phonemes>0:20:d,20:40:ow,40:40:_</Phonemes>\r\n\r\n"},
        RecordCase{"EarlierSuccessorIsAlwaysKept",
                   {{"s", 500}, {"_", 505}, {"t", 200}, {"_", 300}},
                   300,
                   10,
                   "[a.wav]\t300\r\n_\t505\r\nt\t200\r\n_\t300\r\n\r\n",
                   "[a.wav]\t300\r\n<Phonemes>505:200:_,200:300:t,300:300:_</Phonemes>\r\n\r\n"},
        RecordCase{"NegativeMinimumKeepsOnlyTheLast", kHello, 500, -1,
                   "[a.wav]\t500\r\n_\t450\r\n\r\n",
                   "[a.wav]\t500\r\n<Phonemes>450:500:_</Phonemes>\r\n\r\n"},
        RecordCase{"NothingRecognisedIgnoresEntries", kHello, 0, 10, "[a.wav]\t0\r\n\r\n",
                   "[a.wav]\t0\r\n\r\n"},
        RecordCase{
            "TimedButNoEntries", {}, 800, 10, "[a.wav]\t800\r\n\r\n", "[a.wav]\t800\r\n\r\n"},
        RecordCase{"SingleEntryEndsAtEndTimeEvenBeforeItsStart",
                   {{"_", 450}},
                   400,
                   10,
                   "[a.wav]\t400\r\n_\t450\r\n\r\n",
                   "[a.wav]\t400\r\n<Phonemes>450:400:_</Phonemes>\r\n\r\n"},
        RecordCase{"NegativeStartsAreSigned",
                   {{"s", -20}, {"_", 0}},
                   3000000000u,
                   10,
                   "[a.wav]\t-1294967296\r\ns\t-20\r\n_\t0\r\n\r\n",
                   "[a.wav]\t-1294967296\r\n<Phonemes>-20:0:s,0:-1294967296:_</Phonemes>\r\n"
                   "\r\n"}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(WriteRecordName, IsWrittenAsHeld) {
    PhoneInventory inventory;
    PhoneTimeline timeline(inventory);
    std::ostringstream out;
    ASSERT_TRUE(writeRecord(out, "odd [name] \xc3\xbc.wav", timeline, ExtractorOptions{}));
    EXPECT_EQ(out.str(), "[odd [name] \xc3\xbc.wav]\t0\r\n\r\n");
}

// A stream buffer that refuses every byte, as a full disk does.
class RefusingBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    int sync() override { return -1; }
};

TEST(WriteRecordFailure, IsReportedWhenTheOutputRefusesWrites) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    PhoneTimeline timeline(inventory);
    timeline.addWord("h eh l ow", 100, 350);
    timeline.endTime = 500;
    RefusingBuffer refusing;
    std::ostream out(&refusing);
    EXPECT_FALSE(writeRecord(out, "a.wav", timeline, ExtractorOptions{}));
}

}  // namespace
}  // namespace phonemes
