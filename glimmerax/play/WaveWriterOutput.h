#pragma once

#include "PcmSource.h"

#include <filesystem>

namespace glimmerax {

// Makes OpenAL Soft play into a WAV file instead of a sound card, for this process. It writes a
// private configuration (the wave writer; output rate and channels equal to the source's; no
// dither, no limiter, no HRTF, so that samples pass unchanged) and points the process at it
// with a private home and configuration folder, so that neither the user's nor the system's
// OpenAL settings play a part. Must be made before OpenAL is loaded.
//
// OpenAL Soft writes into the private folder (its configuration syntax cannot quote every
// path); deliver moves the finished file to the destination.
class WaveWriterOutput {
  public:
    // Throws std::runtime_error when the destination cannot be written or the private folder
    // cannot be made.
    WaveWriterOutput(std::filesystem::path destination, const PcmFormat& format);
    // Removes the private folder and whatever is left in it.
    ~WaveWriterOutput();

    WaveWriterOutput(const WaveWriterOutput&) = delete;
    WaveWriterOutput& operator=(const WaveWriterOutput&) = delete;

    // Once OpenAL has closed its device (and so completed the file): moves the WAV file to
    // the destination. Throws std::runtime_error when OpenAL wrote none.
    void deliver();

    const std::filesystem::path& configFile() const { return configFile_; }

  private:
    // Writes the configuration into the private folder and points OpenAL at it.
    void configure(const PcmFormat& format);

    std::filesystem::path destination_;
    std::filesystem::path folder_;
    std::filesystem::path configFile_;
    std::filesystem::path rendering_;
};

}  // namespace glimmerax
