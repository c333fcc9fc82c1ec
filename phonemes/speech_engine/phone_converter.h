#pragma once

// The American English phone converter: turns the recogniser's phone IDs into the names of the
// 40-phone inventory ("h", "aa", ...).

#include <cstdint>

#include "com.h"
#include "speech_api.h"

namespace phonemes {

inline constexpr CLSID CLSID_EnginePhoneConverter{
    0x2b7d5e41, 0x8c3f, 0x4a62, {0xb1, 0x0e, 0x7f, 0x94, 0x3a, 0xd2, 0x56, 0xc8}};

// Attributes of its token in the phone-converter category.
inline constexpr const char* kPhoneConverterTokenAttributes = "Language=409;VendorPreferred";

// Factory of CLSID_EnginePhoneConverter.
HRESULT createEnginePhoneConverter(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                                   void** object);

}  // namespace phonemes
