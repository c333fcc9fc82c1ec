#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extractor_options.h"
#include "file_result.h"
#include "output_formats.h"
#include "result_writer.h"

namespace phonemes {

// A file that a run writes for one input besides its record, such as its TextGrid.
struct PerInputFile {
    std::string kind;  // as error lines name it: "TextGrid file"
    std::filesystem::path path;
    const PerInputFormat* format = nullptr;
};

// Where a per-input file of the format goes: the folder, and the input's base name with its
// extension replaced by the format's for these options.
std::filesystem::path perInputPathFor(const std::filesystem::path& folder,
                                      std::string_view baseName, const PerInputFormat& format,
                                      const ExtractorOptions& options);

// The per-input files the options ask for, for an input of this base name, in the order of the
// table of formats.
std::vector<PerInputFile> perInputFilesFor(const ExtractorOptions& options,
                                           std::string_view baseName);

// The first per-input file of the inputs that would land on the file named `target` (the output
// file, the hints file): the same file (device and inode) when both exist, else the same path
// once the folders and any symbolic link that the target's name is are resolved. Writing it
// would replace what the target holds. None when no such file is found, or `target` is empty.
std::optional<PerInputFile> perInputFileOn(const std::string& target,
                                           const ExtractorOptions& options,
                                           const std::vector<std::string>& inputFiles);

// Writes one per-input file: the writer fills a temporary file beside the path, which is
// renamed over it once complete (replaceFile), so the path never holds half a file. False on
// failure, with nothing left behind.
bool savePerInputFile(const std::filesystem::path& path, const ResultWriter& writer,
                      const FileResult& result);

}  // namespace phonemes
