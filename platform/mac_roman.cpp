#include "platform/mac_roman.h"

#include <algorithm>
#include <cstdint>

#include "platform/mac_roman_tables.h"

namespace {

namespace tables = mac_roman_tables;

constexpr uint32_t kUnknown = 0xFFFFFFFF;
constexpr uint32_t kZeroWidthJoiner = 0x200D;

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at text[i]; 0 bytes when it is not valid
// (cut short, a bad continuation, overlong, a surrogate, beyond U+10FFFF).
size_t decodeUtf8(std::string_view text, size_t i, uint32_t* cp) {
    const uint8_t b = uint8_t(text[i]);
    size_t len;
    uint32_t v;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        v = b & 0x1F, len = 2;
    } else if ((b & 0xF0) == 0xE0) {
        v = b & 0x0F, len = 3;
    } else if ((b & 0xF8) == 0xF0) {
        v = b & 0x07, len = 4;
    } else {
        return 0;
    }
    if (text.size() - i < len) return 0;
    for (size_t k = 1; k < len; ++k) {
        const uint8_t c = uint8_t(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        v = (v << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (v < kSmallest[len] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return len;
}

// The Mac Roman byte of a code point, or kUnknown.
uint32_t macRomanByte(uint32_t cp) {
    if (cp < 0x80) return cp;
    const auto& high = tables::kHigh;
    const auto it = std::find(high.begin(), high.end(), cp);
    return it == high.end() ? kUnknown : uint32_t(0x80 + (it - high.begin()));
}

const tables::Spelling* spellingOf(uint32_t cp) {
    const auto it = std::lower_bound(
        tables::kSpellings.begin(), tables::kSpellings.end(), cp,
        [](const tables::Spelling& s, uint32_t v) { return s.codePoint < v; });
    return it != tables::kSpellings.end() && it->codePoint == cp ? &*it : nullptr;
}

bool isCombiningMark(uint32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
           (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
           (cp >= 0xFE20 && cp <= 0xFE2F);
}

// Marks that only change how the character before them is drawn: variation
// selectors and skin tones. They belong to that character.
bool isModifier(uint32_t cp) {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0x1F3FB && cp <= 0x1F3FF) ||
           (cp >= 0xE0020 && cp <= 0xE007F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

}  // namespace

std::string macRomanToUtf8(std::string_view macRoman) {
    std::string out;
    out.reserve(macRoman.size());
    for (char ch : macRoman) {
        const uint8_t b = uint8_t(ch);
        appendUtf8(out, b < 0x80 ? b : tables::kHigh[b - 0x80]);
    }
    return out;
}

bool utf8ToMacRoman(std::string_view utf8, std::string* out) {
    std::string result;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        const size_t len = decodeUtf8(utf8, i, &cp);
        if (len == 0) return false;
        i += len;
        const uint32_t b = macRomanByte(cp);
        if (b == kUnknown) return false;
        result.push_back(char(b));
    }
    *out = std::move(result);
    return true;
}

std::string utf8ToMacRomanLossy(std::string_view utf8, size_t maxBytes) {
    std::string out;
    // What the last character became: a plain ASCII letter (a combining
    // mark may compose with it), or "?" (its joiners and modifiers go too).
    enum class Last { Other, Letter, Unknown } last = Last::Other;
    bool joining = false;  // a zero-width joiner ties the next character to an unknown one
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        size_t len = decodeUtf8(utf8, i, &cp);
        if (len == 0) {
            cp = uint8_t(utf8[i]);  // not UTF-8: taken as Latin-1
            len = 1;
        }
        i += len;
        if (isCombiningMark(cp)) {
            if (last == Last::Letter) {
                const char base = out.back();
                const auto it = std::find_if(
                    tables::kCompositions.begin(), tables::kCompositions.end(),
                    [&](const tables::Composition& c) { return c.base == base && c.mark == cp; });
                if (it != tables::kCompositions.end()) out.back() = char(it->composed);
            }
            last = Last::Other;
            continue;
        }
        if (last == Last::Unknown && (isModifier(cp) || cp == kZeroWidthJoiner)) {
            joining = joining || cp == kZeroWidthJoiner;
            continue;
        }
        if (joining) {
            joining = false;
            continue;  // the joined character is part of the same "?"
        }
        if (cp == 0) continue;
        char bytes[3];
        size_t n = 0;
        Last kind = Last::Other;
        if (const uint32_t b = macRomanByte(cp); b != kUnknown) {
            bytes[n++] = char(b);
            if ((cp | 0x20) >= 'a' && (cp | 0x20) <= 'z') kind = Last::Letter;
        } else if (const tables::Spelling* s = spellingOf(cp)) {
            for (; n < s->length; ++n) bytes[n] = s->bytes[n];
        } else if (isModifier(cp) || cp == kZeroWidthJoiner) {
            continue;
        } else {
            bytes[n++] = '?';
            kind = Last::Unknown;
        }
        if (maxBytes != std::string::npos && out.size() + n > maxBytes) break;
        out.append(bytes, n);
        last = kind;
    }
    return out;
}
