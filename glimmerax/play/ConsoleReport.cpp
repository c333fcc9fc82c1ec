#include "ConsoleReport.h"

#include <cstdio>

namespace glimmerax {

namespace {

constexpr auto kTerminalRefresh = std::chrono::milliseconds(100);
constexpr auto kLogLineInterval = std::chrono::seconds(1);

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

std::string formatMs(float ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(ms));
    return text;
}

}  // namespace

ConsoleProgress::ConsoleProgress(std::ostream& out, const PcmFormat& format, double streamSeconds,
                                 bool interactive)
    : out_(out),
      bytesPerSecond_(format.bytesPerSecond()),
      streamSeconds_(streamSeconds),
      interactive_(interactive) {}

void ConsoleProgress::streamStarted(SteadyClock::time_point when) {
    nextLine_ = when;
}

void ConsoleProgress::frameShown(const FrameRecord& frame) {
    if (frame.wallTime < nextLine_) {
        return;
    }
    nextLine_ = frame.wallTime + (interactive_ ? SteadyClock::duration(kTerminalRefresh)
                                               : SteadyClock::duration(kLogLineInterval));
    writeLine(frame);
}

void ConsoleProgress::pauseChanged(bool paused, float clockMs) {
    finish();
    out_ << (paused ? "pause" : "resume") << " at audio clock " << formatMs(clockMs) << " ms"
         << std::endl;
}

void ConsoleProgress::finish() {
    if (lineOpen_) {
        out_ << std::endl;
        lineOpen_ = false;
    }
}

void ConsoleProgress::writeLine(const FrameRecord& frame) {
    std::string line = "sent " +
                       formatSeconds(static_cast<double>(frame.consumedBytes) / bytesPerSecond_) +
                       " / " + formatSeconds(streamSeconds_) + " s   audio clock " +
                       formatMs(frame.clockMs) + " ms";
    if (frame.paused) {
        line += "   paused";
    }
    if (frame.decoderStalled) {
        line += "   decoder stalled";
    }
    if (interactive_) {
        // Pad over what a longer earlier line left behind.
        out_ << '\r' << line << "          " << std::flush;
        lineOpen_ = true;
    } else {
        out_ << line << std::endl;
    }
}

void PluginLogEcho::messageLogged(const Ogre::String& message, Ogre::LogMessageLevel /*level*/,
                                  bool /*maskDebug*/, const Ogre::String& /*logName*/,
                                  bool& /*skipThisMessage*/) {
    if (message == last_) {
        ++repeats_;
        return;
    }
    flush();
    out_ << "log: " << message << std::endl;
    last_ = message;
}

void PluginLogEcho::flush() {
    if (repeats_ > 0) {
        out_ << "log: (the line above " << repeats_ << " more time" << (repeats_ == 1 ? "" : "s")
             << ")" << std::endl;
        repeats_ = 0;
    }
}

}  // namespace glimmerax
