#pragma once

// Reading the user's background bitmap and turning it into the skin's
// 8-bit picture of at most 214 colours.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "skinpacker/report.h"
#include "skinpacker/slots.h"

namespace skin {

inline constexpr size_t kSourceBufferSize = 308480;  // largest accepted bitmap file
inline constexpr size_t kConvertedHeaderSize = 910;  // file + information header + 214 entries
inline constexpr size_t kPixelCount = kPictureSide * kPictureSide;
inline constexpr size_t kConvertedSize = kConvertedHeaderSize + kPixelCount;  // 103310
inline constexpr uint32_t kConvertedFileSizeField = kConvertedSize + 2;

// An ordinary 8-bit bitmap file image, bottom row first, indexes below 214.
struct ConvertedPicture {
    std::vector<uint8_t> file;  // kConvertedSize bytes
    int colours = 0;            // image colours in use, 1 to 214

    Rgb paletteEntry(int i) const;
    // Index of the pixel at (x, y), y counted from the top.
    uint8_t index(int x, int y) const {
        return file[kConvertedHeaderSize +
                    static_cast<size_t>(kPictureSide - 1 - y) * kPictureSide +
                    static_cast<size_t>(x)];
    }
};

// Checks and converts a whole bitmap file held in memory. Reports each refusal
// through `reporter` and returns false; `out` is only changed on success.
bool convertBitmap(std::span<const uint8_t> file, Reporter& reporter, ConvertedPicture& out);

// Reads `path` into `sourceBuffer` (as far as the buffer reaches) and converts it.
bool importBitmap(const std::string& path, Reporter& reporter, std::span<uint8_t> sourceBuffer,
                  ConvertedPicture& out);

// Builds the converted file image from a palette and bottom-first rows.
std::vector<uint8_t> makeConvertedFile(std::span<const Rgb> palette, std::span<const uint8_t> rows);

}  // namespace skin
