#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "mouth_shapes.h"
#include "phone_timeline.h"

namespace phonemes {

// One mouth shape held from a frame until the next cue's frame (the last one until the end of
// the audio).
struct MouthCue {
    std::string_view shape;
    std::int64_t firstFrame;
};

// The mouth shapes of one file at a frame rate. The cues tile the audio: the first starts at 0,
// each ends where the next starts, the last ends at the audio's end, and no two neighbours
// show the same shape.
struct MouthCues {
    MouthShapeSet set = MouthShapeSet::kExtended;
    int fps = 24;
    std::int64_t durationMs = 0;
    std::vector<MouthCue> cues;

    // Frames that hold the audio, the last one perhaps cut short by its end; at least one.
    std::int64_t frameCount() const;
    double startSeconds(std::size_t cue) const;
    double endSeconds(std::size_t cue) const;
};

// A pause between words of at least this long goes to rest; a shorter one keeps the shape of
// the sound before it, so that the mouth does not snap shut between words of one phrase.
inline constexpr std::int64_t kRestPauseMs = 200;

// The cues of a timeline: phones and word-end markers ("_" starts the pause after a word),
// the speech ending at speechEndMs, in audio of durationMs.
//
// Frame k shows the sound heard as it ends, so a shape appears less than a frame before its
// sound (never after it), as animators time it, and a sound shorter than a frame shows only
// when a frame ends inside it. A closure of the lips (p, b, m) always shows for at least one frame.
// A last frame cut short by the end of the audio joins the cue before it, so no cue is shorter than
// a frame unless the audio is.
MouthCues mouthCuesOf(std::span<const PhoneEntry> entries, std::int64_t speechEndMs,
                      std::int64_t durationMs, MouthShapeSet set, int fps);

// The shape that frame k shows, for every frame of the cues.
std::vector<std::string_view> shapePerFrame(const MouthCues& cues);

}  // namespace phonemes
