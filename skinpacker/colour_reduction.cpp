#include "skinpacker/colour_reduction.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace skin {

namespace {

constexpr int kSide = kPictureSide;
constexpr size_t kRowBytes = kSide * 3;
constexpr size_t kPixels = static_cast<size_t>(kSide) * kSide;

// Integer mean of the values in [lo, hi) weighted by their counts, or
// `fallback` when no pixel falls in the interval.
int intervalMean(const std::array<uint32_t, 256>& h, int lo, int hi, int fallback) {
    uint64_t n = 0, sum = 0;
    for (int v = std::max(lo, 0); v < std::min(hi, 256); ++v) {
        n += h[v];
        sum += static_cast<uint64_t>(v) * h[v];
    }
    return n ? static_cast<int>(sum / n) : fallback;
}

int below(int level) {
    return std::max(level - 1, 0);
}
int above(int level) {
    return std::min(level + 1, 255);
}

// Floyd-Steinberg on brightness, quantised to whole steps; each pixel's
// channels then move by the difference its brightness took.
void diffuseBrightness(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
    std::vector<double> y(kPixels);
    for (size_t i = 0; i < y.size(); ++i) {
        const uint8_t* p = &in[i * 3];
        y[i] = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0];
    }
    std::vector<double> work = y;
    for (int row = 0; row < kSide; ++row) {
        for (int x = 0; x < kSide; ++x) {
            size_t i = static_cast<size_t>(row) * kSide + static_cast<size_t>(x);
            double q = std::clamp(std::round(work[i]), 0.0, 255.0);
            double err = work[i] - q;
            work[i] = q;
            if (x + 1 < kSide) work[i + 1] += err * 7 / 16;
            if (row + 1 < kSide) {
                if (x > 0) work[i + kSide - 1] += err * 3 / 16;
                work[i + kSide] += err * 5 / 16;
                if (x + 1 < kSide) work[i + kSide + 1] += err * 1 / 16;
            }
        }
    }
    out.resize(in.size());
    for (size_t i = 0; i < y.size(); ++i) {
        double d = work[i] - y[i];
        for (int c = 0; c < 3; ++c) {
            double v = std::round(in[i * 3 + static_cast<size_t>(c)] + d);
            out[i * 3 + static_cast<size_t>(c)] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
}

}  // namespace

CubeLevels chooseLevels(const std::array<uint32_t, 256>& h) {
    CubeLevels L{};
    L[3] = intervalMean(h, 0, 256, 128);
    L[2] = intervalMean(h, 0, L[3], below(L[3]));
    L[1] = intervalMean(h, 0, L[2], below(L[2]));
    L[5] = intervalMean(h, L[3], 256, above(L[3]));
    L[4] = intervalMean(h, L[3], L[5], above(L[3]));
    L[0] = 0;
    for (int i = 0; i < 5; ++i) L[i] = intervalMean(h, L[i], L[i + 1], below(L[i + 1]));
    L[5] = intervalMean(h, L[5], 256, above(L[4]));
    // Keep the extremes reaching colours that a visible number of pixels have.
    for (int v = 0; v < 256; ++v) {
        if (h[v] > 100) {
            L[0] = std::min(L[0], v);
            break;
        }
    }
    for (int v = 255; v >= 0; --v) {
        if (h[v] > 100) {
            L[5] = std::max(L[5], v);
            break;
        }
    }
    // Empty intervals can leave a level out of order; nearest-level mapping wants them sorted.
    std::sort(L.begin(), L.end());
    return L;
}

Cube buildCube(const CubeLevels& red, const CubeLevels& green, const CubeLevels& blue) {
    const std::array<const CubeLevels*, 3> planes = {&red, &green, &blue};
    constexpr std::array<int, 3> stride = {36, 6, 1};
    std::array<int, 216> standIn;
    std::iota(standIn.begin(), standIn.end(), 0);
    int merged = 0;

    // Equal neighbouring levels in a channel make twin cells; merge the first two.
    for (int c = 0; c < 3 && merged == 0; ++c) {
        const CubeLevels& L = *planes[static_cast<size_t>(c)];
        for (int i = 0; i < 5 && merged == 0; ++i) {
            if (L[static_cast<size_t>(i)] != L[static_cast<size_t>(i) + 1]) continue;
            for (int cell = 0; cell < 216 && merged < 2; ++cell) {
                int level = cell / stride[static_cast<size_t>(c)] % 6;
                if (level != i + 1) continue;
                standIn[static_cast<size_t>(cell)] = cell - stride[static_cast<size_t>(c)];
                ++merged;
            }
        }
    }
    if (merged == 0) {
        // No twins: the second and third darkest give way to the darkest.
        std::array<int, 216> order;
        std::iota(order.begin(), order.end(), 0);
        auto darkness = [&](int cell) {
            long r = red[static_cast<size_t>(cell / 36)],
                 g = green[static_cast<size_t>(cell / 6 % 6)],
                 b = blue[static_cast<size_t>(cell % 6)];
            return r * r + g * g + b * b;
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return darkness(a) < darkness(b); });
        standIn[static_cast<size_t>(order[1])] = order[0];
        standIn[static_cast<size_t>(order[2])] = order[0];
    }

