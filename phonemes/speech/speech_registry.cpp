#include "speech_registry.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "speech_api.h"
#include "token_category.h"

namespace phonemes {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<CLSID, ClassFactory>> classes;
    std::vector<PhoneConverterToken> tokens;
};

void addBuiltInClasses(Registry& registry) {
    registry.classes.emplace_back(CLSID_SpObjectTokenCategory, &createObjectTokenCategory);
}

Registry& registry() {
    static Registry* const instance = [] {
        auto* created = new Registry;  // lives until exit: factories may run from any thread
        addBuiltInClasses(*created);
        return created;
    }();
    return *instance;
}

auto findClass(std::vector<std::pair<CLSID, ClassFactory>>& classes, REFCLSID clsid) {
    return std::find_if(classes.begin(), classes.end(),
                        [&](const auto& entry) { return entry.first == clsid; });
}

}  // namespace

void registerClass(REFCLSID clsid, ClassFactory factory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto found = findClass(r.classes, clsid); found != r.classes.end()) {
        found->second = std::move(factory);
    } else {
        r.classes.emplace_back(clsid, std::move(factory));
    }
}

void unregisterClass(REFCLSID clsid) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto found = findClass(r.classes, clsid); found != r.classes.end()) {
        r.classes.erase(found);
    }
}

ClassFactory findClassFactory(REFCLSID clsid) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = findClass(r.classes, clsid);
    return found == r.classes.end() ? ClassFactory{} : found->second;
}

void registerPhoneConverterToken(std::string_view attributes, REFCLSID clsid) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.tokens.push_back({std::string(attributes), clsid});
}

std::vector<PhoneConverterToken> phoneConverterTokens() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.tokens;
}

void resetSpeechRegistry() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.classes.clear();
    r.tokens.clear();
    addBuiltInClasses(r);
}

}  // namespace phonemes
