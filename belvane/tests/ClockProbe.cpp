// Plays a stream whose frames carry their own index through the plug-in, driven as the video
// plug-in drives it, into OpenAL Soft's wave writer, and prints for each frame of the host the
// audio clock and the position of the sample heard then, for the playback tests to read.
//
//   belvane_clock_probe SECONDS [--pause AT:LEN]... [--stall AT:LEN]...
//
// Prints "stream_ms LENGTH", then a line "frame CLOCK_MS HEARD_MS PAUSED" per frame, HEARD_MS
// being "-" where silence was heard or the moment is not known closely enough.

#include "ClockCheck.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

glimmerax::TimedHold parseHold(const char* text) {
    glimmerax::TimedHold hold;
    if (std::sscanf(text, "%lf:%lf", &hold.atSeconds, &hold.lengthSeconds) != 2) {
        throw std::invalid_argument(std::string("not AT:LEN: ") + text);
    }
    return hold;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2) {
            throw std::invalid_argument(
                "usage: belvane_clock_probe SECONDS [--pause AT:LEN] "
                "[--stall AT:LEN]");
        }
        belvane::clockcheck::ClockCheckSettings settings;
        settings.seconds = std::atof(argv[1]);
        for (int i = 2; i + 1 < argc; i += 2) {
            const std::string option = argv[i];
            (option == "--pause" ? settings.pauses : settings.stalls)
                .push_back(parseHold(argv[i + 1]));
        }
        glimmerax::PlaybackObserver nothingMore;
        const auto check = belvane::clockcheck::runClockCheck(settings, nothingMore);
        std::printf("stream_ms %.3f\n", check.streamMs);
        for (const auto& sample : check.samples) {
            std::printf("frame %.3f %s %d\n", sample.clockMs,
                        sample.heardMs ? std::to_string(*sample.heardMs).c_str() : "-",
                        sample.paused ? 1 : 0);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "belvane_clock_probe: %s\n", error.what());
        return 1;
    }
}
