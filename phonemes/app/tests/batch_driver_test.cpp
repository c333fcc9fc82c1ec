#include "batch_driver.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace phonemes {
namespace {
using testing::readFile;
using testing::TempDir;

// Gives one empty result per file, as the recognition would for a silent file, and keeps a
// log of what the driver asked of it.
class RecordingProcessor : public FileProcessor {
  public:
    RecordingProcessor(Extractor& extractor, std::vector<std::string>& log)
        : extractor_(extractor), log_(log) {}

    void startBatch() override { log_.push_back("start"); }
    std::optional<FileResult> processFile(const std::string& path) override {
        log_.push_back(baseNameOf(path));
        return extractor_.resultOf(baseNameOf(path));
    }
    void finishBatch() override { log_.push_back("finish"); }

  private:
    static std::string baseNameOf(const std::string& path) {
        return path.substr(path.find_last_of('/') + 1);
    }
    Extractor& extractor_;
    std::vector<std::string>& log_;
};

class BatchDriver : public ::testing::Test {
  protected:
    // One job: the processor's log shows the order in which files are processed.
    int run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"phonemes", "--jobs", "1"});
        return runExtractor(arguments, out, err, [this](Extractor& extractor) {
            return std::make_unique<RecordingProcessor>(extractor, log);
        });
    }
    std::string file(const std::string& name) { return dir.write(name, "").string(); }

    TempDir dir;
    std::ostringstream out, err;
    std::vector<std::string> log;
};

TEST_F(BatchDriver, ProcessesEveryFileInListOrderBetweenStartAndFinish) {
    std::string output = (dir / "out.txt").string();
    int status = run({"-q", "-o", output, file("b.wav"), file("a.wav"), file("b.wav")});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "b.wav", "a.wav", "b.wav", "finish"}));
    EXPECT_EQ(readFile(output), "[b.wav]\t0\r\n\r\n[a.wav]\t0\r\n\r\n[b.wav]\t0\r\n\r\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(BatchDriver, AFailedWriteStopsTheBatchWithStatusOne) {
    int status = run({"-q", "-o", "/dev/full", file("a.wav"), file("b.wav")});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"start", "a.wav", "finish"}));
    EXPECT_EQ(err.str(), "ERROR: Cannot write output file.\n");
}

TEST_F(BatchDriver, UnopenableOutputProcessesNothing) {
    int status = run({"-q", "-o", dir.path().string(), file("a.wav")});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(err.str(), "ERROR: Cannot open output file.\n");
}

}  // namespace
}  // namespace phonemes
