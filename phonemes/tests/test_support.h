#pragma once

#include <filesystem>
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

struct ProgramResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with the arguments in a working directory, capturing both console streams.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDirectory);

// Where Debian installs the readers that tests check our formats with.
inline constexpr const char* kPraatProgram = "/usr/bin/praat";
inline constexpr const char* kJqProgram = "/usr/bin/jq";

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

}  // namespace phonemes::testing
