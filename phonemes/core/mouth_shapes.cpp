#include "mouth_shapes.h"

#include <array>
#include <utility>

namespace phonemes {
namespace {

struct PhoneShapes {
    std::string_view phone;
    std::string_view extended;
    std::string_view oculus;
};

// Each of the 40 phones in the extended set and as a viseme. The basic set is the extended one
// with G and H replaced. h takes its shape from the vowel after it (mouthShapeOf).
constexpr std::array<PhoneShapes, 40> kPhoneShapes = {{
    {"aa", "D", "aa"}, {"ae", "C", "aa"}, {"ah", "C", "aa"}, {"ao", "E", "oh"}, {"aw", "D", "aa"},
    {"ax", "C", "E"},  {"ay", "D", "aa"}, {"b", "A", "PP"},  {"ch", "B", "CH"}, {"d", "B", "DD"},
    {"dh", "B", "TH"}, {"eh", "C", "E"},  {"er", "E", "RR"}, {"ey", "C", "E"},  {"f", "G", "FF"},
    {"g", "B", "kk"},  {"h", "B", "ih"},  {"ih", "B", "ih"}, {"iy", "B", "ih"}, {"jh", "B", "CH"},
    {"k", "B", "kk"},  {"l", "H", "nn"},  {"m", "A", "PP"},  {"n", "B", "nn"},  {"ng", "B", "kk"},
    {"ow", "F", "oh"}, {"oy", "E", "oh"}, {"p", "A", "PP"},  {"r", "E", "RR"},  {"s", "B", "SS"},
    {"sh", "B", "CH"}, {"t", "B", "DD"},  {"th", "B", "TH"}, {"uh", "F", "ou"}, {"uw", "F", "ou"},
    {"v", "G", "FF"},  {"w", "F", "ou"},  {"y", "B", "ih"},  {"z", "B", "SS"},  {"zh", "B", "CH"},
}};

constexpr std::array<std::string_view, 9> kExtendedShapes = {"A", "B", "C", "D", "E",
                                                             "F", "G", "H", "X"};
constexpr std::array<std::string_view, 7> kBasicShapes = {"A", "B", "C", "D", "E", "F", "X"};
constexpr std::array<std::string_view, 15> kVisemes = {
    "sil", "PP", "FF", "TH", "DD", "kk", "CH", "SS", "nn", "RR", "aa", "E", "ih", "oh", "ou"};

constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kPrestonBlairNames = {{
    {"A", "MBP"},
    {"B", "etc"},
    {"C", "E"},
    {"D", "AI"},
    {"E", "O"},
    {"F", "U"},
    {"G", "FV"},
    {"H", "L"},
    {"X", "rest"},
}};

const PhoneShapes* shapesOfPhone(std::string_view phone) {
    for (const PhoneShapes& row : kPhoneShapes) {
        if (row.phone == phone) {
            return &row;
        }
    }
    return nullptr;
}

bool isVowel(std::string_view phone) {
    static constexpr std::array<std::string_view, 16> kVowels = {"aa", "ae", "ah", "ao", "aw", "ax",
                                                                 "ay", "eh", "er", "ey", "ih", "iy",
                                                                 "ow", "oy", "uh", "uw"};
    for (std::string_view vowel : kVowels) {
        if (vowel == phone) {
            return true;
        }
    }
    return false;
}

std::string_view basicOf(std::string_view extended) {
    if (extended == "G") {
        return "B";  // teeth on the lower lip: teeth showing, lips nearly together
    }
    if (extended == "H") {
        return "C";  // tongue raised behind open lips
    }
    return extended;
}

}  // namespace

std::optional<MouthShapeSet> mouthShapeSetNamed(std::string_view name) {
    if (name == "extended") {
        return MouthShapeSet::kExtended;
    }
    if (name == "basic") {
        return MouthShapeSet::kBasic;
    }
    if (name == "oculus") {
        return MouthShapeSet::kOculus;
    }
    return std::nullopt;
}

std::string_view restShape(MouthShapeSet set) {
    return set == MouthShapeSet::kOculus ? "sil" : "X";
}

std::string_view mouthShapeOf(MouthShapeSet set, std::string_view phone, std::string_view next) {
    // The mouth is already shaped for the vowel while h is breathed.
    if (phone == "h" && isVowel(next)) {
        return mouthShapeOf(set, next, {});
    }
    const PhoneShapes* row = shapesOfPhone(phone);
    if (row == nullptr) {
        return restShape(set);
    }
    if (set == MouthShapeSet::kOculus) {
        return row->oculus;
    }
    return set == MouthShapeSet::kBasic ? basicOf(row->extended) : row->extended;
}

bool isClosedLips(MouthShapeSet set, std::string_view shape) {
    return shape == (set == MouthShapeSet::kOculus ? "PP" : "A");
}

std::string_view switchLayerName(MouthShapeSet set, std::string_view shape) {
    if (set != MouthShapeSet::kOculus) {
        for (const auto& [letter, name] : kPrestonBlairNames) {
            if (letter == shape) {
                return name;
            }
        }
    }
    return shape;
}

std::span<const std::string_view> shapesOf(MouthShapeSet set) {
    switch (set) {
        case MouthShapeSet::kExtended:
            return kExtendedShapes;
        case MouthShapeSet::kBasic:
            return kBasicShapes;
        case MouthShapeSet::kOculus:
            return kVisemes;
    }
    return kExtendedShapes;
}

}  // namespace phonemes
