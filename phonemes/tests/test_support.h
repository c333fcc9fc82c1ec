#pragma once

#include <filesystem>
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

}  // namespace phonemes::testing
