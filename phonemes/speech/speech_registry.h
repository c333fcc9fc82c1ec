#pragma once

// Which classes the layer can create. The program registers the recogniser's objects for the
// platform's class ids; tests register scripted ones. The registry may be used from any thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "com.h"

namespace phonemes {

// Makes one object of a class: gets the creation's outer object and class context, and on
// success stores the asked interface with one reference in *object (null on failure).
// Factories are called without any lock held and may be called from any thread.
using ClassFactory =
    std::function<HRESULT(IUnknown* outer, std::uint32_t classContext, REFIID iid, void** object)>;

// Registers (or replaces) the factory of a class id.
void registerClass(REFCLSID clsid, ClassFactory factory);
void unregisterClass(REFCLSID clsid);
// The factory registered for a class id; empty when there is none.
ClassFactory findClassFactory(REFCLSID clsid);

// A phone-converter token: its attributes ("Language=409;Vendor=Brindlemoorex": name=value
// pairs, or bare names, separated by ';') and the class that its CreateInstance makes. Tokens
// are enumerated in registration order among equally good matches.
void registerPhoneConverterToken(std::string_view attributes, REFCLSID clsid);

struct PhoneConverterToken {
    std::string attributes;
    CLSID clsid;
};
std::vector<PhoneConverterToken> phoneConverterTokens();

// Back to the layer's own classes only (the token category), and no phone-converter tokens.
void resetSpeechRegistry();

}  // namespace phonemes
