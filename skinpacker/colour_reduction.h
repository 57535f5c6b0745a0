#pragma once

// Reductions of pictures with too many colours to the 214 the skin palette holds.

#include <array>
#include <cstdint>
#include <span>

#include "skinpacker/slots.h"

namespace skin {

// Six levels per channel of the adaptive cube, ascending.
using CubeLevels = std::array<int, 6>;

// Levels chosen from one channel's histogram of 256 counts.
CubeLevels chooseLevels(const std::array<uint32_t, 256>& histogram);

// The 216 cube cells less two merged ones. `cellIndex` maps every cell
// (r * 36 + g * 6 + b) to its palette index; dropped cells share their twin's.
struct Cube {
    std::array<Rgb, kMaxImageColours> palette{};
    std::array<uint8_t, 216> cellIndex{};
    std::array<int, 2> dropped{};
};
Cube buildCube(const CubeLevels& red, const CubeLevels& green, const CubeLevels& blue);

// 24-bit rows (blue, green, red; 960 bytes each) in, one index per pixel out,
// in the same row order. Runs the brightness diffusion pass first.
void reduceTrueColour(std::span<const uint8_t> bgrRows, std::array<Rgb, kMaxImageColours>& palette,
                      std::span<uint8_t> indexes);

// 8-bit pictures: keeps the 214 most frequent of the 256 indexes and maps the
// rest to their nearest kept colour. `map` receives the old-to-new mapping.
void reduceMostFrequent(std::span<const Rgb, 256> filePalette, std::span<const uint8_t> pixels,
                        std::array<Rgb, kMaxImageColours>& palette, std::array<uint8_t, 256>& map);

// Nearest of `palette` by squared distance; the first of equal distances wins.
int nearestColour(Rgb c, std::span<const Rgb> palette);

}  // namespace skin
