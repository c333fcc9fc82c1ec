#include "phone_set.h"

#include <algorithm>
#include <cctype>

namespace phonemes::engine {

namespace {

// The names of the program's one table of the 40 phones, in its alphabetical order.
constexpr std::array<std::string_view, kPhoneCount> kNames = [] {
    std::array<std::string_view, kPhoneCount> names{};
    for (std::size_t i = 0; i < kPhoneCount; ++i) {
        names[i] = kPhoneRows[i].phone;
    }
    return names;
}();

// The dictionary writes the h sound as HH; every other symbol is the phone name in capitals.
constexpr std::string_view kDictionaryH = "hh";

}  // namespace

const std::array<std::string_view, kPhoneCount>& phoneNames() {
    return kNames;
}

std::optional<PhoneId> phoneIdOf(std::string_view name) {
    const auto* found = std::lower_bound(kNames.begin(), kNames.end(), name);
    if (found == kNames.end() || *found != name) {
        return std::nullopt;
    }
    return static_cast<PhoneId>(found - kNames.begin() + 1);
}

std::string_view phoneNameOf(PhoneId id) {
    if (id == kPhoneIdEnd || id > kPhoneCount) {
        return {};
    }
    return kNames[id - 1];
}

std::vector<std::string> pronunciationSymbols(std::string_view pronunciation) {
    std::vector<std::string> symbols;
    std::size_t pos = 0;
    while (pos < pronunciation.size()) {
        if (std::isspace(static_cast<unsigned char>(pronunciation[pos]))) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < pronunciation.size() &&
               !std::isspace(static_cast<unsigned char>(pronunciation[end]))) {
            ++end;
        }
        symbols.emplace_back(pronunciation.substr(pos, end - pos));
        pos = end;
    }
    return symbols;
}

std::optional<std::vector<PhoneId>> phoneIdsOfPronunciation(std::string_view pronunciation) {
    std::vector<PhoneId> ids;
    for (std::string symbol : pronunciationSymbols(pronunciation)) {
        std::transform(symbol.begin(), symbol.end(), symbol.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto id = phoneIdOf(symbol == kDictionaryH ? "h" : symbol);
        if (!id) {
            return std::nullopt;
        }
        ids.push_back(*id);
    }
    return ids;
}

std::optional<std::string> phoneNamesOf(std::span<const PhoneId> ids) {
    std::string names;
    for (PhoneId id : ids) {
        const std::string_view name = phoneNameOf(id);
        if (name.empty()) {
            return std::nullopt;
        }
        if (!names.empty()) {
            names += ' ';
        }
        names += name;
    }
    return names;
}

}  // namespace phonemes::engine
