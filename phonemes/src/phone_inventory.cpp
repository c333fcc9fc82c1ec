#include "phone_inventory.h"

namespace phonemes {

const std::array<PhoneRow, kPhoneCount>& phoneRows() {
    static constexpr std::array<PhoneRow, kPhoneCount> rows{{
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
    return rows;
}

void PhoneInventory::buildWeightLookup() {
    for (const PhoneRow& row : phoneRows()) {
        weights_[std::string(row.phone)] = row.weight;
    }
}

std::int32_t PhoneInventory::weightOf(std::string_view phone) const {
    auto found = weights_.find(phone);
    return found == weights_.end() ? 0 : found->second;
}

}  // namespace phonemes
