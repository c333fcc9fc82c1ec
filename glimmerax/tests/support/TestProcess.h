#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glimmerax::testing {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// A signal sent to a running program, as a user or a closing terminal sends it, once what the
// program has written to standard output so far shows that it is where the test wants it.
struct SignalOnOutput {
    int number = 0;
    std::function<bool(const std::string& out)> ready;
};

// Runs a program to its end with the environment of the test plus the given variables, and
// collects what it wrote; sends it the signal, if one is given, as soon as its standard output
// is ready for it (never, when the program ends before).
ProcessResult runProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment = {},
                         std::optional<SignalOnOutput> signal = std::nullopt);

// A file's whole content as bytes; empty when it cannot be read.
std::string readWhole(const std::filesystem::path& path);

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
