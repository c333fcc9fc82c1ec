#include "mouth_cues.h"

#include <algorithm>

namespace phonemes {
namespace {

// A stretch of audio showing one shape, in milliseconds.
struct ShapeSpan {
    std::string_view shape;
    std::int64_t start;
    std::int64_t end;
    bool closure;
};

std::vector<ShapeSpan> shapeSpansOf(std::span<const PhoneEntry> entries, std::int64_t speechEnd,
                                    std::int64_t duration, MouthShapeSet set) {
    std::vector<ShapeSpan> spans;
    std::int64_t reached = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool last = i + 1 == entries.size();
        const std::int64_t start = std::clamp<std::int64_t>(entries[i].start, reached, duration);
        const std::int64_t end =
            std::clamp<std::int64_t>(last ? speechEnd : entries[i + 1].start, start, duration);
        reached = end;
        if (end == start) {
            continue;
        }
        if (entries[i].label == kWordEndMarker) {
            if (!last && end - start < kRestPauseMs && !spans.empty() &&
                spans.back().end == start) {
                spans.back().end = end;  // a short pause holds the shape before it
            } else {
                spans.push_back({restShape(set), start, end, false});
            }
            continue;
        }
        const std::string_view next =
            last || entries[i + 1].label == kWordEndMarker ? "" : entries[i + 1].label;
        const std::string_view shape = mouthShapeOf(set, entries[i].label, next);
        spans.push_back({shape, start, end, isClosedLips(set, shape)});
    }
    return spans;
}

}  // namespace

std::int64_t MouthCues::frameCount() const {
    return std::max<std::int64_t>((durationMs * fps + 999) / 1000, 1);
}

double MouthCues::startSeconds(std::size_t cue) const {
    return static_cast<double>(cues[cue].firstFrame) / fps;
}

double MouthCues::endSeconds(std::size_t cue) const {
    return cue + 1 < cues.size() ? startSeconds(cue + 1) : static_cast<double>(durationMs) / 1000.0;
}

MouthCues mouthCuesOf(std::span<const PhoneEntry> entries, std::int64_t speechEndMs,
                      std::int64_t durationMs, MouthShapeSet set, int fps) {
    MouthCues result{set, fps, std::max<std::int64_t>(durationMs, 0), {}};
    const std::int64_t duration = result.durationMs;
    const std::vector<ShapeSpan> spans = shapeSpansOf(entries, speechEndMs, duration, set);

    // Frame k lasts from k * 1000 / fps ms and shows the sound heard as it ends, just before
    // (k + 1) * 1000 / fps: a span holds that instant when start * fps < (k + 1) * 1000 <=
    // end * fps. A sound starting on a frame's first instant thus shows from that frame.
    const std::int64_t frames = result.frameCount();
    std::vector<std::string_view> shown(static_cast<std::size_t>(frames), restShape(set));
    std::size_t span = 0;
    for (std::int64_t k = 0; k < frames; ++k) {
        const std::int64_t instant = (k + 1) * 1000;
        while (span < spans.size() && spans[span].end * fps < instant) {
            ++span;
        }
        if (span < spans.size() && spans[span].start * fps < instant) {
            shown[static_cast<std::size_t>(k)] = spans[span].shape;
        }
    }
    // A closure that no frame's end falls in still closes the lips, in the frame it lies in.
    for (const ShapeSpan& s : spans) {
        const std::int64_t frame = std::min(s.start * fps / 1000, frames - 1);
        const bool shownByItsFrame = (frame + 1) * 1000 <= s.end * fps;
        if (s.closure && !shownByItsFrame) {
            shown[static_cast<std::size_t>(frame)] = s.shape;
        }
    }
    // A last frame cut short by the end of the audio would flash: it joins the one before.
    if (frames >= 2 && duration * fps < frames * 1000) {
        shown.back() = shown[shown.size() - 2];
    }
    for (std::int64_t k = 0; k < frames; ++k) {
        const std::string_view shape = shown[static_cast<std::size_t>(k)];
        if (result.cues.empty() || result.cues.back().shape != shape) {
            result.cues.push_back({shape, k});
        }
    }
    return result;
}

std::vector<std::string_view> shapePerFrame(const MouthCues& cues) {
    std::vector<std::string_view> frames;
    const std::int64_t count = cues.frameCount();
    for (std::size_t c = 0; c < cues.cues.size(); ++c) {
        const std::int64_t end = c + 1 < cues.cues.size() ? cues.cues[c + 1].firstFrame : count;
        frames.insert(frames.end(), static_cast<std::size_t>(end - cues.cues[c].firstFrame),
                      cues.cues[c].shape);
    }
    return frames;
}

}  // namespace phonemes
