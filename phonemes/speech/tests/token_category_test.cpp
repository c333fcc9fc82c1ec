// The layer's token category of phone converters: finding tokens by their attributes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recognition_session.h"
#include "speech_api.h"
#include "speech_registry.h"
#include "text_conversion.h"
#include "token_category.h"

namespace phonemes {
namespace {

using ::testing::ElementsAreArray;

// A converter that answers every conversion with the name of the token it came from.
class NamedConverter final : public ComObject<ISpPhoneConverter> {
  public:
    explicit NamedConverter(std::u16string name) : name_(std::move(name)) {}
    HRESULT IdToPhone(const SPPHONEID*, char16_t* phones, std::size_t capacity) override {
        if (name_.size() + 1 > capacity) {
            return E_NOT_SUFFICIENT_BUFFER;
        }
        std::copy(name_.begin(), name_.end(), phones);
        phones[name_.size()] = u'\0';
        return S_OK;
    }

  private:
    std::u16string name_;
};

CLSID converterClass(std::uint8_t number) {
    return {0x314edb60, 0xe296, 0x43fd, {0xbb, 0xaa, 0xf7, 0x2d, 0xaf, 0xb9, 0x0a, number}};
}

struct Token {
    std::string name;
    std::string attributes;
};

// The converters in the order of their tokens, named by their tokens.
std::vector<std::string> namesOf(IEnumSpObjectTokens& tokens) {
    std::vector<std::string> names;
    ISpObjectToken* token = nullptr;
    while (tokens.Next(1, &token, nullptr) == S_OK) {
        void* created = nullptr;
        EXPECT_EQ(token->CreateInstance(nullptr, CLSCTX_ALL, IID_ISpPhoneConverter, &created),
                  S_OK);
        token->Release();
        ComPtr<ISpPhoneConverter> converter =
            ComPtr<ISpPhoneConverter>::adopt(static_cast<ISpPhoneConverter*>(created));
        char16_t name[32];
        const SPPHONEID none[] = {0};
        EXPECT_EQ(converter->IdToPhone(none, name, 32), S_OK);
        names.push_back(toNarrowText(name).value_or("?"));
    }
    return names;
}

class TokenCategory : public ::testing::Test {
  protected:
    TokenCategory() {
        CoInitialize(nullptr);
        const Token tokens[] = {
            {"german", "Language=407"},
            {"acme", "Language=409;Vendor=Acme"},
            {"preferred", "language=409;VendorPreferred"},
            {"plain", "Language=409"},
            {"bare", "Vendor"},
            {"rich", "Language=409;Vendor=Acme;VendorPreferred"},
        };
        std::uint8_t number = 0;
        for (const Token& token : tokens) {
            const CLSID clsid = converterClass(++number);
            const std::u16string name = *toWideText(token.name);
            registerClass(clsid, [name](IUnknown*, std::uint32_t, REFIID iid, void** object) {
                return createComObject<NamedConverter>(iid, object, name);
            });
            registerPhoneConverterToken(token.attributes, clsid);
        }
    }
    ~TokenCategory() override {
        resetSpeechRegistry();
        CoUninitialize();
    }

    ComPtr<ISpObjectTokenCategory> category() {
        void* created = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL,
                                   IID_ISpObjectTokenCategory, &created),
                  S_OK);
        return ComPtr<ISpObjectTokenCategory>::adopt(static_cast<ISpObjectTokenCategory*>(created));
    }
};

struct Search {
    std::string name;
    const char16_t* required;
    const char16_t* optional;
    std::vector<std::string> found;

    friend void PrintTo(const Search& c, std::ostream* os) { *os << c.name; }
};

class TokenSearch : public TokenCategory, public ::testing::WithParamInterface<Search> {};

