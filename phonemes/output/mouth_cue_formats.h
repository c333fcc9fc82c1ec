#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "mouth_cues.h"

namespace phonemes {

// The mouth-cue files that lip-sync importers read.
enum class MouthCueFormat {
    kTsv,   // "seconds<TAB>shape" per cue start, ending with the final rest
    kJson,  // {"metadata":{...},"mouthCues":[{"start":..,"end":..,"value":".."},...]}
    kXml,   // the same as <mouthCues><mouthCue start=".." end="..">X</mouthCue>...
    kDat,   // Moho and OpenToonz switch data: "MohoSwitch1", then "frame shape" from frame 1
};

// "tsv", "json", "xml", "dat"; none for any other name.
std::optional<MouthCueFormat> mouthCueFormatNamed(std::string_view name);

// The file name extension of a format, with its dot: ".tsv".
std::string_view mouthCueExtension(MouthCueFormat format);

// Writes the cues of the sound file named soundFile. False when writing failed.
bool writeMouthCues(std::ostream& out, const MouthCues& cues, std::string_view soundFile,
                    MouthCueFormat format);

}  // namespace phonemes
