#include "profiles/profile_names.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

// Mac Roman upper-case letters with diacritics and their lower-case forms.
constexpr std::array<std::pair<uint8_t, uint8_t>, 29> kCasePairs = {{
    {0x80, 0x8A}, {0x81, 0x8C}, {0x82, 0x8D}, {0x83, 0x8E}, {0x84, 0x96}, {0x85, 0x9A},
    {0x86, 0x9F}, {0xCB, 0x88}, {0xCC, 0x8B}, {0xCD, 0x9B}, {0xCE, 0xCF}, {0xD9, 0xD8},
    {0xE5, 0x89}, {0xE6, 0x90}, {0xE7, 0x87}, {0xE8, 0x91}, {0xE9, 0x8F}, {0xEA, 0x92},
    {0xEB, 0x94}, {0xEC, 0x95}, {0xED, 0x93}, {0xEE, 0x97}, {0xEF, 0x99}, {0xF1, 0x98},
    {0xF2, 0x9C}, {0xF3, 0x9E}, {0xF4, 0x9D}, {0xAE, 0xBE}, {0xAF, 0xBF},
}};

// Lower-case accented letters and the plain letter they sort with.
constexpr std::array<std::pair<uint8_t, char>, 30> kBaseLetters = {{
    {0x8A, 'a'}, {0x8C, 'a'}, {0x88, 'a'}, {0x8B, 'a'}, {0x89, 'a'}, {0x87, 'a'},
    {0x8D, 'c'}, {0x8E, 'e'}, {0x90, 'e'}, {0x91, 'e'}, {0x8F, 'e'}, {0x92, 'i'},
    {0x94, 'i'}, {0x95, 'i'}, {0x93, 'i'}, {0xF5, 'i'}, {0x96, 'n'}, {0x9A, 'o'},
    {0x9B, 'o'}, {0x99, 'o'}, {0x97, 'o'}, {0x98, 'o'}, {0xBF, 'o'}, {0x9F, 'u'},
    {0x9C, 'u'}, {0x9E, 'u'}, {0x9D, 'u'}, {0xD8, 'y'}, {0xBE, 'a'}, {0xCF, 'o'},
}};

struct Folds {
    std::array<uint8_t, 256> lower{};
    std::array<uint8_t, 256> base{};
};

const Folds& folds() {
    static const Folds f = [] {
        Folds t;
        for (int i = 0; i < 256; ++i) t.lower[size_t(i)] = uint8_t(i);
        for (int c = 'A'; c <= 'Z'; ++c) t.lower[size_t(c)] = uint8_t(c - 'A' + 'a');
        for (auto [up, low] : kCasePairs) t.lower[up] = low;
        t.base = t.lower;
        for (auto [accented, plain] : kBaseLetters) t.base[accented] = uint8_t(plain);
        for (auto [up, low] : kCasePairs) t.base[up] = t.base[low];
        return t;
    }();
    return f;
}

}  // namespace

bool namesEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto& lower = folds().lower;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower[uint8_t(a[i])] != lower[uint8_t(b[i])]) return false;
    return true;
}

bool nameLess(std::string_view a, std::string_view b) {
    const auto& base = folds().base;
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [&](char x, char y) { return base[uint8_t(x)] < base[uint8_t(y)]; });
}

void sortNames(std::vector<std::string>* names) {
    std::stable_sort(names->begin(), names->end(),
                     [](const std::string& a, const std::string& b) { return nameLess(a, b); });
}

std::string cutName(std::string_view name) {
    return std::string(name.substr(0, 63));
}
