#pragma once
// Ordered 2 x 2 dither tables shared by the grey modes and the colour codec.
// A table maps an 8-bit value (darkness for grey, a Y, Cb or Cr component for
// colour) to the output level at each of the four positions of a 2 x 2 cell.
#include <array>
#include <cstdint>

// Cell positions, in storage order: (even row, even column), (even row, odd
// column), (odd row, even column), (odd row, odd column).
using DitherCell = std::array<uint8_t, 4>;
using DitherTable = std::array<DitherCell, 256>;

// The writer's dither spread; nothing changes it after creation.
inline constexpr float kDefaultDitherSpread = 0.5f;

// 8-bit intensity that a level of a `bits`-deep table stands for when the
// error of a cell position is fed to the next one. Note that the 1-bit table
// uses 85 for its upper level, not 255: it keeps light greys from fading out.
// 0 for an unsupported depth.
int DitherReference(int bits, int level);

// Fills `table` for a depth of 1, 2, 4 or 5 bits. Returns false (table left
// untouched) for any other depth.
bool BuildDitherTable(int bits, float spread, DitherTable& table);

// Position of a pixel inside its 2 x 2 cell, as an index into DitherCell.
inline unsigned DitherPosition(unsigned row, unsigned column) {
    return ((row & 1u) << 1) | (column & 1u);
}

inline uint8_t DitherLevel(const DitherTable& table, uint8_t value, unsigned row,
                           unsigned column) {
    return table[value][DitherPosition(row, column)];
}
