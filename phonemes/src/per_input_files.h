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

// The first per-input file of the inputs that would land on the file named `target` (the output
// file, the hints file): the same file (device and inode) when both exist, else the same path
// once the folders and any symbolic link that the target's name is are resolved. Writing it
// would replace what the target holds. None when no such file is found, or `target` is empty.
std::optional<PerInputFile> perInputFileOn(const std::string& target,
                                           const ExtractorOptions& options,
                                           const std::vector<std::string>& inputFiles);

}  // namespace phonemes
