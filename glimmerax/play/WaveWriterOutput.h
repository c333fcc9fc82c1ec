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
// path); deliver copies the finished file out. A regular file is replaced only by a finished
// WAV: the copy is written beside it and renamed over it. A device file such as /dev/null is
// written in place.
class WaveWriterOutput {
  public:
    // Throws std::runtime_error when the destination cannot be written or the private folder
    // cannot be made.
    WaveWriterOutput(std::filesystem::path destination, const PcmFormat& format);
    // Removes the private folder, and the copy beside the destination if it was not delivered.
    ~WaveWriterOutput();

    WaveWriterOutput(const WaveWriterOutput&) = delete;
    WaveWriterOutput& operator=(const WaveWriterOutput&) = delete;

    // Once OpenAL has closed its device (and so completed the file): puts the WAV file in the
    // destination's place. Throws std::runtime_error when OpenAL wrote none or it cannot be
    // written, naming the destination and the system's reason.
    void deliver();

  private:
    // Opens the file the WAV is copied into: the device itself, or a new file beside the
    // destination.
    void openDestination();
    // Writes the configuration into the private folder and points OpenAL at it.
    void configure(const PcmFormat& format);
    void copyRendering();
    // Takes away everything made for the destination that was not delivered.
    void discard();

    std::filesystem::path destination_;  // as the user named it, for messages
    std::filesystem::path target_;       // the file replaced (a symbolic link's target)
    std::filesystem::path replacement_;  // beside target_; empty when the device is written
    int output_ = -1;
    std::filesystem::path folder_;
    std::filesystem::path configFile_;
    std::filesystem::path rendering_;
};

}  // namespace glimmerax
