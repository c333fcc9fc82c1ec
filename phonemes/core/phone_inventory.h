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

// The 40 American English phones, alphabetical by name: the one table of them that the
// recogniser's phone set, the timeline's weights, -p and the benchmarks all read.
inline constexpr std::array<PhoneRow, kPhoneCount> kPhoneRows{{
    {"aa", 3, "father"}, {"ae", 2, "cat"},  {"ah", 2, "cut"},  {"ao", 2, "dog"},
    {"aw", 3, "foul"},   {"ax", 2, "ago"},  {"ay", 3, "bite"}, {"b", 1, "big"},
    {"ch", 1, "chin"},   {"d", 1, "dig"},   {"dh", 1, "then"}, {"eh", 2, "pet"},
    {"er", 3, "fur"},    {"ey", 3, "ate"},  {"f", 1, "fork"},  {"g", 1, "gut"},
    {"h", 1, "help"},    {"ih", 2, "fill"}, {"iy", 3, "feel"}, {"jh", 1, "joy"},
    {"k", 1, "cut"},     {"l", 1, "lid"},   {"m", 1, "mat"},   {"n", 1, "no"},
    {"ng", 2, "sing"},   {"ow", 3, "go"},   {"oy", 3, "toy"},  {"p", 1, "put"},
    {"r", 1, "red"},     {"s", 1, "sit"},   {"sh", 2, "she"},  {"t", 1, "talk"},
    {"th", 2, "thin"},   {"uh", 3, "book"}, {"uw", 3, "too"},  {"v", 1, "vat"},
    {"w", 1, "with"},    {"y", 1, "yard"},  {"z", 1, "zap"},   {"zh", 1, "pleasure"},
}};

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
