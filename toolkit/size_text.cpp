#include "toolkit/size_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr int kMaxSizeNumber = 65535;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at text[*i...]; 0 when there are none.
int readNumber(std::string_view text, size_t* i) {
    int v = 0;
    while (*i < text.size() && isDigit(text[*i])) {
        v = std::min(kMaxSizeNumber, v * 10 + (text[*i] - '0'));
        ++*i;
    }
    return v;
}

void skipToDigit(std::string_view text, size_t* i) {
    while (*i < text.size() && !isDigit(text[*i])) ++*i;
}

}  // namespace

void parseSizeText(std::string_view text, int* width, int* height) {
    size_t i = 0;
    skipToDigit(text, &i);
    const int w = readNumber(text, &i);
    skipToDigit(text, &i);
    const int h = readNumber(text, &i);
    if (width) *width = w;
    if (height) *height = h;
}

void parseNumber(std::string_view counted, long* number) {
    if (!number) return;
    *number = 0;
    if (counted.empty()) return;
    const size_t len = std::min<size_t>(uint8_t(counted[0]), counted.size() - 1);
    long v = 0;
    for (size_t i = 1; i <= len && isDigit(counted[i]); ++i) {
        // Counted strings hold at most 255 digits; stop before long overflows.
        if (v > (std::numeric_limits<long>::max() - 9) / 10) break;
        v = v * 10 + (counted[i] - '0');
    }
    *number = v;
}
