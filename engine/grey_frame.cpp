#include "engine/grey_frame.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Luminance weights out of 1024 (they sum to 1024, so white stays 255).
constexpr uint32_t kRedWeight = 306;
constexpr uint32_t kGreenWeight = 601;
constexpr uint32_t kBlueWeight = 117;

// Dithering and packing go a whole output byte at a time: for each row
// parity and each pixel slot of a byte, a table from darkness straight to the
// slot's bits. A byte starts on an even column, so a slot's column parity is
// its own.
template <int Bits>
void PackRows(const uint8_t* grey, int width, int height, const DitherTable& table, uint8_t* packed,
              int rowBytes) {
    constexpr int kPerByte = 8 / Bits;
    std::array<std::array<std::array<uint8_t, 256>, kPerByte>, 2> slot;
    for (int parity = 0; parity < 2; ++parity) {
        for (int k = 0; k < kPerByte; ++k) {
            const int shift = 8 - Bits * (k + 1);
            for (int v = 0; v < 256; ++v) {
                slot[parity][k][v] = static_cast<uint8_t>(table[v][2 * parity + (k & 1)] << shift);
            }
        }
    }
    const int wholeBytes = width / kPerByte;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = grey + static_cast<size_t>(y) * width;
        uint8_t* out = packed + static_cast<size_t>(y) * rowBytes;
        const auto& s = slot[y & 1];
        for (int i = 0; i < wholeBytes; ++i, in += kPerByte) {
            uint8_t byte = 0;
            for (int k = 0; k < kPerByte; ++k) byte |= s[k][in[k]];
            out[i] = byte;
        }
        int filled = wholeBytes;
        if (const int rest = width - wholeBytes * kPerByte; rest > 0) {
            uint8_t byte = 0;
            for (int k = 0; k < rest; ++k) byte |= s[k][in[k]];
            out[filled++] = byte;
        }
        std::memset(out + filled, 0, rowBytes - filled);
    }
}

}  // namespace

int EncodedFrameDimension(int value) {
    return ((value - 1) / 4) * 4 + 4;
}

int PackedRowBytes(int width, int bits) {
    return ((width * bits + 15) / 16) * 2;
}

bool SourceFrameValid(const SourceFrame& source) {
    if (source.width < 0 || source.height < 0) return false;
    if (source.width == 0 || source.height == 0) return true;
    return source.pixels != nullptr && source.rowStride >= static_cast<ptrdiff_t>(source.width) * 4;
}

void ConvertToGrey(const SourceFrame& source, int width, int height, std::span<uint8_t> grey) {
    const int copyWidth = std::min(source.width, width);
    const int copyHeight = std::min(source.height, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = grey.data() + static_cast<size_t>(y) * width;
        int x = 0;
        if (y < copyHeight) {
            const uint8_t* in = source.pixels + y * source.rowStride;
            for (; x < copyWidth; ++x) {
                const uint8_t* p = in + 4 * x;
                const uint32_t luma =
                    (kRedWeight * p[2] + kGreenWeight * p[1] + kBlueWeight * p[0]) >> 10;
                out[x] = static_cast<uint8_t>(255 - luma);
            }
        }
        std::memset(out + x, 0, width - x);
    }
}

void PackGrey(std::span<const uint8_t> grey, int width, int height, int bits,
              const DitherTable& table, std::span<uint8_t> packed) {
    const int rowBytes = PackedRowBytes(width, bits);
    switch (bits) {
        case 1:
            PackRows<1>(grey.data(), width, height, table, packed.data(), rowBytes);
            break;
        case 2:
            PackRows<2>(grey.data(), width, height, table, packed.data(), rowBytes);
            break;
        case 4:
            PackRows<4>(grey.data(), width, height, table, packed.data(), rowBytes);
            break;
        default:
            break;
    }
}
