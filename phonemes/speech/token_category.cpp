#include "token_category.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "speech_api.h"
#include "speech_registry.h"
#include "text_conversion.h"

namespace phonemes {
namespace {

constexpr char16_t kAttributeSeparator = u';';
constexpr char16_t kValueSeparator = u'=';

struct Attribute {
    std::u16string name;
    std::optional<std::u16string> value;  // absent for a bare name
};

char16_t foldAsciiCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

bool equalIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

std::vector<Attribute> parseAttributes(std::u16string_view text) {
    std::vector<Attribute> attributes;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(kAttributeSeparator), text.size());
        const std::u16string_view piece = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (piece.empty()) {
            continue;
        }
        const std::size_t equals = piece.find(kValueSeparator);
        if (equals == std::u16string_view::npos) {
            attributes.push_back({std::u16string(piece), std::nullopt});
        } else {
            attributes.push_back({std::u16string(piece.substr(0, equals)),
                                  std::u16string(piece.substr(equals + 1))});
        }
    }
    return attributes;
}

std::vector<Attribute> parseAttributes(const char16_t* text) {
    return text == nullptr ? std::vector<Attribute>{} : parseAttributes(std::u16string_view(text));
}

bool hasAttribute(const std::vector<Attribute>& tokenAttributes, const Attribute& wanted) {
    return std::any_of(tokenAttributes.begin(), tokenAttributes.end(), [&](const Attribute& a) {
        return equalIgnoringAsciiCase(a.name, wanted.name) &&
               (!wanted.value || (a.value && equalIgnoringAsciiCase(*a.value, *wanted.value)));
    });
}

class ObjectToken final : public ComObject<ISpObjectToken> {
  public:
    explicit ObjectToken(const CLSID& clsid) : clsid_(clsid) {}

    HRESULT CreateInstance(IUnknown* outer, std::uint32_t classContext, REFIID iid,
                           void** object) override {
        return CoCreateInstance(clsid_, outer, classContext, iid, object);
    }

  private:
    const CLSID clsid_;
};

class TokenEnumeration final : public ComObject<IEnumSpObjectTokens> {
  public:
    explicit TokenEnumeration(std::vector<ComPtr<ISpObjectToken>> tokens)
        : tokens_(std::move(tokens)) {}

    HRESULT Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override {
        if (tokens == nullptr || (fetched == nullptr && count != 1)) {
            return E_POINTER;
        }
        std::lock_guard lock(mutex_);
        ULONG handedOut = 0;
        for (; handedOut < count && next_ < tokens_.size(); ++handedOut, ++next_) {
            tokens[handedOut] = tokens_[next_].get();
            tokens[handedOut]->AddRef();
        }
        if (fetched != nullptr) {
            *fetched = handedOut;
        }
        return handedOut == count ? S_OK : S_FALSE;
    }

  private:
    std::mutex mutex_;
    std::vector<ComPtr<ISpObjectToken>> tokens_;
    std::size_t next_ = 0;
};

class ObjectTokenCategory final : public ComObject<ISpObjectTokenCategory> {
  public:
    HRESULT SetId(const char16_t* categoryId, bool createIfNotExist) override {
        if (categoryId == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        if (id_) {
            return SPERR_ALREADY_INITIALIZED;
        }
        const bool known = equalIgnoringAsciiCase(categoryId, kPhoneConverterCategoryId);
        if (!known && !createIfNotExist) {
            return SPERR_NOT_FOUND;
        }
        // A category created on request is empty: only phone converters are registered.
        id_ = categoryId;
        holdsPhoneConverters_ = known;
        return S_OK;
    }

    HRESULT EnumTokens(const char16_t* requiredAttributes, const char16_t* optionalAttributes,
                       IEnumSpObjectTokens** enumerator) override {
        if (enumerator == nullptr) {
            return E_POINTER;
        }
        *enumerator = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (!id_) {
                return SPERR_UNINITIALIZED;
            }
        }
        const std::vector<Attribute> required = parseAttributes(requiredAttributes);
        const std::vector<Attribute> optional = parseAttributes(optionalAttributes);

        struct Candidate {
            CLSID clsid;
            std::size_t optionalMatches;
        };
        std::vector<Candidate> candidates;
        if (holdsPhoneConverters_) {
            for (const PhoneConverterToken& token : phoneConverterTokens()) {
                // A token whose attributes are not valid text has none that could match.
                const std::vector<Attribute> attributes =
                    parseAttributes(toWideText(token.attributes).value_or(u""));
                const auto has = [&](const Attribute& a) { return hasAttribute(attributes, a); };
                if (std::all_of(required.begin(), required.end(), has)) {
                    candidates.push_back(
                        {token.clsid, static_cast<std::size_t>(
                                          std::count_if(optional.begin(), optional.end(), has))});
                }
            }
        }
        std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
            return a.optionalMatches > b.optionalMatches;
        });

        std::vector<ComPtr<ISpObjectToken>> tokens;
        for (const Candidate& candidate : candidates) {
            auto* token = new (std::nothrow) ObjectToken(candidate.clsid);
            if (token == nullptr) {
                return E_OUTOFMEMORY;
            }
            tokens.push_back(ComPtr<ISpObjectToken>::adopt(token));
        }
        void* created = nullptr;
        const HRESULT status =
            createComObject<TokenEnumeration>(IID_IEnumSpObjectTokens, &created, std::move(tokens));
        *enumerator = static_cast<IEnumSpObjectTokens*>(created);
        return status;
    }

  private:
    std::mutex mutex_;
    std::optional<std::u16string> id_;
    bool holdsPhoneConverters_ = false;
};

}  // namespace

HRESULT createObjectTokenCategory(IUnknown* outer, std::uint32_t /*classContext*/, REFIID iid,
                                  void** object) {
    if (const HRESULT status = checkFactoryArguments(outer, object); status != S_OK) {
        return status;
    }
    return createComObject<ObjectTokenCategory>(iid, object);
}

}  // namespace phonemes
