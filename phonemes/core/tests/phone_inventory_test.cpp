#include "phone_inventory.h"

#include <gtest/gtest.h>

#include <set>

namespace phonemes {
namespace {

TEST(PhoneInventory, WeighsPhonesByExactName) {
    PhoneInventory inventory;
    inventory.buildWeightLookup();
    const struct {
        const char* phone;
        std::int32_t weight;
    } cases[] = {{"aa", 3},  {"ng", 2}, {"zh", 1}, {"h", 1},  {"ax", 2}, {"AA", 0},
                 {"aa ", 0}, {"", 0},   {"_", 0},  {"hh", 0}, {"a", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(inventory.weightOf(c.phone), c.weight) << "'" << c.phone << "'";
    }
}

TEST(PhoneInventory, WeighsNothingBeforeTheLookupIsBuilt) {
    EXPECT_EQ(PhoneInventory{}.weightOf("aa"), 0);
}

TEST(PhoneInventory, TableHasFortyDistinctPhonesInAlphabeticalOrder) {
    const auto& rows = phoneRows();
    std::set<std::string_view> names;
    int weightCounts[4] = {};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        names.insert(rows[i].phone);
        ASSERT_GE(rows[i].weight, 1);
        ASSERT_LE(rows[i].weight, 3);
        ++weightCounts[rows[i].weight];
        if (i > 0) {
            EXPECT_LT(rows[i - 1].phone, rows[i].phone);
        }
    }
    EXPECT_EQ(names.size(), 40u);
    EXPECT_EQ(weightCounts[1], 21);
    EXPECT_EQ(weightCounts[2], 9);
    EXPECT_EQ(weightCounts[3], 10);
}

}  // namespace
}  // namespace phonemes
