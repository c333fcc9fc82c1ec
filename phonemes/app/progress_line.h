#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace phonemes {

// How far a batch has come.
struct BatchProgress {
    std::size_t filesDone = 0;
    std::size_t filesTotal = 0;
    double audioSeconds = 0;  // the length of the files done
    std::chrono::duration<double> elapsed{0};
};

// "12/300 files, 45.2 s of audio, 8.3x real time, 1:05 left". Speed and time left appear once a
// file is done; the time left assumes the files to come take as long as those done on average.
std::string describeProgress(const BatchProgress& progress);

// One line on a terminal, redrawn in place: every drawing returns to the line's start and clears
// the rest of the line, so a shorter text leaves nothing behind. Text beyond the terminal's
// width is cut, as a wrapped line could not be redrawn in place.
class ProgressLine {
  public:
    ProgressLine(std::ostream& terminal, unsigned width) : terminal_(terminal), width_(width) {}
    ~ProgressLine() { erase(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(std::string_view text);
    bool shown() const { return shown_; }
    // Clears the line and leaves the cursor at its start, for other output to take its place.
    void erase();

  private:
    std::ostream& terminal_;
    unsigned width_;
    bool shown_ = false;
};

}  // namespace phonemes
