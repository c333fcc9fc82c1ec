#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace phonemes {

struct PhoneRow {
    std::string_view phone;
    std::int32_t weight;  // relative length, 1 to 3
    std::string_view example;
};

inline constexpr std::size_t kPhoneCount = 40;

// The 40 American English phones, alphabetical by name.
const std::array<PhoneRow, kPhoneCount>& phoneRows();

// The weight lookup: phone name to weight.
class PhoneInventory {
  public:
    void buildWeightLookup();
    // The weight of the phone named exactly so; 0 for any other text.
    std::int32_t weightOf(std::string_view phone) const;

  private:
    std::map<std::string, std::int32_t, std::less<>> weights_;
};

}  // namespace phonemes
