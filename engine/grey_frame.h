#pragma once
// Turning a decoded source frame into the dithered, packed grey picture the
// handheld shows. Darkness runs from 0 (white) to 255 (black), the way the
// handheld's grey levels count.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/dither_tables.h"

// A source frame as the caller hands it over: 32-bit pixels with the bytes
// blue, green, red and an ignored fourth, `rowStride` bytes from one row to
// the next. The caller keeps ownership.
struct SourceFrame {
    const uint8_t* pixels = nullptr;
    ptrdiff_t rowStride = 0;
    int width = 0;
    int height = 0;
};

// A frame dimension as encoded: the next multiple of 4 from 1 on.
int EncodedFrameDimension(int value);

// Bytes of one packed row of `width` pixels at 1, 2 or 4 bits: whole 16-bit
// words, because the handheld blits word-aligned rows.
int PackedRowBytes(int width, int bits);

// True when the frame can be read: pixels present, sizes not negative and a
// stride that holds a whole row.
bool SourceFrameValid(const SourceFrame& source);

// Fills `grey` (width x height bytes) with the darkness of each pixel of the
// encoded frame; pixels beyond the source size are white.
void ConvertToGrey(const SourceFrame& source, int width, int height, std::span<uint8_t> grey);

// Dithers `grey` (width x height) through `table` and packs it at `bits` per
// pixel (1, 2 or 4), most significant bits first, each row padded with zero
// bits to PackedRowBytes. `packed` holds PackedRowBytes(width, bits) x height.
void PackGrey(std::span<const uint8_t> grey, int width, int height, int bits,
              const DitherTable& table, std::span<uint8_t> packed);
