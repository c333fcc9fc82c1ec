// Whole batches through the driver, recognised by the scripted platform: the output file holds
// exactly the records of the files whose set-up succeeded, in either form.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "batch_driver.h"
#include "recognition_session.h"
#include "scripted_platform.h"
#include "session_fixture.h"
#include "speech_registry.h"
#include "test_support.h"

namespace phonemes::testing {
namespace {

using scripted::endOfStream;
using scripted::hypothesis;
using scripted::Op;
using scripted::recognition;
using ::testing::IsEmpty;

struct RunCase {
    std::string name;
    std::vector<std::string> options;
    std::string out;
    std::string records;

    friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

const RunCase kRunCases[] = {
    {"Plain",
     {"-q"},
     "",
     "[a.wav]\t3700\r\nh\t2800\r\neh\t2850\r\nl\t2950\r\now\t3000\r\n_\t3150\r\n\r\n"
     "[c.wav]\t0\r\n\r\n"},
    {"Tagged",
     {"-q", "-x"},
     "",
     "[a.wav]\t3700\r\n<Phonemes>2800:2850:h,2850:2950:eh,2950:3000:l,3000:3150:ow,"
     "3150:3700:_</Phonemes>\r\n\r\n"
     "[c.wav]\t0\r\n\r\n"},
    {"MinimumDropsShortPhones",
     {"-q", "-m", "60"},
     "",
     "[a.wav]\t3700\r\neh\t2850\r\now\t3000\r\n_\t3150\r\n\r\n[c.wav]\t0\r\n\r\n"},
    {"EchoesAfterEachFileLine",
     {"-t", "-u"},
     "FILE: a.wav\n-? hel\n-- hello\nFILE: b.wav\nFILE: c.wav\n",
     "[a.wav]\t3700\r\nh\t2800\r\neh\t2850\r\nl\t2950\r\now\t3000\r\n_\t3150\r\n\r\n"
     "[c.wav]\t0\r\n\r\n"},
};

class ExtractorRun : public ::testing::TestWithParam<RunCase> {
  protected:
    scripted::ScriptedPlatform platform;
    TempDir dir;
};

TEST_P(ExtractorRun, WritesTheRecordsOfTheFilesThatCouldBeSetUp) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        dir.write(name, "");  // the scripted platform never reads the audio
    }
    // a.wav: the worked example; b.wav: no recognition context; c.wav: nothing recognised.
    platform.addWait({hypothesis(u"hel"),
                      recognition(resultAt(2500, 1200, {wordAt(300, 350, "h eh l ow")}, u"hello")),
                      endOfStream()});
    platform.setStatusOnce(Op::CreateRecoContext, S_OK);
    platform.setStatusOnce(Op::CreateRecoContext, E_FAIL);
    platform.addWait({endOfStream()});

    // The platform's script is one sequence of calls: one job.
    std::vector<std::string> arguments = {"phonemes", "--jobs", "1"};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const std::string outputPath = (dir / "out.txt").string();
    arguments.insert(arguments.end(), {"-o", outputPath, (dir / "*.wav").string()});

    std::ostringstream out;
    std::ostringstream err;
    const int status = runExtractor(arguments, out, err, [](Extractor& extractor) {
        return std::make_unique<RecognitionSession>(extractor);
    });

    EXPECT_EQ(status, 0);
    if (GetParam().out.empty()) {
        EXPECT_EQ(out.str(), "");
    } else {
        EXPECT_THAT(out.str(), ::testing::EndsWith(GetParam().out));
    }
    EXPECT_EQ(err.str(), "ERROR: Cannot create recognition context.\n");
    EXPECT_EQ(readFile(outputPath), GetParam().records);
    EXPECT_THAT(platform.unbalancedObjects(), IsEmpty());
    EXPECT_THAT(platform.misuses(), IsEmpty());

    // The run initialised the component system for its files and shut it down afterwards.
    void* object = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_SpInprocRecognizer, nullptr, CLSCTX_ALL, IID_ISpRecognizer, &object),
        CO_E_NOTINITIALIZED);
}

INSTANTIATE_TEST_SUITE_P(Forms, ExtractorRun, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return info.param.name; });

TEST(ExtractorRunWithoutEngine, ReportsEveryFileAndWritesNoRecord) {
    TempDir dir;
    dir.write("a.wav", "");
    dir.write("b.wav", "");
    const std::string outputPath = (dir / "out.txt").string();
    std::ostringstream out;
    std::ostringstream err;
    resetSpeechRegistry();  // nothing registered for the recogniser's class
    const int status = runExtractor(
        {"phonemes", "-q", "-o", outputPath, (dir / "*.wav").string()}, out, err,
        [](Extractor& extractor) { return std::make_unique<RecognitionSession>(extractor); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(
        err.str(),
        "ERROR: Cannot create recognition engine.\nERROR: Cannot create recognition engine.\n");
    EXPECT_EQ(readFile(outputPath), "");
}

}  // namespace
}  // namespace phonemes::testing
