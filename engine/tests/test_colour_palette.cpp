// The median cut palette and the inverse colour map, as functions of a
// histogram; the map is checked against a brute-force nearest search.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine/colour_palette.h"
#include "engine/colour_space.h"

namespace {

std::vector<uint8_t> BruteForceMap(const std::vector<uint8_t>& palette) {
    std::vector<uint8_t> map(kInverseMapBytes);
    for (int y = 0; y < 32; ++y) {
        for (int b = 0; b < 16; ++b) {
            for (int r = 0; r < 16; ++r) {
                int best = -1, bestD = 0;
                for (int i = 0; i < 256; ++i) {
                    const int dy = y * 8 + 4 - palette[3 * i];
                    const int db = b * 16 + 8 - palette[3 * i + 1];
                    const int dr = r * 16 + 8 - palette[3 * i + 2];
                    const int d = dy * dy + db * db + dr * dr;
                    if (best < 0 || d < bestD) {
                        best = i;
                        bestD = d;
                    }
                }
                map[static_cast<size_t>(y * 256 + b * 16 + r)] = static_cast<uint8_t>(best);
            }
        }
    }
    return map;
}

std::vector<uint8_t> FixedEntries() {
    std::vector<uint8_t> palette(768, 0);
    for (int i = 0; i < 16; ++i) palette[3 * i] = static_cast<uint8_t>(235 - i * 14);
    for (int i = 0; i < 16; ++i) palette[3 * i + 1] = palette[3 * i + 2] = 128;
    palette[3 * 255] = 16;
    palette[3 * 255 + 1] = palette[3 * 255 + 2] = 128;
    return palette;
}

TEST(InverseColourMap, MatchesBruteForce) {
    uint32_t seed = 7;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 30; ++round) {
        std::vector<uint8_t> palette(768);
        for (uint8_t& v : palette) v = static_cast<uint8_t>(next());
        if (round % 3 == 1) {
            // Duplicates and clustered entries make ties: the lower index wins.
            for (int i = 0; i < 256; ++i) {
                palette[3 * i] = static_cast<uint8_t>(100 + next() % 3 * 8);
                palette[3 * i + 1] = static_cast<uint8_t>(120 + next() % 2 * 16);
                palette[3 * i + 2] = 136;
            }
        }
        if (round % 3 == 2) palette = FixedEntries();
        std::vector<uint8_t> map(kInverseMapBytes, 0xEE);
        BuildInverseColourMap(palette, map);
        ASSERT_EQ(map, BruteForceMap(palette)) << "round " << round;
    }
}

TEST(MedianCut, PaletteFromAMovingPictureMapsLikeBruteForce) {
    std::vector<uint32_t> histogram(kHistogramBins, 0);
    for (int t = 0; t < 4; ++t) {
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 160; ++x) {
                const int v = (x * 2 + y + t * 5) & 0xFF;
                CountColour(histogram.data(), ToYCbCr(v, (x * 7) & 0xFF, 255 - v));
            }
        }
    }
    std::vector<uint8_t> palette = FixedEntries();
    EXPECT_EQ(MedianCutPalette(histogram, palette), kPaletteMaxBoxes);
    // The fixed entries are left as they were.
    const std::vector<uint8_t> fixed = FixedEntries();
    EXPECT_TRUE(std::equal(fixed.begin(), fixed.begin() + 48, palette.begin()));
    EXPECT_EQ(palette[3 * 255], 16);
    std::vector<uint8_t> map(kInverseMapBytes);
    BuildInverseColourMap(palette, map);
    EXPECT_EQ(map, BruteForceMap(palette));
}

TEST(MedianCut, FlatColourRunsOutOfBoxes) {
    std::vector<uint32_t> histogram(kHistogramBins, 0);
    const YCbCr c = ToYCbCr(200, 40, 90);
    histogram[HistogramBin(c)] = 19200;
    std::vector<uint8_t> palette(768, 0);
    EXPECT_EQ(MedianCutPalette(histogram, palette), 1);
    EXPECT_EQ(palette[48], c.y / 4 * 4 + 2);
    EXPECT_EQ(palette[49], c.cb / 8 * 8 + 4);
    EXPECT_EQ(palette[50], c.cr / 8 * 8 + 4);
    for (size_t i = 51; i < 768; ++i) ASSERT_EQ(palette[i], 0) << i;
}

TEST(MedianCut, SplitsAtTheMiddleBinEarlierBoxFirst) {
    std::vector<uint32_t> histogram(kHistogramBins, 0);
    auto bin = [](int a, int b, int c) { return static_cast<size_t>((a * 32 + b) * 32 + c); };
    histogram[bin(10, 5, 5)] = 1;
    histogram[bin(11, 5, 5)] = 3;
    histogram[bin(60, 5, 5)] = 1;
    // Counters saturate, so the maximum must not overflow the means either.
    histogram[bin(60, 6, 5)] = UINT32_MAX;
    std::vector<uint8_t> palette(768, 0);
    // 10..60 splits at 35; then the two boxes of two bins each tie and the
    // earlier (10..11) splits first, then 60 on the second axis.
    ASSERT_EQ(MedianCutPalette(histogram, palette), 4);
    EXPECT_EQ(palette[48], 10 * 4 + 2);
    EXPECT_EQ(palette[51], 60 * 4 + 2);
    EXPECT_EQ(palette[52], 5 * 8 + 4);
    EXPECT_EQ(palette[54], 11 * 4 + 2);
    EXPECT_EQ(palette[57], 60 * 4 + 2);
    EXPECT_EQ(palette[58], 6 * 8 + 4);
}

}  // namespace
