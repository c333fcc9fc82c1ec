// Runs the built program as a user would and compares its console output and files byte for byte.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sstream>

#include "test_support.h"

namespace {
using phonemes::testing::ProgramResult;
using phonemes::testing::readFile;
using phonemes::testing::TempDir;

const std::string kUsage =
    "USAGE: phonemes [options] <filenames>\n"
    "    -h <filename>    use hints file\n"
    "    -m <duration>    set minimum phoneme duration [10]\n"
    "    -o <filename>    set output filename [phonemes.txt]\n"
    "    -p               show phoneme pronunciations\n"
    "    -q               quiet operation\n"
    "    -t               show transcription text\n"
    "    -u               show hypothesis text\n"
    "    -x               use XML format for output\n"
    "\n"
    "TIP: For each batch of files (same speaker), create and activate a new\n"
    "recognition profile with high recognition accuracy and background adaptation\n"
    "settings, then run this app several times on the same batch of files.\n";

const std::string kListing =
    "\taa\tas in \"father\"\n\tae\tas in \"cat\"\n\tah\tas in \"cut\"\n\tao\tas in \"dog\"\n"
    "\taw\tas in \"foul\"\n\tax\tas in \"ago\"\n\tay\tas in \"bite\"\n\tb\tas in \"big\"\n"
    "\tch\tas in \"chin\"\n\td\tas in \"dig\"\n\tdh\tas in \"then\"\n\teh\tas in \"pet\"\n"
    "\ter\tas in \"fur\"\n\tey\tas in \"ate\"\n\tf\tas in \"fork\"\n\tg\tas in \"gut\"\n"
    "\th\tas in \"help\"\n\tih\tas in \"fill\"\n\tiy\tas in \"feel\"\n\tjh\tas in \"joy\"\n"
    "\tk\tas in \"cut\"\n\tl\tas in \"lid\"\n\tm\tas in \"mat\"\n\tn\tas in \"no\"\n"
    "\tng\tas in \"sing\"\n\tow\tas in \"go\"\n\toy\tas in \"toy\"\n\tp\tas in \"put\"\n"
    "\tr\tas in \"red\"\n\ts\tas in \"sit\"\n\tsh\tas in \"she\"\n\tt\tas in \"talk\"\n"
    "\tth\tas in \"thin\"\n\tuh\tas in \"book\"\n\tuw\tas in \"too\"\n\tv\tas in \"vat\"\n"
    "\tw\tas in \"with\"\n\ty\tas in \"yard\"\n\tz\tas in \"zap\"\n\tzh\tas in \"pleasure\"\n"
    "\n";

class Cli : public ::testing::Test {
  protected:
    ProgramResult run(const std::vector<std::string>& arguments) {
        return phonemes::testing::runProgram(PHONEMES_PROGRAM, arguments, dir.path());
    }

    // The banner: a fixed first line, two more framed lines of the same width, an empty line.
    static void expectBanner(const std::string& out) {
        std::istringstream lines(out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "==========  Brindlemoorex Phoneme Extractor  v1.20  ==========");
        for (int i = 0; i < 2; ++i) {
            std::getline(lines, line);
            EXPECT_EQ(line.size(), 62u);
            EXPECT_EQ(line.substr(0, 10), "==========");
            EXPECT_EQ(line.substr(52), "==========");
        }
        std::getline(lines, line);
        EXPECT_EQ(line, "");
    }

    static std::string bannerOf(const std::string& out) {
        std::size_t end = 0;
        for (int i = 0; i < 4; ++i) {
            end = out.find('\n', end) + 1;
        }
        return out.substr(0, end);
    }

    TempDir dir;
};

TEST_F(Cli, NoArgumentsPrintsUsageOnlyAndTouchesNothing) {
    ProgramResult result = run({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, kUsage);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir / "phonemes.txt"));
}

