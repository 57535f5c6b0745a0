#pragma once
// The colour space of the colour modes: palette, inverse map and the own
// colour codec all carry Y, Cb, Cr bytes.
#include <cstdint>

struct YCbCr {
    uint8_t y, cb, cr;
};

// Integer conversion, each component taken modulo 256.
inline YCbCr ToYCbCr(int r, int g, int b) {
    const int y = (263 * r + 516 * g + 100 * b + 512) / 1024 + 16;
    const int cb = (-152 * r - 298 * g + 450 * b + 512) / 1024 + 128;
    const int cr = (450 * r - 377 * g - 73 * b + 512) / 1024 + 128;
    return {static_cast<uint8_t>(y & 0xFF), static_cast<uint8_t>(cb & 0xFF),
            static_cast<uint8_t>(cr & 0xFF)};
}

// Histogram bin of a colour: 64 x 32 x 32 bins.
inline uint32_t HistogramBin(YCbCr c) {
    return ((static_cast<uint32_t>(c.y) / 4) * 32 + c.cb / 8u) * 32 + c.cr / 8u;
}

inline constexpr uint32_t kHistogramBins = 65536;

inline void CountColour(uint32_t* histogram, YCbCr c) {
    uint32_t& n = histogram[HistogramBin(c)];
    if (n != UINT32_MAX) ++n;
}
