#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace phonemes::testing {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes the bytes to a file below the directory, creating folders on the way.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// Leaves a Unix socket's file at the path, as a server that has gone away does.
void makeSocketFile(const std::filesystem::path& path);

struct ProgramResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// How a program is run beyond its arguments.
struct RunOptions {
    // Fed to standard input through a pipe (at most 64 KiB, a pipe's buffer); /dev/null when
    // absent.
    std::optional<std::string> standardInput;
    // Standard output is a pipe whose reading end is already closed, as after `| head -1`.
    bool standardOutputClosed = false;
    // A program still running after this long is killed (status -1); none when zero.
    std::chrono::milliseconds timeLimit{0};
};

// A program started with the arguments in a working directory, both console streams captured
// (standard output only when it is not closed).
class RunningProgram {
  public:
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::filesystem::path& workingDirectory, const RunOptions& options = {});
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    int pid() const { return pid_; }
    // Whether the program has ended; it is left for wait() to collect.
    bool ended() const;
    // What the program has written to standard error so far.
    std::string errSoFar() const;
    // Waits for the program to end, within the time limit of its options.
    ProgramResult wait();

  private:
    TempDir capture_;
    RunOptions options_;
    int pid_ = -1;
};

// Runs a program with the arguments in a working directory, capturing both console streams
// (standard output only when it is not closed).
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDirectory,
                         const RunOptions& options = {});

// Runs a program as at a terminal: standard output and standard error both on one new
// pseudo-terminal of the given width, without any translation of what is written. The result's
// out holds everything written to the terminal, in order.
ProgramResult runProgramOnTerminal(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   const std::filesystem::path& workingDirectory,
                                   unsigned short columns);

// A terminal's text taken apart into a progress line and everything else: "\r<text>\x1b[K"
// draws the progress line, "\r\x1b[K" erases it.
struct ProgressTranscript {
    std::string withoutProgress;      // what is left once every drawing and erasure is out
    std::vector<std::string> drawn;   // the texts drawn, in order
    bool linesAfterAnErasure = true;  // no other text follows a drawing directly
    bool erasedAtTheEnd = false;      // no progress line is left on the terminal at the end
};
ProgressTranscript splitProgress(const std::string& terminalText);

// Where Debian installs the readers that tests check our formats with.
inline constexpr const char* kPraatProgram = "/usr/bin/praat";
inline constexpr const char* kJqProgram = "/usr/bin/jq";
inline constexpr const char* kXmllintProgram = "/usr/bin/xmllint";

// One interval of a TextGrid tier as Praat reads it: times rounded to whole milliseconds.
struct TextGridInterval {
    std::string tier;
    int startMs = 0;
    int endMs = 0;
    std::string label;

    friend bool operator==(const TextGridInterval&, const TextGridInterval&) = default;
    friend void PrintTo(const TextGridInterval& i, std::ostream* os) {
        *os << i.tier << " " << i.startMs << "-" << i.endMs << " '" << i.label << "'";
    }
};

// What Praat reads from a TextGrid file: the grid's end in ms and every interval of every
// tier, tier by tier. Fails the test (and gives nothing) when Praat cannot read the file.
struct PraatTextGrid {
    int endMs = 0;
    std::vector<TextGridInterval> intervals;
};
PraatTextGrid readTextGridWithPraat(const std::filesystem::path& file);

// The lines jq prints for the filter over the file (jq -r); fails the test when jq refuses
// the file.
std::vector<std::string> jqLines(const std::string& filter, const std::filesystem::path& file);
// The lines xmllint prints for the XPath over the file (one per node); fails the test when
// xmllint finds the file is not well-formed XML.
std::vector<std::string> xpathLines(const std::string& xpath, const std::filesystem::path& file);

}  // namespace phonemes::testing