TEST_F(Cli, OptionsAloneAnnounceAndCreateTheOutputFile) {
    dir.write("phonemes.txt", "stale records\r\n");
    ProgramResult result = run({"-p"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    expectBanner(result.out);
    EXPECT_EQ(result.out.substr(bannerOf(result.out).size()), kListing);
    EXPECT_EQ(readFile(dir / "phonemes.txt"), "");
}

TEST_F(Cli, BannerWithoutListingUnlessAsked) {
    ProgramResult result = run({"-o", "out.txt", "--x", "-P", "-help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, bannerOf(result.out));
    expectBanner(result.out);
    EXPECT_TRUE(std::filesystem::exists(dir / "out.txt"));
}

TEST_F(Cli, QuietWritesNothingToStandardOutput) {
    ProgramResult result = run({"-q", "-p", "-t", "-u", "-o", "out.txt"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST_F(Cli, OutputOptionAsLastArgumentCannotBeOpened) {
    ProgramResult result = run({"-p", "-o"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: Cannot open output file.\n");
    expectBanner(result.out);
    EXPECT_EQ(result.out.substr(bannerOf(result.out).size()), kListing);
}

TEST_F(Cli, OutputFileLockedByAnotherRunIsLeftAlone) {
    auto path = dir.write("out.txt", "[busy.wav]\t0\r\n\r\n");
    int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ProgramResult result = run({"-q", "-o", "out.txt"});
    ::close(holder);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: Cannot open output file.\n");
    EXPECT_EQ(readFile(path), "[busy.wav]\t0\r\n\r\n");
}

TEST_F(Cli, MissingHintsFileIsReportedEvenWhenQuietAndTheRunGoesOn) {
    ProgramResult result = run({"-q", "-h", "missing.txt", "-o", "out.txt"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ERROR: Cannot open hints file.\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "out.txt"));
}

TEST_F(Cli, HintsOptionAsLastArgumentReadsNoFile) {
    ProgramResult result = run({"-q", "-o", "out.txt", "-h", "missing.txt", "-h"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

// --help lists every option, old and new, one line each, and does nothing else.
TEST_F(Cli, HelpListsEveryOptionAndTouchesNothing) {
    dir.write("phonemes.txt", "kept\r\n");
    ProgramResult result = run({"-q", "--help", "*.wav"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with("Usage: phonemes [options] <filenames>\n")) << result.out;
    for (const char* option :
         {"-h <filename>", "-m <duration>", "-o <filename>", "-p ", "-q ", "-t ", "-u ", "-x ",
          "--phone-times MODE", "--format FORMAT", "--textgrid DIR", "--mouth-cues DIR",
          "--mouth-shapes SET", "--mouth-format FORMAT", "--fps N", "--jobs N", "--shard I/N",
          "--help ", "--version "}) {
        const std::string line = "\n  " + std::string(option);
        const std::size_t at = result.out.find(line);
        EXPECT_NE(at, std::string::npos) << option;
        EXPECT_EQ(result.out.find(line, at + 1), std::string::npos) << option << " twice";
    }
    EXPECT_EQ(readFile(dir / "phonemes.txt"), "kept\r\n");
}

// --version prints the version CMake's project() holds, wherever it stands, and does nothing
// else; "--version=x" is no option but a file pattern, as any other "--" word.
TEST_F(Cli, VersionPrintsTheProjectVersionAndTouchesNothing) {
    dir.write("phonemes.txt", "kept\r\n");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--version"}, {"-p", "*.wav", "--version"}}) {
        ProgramResult result = run(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "phonemes " PHONEMES_PROJECT_VERSION "\n");
    }
    EXPECT_EQ(readFile(dir / "phonemes.txt"), "kept\r\n");

    // A run that matches no file: the output file is emptied, nothing is printed.
    ProgramResult pattern = run({"-q", "--version=x"});
    EXPECT_EQ(pattern.status, 0);
    EXPECT_EQ(pattern.out, "");
    EXPECT_EQ(pattern.err, "");
    EXPECT_EQ(readFile(dir / "phonemes.txt"), "");
}

// A long option without a value, or with one it does not take, stops the run before the banner
// and before the output file is touched: one line on standard error and status 2.
TEST_F(Cli, BadLongOptionValuesStopBeforeAnythingIsWritten) {
    const std::string kBadShard =
        "ERROR: --shard takes I/N, the I-th of N slices (1 <= I <= N), not ";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--phone-times", "exact"},
         "ERROR: --phone-times takes weights or acoustic, not \"exact\".\n"},
        {{"--format=xml"}, "ERROR: --format takes records or json, not \"xml\".\n"},
        {{"--textgrid"}, "ERROR: --textgrid needs a value.\n"},
        {{"--jobs", "0"}, "ERROR: --jobs takes a whole number from 1 to 256, not \"0\".\n"},
        {{"--shard", "0/3"}, kBadShard + "\"0/3\".\n"},
        {{"--shard=4/3"}, kBadShard + "\"4/3\".\n"},
        {{"--shard", "1/0"}, kBadShard + "\"1/0\".\n"},
        {{"--shard", "x/y"}, kBadShard + "\"x/y\".\n"},
        {{"--shard"}, "ERROR: --shard needs a value.\n"},
        {{"--mouth-cues="}, "ERROR: --mouth-cues needs a folder.\n"},
        {{"--mouth-shapes", "Extended"},
         "ERROR: --mouth-shapes takes extended, basic or oculus, not \"Extended\".\n"},
        {{"--mouth-format=srt"},
         "ERROR: --mouth-format takes tsv, json, xml or dat, not \"srt\".\n"},
        {{"--fps", "0"}, "ERROR: --fps takes a whole number from 1 to 120, not \"0\".\n"},
        {{"--fps", "121"}, "ERROR: --fps takes a whole number from 1 to 120, not \"121\".\n"},
        {{"--fps", "23.976"}, "ERROR: --fps takes a whole number from 1 to 120, not \"23.976\".\n"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments = {"-p", "-o", "out.txt"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        ProgramResult result = run(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
    }
}

TEST_F(Cli, PerInputFoldersAreCreatedOrTheirFailureStopsTheRun) {
    dir.write("plain-file", "");
    for (const auto& [option, folderKind] : {std::pair{"--textgrid", "TextGrid folder"},
                                             std::pair{"--mouth-cues", "mouth-cue folder"}}) {
        SCOPED_TRACE(option);
        const std::string made = std::string("made") + option + "/today";
        ProgramResult result = run({"-q", "-o", "out.txt", option, made});
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(std::filesystem::is_directory(dir / made));

        ProgramResult refused = run({"-q", "-o", "other.txt", option, "plain-file/sub"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err,
                  "ERROR: Cannot create " + std::string(folderKind) + " plain-file/sub.\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "other.txt"));
    }
}

// A console stream the caller closed (`2>&-`) gets /dev/null: neither the output file nor a
// TextGrid may take its descriptor and receive console lines. Without a speech model every file
// fails with an error line, so the output file must end up empty.
TEST_F(Cli, ClosedConsoleStreamsWriteNothingIntoTheOutputFile) {
    std::filesystem::create_directory(dir / "no-model");
    dir.write("a.wav", "not audio\n");
    dir.write("b.wav", "not audio either\n");
    const struct {
        const char* closed;  // shell redirections that close descriptors
        const char* jobs;
    } cases[] = {
        {"2>&-", "1"},
        {"2>&-", "2"},
        {">&-", "1"},
        {"<&- >&- 2>&-", "2"},
    };
    for (const auto& c : cases) {
        for (const char* format : {"records", "json"}) {
            SCOPED_TRACE(std::string(c.closed) + " --jobs " + c.jobs + " --format " + format);
            const std::string command =
                "PHONEMES_MODEL_DIR=no-model; export PHONEMES_MODEL_DIR; exec \"$0\" \"$@\" " +
                std::string(c.closed);
            ProgramResult result = phonemes::testing::runProgram(
                "/bin/sh",
                {"-c", command, PHONEMES_PROGRAM, "--jobs", c.jobs, "--format", format, "-o",
                 "out.txt", "--textgrid", "grids", "a.wav", "b.wav"},
                dir.path());
            EXPECT_EQ(result.status, 0);
            EXPECT_EQ(readFile(dir / "out.txt"), "");
        }
    }
}

// Help and version text that cannot be written fail the run with the system's reason.
TEST_F(Cli, HelpAndVersionThatCannotBeWrittenFail) {
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        ProgramResult result = phonemes::testing::runProgram(
            "/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", PHONEMES_PROGRAM, option},
            dir.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "ERROR: Cannot write standard output: No space left on device.\n");
    }
}

// A TextGrid that would land on the output file stops the run before anything is written:
// the records there would be replaced by it. The same file by another path, a hard link or a
// symbolic link is found too, and so is a path that does not exist yet.
TEST_F(Cli, ATextGridOnTheOutputFileStopsTheRunBeforeAnythingIsWritten) {
    const std::string kRecords = "[old.wav]\t0\r\n\r\n";
    for (const char* name : {"hello.wav", "quick.wav", "a.wav", "b.wav", "h2.wav"}) {
        dir.write(name, "");
    }
    dir.write("tg/hello.TextGrid", kRecords);
    dir.write("tg/a.TextGrid", kRecords);
    std::filesystem::create_hard_link(dir / "tg/a.TextGrid", dir / "linked.txt");
    std::filesystem::create_symlink("tg/b.TextGrid", dir / "pointer.txt");
    const struct {
        std::vector<std::string> arguments;
        std::string textGrid;  // as the error line names it
        std::string output;    // the file that holds the records, if any
    } cases[] = {
        {{"-o", "tg/hello.TextGrid", "--textgrid", "tg", "hello.wav", "quick.wav"},
         "tg/hello.TextGrid",
         "tg/hello.TextGrid"},
        {{"-o", "./tg/../tg/hello.TextGrid", "--textgrid=tg/", "q*.wav", "h*.wav"},
         "tg/hello.TextGrid",
         "tg/hello.TextGrid"},
        {{"-o", "h2.TextGrid", "--textgrid", ".", "h2.wav"}, "./h2.TextGrid", ""},
        {{"-o", "new/h2.TextGrid", "--textgrid", "new", "h2.wav"}, "new/h2.TextGrid", ""},
        {{"-o", "linked.txt", "--textgrid", "tg", "a.wav"}, "tg/a.TextGrid", "linked.txt"},
        {{"-o", "pointer.txt", "--textgrid", "tg", "b.wav"}, "tg/b.TextGrid", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        std::vector<std::string> arguments = {"-p"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ProgramResult result = run(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "ERROR: Cannot write TextGrid file " + c.textGrid + " over the output file.\n");
        if (!c.output.empty()) {
            EXPECT_EQ(readFile(dir / c.output), kRecords);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "h2.TextGrid"));
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
    EXPECT_FALSE(std::filesystem::exists(dir / "tg/b.TextGrid"));
}

// A mouth-cue file, named with its format's extension, is held to the same.
TEST_F(Cli, AMouthCueFileOnTheOutputOrHintsFileStopsTheRun) {
    const std::string kKept = "a.wav:hello world\n";
    dir.write("a.wav", "");
    dir.write("cues/a.json", kKept);
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"-o", "cues/a.json", "--mouth-cues", "cues", "--mouth-format=json", "a.wav"},
         "ERROR: Cannot write mouth-cue file cues/a.json over the output file.\n"},
        {{"-h", "cues/a.json", "--mouth-cues", "cues", "--mouth-format", "json", "a.wav"},
         "ERROR: Cannot write mouth-cue file cues/a.json over the hints file.\n"},
    };
    for (const auto& c : cases) {
        ProgramResult result = run(c.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(readFile(dir / "cues/a.json"), kKept);
    }
    // With another format the names differ, and the run goes on.
    ProgramResult tsv = run({"-q", "-o", "out.txt", "--mouth-cues", "cues", "a.wav"});
    EXPECT_EQ(tsv.status, 0);
}

// Nor may a TextGrid land on the hints file, whose transcripts it would replace.
TEST_F(Cli, ATextGridOnTheHintsFileStopsTheRun) {
    const std::string kHints = "a.wav:hello world\n";
    dir.write("a.wav", "");
    dir.write("tg/a.TextGrid", kHints);
    ProgramResult result = run({"-h", "tg/a.TextGrid", "--textgrid", "tg", "a.wav"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ERROR: Cannot write TextGrid file tg/a.TextGrid over the hints file.\n");
    EXPECT_EQ(readFile(dir / "tg/a.TextGrid"), kHints);
}

}  // namespace
