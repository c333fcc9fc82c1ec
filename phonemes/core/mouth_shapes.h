#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace phonemes {

// The sets of mouth shapes that animation tools rig.
enum class MouthShapeSet {
    kExtended,  // nine 2D shapes A-H and X (rest)
    kBasic,     // A-F and X: G and H fall back to their nearest shapes
    kOculus,    // the 15 visemes of 3D avatars' blend shapes
};

// "extended", "basic", "oculus"; none for any other name.
std::optional<MouthShapeSet> mouthShapeSetNamed(std::string_view name);

// The shape a set shows at rest (silence): "X", or "sil" for the visemes.
std::string_view restShape(MouthShapeSet set);

// The shape a set shows for a phone. `next` is the phone after it in the same word (empty at
// the word's end): h takes the shape of the vowel it leads into. Any text that is not one of
// the 40 phones gets rest. (An l shows the raised tongue, H, only when it is held: one too
// short to fill a frame is never shown, as no sound is.)
std::string_view mouthShapeOf(MouthShapeSet set, std::string_view phone, std::string_view next);

// A closed-lips shape: the set's shape for p, b and m.
bool isClosedLips(MouthShapeSet set, std::string_view shape);

// The name Moho and OpenToonz switch layers use for a shape (the Preston Blair names for the
// 2D sets; the visemes keep their own).
std::string_view switchLayerName(MouthShapeSet set, std::string_view shape);

// Every shape of a set, in the order the README's table lists them.
std::span<const std::string_view> shapesOf(MouthShapeSet set);

}  // namespace phonemes
