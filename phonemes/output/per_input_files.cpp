#include "per_input_files.h"

#include <sys/stat.h>

#include <system_error>

#include "platform.h"
#include "replace_file.h"

namespace phonemes {
namespace fs = std::filesystem;

namespace {

// Symbolic links followed at most, as the system's own limit for a path.
constexpr int kMaxLinks = 40;

// Where a file opened by this name is: the links that the name itself is are followed (opening
// follows them, also to a file that does not exist yet), and the folders on the way are
// resolved.
fs::path resolvedPath(fs::path path) {
    std::error_code error;
    for (int links = 0; links < kMaxLinks && fs::is_symlink(path, error); ++links) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path absolute = fs::absolute(path, error);
    return fs::weakly_canonical(error ? path : absolute, error);
}

struct FileIdentity {
    dev_t device;
    ino_t inode;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

}  // namespace

fs::path perInputPathFor(const fs::path& folder, std::string_view baseName,
                         const PerInputFormat& format, const ExtractorOptions& options) {
    return folder / fs::path(baseName).replace_extension(fs::path(format.extension(options)));
}

std::vector<PerInputFile> perInputFilesFor(const ExtractorOptions& options,
                                           std::string_view baseName) {
    std::vector<PerInputFile> files;
    for (const PerInputFormat& format : perInputFormats()) {
        const std::string& folder = options.*format.folder;
        if (!folder.empty()) {
            files.push_back({std::string(format.kind),
                             perInputPathFor(folder, baseName, format, options), &format});
        }
    }
    return files;
}

bool savePerInputFile(const fs::path& path, const ResultWriter& writer, const FileResult& result) {
    return replaceFile(path, [&](std::ostream& out) { return writer.write(out, result); });
}

std::optional<PerInputFile> perInputFileOn(const std::string& target,
                                           const ExtractorOptions& options,
                                           const std::vector<std::string>& inputFiles) {
    if (target.empty()) {
        return std::nullopt;  // no such file is read or written
    }
    const fs::path output = resolvedPath(target);
    const std::optional<FileIdentity> outputIdentity = identityOf(output);
    // Per-input files share their folders: each is resolved once, not once per input.
    fs::path folder;
    fs::path resolvedFolder;
    for (const std::string& input : inputFiles) {
        for (PerInputFile& file : perInputFilesFor(options, baseNameOf(input))) {
            bool clash = false;
            if (outputIdentity) {
                clash = identityOf(file.path) == outputIdentity;
            } else {
                // The target does not exist, so a per-input file that does is another one; one
                // that does not is written by a rename, which follows no link at its own name.
                if (file.path.parent_path() != folder || resolvedFolder.empty()) {
                    folder = file.path.parent_path();
                    resolvedFolder = resolvedPath(folder.empty() ? fs::path(".") : folder);
                }
                clash = resolvedFolder / file.path.filename() == output;
            }
            if (clash) {
                return std::move(file);
            }
        }
    }
    return std::nullopt;
}

}  // namespace phonemes
