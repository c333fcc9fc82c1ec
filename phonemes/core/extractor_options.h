#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mouth_shapes.h"

namespace phonemes {

// How the phones of a word are timed.
enum class PhoneTiming {
    kWeights,   // the word's duration spread over its phones by their weights
    kAcoustic,  // each phone placed against the audio by the recogniser
};

// What the output file holds.
enum class OutputFormat {
    kRecords,  // the plain or tagged records
    kJson,     // one line of JSON per file
};

// The layout of the mouth-cue files (--mouth-format).
enum class MouthCueFormat {
    kTsv,   // "seconds<TAB>shape" per cue start, ending with the final rest
    kJson,  // {"metadata":{...},"mouthCues":[{"start":..,"end":..,"value":".."},...]}
    kXml,   // the same as <mouthCues><mouthCue start=".." end="..">X</mouthCue>...
    kDat,   // Moho and OpenToonz switch data: "MohoSwitch1", then "frame shape" from frame 1
};

// One of several equal runs over the same input list: the index-th (from 1) of count contiguous
// slices.
struct Shard {
    unsigned index = 1;
    unsigned count = 1;

    friend bool operator==(const Shard&, const Shard&) = default;
};

// The run's settings, read from the command line and read-only afterwards.
struct ExtractorOptions {
    std::string hintsFile;                                 // -h: empty means no hints file is read
    std::int32_t minPhonemeDuration = 10;                  // -m: milliseconds
    std::string outputFile = "phonemes.txt";               // -o
    bool showPronunciations = false;                       // -p
    bool quiet = false;                                    // -q
    bool showTranscription = false;                        // -t
    bool showHypothesis = false;                           // -u
    bool xmlFormat = false;                                // -x
    PhoneTiming phoneTiming = PhoneTiming::kWeights;       // --phone-times
    OutputFormat outputFormat = OutputFormat::kRecords;    // --format
    std::string textGridFolder;                            // --textgrid: empty means none
    std::string mouthCueFolder;                            // --mouth-cues: empty means none
    MouthShapeSet mouthShapes = MouthShapeSet::kExtended;  // --mouth-shapes
    MouthCueFormat mouthFormat = MouthCueFormat::kTsv;     // --mouth-format
    int fps = 24;                                          // --fps: frames a second, 1 to 120
    unsigned jobs = 0;  // --jobs: files recognised at once; 0: one per core the process may use
    Shard shard;        // --shard
};

}  // namespace phonemes