TEST_P(TokenSearch, KeepsTokensWithEveryRequiredAttributeBestOptionalMatchFirst) {
    ComPtr<ISpObjectTokenCategory> phoneConverters = category();
    ASSERT_EQ(phoneConverters->SetId(kPhoneConverterCategoryId.data(), false), S_OK);
    ComPtr<IEnumSpObjectTokens> tokens;
    ASSERT_EQ(phoneConverters->EnumTokens(GetParam().required, GetParam().optional, tokens.put()),
              S_OK);
    EXPECT_THAT(namesOf(*tokens.get()), ElementsAreArray(GetParam().found));
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, TokenSearch,
    ::testing::Values(
        Search{"Everything",
               nullptr,
               nullptr,
               {"german", "acme", "preferred", "plain", "bare", "rich"}},
        Search{"Language", u"Language=409", nullptr, {"acme", "preferred", "plain", "rich"}},
        Search{"NamesAndValuesIgnoreCase",
               u"LANGUAGE=409",
               nullptr,
               {"acme", "preferred", "plain", "rich"}},
        Search{"PreferredFirst",
               u"Language=409",
               u"VendorPreferred",
               {"preferred", "rich", "acme", "plain"}},
        Search{"MoreOptionalMatchesFirst",
               u"Language=409",
               u"VendorPreferred;Vendor=Acme",
               {"rich", "acme", "preferred", "plain"}},
        Search{"EveryRequiredAttribute", u"Language=409;Vendor=Acme", nullptr, {"acme", "rich"}},
        Search{"BareNameNeedsOnlyTheName", u"Vendor", nullptr, {"acme", "bare", "rich"}},
        Search{"ValuesCompareWhole", u"Language=40", nullptr, {}},
        Search{"NoneForAnotherLanguage", u"Language=40C", nullptr, {}}),
    [](const auto& info) { return info.param.name; });

TEST_F(TokenCategory, KnowsOnlyThePhoneConverterCategory) {
    ComPtr<IEnumSpObjectTokens> tokens;
    EXPECT_EQ(category()->EnumTokens(nullptr, nullptr, tokens.put()), SPERR_UNINITIALIZED);

    EXPECT_EQ(category()->SetId(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices", false),
              SPERR_NOT_FOUND);

    ComPtr<ISpObjectTokenCategory> created = category();
    EXPECT_EQ(created->SetId(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices", true),
              S_OK);
    ASSERT_EQ(created->EnumTokens(nullptr, nullptr, tokens.put()), S_OK);
    EXPECT_THAT(namesOf(*tokens.get()), ::testing::IsEmpty());

    ComPtr<ISpObjectTokenCategory> phoneConverters = category();
    EXPECT_EQ(phoneConverters->SetId(
                  u"hkey_local_machine\\software\\microsoft\\speech\\phoneconverters", false),
              S_OK);
    EXPECT_EQ(phoneConverters->SetId(kPhoneConverterCategoryId.data(), false),
              SPERR_ALREADY_INITIALIZED);
}

TEST_F(TokenCategory, EnumerationHandsOutWhatIsLeftAndSaysWhenItRanShort) {
    ComPtr<ISpObjectTokenCategory> phoneConverters = category();
    ASSERT_EQ(phoneConverters->SetId(kPhoneConverterCategoryId.data(), false), S_OK);
    ComPtr<IEnumSpObjectTokens> tokens;
    ASSERT_EQ(phoneConverters->EnumTokens(u"Vendor", nullptr, tokens.put()), S_OK);  // three

    ISpObjectToken* handed[2] = {};
    EXPECT_EQ(tokens->Next(2, handed, nullptr), E_POINTER);  // a count above 1 needs a count out
    ULONG fetched = 0;
    EXPECT_EQ(tokens->Next(2, handed, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    for (ISpObjectToken* token : handed) {
        token->Release();
    }
    EXPECT_EQ(tokens->Next(2, handed, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    handed[0]->Release();
    EXPECT_EQ(tokens->Next(1, handed, nullptr), S_FALSE);
}

TEST_F(TokenCategory, PhoneConverterComesFromTheBestAmericanEnglishToken) {
    const std::u16string required = languageAttribute(kLangIdAmericanEnglish);
    ComPtr<ISpPhoneConverter> converter;
    ASSERT_EQ(createPhoneConverter(kPhoneConverterCategoryId.data(), required.c_str(), nullptr,
                                   converter.put(), nullptr, CLSCTX_ALL),
              S_OK);
    char16_t name[32];
    const SPPHONEID none[] = {0};
    ASSERT_EQ(converter->IdToPhone(none, name, 32), S_OK);
    EXPECT_EQ(std::u16string(name), u"preferred");

    EXPECT_EQ(createPhoneConverter(kPhoneConverterCategoryId.data(), u"Language=411", nullptr,
                                   converter.put(), nullptr, CLSCTX_ALL),
              SPERR_NOT_FOUND);
    EXPECT_FALSE(converter);
}

}  // namespace
}  // namespace phonemes
