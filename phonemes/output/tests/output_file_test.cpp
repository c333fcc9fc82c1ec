#include "output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "record_writer.h"
#include "test_support.h"

namespace phonemes {
namespace {
using testing::readFile;
using testing::TempDir;

TEST(OutputFile, IsEmptiedAndReceivesRecordsWithCrLf) {
    TempDir dir;
    auto path = dir.write("out.txt", "records of an earlier run\n");
    {
        auto file = OutputFile::open(path.string());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(readFile(path), "");
        PhoneInventory inventory;
        inventory.buildWeightLookup();
        PhoneTimeline timeline(inventory);
        timeline.addWord("s", 0, 50);
        timeline.endTime = 60;
        ASSERT_TRUE(writeRecord(file->stream(), "a.wav", timeline, ExtractorOptions{}));
        // Each record is on disk as soon as it is written.
        EXPECT_EQ(readFile(path), "[a.wav]\t60\r\ns\t0\r\n_\t50\r\n\r\n");
    }
    EXPECT_EQ(readFile(path), "[a.wav]\t60\r\ns\t0\r\n_\t50\r\n\r\n");
}

TEST(OutputFile, IsCreatedWhenMissing) {
    TempDir dir;
    ASSERT_NE(OutputFile::open((dir / "new.txt").string()), nullptr);
    EXPECT_TRUE(std::filesystem::exists(dir / "new.txt"));
}

TEST(OutputFile, CannotBeOpened) {
    TempDir dir;
    EXPECT_EQ(OutputFile::open(""), nullptr);
    EXPECT_EQ(OutputFile::open(dir.path().string()), nullptr);
    EXPECT_EQ(OutputFile::open((dir / "missing/out.txt").string()), nullptr);
}

TEST(OutputFile, LockedByAnotherHolderIsLeftUntouched) {
    TempDir dir;
    auto path = dir.write("out.txt", "another run's records\r\n");
    int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(OutputFile::open(path.string()), nullptr);
    EXPECT_EQ(readFile(path), "another run's records\r\n");
    ::close(holder);
    EXPECT_NE(OutputFile::open(path.string()), nullptr);
}

TEST(OutputFile, ADeviceIsNotLockedAgainstOtherRuns) {
    for (const char* device : {"/dev/null", "/dev/full"}) {
        auto first = OutputFile::open(device);
        auto second = OutputFile::open(device);
        EXPECT_NE(first, nullptr) << device;
        EXPECT_NE(second, nullptr) << device;
    }
}

TEST(OutputFile, FullDeviceFailsTheRecord) {
    auto file = OutputFile::open("/dev/full");
    ASSERT_NE(file, nullptr);
    PhoneInventory inventory;
    PhoneTimeline timeline(inventory);
    EXPECT_FALSE(writeRecord(file->stream(), "a.wav", timeline, ExtractorOptions{}));
}

// A disk that fills up in the middle of a record: the file keeps the records written whole and
// nothing of the one cut short, and no later record is appended. The size limit of a child
// process stands in for the full disk.
TEST(OutputFile, ARecordCutShortIsTakenBackWhole) {
    TempDir dir;
    const std::string path = (dir / "out.txt").string();
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    PhoneTimeline timeline(inventory);
    timeline.addWord("s ih t", 0, 300);
    timeline.endTime = 300;
    std::ostringstream one;
    ASSERT_TRUE(writeRecord(one, "a.wav", timeline, ExtractorOptions{}));
    const std::string record = one.str();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Room for one record and half of the next.
        const rlimit limit{record.size() * 3 / 2, record.size() * 3 / 2};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto file = OutputFile::open(path);
        int failures = 0;
        for (int i = 0; i < 3; ++i) {
            failures += writeRecord(file->stream(), "a.wav", timeline, ExtractorOptions{}) ? 0 : 1;
        }
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << "the second and third records fail";
    EXPECT_EQ(readFile(path), record);
}

}  // namespace
}  // namespace phonemes
