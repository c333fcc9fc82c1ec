#include "phone_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "engine/phone_set.h"
#include "engine_test_support.h"
#include "phone_inventory.h"
#include "recognition_session.h"
#include "token_category.h"

namespace phonemes {
namespace {

using testing::EngineTest;

// The IDs of phone names separated by spaces, terminated.
std::u16string idsOf(const std::string& names) {
    std::u16string ids;
    std::size_t start = 0;
    while (start < names.size()) {
        const std::size_t end = std::min(names.find(' ', start), names.size());
        const auto id = engine::phoneIdOf(names.substr(start, end - start));
        EXPECT_TRUE(id.has_value()) << names.substr(start, end - start);
        ids += static_cast<char16_t>(id.value_or(0));
        start = end + 1;
    }
    return ids;
}

// The phone converter the session would find for American English.
ComPtr<ISpPhoneConverter> americanEnglishConverter() {
    ComPtr<ISpPhoneConverter> converter;
    const std::u16string required = languageAttribute(kLangIdAmericanEnglish);
    EXPECT_EQ(createPhoneConverter(kPhoneConverterCategoryId.data(), required.c_str(), nullptr,
                                   converter.put(), nullptr, CLSCTX_ALL),
              S_OK);
    return converter;
}

class PhoneConverterTest : public EngineTest {};

TEST_F(PhoneConverterTest, TheAmericanEnglishTokenGivesTheInventorysNames) {
    ComPtr<ISpPhoneConverter> converter = americanEnglishConverter();
    ASSERT_TRUE(converter);
    // The dictionary writes "hello" as HH AH L OW; the inventory names its first phone h.
    const auto ids = engine::phoneIdsOfPronunciation("HH AH L OW");
    ASSERT_TRUE(ids.has_value());
    std::u16string pronunciation(ids->begin(), ids->end());
    std::array<char16_t, 256> phones{};
    ASSERT_EQ(converter->IdToPhone(pronunciation.c_str(), phones.data(), phones.size()), S_OK);
    EXPECT_EQ(std::u16string(phones.data()), u"h ah l ow");

    ComPtr<ISpPhoneConverter> german;
    EXPECT_EQ(createPhoneConverter(kPhoneConverterCategoryId.data(), u"Language=407", nullptr,
                                   german.put(), nullptr, CLSCTX_ALL),
              SPERR_NOT_FOUND);
}

// Whatever ID the recogniser hands out, the extractor gets a name of its own inventory.
TEST_F(PhoneConverterTest, EveryRecognisablePhoneBecomesANameOfTheInventory) {
    ComPtr<ISpPhoneConverter> converter = americanEnglishConverter();
    ASSERT_TRUE(converter);
    std::u16string ids;
    for (engine::PhoneId id = 1; id <= engine::kPhoneCount; ++id) {
        ids += static_cast<char16_t>(id);
    }
    std::array<char16_t, 256> phones{};
    ASSERT_EQ(converter->IdToPhone(ids.c_str(), phones.data(), phones.size()), S_OK);

    std::string inventory;
    for (const PhoneRow& row : phoneRows()) {
        if (!inventory.empty()) {
            inventory += ' ';
        }
        inventory += row.phone;
    }
    EXPECT_EQ(std::u16string(phones.data()), std::u16string(inventory.begin(), inventory.end()));
}

TEST_F(PhoneConverterTest, AnIdThatIsNoPhoneFailsTheWord) {
    ComPtr<ISpPhoneConverter> converter = americanEnglishConverter();
    ASSERT_TRUE(converter);
    const char16_t ids[] = {1, static_cast<char16_t>(engine::kPhoneCount + 1), 0};
    std::array<char16_t, 256> phones{};
    EXPECT_TRUE(FAILED(converter->IdToPhone(ids, phones.data(), phones.size())));
}

struct CapacityCase {
    const char* name;
    std::string phones;
    std::size_t capacity;
    HRESULT status;
};

class PhoneConverterCapacityTest : public EngineTest,
                                   public ::testing::WithParamInterface<CapacityCase> {};

// The converter writes only inside the capacity it is given: names and terminator fit, or the
// call fails.
TEST_P(PhoneConverterCapacityTest, NeverWritesPastTheCapacity) {
    const CapacityCase& c = GetParam();
    ComPtr<ISpPhoneConverter> converter = americanEnglishConverter();
    ASSERT_TRUE(converter);
    constexpr char16_t kUntouched = u'#';
    std::array<char16_t, 64> buffer;
    buffer.fill(kUntouched);

    EXPECT_EQ(converter->IdToPhone(idsOf(c.phones).c_str(), buffer.data(), c.capacity), c.status);
    EXPECT_TRUE(std::all_of(buffer.begin() + c.capacity, buffer.end(),
                            [](char16_t unit) { return unit == kUntouched; }));
    if (c.status == S_OK) {
        EXPECT_EQ(std::u16string(buffer.data()), std::u16string(c.phones.begin(), c.phones.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Capacities, PhoneConverterCapacityTest,
    ::testing::Values(CapacityCase{"exact_fit", "h eh l ow", 10, S_OK},
                      CapacityCase{"no_room_for_the_terminator", "h eh l ow", 9,
                                   E_NOT_SUFFICIENT_BUFFER},
                      CapacityCase{"one_unit", "aa", 1, E_NOT_SUFFICIENT_BUFFER},
                      CapacityCase{"empty_pronunciation", "", 1, S_OK},
                      CapacityCase{"no_capacity_at_all", "", 0, E_NOT_SUFFICIENT_BUFFER}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace phonemes
