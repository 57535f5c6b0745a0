#pragma once
// The palette of the colour modes, from the colour histogram: a median cut
// over the 64 x 32 x 32 bins gives the entries from index 16 on, and the
// inverse colour map lets the player turn a decoded colour into the index of
// its nearest entry. Everything here is Y, Cb, Cr.
#include <cstdint>
#include <span>

inline constexpr int kPaletteFirstCut = 16;
inline constexpr int kPaletteMaxBoxes = 224;
inline constexpr uint32_t kInverseMapBytes = 8192;

// Fills entries 16 and up of the 768-byte palette, one per median-cut box;
// returns how many boxes there were. Entries past them are left untouched.
int MedianCutPalette(std::span<const uint32_t> histogram, std::span<uint8_t> palette);

// Fills the 8192-byte map indexed by (Y / 8) * 256 + (Cb / 16) * 16 + Cr / 16
// with the nearest of the 256 entries to each cell's centre, the lower index
// winning ties.
void BuildInverseColourMap(std::span<const uint8_t> palette, std::span<uint8_t> inverseMap);
