#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/phone_inventory.h"

namespace phonemes::engine {

// A phone as the recogniser hands it out. 0 is never a phone: it ends a string of phone IDs.
using PhoneId = std::uint16_t;

inline constexpr std::size_t kPhoneCount = phonemes::kPhoneCount;
inline constexpr PhoneId kPhoneIdEnd = 0;

// The 40 American English phone names in alphabetical order. The phone at index i has the ID
// i + 1.
const std::array<std::string_view, kPhoneCount>& phoneNames();

// The ID of a phone name ("h", "aa", ...), compared exactly; none for any other text.
std::optional<PhoneId> phoneIdOf(std::string_view name);

// The name of a phone ID; empty for 0 and for IDs beyond the set.
std::string_view phoneNameOf(PhoneId id);

// The symbols of a dictionary pronunciation, which separates them by white space.
std::vector<std::string> pronunciationSymbols(std::string_view pronunciation);

// The IDs of a dictionary pronunciation in the recogniser's own phone symbols, separated by
// white space ("HH AH L OW" gives h ah l ow). Symbols are matched without regard to case; none
// when a symbol is not one of the 40 phones.
std::optional<std::vector<PhoneId>> phoneIdsOfPronunciation(std::string_view pronunciation);

// The names of the IDs separated by single spaces; none when an ID is not a phone.
std::optional<std::string> phoneNamesOf(std::span<const PhoneId> ids);

}  // namespace phonemes::engine
