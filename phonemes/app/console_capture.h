#pragma once

#include <functional>
#include <streambuf>
#include <string>

namespace phonemes {

// A stream buffer that hands on what is written to it a line at a time, line end included, so
// that a worker's console lines can be shown later, and elsewhere, exactly as printed.
class ConsoleCapture : public std::streambuf {
  public:
    using LineSink = std::function<void(std::string line)>;

    explicit ConsoleCapture(LineSink sink) : sink_(std::move(sink)) {}

    // Hands on text that is still waiting for its line end.
    void finish();

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

  private:
    LineSink sink_;
    std::string pending_;
};

}  // namespace phonemes
