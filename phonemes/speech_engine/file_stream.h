#pragma once

// The audio stream over a file (CLSID_SpStream): BindToFile opens any file the engine can
// decode, GetFormat describes the file's own format, and the recogniser takes the decoder
// through a private interface when the stream becomes its input.

#include <cstdint>
#include <memory>

#include "com.h"
#include "engine/audio_source.h"
#include "speech_api.h"

namespace phonemes {

inline constexpr IID IID_IEngineAudioInput{
    0x6f0e7c3a, 0x5b21, 0x4c8e, {0x9a, 0x47, 0x2d, 0x13, 0xe8, 0x50, 0xb6, 0x91}};

// What the recogniser asks an input stream for.
struct IEngineAudioInput : IUnknown {
    using Base = IUnknown;
    static constexpr const IID& kIid = IID_IEngineAudioInput;
    // Hands over the stream's decoder: its audio can be read once, so only the first caller
    // gets it. SPERR_UNINITIALIZED before BindToFile, E_FAIL once it has been taken.
    virtual HRESULT takeAudioSource(std::unique_ptr<engine::AudioSource>& source) = 0;
};

// The record GetFormat hands out for a decoder's stream format.
WAVEFORMATEX waveFormatOf(const engine::StreamFormat& format);

// Factory of CLSID_SpStream.
HRESULT createFileStream(IUnknown* outer, std::uint32_t classContext, REFIID iid, void** object);

}  // namespace phonemes
