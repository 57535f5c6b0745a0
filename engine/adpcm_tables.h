#pragma once
// Step and index tables of the engine's two ADPCM coders.
#include <array>
#include <cstdint>

// Block ADPCM step sizes, indexed 0..88 (the usual IMA table). [89]
extern const std::array<int32_t, 89> kAdpcmStepTable;

// Block ADPCM index adjustment by a code's magnitude bits, one row per code
// width 2..5 bits; a row holds 2^(bits-1) entries, the rest is unused. [4][16]
extern const std::array<std::array<int8_t, 16>, 4> kAdpcmIndexAdjust;

// Bytes of one coded 256-sample block for 2, 3, 4 and 5 bits: 2 + 32 x bits. [4]
extern const std::array<uint16_t, 4> kAdpcmBlockBytesTable;

// Step multipliers of the 64-sample ADPCM, in 256ths, by 3-bit magnitude. [8]
extern const std::array<int32_t, 8> kYamahaStepFactor;
