#include "engine/dither_tables.h"

#include <algorithm>
#include <functional>

namespace {

struct DitherDepthInfo {
    int bits;
    int referenceStep;  // 8-bit intensity of one level step
};

constexpr std::array<DitherDepthInfo, 4> kDitherDepths = {{
    {1, 85},
    {2, 85},
    {4, 17},
    {5, 8},
}};

const DitherDepthInfo* FindDepth(int bits) {
    for (const auto& info : kDitherDepths) {
        if (info.bits == bits) return &info;
    }
    return nullptr;
}

}  // namespace

int DitherReference(int bits, int level) {
    const DitherDepthInfo* info = FindDepth(bits);
    return info ? level * info->referenceStep : 0;
}

bool BuildDitherTable(int bits, float spread, DitherTable& table) {
    const DitherDepthInfo* info = FindDepth(bits);
    if (!info) return false;
    const int shift = 8 - bits;
    for (int v = 0; v < 256; ++v) {
        // Walk the four cell positions, pushing the quantisation error of each
        // onto the next; the error is measured against the original value so
        // that it never runs away.
        std::array<int, 4> level{};
        int x = v;
        for (int i = 0; i < 4; ++i) {
            level[i] = std::clamp(x, 0, 255) >> shift;
            if (i < 3) {
                x += static_cast<int>(static_cast<float>(v - level[i] * info->referenceStep) *
                                      spread);
            }
        }
        std::sort(level.begin(), level.end(), std::greater<int>());
        // Put a pair of equal levels on a diagonal of the cell, so that it
        // reads as a checker rather than a stripe.
        if (level[0] == level[1] || level[2] == level[3]) {
            std::swap(level[1], level[3]);
        } else if (level[0] == level[2] || level[1] == level[3]) {
            std::swap(level[2], level[3]);
        }
        for (int i = 0; i < 4; ++i) table[v][i] = static_cast<uint8_t>(level[i]);
    }
    return true;
}
