#pragma once

// What the extractor does with each recognition event: the end of the stream ends the file's
// loop, final results time the file's words into the phone timeline, and results and
// hypotheses may be echoed on the console.

#include <cstddef>
#include <cstdint>

#include "speech_api.h"

namespace phonemes {

class RecognitionSession;

// Units of the buffer that receives one word's phone names, terminator included.
inline constexpr std::size_t kPhoneBufferUnits = 256;

// 100-ns units to whole milliseconds, truncated; the low 32 bits of the quotient.
std::uint32_t hundredNsToMs(std::uint64_t value);
// Bytes of the input stream to whole milliseconds, truncated, through the format's byte rate
// (the product with 1000 is taken in 64 bits); 0 for a format without a byte rate.
std::uint32_t bytesToMs(std::uint32_t bytes, const WAVEFORMATEX& format);
// A position in the stream, in bytes counted in 64 bits, to whole milliseconds, truncated and
// held at the largest 32-bit count; 0 for a format without a byte rate.
std::uint32_t streamBytesToMs(std::uint64_t bytes, const WAVEFORMATEX& format);

// Handles one fetched event; the event keeps its payload, which the caller clears.
void handleEvent(RecognitionSession& session, const SPEVENT& event);

}  // namespace phonemes
