#include "output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

}  // namespace
}  // namespace phonemes
