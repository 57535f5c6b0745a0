#pragma once
// A synthetic moving picture for video tests and benchmarks: a sliding
// gradient, a flat box that moves, a patch of noise that changes every frame
// and a still corner. Header-only so that benchmarks can use it too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dither_tables.h"
#include "engine/grey_frame.h"

struct TestPicture {
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
    std::vector<uint8_t> pixels;  // blue, green, red, unused

    TestPicture(int w, int h, int extraStride = 0)
        : width(w), height(h), stride(static_cast<ptrdiff_t>(w) * 4 + extraStride),
          pixels(static_cast<size_t>(stride) * h, 0xEE) {}

    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = pixels.data() + y * stride + x * 4;
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = 0x5A;  // the fourth byte must not matter
    }

    void Fill(uint8_t r, uint8_t g, uint8_t b) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) Set(x, y, r, g, b);
        }
    }

    // Frame `t` of the moving scene.
    void Draw(int t) {
        uint32_t noise = 0x12345u + static_cast<uint32_t>(t) * 2654435761u;
        const int boxX = (t * 3) % (width > 8 ? width - 8 : 1);
        const int boxY = (t * 2) % (height > 8 ? height - 8 : 1);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t v = static_cast<uint8_t>((x * 2 + y + t * 5) & 0xFF);
                uint8_t r = v, g = v, b = static_cast<uint8_t>(255 - v);
                if (x >= boxX && x < boxX + width / 4 && y >= boxY && y < boxY + height / 4) {
                    r = g = b = 90;
                } else if (x > width * 2 / 3 && y > height / 2) {
                    noise = noise * 1664525u + 1013904223u;
                    r = static_cast<uint8_t>(noise >> 24);
                    g = static_cast<uint8_t>(noise >> 16);
                    b = static_cast<uint8_t>(noise >> 8);
                } else if (x < width / 5 && y < height / 5) {
                    r = g = b = 200;
                }
                Set(x, y, r, g, b);
            }
        }
    }
};

// Frame `t` of the moving scene, dithered and packed at `bits` per pixel.
inline std::vector<uint8_t> PackedScene(int width, int height, int bits, int t) {
    TestPicture picture(width, height);
    picture.Draw(t);
    std::vector<uint8_t> grey(static_cast<size_t>(width) * height);
    ConvertToGrey({picture.pixels.data(), picture.stride, width, height}, width, height, grey);
    DitherTable table{};
    BuildDitherTable(bits, kDefaultDitherSpread, table);
    std::vector<uint8_t> packed(static_cast<size_t>(PackedRowBytes(width, bits)) * height);
    PackGrey(grey, width, height, bits, table, packed);
    return packed;
}
