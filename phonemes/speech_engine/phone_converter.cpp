#include "phone_converter.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/phone_set.h"

namespace phonemes {
namespace {

class PhoneConverter final : public ComObject<ISpPhoneConverter> {
  public:
    HRESULT IdToPhone(const SPPHONEID* ids, char16_t* phones, std::size_t capacity) override {
        if (ids == nullptr || phones == nullptr) {
            return E_POINTER;
        }
        std::vector<engine::PhoneId> pronunciation;
        for (const SPPHONEID* id = ids; *id != engine::kPhoneIdEnd; ++id) {
            pronunciation.push_back(static_cast<engine::PhoneId>(*id));
        }
        const std::optional<std::string> names = engine::phoneNamesOf(pronunciation);
        if (!names) {
            return E_INVALIDARG;  // an ID that is no phone
        }
        if (names->size() + 1 > capacity) {
            return E_NOT_SUFFICIENT_BUFFER;
        }
        // Phone names are ASCII: each byte is one UTF-16 unit.
        std::transform(names->begin(), names->end(), phones,
                       [](char c) { return static_cast<char16_t>(c); });
        phones[names->size()] = u'\0';
        return S_OK;
    }
};

}  // namespace

HRESULT createEnginePhoneConverter(IUnknown* outer, std::uint32_t /*classContext*/, REFIID iid,
                                   void** object) {
    if (const HRESULT status = checkFactoryArguments(outer, object); status != S_OK) {
        return status;
    }
    return createComObject<PhoneConverter>(iid, object);
}

}  // namespace phonemes
