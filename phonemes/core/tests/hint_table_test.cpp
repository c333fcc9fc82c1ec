#include "hint_table.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

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

// Each line that is not UTF-8 is read as Windows-1252, the way Windows writes hints files.
TEST(HintTable, LinesThatAreNotUtf8AreReadAsWindows1252) {
    HintTable table = tableFrom(
        "utf8.wav:caf\xC3\xA9 cr\xC3\xA8me\n"
        "caf\xE9.wav:na\xEFve caf\xE9\n"
        "quotes.wav:\x93quoted\x94 \x80 5 \x85 \x9F\n"
        "undefined.wav:\x81\x8D\x8F\x90\x9D\n"
        "mixed.wav:\xC3\xA9 and \xE9\n");
    const LookupCase cases[] = {
        {"utf8.wav", "caf\xC3\xA9 cr\xC3\xA8me"},  // valid UTF-8 stays byte for byte
        {"caf\xC3\xA9.wav", "na\xC3\xAFve caf\xC3\xA9"},
        {"caf\xE9.wav", "na\xC3\xAFve caf\xC3\xA9"},  // a name in the file's own code page
        {"quotes.wav", "\u201Cquoted\u201D \u20AC 5 \u2026 \u0178"},
        {"undefined.wav", "\u0081\u008D\u008F\u0090\u009D"},
        {"mixed.wav", "\xC3\x83\xC2\xA9 and \xC3\xA9"},  // one byte off UTF-8: all of it is 1252
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(table.findHint(c.name), c.hint) << "name: '" << c.name << "'";
    }
}

// Notepad starts a UTF-8 file with a byte-order mark: it is no part of the first name. Only a
// mark at the very start is skipped; what follows it is read by the usual rule.
TEST(HintTable, ALeadingByteOrderMarkIsSkipped) {
    const std::string kMark = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::string, std::optional<std::string>>> lookups;
    } cases[] = {
        {"UTF-8", kMark + "good.wav:she uses both names\r\nnext.wav:more\r\n",
         {{"good.wav", "she uses both names"}, {"next.wav", "more"},
          {kMark + "good.wav", std::nullopt}}},
        {"Windows-1252 after the mark", kMark + "caf\xE9.wav:na\xEFve\n",
         {{"caf\xC3\xA9.wav", "na\xC3\xAFve"}, {"caf\xE9.wav", "na\xC3\xAFve"}}},
        {"a mark on a later line is kept", "a.wav:one\n" + kMark + "b.wav:two\n",
         {{"a.wav", "one"}, {"b.wav", std::nullopt}, {kMark + "b.wav", "two"}}},
        {"a mark alone", kMark, {{"", std::nullopt}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HintTable table = tableFrom(c.bytes);
        for (const auto& [name, hint] : c.lookups) {
            EXPECT_EQ(table.findHint(name), hint) << "name: '" << name << "'";
        }
    }
}

// The recogniser takes a transcript as a C string, which would end at a NUL byte: a NUL
// separates words as a space does.
TEST(HintTable, NulBytesInATranscriptSeparateWords) {
    using namespace std::string_literals;
    const HintTable table = tableFrom(
        "inside.wav:hel\0lo world\n"
        "ends.wav:\0two\0\0words\0\n"
        "cp1252.wav:caf\xE9\0au lait\n"s);
    const LookupCase cases[] = {
        {"inside.wav", "hel lo world"},
        {"ends.wav", " two  words "},
        {"cp1252.wav", "caf\xC3\xA9 au lait"},
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(table.findHint(c.name), c.hint) << "name: '" << c.name << "'";
    }
}

TEST(HintTable, LongLinesAreReadWhole) {
    std::string transcript(100000, 'w');
    EXPECT_EQ(tableFrom("long.wav:" + transcript + "\n").findHint("long.wav"), transcript);
}

class LoadHints : public ::testing::Test {
  protected:
    std::string load(const std::string& path) {
        Console console(out, err);
        if (const std::optional<std::string_view> failure = table.loadHints(path)) {
            console.printError(*failure);
        }
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

// Writes the bytes into a named pipe once a reader has opened it, then closes it. It gives up
// after ten seconds (the reader opens it within milliseconds), so that a reader that never
// comes fails the test instead of hanging it.
class FifoWriter {
  public:
    FifoWriter(const std::filesystem::path& fifo, std::string bytes)
        : thread_([fifo, bytes = std::move(bytes)] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
              int fd = -1;
              // Opening for writing without a reader fails at once (ENXIO) when non-blocking.
              while ((fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 &&
                     errno == ENXIO && std::chrono::steady_clock::now() < deadline) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
              if (fd >= 0) {
                  ::fcntl(fd, F_SETFL, 0);
                  EXPECT_EQ(::write(fd, bytes.data(), bytes.size()),
                            static_cast<ssize_t>(bytes.size()));
                  ::close(fd);
              }
          }) {}

  private:
    std::jthread thread_;
};

class LoadHintsFromStream;

// A hints file that is a stream rather than a regular file, made in the test's folder; what must
// stay open while it is read is kept by the test.
struct StreamCase {
    const char* name;
    std::function<std::string(LoadHintsFromStream&)> make;
    std::optional<std::string> hint;  // what a.wav's hint reads as

    friend void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }
};

const std::string kStreamedHints = "a.wav:hello world\n";

class LoadHintsFromStream : public LoadHints, public ::testing::WithParamInterface<StreamCase> {
  public:
    using LoadHints::dir;
    std::optional<FifoWriter> writer;
    int pipeReader = -1;

    ~LoadHintsFromStream() override {
        if (pipeReader >= 0) {
            ::close(pipeReader);
        }
    }
};

TEST_P(LoadHintsFromStream, IsReadWithoutAMessage) {
    EXPECT_EQ(load(GetParam().make(*this)), "");
    EXPECT_EQ(table.findHint("a.wav"), GetParam().hint);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LoadHintsFromStream,
    ::testing::Values(StreamCase{"NamedPipe",
                                 [](LoadHintsFromStream& t) {
                                     const auto fifo = t.dir / "hints.fifo";
                                     EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
                                     t.writer.emplace(fifo, kStreamedHints);
                                     return fifo.string();
                                 },
                                 "hello world"},
                      // The name a shell's process substitution <(...) hands over.
                      StreamCase{"ProcessSubstitution",
                                 [](LoadHintsFromStream& t) {
                                     int ends[2];
                                     EXPECT_EQ(::pipe(ends), 0);
                                     EXPECT_EQ(::write(ends[1], kStreamedHints.data(),
                                                       kStreamedHints.size()),
                                               static_cast<ssize_t>(kStreamedHints.size()));
                                     ::close(ends[1]);
                                     t.pipeReader = ends[0];
                                     return "/dev/fd/" + std::to_string(ends[0]);
                                 },
                                 "hello world"},
                      StreamCase{"CharacterDevice",
                                 [](LoadHintsFromStream&) { return std::string("/dev/null"); },
                                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

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
