#include "engine/colour_palette.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "engine/colour_space.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

constexpr std::array<int, 3> kAxisBins = {64, 32, 32};
constexpr std::array<int, 3> kAxisScale = {4, 8, 8};  // bin width in 8-bit units

struct Box {
    std::array<int, 3> lo{}, hi{};
    int64_t size = 0;
    int32_t nonEmpty = 0;
};

uint32_t BinIndex(int a, int b, int c) {
    return static_cast<uint32_t>((a * 32 + b) * 32 + c);
}

// Shrinks the box around its non-empty bins and records size and count.
void Shrink(std::span<const uint32_t> h, Box& box) {
    std::array<int, 3> lo = box.hi, hi = box.lo;
    int32_t count = 0;
    for (int a = box.lo[0]; a <= box.hi[0]; ++a) {
        for (int b = box.lo[1]; b <= box.hi[1]; ++b) {
            for (int c = box.lo[2]; c <= box.hi[2]; ++c) {
                if (h[BinIndex(a, b, c)] == 0) continue;
                ++count;
                lo = {std::min(lo[0], a), std::min(lo[1], b), std::min(lo[2], c)};
                hi = {std::max(hi[0], a), std::max(hi[1], b), std::max(hi[2], c)};
            }
        }
    }
    if (count > 0) {
        box.lo = lo;
        box.hi = hi;
    }
    box.nonEmpty = count;
    box.size = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const int64_t e = static_cast<int64_t>(kAxisScale[axis]) * (box.hi[axis] - box.lo[axis]);
        box.size += e * e;
    }
}

int PickBox(const std::vector<Box>& boxes) {
    const bool byCount = 2 * boxes.size() <= static_cast<size_t>(kPaletteMaxBoxes);
    int best = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        if (b.size <= 0) continue;
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const Box& o = boxes[static_cast<size_t>(best)];
        if (byCount ? b.nonEmpty > o.nonEmpty : b.size > o.size) best = static_cast<int>(i);
    }
    return best;
}

uint8_t RoundedMean(uint64_t weighted, uint64_t total) {
    return static_cast<uint8_t>(std::min<uint64_t>((2 * weighted + total) / (2 * total), 255));
}

}  // namespace

int MedianCutPalette(std::span<const uint32_t> histogram, std::span<uint8_t> palette) {
    if (histogram.size() < kHistogramBins || palette.size() < 768) return 0;
    std::vector<Box> boxes;
    boxes.reserve(kPaletteMaxBoxes);
    Box whole;
    whole.hi = {kAxisBins[0] - 1, kAxisBins[1] - 1, kAxisBins[2] - 1};
    Shrink(histogram, whole);
    boxes.push_back(whole);
    while (boxes.size() < static_cast<size_t>(kPaletteMaxBoxes)) {
        const int pick = PickBox(boxes);
        if (pick < 0) break;
        Box& old = boxes[static_cast<size_t>(pick)];
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (kAxisScale[a] * (old.hi[a] - old.lo[a]) >
                kAxisScale[axis] * (old.hi[axis] - old.lo[axis])) {
                axis = a;
            }
        }
        const int m = (old.lo[axis] + old.hi[axis]) / 2;
        Box added = old;
        added.lo[axis] = m + 1;
        old.hi[axis] = m;
        Shrink(histogram, old);
        Shrink(histogram, added);
        boxes.push_back(added);
    }
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& box = boxes[i];
        uint64_t total = 0;
        std::array<uint64_t, 3> sum{};
        for (int a = box.lo[0]; a <= box.hi[0]; ++a) {
            for (int b = box.lo[1]; b <= box.hi[1]; ++b) {
                for (int c = box.lo[2]; c <= box.hi[2]; ++c) {
                    const uint64_t n = histogram[BinIndex(a, b, c)];
                    total += n;
                    sum[0] += n * static_cast<uint64_t>(a * 4 + 2);
                    sum[1] += n * static_cast<uint64_t>(b * 8 + 4);
                    sum[2] += n * static_cast<uint64_t>(c * 8 + 4);
                }
            }
        }
        uint8_t* entry = palette.data() + 3 * (kPaletteFirstCut + i);
        for (int k = 0; k < 3; ++k) entry[k] = total ? RoundedMean(sum[k], total) : 0;
    }
    return static_cast<int>(boxes.size());
}

void BuildInverseColourMap(std::span<const uint8_t> palette, std::span<uint8_t> inverseMap) {
    if (palette.size() < 768 || inverseMap.size() < kInverseMapBytes) return;
    // Cells: 32 of Y (8 wide), 16 of Cb and 16 of Cr (16 wide); centres at 4, 8, 8.
    std::vector<int32_t> best(kInverseMapBytes, std::numeric_limits<int32_t>::max());
    int32_t worst = std::numeric_limits<int32_t>::max();  // the largest distance in the map
    for (int i = 0; i < 256; ++i) {
        const int py = palette[3 * i], pb = palette[3 * i + 1], pr = palette[3 * i + 2];
        const int y0 = py / 8, b0 = pb / 16, r0 = pr / 16;
        // Grows outward from the entry's own cell; along each axis it stops
        // once even the nearest cell further out is farther than the worst
        // distance the map still holds, so nothing there could improve.
        auto axisGap = [](int cell, int width, int centre, int value) {
            const int d = cell * width + centre - value;
            return d * d;
        };
        for (int dirY : {0, 1}) {
            for (int y = dirY ? y0 + 1 : y0; y >= 0 && y < 32; y += dirY ? 1 : -1) {
                const int gy = axisGap(y, 8, 4, py);
                if (gy >= worst && y != y0) break;
                for (int dirB : {0, 1}) {
                    for (int b = dirB ? b0 + 1 : b0; b >= 0 && b < 16; b += dirB ? 1 : -1) {
                        const int gb = gy + axisGap(b, 16, 8, pb);
                        if (gb >= worst && b != b0) break;
                        for (int dirR : {0, 1}) {
                            for (int r = dirR ? r0 + 1 : r0; r >= 0 && r < 16; r += dirR ? 1 : -1) {
                                const int d = gb + axisGap(r, 16, 8, pr);
                                if (d >= worst && r != r0) break;
                                const size_t cell = static_cast<size_t>(y * 256 + b * 16 + r);
                                if (d < best[cell]) {
                                    best[cell] = d;
                                    inverseMap[cell] = static_cast<uint8_t>(i);
                                }
                            }
                        }
                    }
                }
            }
        }
        worst = *std::max_element(best.begin(), best.end());
    }
}

int32_t writerBuildPalette(MovieWriter* w, uint8_t* palette, uint8_t* inverseMap) {
    if (!palette || !inverseMap) return kStatusParamError;
    if (w->colourHistogram.size() == kHistogramBins) {
        MedianCutPalette(w->colourHistogram, std::span<uint8_t>(palette, 768));
    }
    BuildInverseColourMap(std::span<const uint8_t>(palette, 768),
                          std::span<uint8_t>(inverseMap, kInverseMapBytes));
    return noErr;
}
