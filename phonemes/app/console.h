#pragma once

#include <ostream>
#include <string_view>

namespace phonemes {

class PhoneInventory;
struct ExtractorOptions;

// The program's two console streams. Every line is ended and flushed at once.
class Console {
  public:
    Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void printLine(std::string_view text);      // standard output
    void printError(std::string_view message);  // "ERROR: " + message on standard error

    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }

  private:
    std::ostream& out_;
    std::ostream& err_;
};

void printUsage(std::ostream& err, std::string_view programName, const ExtractorOptions& defaults);
// Every option, old and new, one line each (--help).
void printHelp(std::ostream& out, std::string_view programName, const ExtractorOptions& defaults);
// "phonemes" and the version the build was made as (--version).
void printVersion(std::ostream& out);
void printBanner(std::ostream& out);
void printPhoneListing(std::ostream& out);

}  // namespace phonemes