    Cube cube;
    int next = 0, d = 0;
    std::array<int, 216> own{};
    for (int cell = 0; cell < 216; ++cell) {
        if (standIn[static_cast<size_t>(cell)] != cell) {
            cube.dropped[static_cast<size_t>(d++)] = cell;
            continue;
        }
        cube.palette[static_cast<size_t>(next)] = {
            static_cast<uint8_t>(red[static_cast<size_t>(cell / 36)]),
            static_cast<uint8_t>(green[static_cast<size_t>(cell / 6 % 6)]),
            static_cast<uint8_t>(blue[static_cast<size_t>(cell % 6)])};
        own[static_cast<size_t>(cell)] = next++;
    }
    for (int cell = 0; cell < 216; ++cell)
        cube.cellIndex[static_cast<size_t>(cell)] =
            static_cast<uint8_t>(own[static_cast<size_t>(standIn[static_cast<size_t>(cell)])]);
    return cube;
}

void reduceTrueColour(std::span<const uint8_t> bgrRows, std::array<Rgb, kMaxImageColours>& palette,
                      std::span<uint8_t> indexes) {
    // Rows of 960 bytes need no padding, so the pixels are contiguous.
    std::vector<uint8_t> px;
    diffuseBrightness(bgrRows.first(kRowBytes * kSide), px);

    std::array<std::array<uint32_t, 256>, 3> hist{};  // red, green, blue
    for (size_t i = 0; i < kPixels; ++i) {
        ++hist[0][px[i * 3 + 2]];
        ++hist[1][px[i * 3 + 1]];
        ++hist[2][px[i * 3]];
    }
    std::array<CubeLevels, 3> levels;
    std::array<std::array<uint8_t, 256>, 3> nearest;
    for (size_t c = 0; c < 3; ++c) {
        levels[c] = chooseLevels(hist[c]);
        for (int v = 0; v < 256; ++v) {
            int best = 0;
            for (int i = 1; i < 6; ++i)
                if (std::abs(v - levels[c][static_cast<size_t>(i)]) <
                    std::abs(v - levels[c][static_cast<size_t>(best)]))
                    best = i;
            nearest[c][static_cast<size_t>(v)] = static_cast<uint8_t>(best);
        }
    }
    Cube cube = buildCube(levels[0], levels[1], levels[2]);
    palette = cube.palette;
    for (size_t i = 0; i < kPixels; ++i) {
        int cell =
            nearest[0][px[i * 3 + 2]] * 36 + nearest[1][px[i * 3 + 1]] * 6 + nearest[2][px[i * 3]];
        indexes[i] = cube.cellIndex[static_cast<size_t>(cell)];
    }
}

int nearestColour(Rgb c, std::span<const Rgb> palette) {
    int best = 0;
    long bestDist = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        long dr = c.r - palette[i].r, dg = c.g - palette[i].g, db = c.b - palette[i].b;
        long dist = dr * dr + dg * dg + db * db;
        if (bestDist < 0 || dist < bestDist) {
            bestDist = dist;
            best = static_cast<int>(i);
        }
    }
    return best;
}

void reduceMostFrequent(std::span<const Rgb, 256> filePalette, std::span<const uint8_t> pixels,
                        std::array<Rgb, kMaxImageColours>& palette, std::array<uint8_t, 256>& map) {
    std::array<uint32_t, 256> count{};
    for (uint8_t p : pixels) ++count[p];
    std::array<int, 256> order;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return count[static_cast<size_t>(a)] > count[static_cast<size_t>(b)];
    });
    map.fill(0);
    for (size_t i = 0; i < kMaxImageColours; ++i) {
        palette[i] = filePalette[static_cast<size_t>(order[i])];
        map[static_cast<size_t>(order[i])] = static_cast<uint8_t>(i);
    }
    for (size_t i = kMaxImageColours; i < 256; ++i) {
        size_t old = static_cast<size_t>(order[i]);
        if (count[old]) map[old] = static_cast<uint8_t>(nearestColour(filePalette[old], palette));
    }
}

}  // namespace skin
