#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extractor_options.h"

namespace phonemes {

// A file that a run writes for one input besides its record, such as its TextGrid.
struct PerInputFile {
    std::string kind;  // as error lines name it: "TextGrid file"
    std::filesystem::path path;
};

// The per-input files the options ask for, for an input of this base name.
std::vector<PerInputFile> perInputFilesFor(const ExtractorOptions& options,
                                           std::string_view baseName);

// The first per-input file of the inputs that would land on the output file: the same file
// (device and inode) when both exist, else the same path once the folders and any symbolic
// link that the output's name is are resolved. Writing it would replace the records. None when
// no such file is found.
std::optional<PerInputFile> perInputFileOnOutput(const ExtractorOptions& options,
                                                 const std::vector<std::string>& inputFiles);

}  // namespace phonemes
