#include "phone_inventory.h"

namespace phonemes {

const std::array<PhoneRow, kPhoneCount>& phoneRows() {
    return kPhoneRows;
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
