#include "WaveWriterOutput.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

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

}  // namespace

WaveWriterOutput::WaveWriterOutput(std::filesystem::path destination, const PcmFormat& format)
    : destination_(std::move(destination)) {
    // Find out now, not after the whole file has played, that the destination cannot be written.
    if (!std::ofstream(destination_, std::ios::binary | std::ios::trunc)) {
        throw std::runtime_error("cannot write " + destination_.string());
    }

    folder_ = makePrivateFolder();
    // The destructor does not run for a constructor that throws: take the folder away here.
    try {
        configure(format);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        throw;
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
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void WaveWriterOutput::deliver() {
    if (!std::filesystem::exists(rendering_)) {
        throw std::runtime_error("OpenAL wrote no sound for " + destination_.string());
    }
    std::error_code error;
    std::filesystem::rename(rendering_, destination_, error);
    if (error) {
        // The temporary folder may lie on another file system.
        std::filesystem::copy_file(rendering_, destination_,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

}  // namespace glimmerax
