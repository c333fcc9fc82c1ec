#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace phonemes {

// The run's settings, read from the command line and read-only afterwards.
struct ExtractorOptions {
    std::string hintsFile;                    // -h: empty means no hints file is read
    std::int32_t minPhonemeDuration = 10;     // -m: milliseconds
    std::string outputFile = "phonemes.txt";  // -o
    bool showPronunciations = false;          // -p
    bool quiet = false;                       // -q
    bool showTranscription = false;           // -t
    bool showHypothesis = false;              // -u
    bool xmlFormat = false;                   // -x
};

}  // namespace phonemes
