#pragma once

#include "Playback.h"

#include <OgreLog.h>

#include <ostream>
#include <string>

namespace glimmerax {

// Progress (the audio sent to the plug-in so far) and the audio clock on the console. On a
// terminal one line is rewritten in place; otherwise a line is written each second of playing.
class ConsoleProgress final : public PlaybackObserver {
  public:
    ConsoleProgress(std::ostream& out, const PcmFormat& format, double streamSeconds,
                    bool interactive);

    void streamStarted(SteadyClock::time_point when) override;
    void frameShown(const FrameRecord& frame) override;
    void pauseChanged(bool paused, float clockMs) override;
    // Ends a line left open on a terminal.
    void finish();

  private:
    void writeLine(const FrameRecord& frame);

    std::ostream& out_;
    double bytesPerSecond_;
    double streamSeconds_;
    bool interactive_;
    bool lineOpen_ = false;
    SteadyClock::time_point nextLine_;
};

// Shows the plug-in's log messages, one line each, with a run of the same message (as during
// an underrun, once per frame) folded into a count.
class PluginLogEcho final : public Ogre::LogListener {
  public:
    explicit PluginLogEcho(std::ostream& out) : out_(out) {}
    ~PluginLogEcho() override { flush(); }

    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel level, bool maskDebug,
                       const Ogre::String& logName, bool& skipThisMessage) override;
    // Writes the count of a pending run of repeats.
    void flush();

  private:
    std::ostream& out_;
    std::string last_;
    unsigned long repeats_ = 0;
};

}  // namespace glimmerax
