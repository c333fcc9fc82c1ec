#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace glimmerax::testing {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs a program to its end with the environment of the test plus the given variables, and
// collects what it wrote.
ProcessResult runProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment = {});

// A folder of its own for one test, removed with everything in it.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace glimmerax::testing
