// glimmerax-play: plays the sound of an audio file through the sound-system plug-in, driving it
// as the video plug-in does, and shows progress and the audio clock.

#include "ConsoleReport.h"
#include "Playback.h"
#include "PlayerOptions.h"
#include "ResampledSource.h"
#include "SoundFile.h"
#include "SoundSystemPlugin.h"
#include "WaveWriterOutput.h"

#include <OgreLogManager.h>

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <exception>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// As a shell reports a program ended by SIGINT, and by SIGHUP.
constexpr int kExitInterrupted = 130;
constexpr int kExitHungUp = 129;
constexpr const char* kProgramName = "glimmerax-play";

std::atomic<bool> gInterrupt{false};
std::atomic<int> gSignal{0};

extern "C" void onInterrupt(int signal) {
    gSignal.store(signal);
    gInterrupt.store(true);
}

// A closed terminal (SIGHUP), Ctrl-C and kill end playing early the same way: the WAV keeps
// what was played and the private folder is removed.
void catchInterruptions() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, onInterrupt);
    }
}

int interruptedStatus() {
    return gSignal.load() == SIGHUP ? kExitHungUp : kExitInterrupted;
}

// The OGRE log that the host creates and the plug-in writes to; kept in memory only, and shown
// through the echo when one is given.
class HostLog {
  public:
    explicit HostLog(Ogre::LogListener* echo) : manager_(new Ogre::LogManager()), echo_(echo) {
        log_ = manager_->createLog("glimmerax-play.log", true, false, true);
        if (echo_ != nullptr) {
            log_->addListener(echo_);
        }
    }
    ~HostLog() {
        if (echo_ != nullptr) {
            log_->removeListener(echo_);
        }
    }
    HostLog(const HostLog&) = delete;
    HostLog& operator=(const HostLog&) = delete;

  private:
    std::unique_ptr<Ogre::LogManager> manager_;
    Ogre::LogListener* echo_;
    Ogre::Log* log_ = nullptr;
};

void printSummary(std::ostream& out, const glimmerax::PlaybackSummary& summary,
                  const glimmerax::PcmFormat& format, double streamSeconds) {
    out << std::fixed << std::setprecision(2) << "sent "
        << static_cast<double>(summary.deliveredBytes) / format.bytesPerSecond() << " of "
        << streamSeconds << " s to the plug-in in " << summary.wallTime.count()
        << " s; audio clock " << std::setprecision(0) << summary.finalClockMs << " ms";
    if (summary.pausesTaken > 0) {
        out << "; " << summary.pausesTaken << (summary.pausesTaken == 1 ? " pause" : " pauses");
    }
    out << std::endl;
    if (summary.endedByClock) {
        out << "the sound system took no more audio; stopped when the audio clock passed the end"
            << std::endl;
    }
    if (summary.interrupted) {
        out << "interrupted" << std::endl;
    }
}

int run(const glimmerax::PlayerOptions& options) {
    catchInterruptions();
    glimmerax::SoundFile file(options.input);
    // A rate the output takes, resampled as a host would.
    std::optional<glimmerax::ResampledSource> resampled;
    const unsigned int rate = glimmerax::playedRate(file.format());
    if (rate != file.format().sampleRate) {
        resampled.emplace(file, rate);
        if (!options.quiet) {
            std::cerr << kProgramName << ": resampling " << file.format().sampleRate << " Hz to "
                      << rate << " Hz, the nearest rate that plays" << std::endl;
        }
    }
    glimmerax::PcmSource& source =
        resampled ? static_cast<glimmerax::PcmSource&>(*resampled) : file;
    const glimmerax::PcmFormat& format = source.format();
    const double streamSeconds = static_cast<double>(source.frameCount()) / format.sampleRate;

    // OpenAL reads its configuration when it is first used: set up the file output before the
    // plug-in, and OpenAL with it, is loaded.
    std::optional<glimmerax::WaveWriterOutput> waveOutput;
    if (options.wavOutput) {
        waveOutput.emplace(*options.wavOutput, format);
    }
    glimmerax::SoundSystemPlugin plugin(
        options.plugin.value_or(glimmerax::SoundSystemPlugin::defaultLocation()));

    std::optional<glimmerax::PluginLogEcho> echo;
    if (!options.quiet) {
        echo.emplace(std::cerr);
    }
    HostLog log(echo ? &*echo : nullptr);

    glimmerax::PlaybackSettings settings;
    settings.pauses = options.pauses;
    settings.stalls = options.stalls;
    settings.interrupt = &gInterrupt;

    glimmerax::ConsoleProgress progress(std::cout, format, streamSeconds,
                                        isatty(STDOUT_FILENO) != 0);
    glimmerax::PlaybackObserver silent;
    const glimmerax::PlaybackSummary summary = glimmerax::playThroughPlugin(
        plugin, source, settings,
        options.quiet ? silent : static_cast<glimmerax::PlaybackObserver&>(progress));
    progress.finish();
    if (echo) {
        echo->flush();
    }

    if (waveOutput) {
        waveOutput->deliver();
    }
    if (!options.quiet) {
        printSummary(std::cout, summary, format, streamSeconds);
    }
    return summary.interrupted ? interruptedStatus() : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    glimmerax::PlayerOptions options;
    try {
        options = glimmerax::parsePlayerOptions(arguments);
    } catch (const glimmerax::UsageError& error) {
        std::cerr << kProgramName << ": " << error.what() << "\n\n"
                  << glimmerax::usageText(kProgramName);
        return kExitUsage;
    }
    if (options.help) {
        std::cout << glimmerax::usageText(kProgramName);
        return 0;
    }
    if (options.version) {
        std::cout << kProgramName << ' ' << GLIMMERAX_PLAY_VERSION << '\n';
        return 0;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::cerr << kProgramName << ": " << error.what() << std::endl;
        return kExitFailure;
    }
}
