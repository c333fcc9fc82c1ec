#include "WaveWriterOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace glimmerax {

namespace {

// OpenAL Soft's configuration reader cuts a line at '#', expands '$NAME' and ends a value at
// the line's end; a path with one of these cannot be written into it.
bool fitsInOpenALConfig(const std::string& path) {
    return path.find_first_of("#$\"\n\r") == std::string::npos;
}

std::filesystem::path makePrivateFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "glimmerax-play-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a private folder in " +
                                 std::filesystem::temp_directory_path().string());
    }
    return pattern;
}

void setVariable(const char* name, const std::filesystem::path& value) {
    if (setenv(name, value.c_str(), 1) != 0) {
        throw std::runtime_error(std::string("cannot set ") + name);
    }
}

std::runtime_error cannotWrite(const std::filesystem::path& path, int error) {
    return std::runtime_error("cannot write " + path.string() + ": " + std::strerror(error));
}

// The permissions a new file gets from the process's umask.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666) & ~mask;
}

constexpr std::size_t kCopyChunkBytes = 64 * 1024;

}  // namespace

WaveWriterOutput::WaveWriterOutput(std::filesystem::path destination, const PcmFormat& format)
    : destination_(std::move(destination)) {
    // The destructor does not run for a constructor that throws: clean up here.
    try {
        // Find out now, not after the whole file has played, that the destination cannot be
        // written.
        openDestination();
        folder_ = makePrivateFolder();
        configure(format);
    } catch (...) {
        discard();
        throw;
    }
}

void WaveWriterOutput::openDestination() {
    struct stat existing {};
    const bool exists = stat(destination_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe cannot be replaced: it is written as it is.
        output_ = open(destination_.c_str(), O_WRONLY | O_CLOEXEC);
        if (output_ < 0) {
            throw cannotWrite(destination_, errno);
        }
        return;
    }
    // Beside the file it replaces, so that the rename stays within one file system.
    target_ = exists ? std::filesystem::canonical(destination_) : destination_;
    // A hidden name: ".out.wav.XXXXXX".
    std::string name = target_.filename().string();
    name.insert(name.begin(), '.');
    name.append(".XXXXXX");
    std::string pattern = (target_.parent_path() / name).string();
    output_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (output_ < 0) {
        throw cannotWrite(destination_, errno);
    }
    replacement_ = pattern;
    // mkostemp makes the file private; the WAV gets the permissions of the file it replaces,
    // or those of a new file.
    if (fchmod(output_, exists ? existing.st_mode & 07777 : newFileMode()) != 0) {
        throw cannotWrite(destination_, errno);
    }
}

void WaveWriterOutput::configure(const PcmFormat& format) {
    configFile_ = folder_ / "alsoft.conf";
    rendering_ = folder_ / "output.wav";
    if (!fitsInOpenALConfig(rendering_.string())) {
        throw std::runtime_error("the temporary folder " + folder_.string() +
                                 " cannot be named in an OpenAL configuration");
    }
    const std::filesystem::path home = folder_ / "home";
    const std::filesystem::path config = folder_ / "config";
    std::filesystem::create_directory(home);
    std::filesystem::create_directory(config);

    std::ofstream file(configFile_);
    file << "# Written by glimmerax-play: play into a WAV file, every sample unchanged.\n"
         << "[general]\n"
         << "drivers = wave\n"
         << "frequency = " << format.sampleRate << "\n"
         << "channels = " << (format.channels == 2 ? "stereo" : "mono") << "\n"
         << "sample-type = int16\n"
         << "dither = false\n"
         << "output-limiter = false\n"
         << "hrtf = false\n"
         << "stereo-mode = speakers\n"
         << "stereo-encoding = panpot\n"
         << "cf_level = 0\n"
         << "front-stablizer = false\n"
         << "volume-adjust = 0\n"
         << "[wave]\n"
         << "file = " << rendering_.string() << "\n"
         << "bformat = false\n";
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + configFile_.string());
    }

    // OpenAL Soft reads /etc/openal, then XDG_CONFIG_DIRS, the home folder and XDG_CONFIG_HOME,
    // and ALSOFT_CONF last; ALSOFT_DRIVERS would override the configured back-end.
    setVariable("ALSOFT_CONF", configFile_);
    setVariable("HOME", home);
    setVariable("XDG_CONFIG_HOME", config);
    setVariable("XDG_CONFIG_DIRS", config);
    unsetenv("ALSOFT_DRIVERS");
}

WaveWriterOutput::~WaveWriterOutput() {
    discard();
}

void WaveWriterOutput::discard() {
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
    if (!replacement_.empty()) {
        unlink(replacement_.c_str());
        replacement_.clear();
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void WaveWriterOutput::deliver() {
    if (!std::filesystem::exists(rendering_)) {
        throw std::runtime_error("OpenAL wrote no sound for " + destination_.string());
    }
    copyRendering();
    const int closed = close(output_);
    output_ = -1;
    if (closed != 0) {
        throw cannotWrite(destination_, errno);
    }
    if (!replacement_.empty()) {
        if (rename(replacement_.c_str(), target_.c_str()) != 0) {
            throw cannotWrite(destination_, errno);
        }
        replacement_.clear();
    }
}

void WaveWriterOutput::copyRendering() {
    std::ifstream rendering(rendering_, std::ios::binary);
    std::vector<char> chunk(kCopyChunkBytes);
    while (rendering) {
        rendering.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const char* next = chunk.data();
        auto left = static_cast<std::size_t>(rendering.gcount());
        while (left > 0) {
            const ssize_t written = write(output_, next, left);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                throw cannotWrite(destination_, written < 0 ? errno : ENOSPC);
            }
            next += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    if (rendering.bad()) {
        throw std::runtime_error("cannot read the WAV OpenAL wrote for " + destination_.string());
    }
}

}  // namespace glimmerax
