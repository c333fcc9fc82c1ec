#include "progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace phonemes {
namespace {

// Back to the start of the line, and clear from the cursor to the line's end.
constexpr std::string_view kLineStart = "\r";
constexpr std::string_view kClearToEnd = "\x1b[K";

// "m:ss", or "h:mm:ss" from an hour on.
std::string clockTime(double seconds) {
    const long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

std::string describeProgress(const BatchProgress& progress) {
    char text[160];
    std::snprintf(text, sizeof text, "%zu/%zu files, %.1f s of audio", progress.filesDone,
                  progress.filesTotal, progress.audioSeconds);
    std::string line = text;
    const double elapsed = progress.elapsed.count();
    if (progress.filesDone > 0 && elapsed > 0) {
        const double left = elapsed / static_cast<double>(progress.filesDone) *
                            static_cast<double>(progress.filesTotal - progress.filesDone);
        std::snprintf(text, sizeof text, ", %.1fx real time, %s left",
                      progress.audioSeconds / elapsed, clockTime(left).c_str());
        line += text;
    }
    return line;
}

void ProgressLine::show(std::string_view text) {
    // The last column stays free: writing into it makes some terminals wrap at once.
    const std::size_t room = width_ > 1 ? width_ - 1 : 0;
    terminal_ << kLineStart << text.substr(0, room) << kClearToEnd << std::flush;
    shown_ = true;
}

void ProgressLine::erase() {
    if (shown_) {
        terminal_ << kLineStart << kClearToEnd << std::flush;
        shown_ = false;
    }
}

}  // namespace phonemes
