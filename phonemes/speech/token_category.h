#pragma once

// The layer's own token category: the phone converters registered with
// registerPhoneConverterToken, found by their attributes.

#include <cstdint>
#include <string_view>

#include "com.h"

namespace phonemes {

inline constexpr std::u16string_view kPhoneConverterCategoryId =
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\PhoneConverters";

// Factory of CLSID_SpObjectTokenCategory. SetId knows the phone-converter category (ids are
// compared without regard to ASCII case, like registry keys); EnumTokens keeps the tokens that
// have every required attribute ("Name=Value" needs that pair, a bare "Name" only the name;
// names and values compared without regard to ASCII case) and orders them by the number of
// optional attributes they match, registration order breaking ties.
HRESULT createObjectTokenCategory(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                                  void** object);

}  // namespace phonemes
