#include "hint_table.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sstream>

#include "console.h"
#include "test_support.h"

namespace phonemes {
namespace {
using testing::TempDir;

HintTable tableFrom(const std::string& bytes) {
    HintTable table;
    std::istringstream in(bytes);
    EXPECT_TRUE(table.readEntries(in));
    return table;
}

struct LookupCase {
    const char* name;
    std::optional<std::string> hint;
};

TEST(HintTable, ReadsEntriesAsWritten) {
    HintTable table = tableFrom(
        "utt001.wav:the cat sat\r\n"
        "empty.wav:\n"
        "spaced.wav: leading space kept\n"
        "trailing.wav :text\n"
        "two.wav:a:b\n"
        "C:\\data\\drive.wav:text\n"
        "dir/nocolon.wav\n"
        "\n"
        "Upper.WAV:upper\n"
        "dup.wav:first\n"
        "dup.wav:second\n"
        ":empty key\n"
        "last.wav:no line end");
    const LookupCase cases[] = {
        {"utt001.wav", "the cat sat"},
        {"empty.wav", ""},
        {"spaced.wav", " leading space kept"},
        {"trailing.wav", std::nullopt},
        {"trailing.wav ", "text"},
        {"two.wav", "a:b"},
        {"drive.wav", std::nullopt},
        {"C", "\\data\\drive.wav:text"},
        {"nocolon.wav", std::nullopt},
        {"upper.wav", std::nullopt},
        {"Upper.WAV", "upper"},
        {"dup.wav", "second"},
        {"", "empty key"},
        {"last.wav", "no line end"},
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(table.findHint(c.name), c.hint) << "name: '" << c.name << "'";
    }
}

TEST(HintTable, LineEndsOfBothKindsGiveTheSameTable) {
    for (const char* bytes :
         {"a.wav:one\r\nb.wav:two\r\n", "a.wav:one\nb.wav:two\n", "a.wav:one\nb.wav:two"}) {
        HintTable table = tableFrom(bytes);
        EXPECT_EQ(table.findHint("a.wav"), "one");
        EXPECT_EQ(table.findHint("b.wav"), "two");
    }
    // Only a carriage return right before the line feed belongs to the line end.
    EXPECT_EQ(tableFrom("a.wav:x\r\r\n").findHint("a.wav"), "x\r");
    EXPECT_EQ(tableFrom("a.wav:x\r").findHint("a.wav"), "x\r");
}

TEST(HintTable, LongLinesAreReadWhole) {
    std::string transcript(100000, 'w');
    EXPECT_EQ(tableFrom("long.wav:" + transcript + "\n").findHint("long.wav"), transcript);
}

class LoadHints : public ::testing::Test {
  protected:
    std::string load(const std::string& path) {
        Console console(out, err);
        table.loadHints(path, console);
        EXPECT_EQ(out.str(), "");
        return err.str();
    }
    TempDir dir;
    HintTable table;
    std::ostringstream out, err;
};

TEST_F(LoadHints, ReadsAFile) {
    EXPECT_EQ(load(dir.write("hints.txt", "a.wav:hello world\r\n").string()), "");
    EXPECT_EQ(table.findHint("a.wav"), "hello world");
}

TEST_F(LoadHints, EmptyNameReadsNothingQuietly) {
    EXPECT_EQ(load(""), "");
}

TEST_F(LoadHints, UnopenablePathsAreReported) {
    dir.write("locked.txt", "a.wav:x\n");
    ::chmod((dir / "locked.txt").c_str(), 0);
    bool rootReadsAnyway = ::access((dir / "locked.txt").c_str(), R_OK) == 0;
    for (const std::string& path : {(dir / "missing.txt").string(), dir.path().string()}) {
        err.str("");
        EXPECT_EQ(load(path), "ERROR: Cannot open hints file.\n") << path;
    }
    if (!rootReadsAnyway) {
        err.str("");
        EXPECT_EQ(load((dir / "locked.txt").string()), "ERROR: Cannot open hints file.\n");
    }
    EXPECT_FALSE(table.findHint("a.wav").has_value());
}

// A stream that yields some lines and then fails, as a disk read error would.
class FailingAfter : public std::streambuf {
  public:
    explicit FailingAfter(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

  protected:
    int_type underflow() override { throw std::ios_base::failure("read error"); }

  private:
    std::string bytes_;
};

TEST(HintTableReadError, KeepsTheEntriesReadSoFar) {
    FailingAfter buffer("a.wav:one\nb.wav:two\n");
    std::istream in(&buffer);
    HintTable table;
    EXPECT_FALSE(table.readEntries(in));
    EXPECT_EQ(table.findHint("a.wav"), "one");
    EXPECT_EQ(table.findHint("b.wav"), "two");
}

}  // namespace
}  // namespace phonemes
