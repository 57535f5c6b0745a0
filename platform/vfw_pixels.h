#pragma once
// The pixel writing of the Video for Windows stand-in's drivers: decoded
// 4:2:0 pictures straight into the rows a caller asked for. Each chroma
// sample covers 2 x 2 pixels (no interpolation) and the colours are those
// of limited-range ITU-R BT.601, in 16-bit fixed point.
#include <cstddef>
#include <cstdint>

enum class DriverRowFormat {
    kBgr24,  // blue, green, red
    k0Rgb32,  // 0, red, green, blue
};

struct Yuv420Picture {
    const uint8_t* planes[3] = {};  // Y, U (Cb), V (Cr)
    ptrdiff_t strides[3] = {};
    int width = 0, height = 0;
};

// Writes the picture's rows from the top, `dstStride` bytes apart (negative:
// upwards from `dst`). Only the pixel bytes of each row are written.
void ConvertYuv420Rows(const Yuv420Picture& picture, uint8_t* dst, ptrdiff_t dstStride,
                       DriverRowFormat format);

// One pixel by the same arithmetic, for checking the rows above.
void ConvertYuvPixel(uint8_t y, uint8_t u, uint8_t v, uint8_t* red, uint8_t* green,
                     uint8_t* blue);
