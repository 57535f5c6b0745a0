#include "engine/grey_frame.h"

#include <algorithm>
#include <cstring>

namespace {

// Luminance weights out of 1024 (they sum to 1024, so white stays 255).
constexpr uint32_t kRedWeight = 306;
constexpr uint32_t kGreenWeight = 601;
constexpr uint32_t kBlueWeight = 117;

template <int Bits>
void PackRows(const uint8_t* grey, int width, int height, const DitherTable& table,
              uint8_t* packed, int rowBytes) {
    constexpr int kPerByte = 8 / Bits;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = grey + static_cast<size_t>(y) * width;
        uint8_t* out = packed + static_cast<size_t>(y) * rowBytes;
        std::memset(out, 0, rowBytes);
        const unsigned rowPos = (y & 1) << 1;
        for (int x = 0; x < width; ++x) {
            const unsigned level = table[in[x]][rowPos | (x & 1)];
            const int shift = 8 - Bits * (x % kPerByte + 1);
            out[x / kPerByte] |= static_cast<uint8_t>(level << shift);
        }
    }
}

}  // namespace

int EncodedFrameDimension(int value) { return ((value - 1) / 4) * 4 + 4; }

int PackedRowBytes(int width, int bits) { return ((width * bits + 15) / 16) * 2; }

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
            for (; x < copyWidth; ++x, in += 4) {
                const uint32_t luma =
                    (kRedWeight * in[2] + kGreenWeight * in[1] + kBlueWeight * in[0]) >> 10;
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
