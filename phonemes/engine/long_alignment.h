#pragma once

#include <cstdint>
#include <stop_token>
#include <string_view>

#include "audio_source.h"
#include "recognizer.h"
#include "speech_model.h"

namespace phonemes::engine {

// How a long recording is cut for its alignment to a transcript. One grammar of a whole
// transcript searched over a whole file costs time that grows with the square of its length;
// aligned stretch by stretch, each with only its part of the transcript, a file costs time in
// proportion to its length and memory bounded by a stretch.
struct LongAlignmentLimits {
    // Files up to this length are aligned in one pass over the whole file, as they always were.
    // It is the longest phrase the cutter passes on and the longest audio the one pass holds
    // for its second look: far above a line of dialogue, below where the one pass slows down.
    std::uint64_t oneStretchSamples = 60 * kModelSampleRate;
    // The audio aligned at a time. A stretch ends at the last pause in its second half when
    // there is one, and then keeps every word it placed. Shorter stretches cost less in every
    // frame, since the grammar is shorter; longer ones align less audio twice. Measured on 20
    // minutes of read speech in acoustic mode: 20 s ran at 23x real time, 12 s at 26x, 10 s at
    // 29x, with the accuracy against hand labels within half a point.
    std::uint64_t stretchSamples = 10 * kModelSampleRate;
    // In a stretch that ends inside speech, the words that end in its last part are left to the
    // next stretch, which begins where the words kept end: no word is placed without the audio
    // after it heard, and a word that straddles the cut is placed whole in one stretch. At most
    // half a stretch.
    std::uint64_t overlapSamples = 3 * kModelSampleRate;
};

// A recording longer than one stretch; a source of unknown length never is.
bool isLongRecording(const AudioSource& source, const LongAlignmentLimits& limits);

// The transcript's words aligned to a long recording stretch by stretch, each stretch with a
// window of the transcript that begins at its first word not yet placed. The result is one
// phrase over the whole source, as the one-pass alignment gives: a recognition when every word
// that has a pronunciation is placed, otherwise a false recognition with the words placed. With
// alignPhones the grammars are made of the words' phones (and their spoken variants). Needs the
// model's lock.
void alignLongTranscript(SpeechModel& model, bool alignPhones, AudioSource& source,
                         std::string_view transcript, RecognitionListener& listener,
                         const std::stop_token& stop, const LongAlignmentLimits& limits);

}  // namespace phonemes::engine
