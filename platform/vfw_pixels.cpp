#include "platform/vfw_pixels.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Coefficients in Q14 (the blue one in Q13, added twice), applied to
// samples shifted up by 7 with a rounding high multiply: the arithmetic
// of the vector code, which the scalar code repeats step by step so both
// give the same bytes.
constexpr int16_t kLuma = 19077;       // 1.164383 = 255 / 219
constexpr int16_t kRedFromV = 26149;   // 1.596027
constexpr int16_t kBlueFromU = 16525;  // 2.017232 / 2
constexpr int16_t kGreenFromU = -6419;   // -0.391762
constexpr int16_t kGreenFromV = -13320;  // -0.812968

int16_t MulHighRound(int16_t a, int16_t b) {
    return int16_t((((int32_t(a) * b) >> 14) + 1) >> 1);
}

int16_t AddSaturate(int16_t a, int16_t b) {
    return int16_t(std::clamp(int32_t(a) + b, -32768, 32767));
}

uint8_t ToByte(int16_t v) {
    return uint8_t(std::clamp(v >> 6, 0, 255));
}

struct Rgb {
    uint8_t r, g, b;
};

// The chroma terms of one sample, shared by the 2 x 2 pixels it covers.
struct Chroma {
    int16_t red, green, blue;
};

Chroma ChromaTerms(uint8_t u, uint8_t v) {
    const int16_t us = int16_t((u - 128) * 128), vs = int16_t((v - 128) * 128);
    const int16_t blue = MulHighRound(us, kBlueFromU);
    return {MulHighRound(vs, kRedFromV),
            AddSaturate(MulHighRound(us, kGreenFromU), MulHighRound(vs, kGreenFromV)),
            AddSaturate(blue, blue)};
}

Rgb Pixel(uint8_t y, const Chroma& c) {
    // The rounding half of the final shift rides on the luma term.
    const int16_t ys = AddSaturate(MulHighRound(int16_t((y - 16) * 128), kLuma), 32);
    return {ToByte(AddSaturate(ys, c.red)), ToByte(AddSaturate(ys, c.green)),
            ToByte(AddSaturate(ys, c.blue))};
}

void RowScalar(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* d, int x, int w,
               DriverRowFormat format) {
    const int step = format == DriverRowFormat::kBgr24 ? 3 : 4;
    for (d += ptrdiff_t(x) * step; x < w; ++x, d += step) {
        const Rgb p = Pixel(ys[x], ChromaTerms(us[x / 2], vs[x / 2]));
        if (format == DriverRowFormat::kBgr24) {
            d[0] = p.b, d[1] = p.g, d[2] = p.r;
        } else {
            d[0] = 0, d[1] = p.r, d[2] = p.g, d[3] = p.b;
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The luma term comes from one unsigned high multiply of (y << 8) + 35:
// ((y * 256 + 35) * 19077) >> 16 equals the rounded product above plus
// kLumaBias for every byte y (the tests check every y). The bias,
// less the rounding half of the final shift, rides on the chroma terms,
// which are computed once for two rows. A chroma term with the bias never
// saturates, so each final sum is the same number as the one-pixel
// arithmetic's and saturates where it does.
constexpr int16_t kLumaLow = 35;
constexpr int16_t kLumaBias = 1202;
constexpr int16_t kChromaOffset = 32 - kLumaBias;

// The chroma terms of 32 pixels, each sample doubled, in the order the
// luma of a 32-byte load widens to: [0] pixels 0-7 | 16-23, [1] pixels
// 8-15 | 24-31.
struct ChromaLanes {
    __m256i red[2], green[2], blue[2];
};

__attribute__((target("avx2"))) inline __m256i Widen7(__m128i bytes, __m256i bias) {
    return _mm256_slli_epi16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), bias), 7);
}

__attribute__((target("avx2"))) inline ChromaLanes ChromaOf32(const uint8_t* us, const uint8_t* vs) {
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i offset = _mm256_set1_epi16(kChromaOffset);
    // Samples 0-7 | 8-15.
    const __m256i u = Widen7(_mm_loadu_si128(reinterpret_cast<const __m128i*>(us)), bias);
    const __m256i v = Widen7(_mm_loadu_si128(reinterpret_cast<const __m128i*>(vs)), bias);
    const __m256i blue = _mm256_mulhrs_epi16(u, _mm256_set1_epi16(kBlueFromU));
    const __m256i red = _mm256_add_epi16(_mm256_mulhrs_epi16(v, _mm256_set1_epi16(kRedFromV)), offset);
    const __m256i green = _mm256_add_epi16(
        _mm256_adds_epi16(_mm256_mulhrs_epi16(u, _mm256_set1_epi16(kGreenFromU)),
                          _mm256_mulhrs_epi16(v, _mm256_set1_epi16(kGreenFromV))),
        offset);
    const __m256i blue2 = _mm256_add_epi16(_mm256_adds_epi16(blue, blue), offset);
    ChromaLanes c;
    c.red[0] = _mm256_unpacklo_epi16(red, red);
    c.red[1] = _mm256_unpackhi_epi16(red, red);
    c.green[0] = _mm256_unpacklo_epi16(green, green);
    c.green[1] = _mm256_unpackhi_epi16(green, green);
    c.blue[0] = _mm256_unpacklo_epi16(blue2, blue2);
    c.blue[1] = _mm256_unpackhi_epi16(blue2, blue2);
    return c;
}

// Red, green and blue bytes of 32 pixels of a row, in order.
struct Bytes32 {
    __m256i r, g, b;
};

// One channel's bytes: luma halves plus that channel's chroma halves. The
// halves are in lane order, so the pack puts the 32 bytes in order.
__attribute__((target("avx2"))) inline __m256i Channel32(__m256i l0, __m256i l1,
                                                         const __m256i (&t)[2]) {
    return _mm256_packus_epi16(_mm256_srai_epi16(_mm256_adds_epi16(l0, t[0]), 6),
                               _mm256_srai_epi16(_mm256_adds_epi16(l1, t[1]), 6));
}

__attribute__((target("avx2"))) inline Bytes32 Channels32(const uint8_t* ys, const ChromaLanes& c) {
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys));
    const __m256i low = _mm256_set1_epi8(char(kLumaLow));
    const __m256i luma = _mm256_set1_epi16(kLuma);
    const __m256i l0 = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(low, y), luma);
    const __m256i l1 = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(low, y), luma);
    return {Channel32(l0, l1, c.red), Channel32(l0, l1, c.green), Channel32(l0, l1, c.blue)};
}

// Byte shuffles and blend masks of the 24-bit packing. Within each lane
// (16 pixels, 48 output bytes in three blocks of 16), byte p of block j is
// channel (j + p) % 3 of pixel (16 j + p) / 3; each channel is shuffled
// once so that its bytes for all three blocks sit where they go, and the
// blocks are blended from the three.
struct Pack24Tables {
    alignas(32) int8_t shuffle[3][32];  // blue, green, red
    alignas(32) int8_t mask[2][32];     // set where p % 3 == 1, where p % 3 == 2
};

constexpr Pack24Tables MakePack24Tables() {
    Pack24Tables t{};
    for (int lane = 0; lane < 2; ++lane)
        for (int p = 0; p < 16; ++p) {
            for (int ch = 0; ch < 3; ++ch) {
                const int j = ((ch - p) % 3 + 3) % 3;
                t.shuffle[ch][16 * lane + p] = int8_t((16 * j + p) / 3);
            }
            t.mask[0][16 * lane + p] = int8_t(p % 3 == 1 ? -128 : 0);
            t.mask[1][16 * lane + p] = int8_t(p % 3 == 2 ? -128 : 0);
        }
    return t;
}

constexpr Pack24Tables kPack24 = MakePack24Tables();

__attribute__((target("avx2"))) inline __m256i LoadTable(const int8_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

// 32 pixels as 96 bytes of blue, green, red.
__attribute__((target("avx2"))) inline void StoreBgr32(const Bytes32& px, uint8_t* o) {
    const __m256i b = _mm256_shuffle_epi8(px.b, LoadTable(kPack24.shuffle[0]));
    const __m256i g = _mm256_shuffle_epi8(px.g, LoadTable(kPack24.shuffle[1]));
    const __m256i r = _mm256_shuffle_epi8(px.r, LoadTable(kPack24.shuffle[2]));
    const __m256i m1 = LoadTable(kPack24.mask[0]), m2 = LoadTable(kPack24.mask[1]);
    // Block j takes channel (j + p) % 3 at byte p.
    const __m256i o0 = _mm256_blendv_epi8(_mm256_blendv_epi8(b, g, m1), r, m2);
    const __m256i o1 = _mm256_blendv_epi8(_mm256_blendv_epi8(g, r, m1), b, m2);
    const __m256i o2 = _mm256_blendv_epi8(_mm256_blendv_epi8(r, b, m1), g, m2);
    // Blocks 0-2 of the low lane, then of the high lane.
    auto* out = reinterpret_cast<__m256i*>(o);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(o0, o1, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(o2, o0, 0x30));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(o1, o2, 0x31));
}

// 32 pixels as 128 bytes of 0, red, green, blue.
__attribute__((target("avx2"))) inline void StoreZrgb32(const Bytes32& px, uint8_t* o) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i zr0 = _mm256_unpacklo_epi8(zero, px.r), zr1 = _mm256_unpackhi_epi8(zero, px.r);
    const __m256i gb0 = _mm256_unpacklo_epi8(px.g, px.b), gb1 = _mm256_unpackhi_epi8(px.g, px.b);
    const __m256i a = _mm256_unpacklo_epi16(zr0, gb0);  // pixels 0-3 | 16-19
    const __m256i b = _mm256_unpackhi_epi16(zr0, gb0);  // 4-7 | 20-23
    const __m256i c = _mm256_unpacklo_epi16(zr1, gb1);  // 8-11 | 24-27
    const __m256i d = _mm256_unpackhi_epi16(zr1, gb1);  // 12-15 | 28-31
    auto* out = reinterpret_cast<__m256i*>(o);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(c, d, 0x20));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(a, b, 0x31));
    _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(c, d, 0x31));
}

template <bool Bgr>
__attribute__((target("avx2"))) inline void Store32(const uint8_t* ys, const ChromaLanes& c,
                                                    uint8_t* o) {
    const Bytes32 px = Channels32(ys, c);
    if constexpr (Bgr)
        StoreBgr32(px, o);
    else
        StoreZrgb32(px, o);
}

// One or two rows over the same chroma row (`ys2` null: one), 32 pixels a
// step; the ragged end again from the last 32 (even-placed) pixels through
// a scratch block; an odd last pixel by the scalar code.
template <bool Bgr>
__attribute__((target("avx2"))) void RowsAvx2(const uint8_t* ys1, const uint8_t* ys2,
                                              const uint8_t* us, const uint8_t* vs, uint8_t* d1,
                                              uint8_t* d2, int w) {
    constexpr DriverRowFormat format = Bgr ? DriverRowFormat::kBgr24 : DriverRowFormat::k0Rgb32;
    constexpr int step = Bgr ? 3 : 4;
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const ChromaLanes c = ChromaOf32(us + x / 2, vs + x / 2);
        Store32<Bgr>(ys1 + x, c, d1 + ptrdiff_t(x) * step);
        if (ys2 != nullptr) Store32<Bgr>(ys2 + x, c, d2 + ptrdiff_t(x) * step);
    }
    if (x < w && w >= 32) {
        const int last = (w - 32) & ~1;
        const ChromaLanes c = ChromaOf32(us + last / 2, vs + last / 2);
        alignas(32) uint8_t scratch[128];
        for (int row = 0; row < 2; ++row) {
            const uint8_t* ys = row == 0 ? ys1 : ys2;
            if (ys == nullptr) continue;
            Store32<Bgr>(ys + last, c, scratch);
            uint8_t* o = (row == 0 ? d1 : d2) + ptrdiff_t(x) * step;
            std::memcpy(o, scratch + ptrdiff_t(x - last) * step, size_t(last + 32 - x) * size_t(step));
        }
        x = last + 32;
    }
    RowScalar(ys1, us, vs, d1, x, w, format);
    if (ys2 != nullptr) RowScalar(ys2, us, vs, d2, x, w, format);
}
#endif

}  // namespace

void ConvertYuvPixel(uint8_t y, uint8_t u, uint8_t v, uint8_t* red, uint8_t* green,
                     uint8_t* blue) {
    const Rgb p = Pixel(y, ChromaTerms(u, v));
    *red = p.r, *green = p.g, *blue = p.b;
}

void ConvertYuv420Rows(const Yuv420Picture& p, uint8_t* dst, ptrdiff_t dstStride,
                       DriverRowFormat format) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
#endif
    // Rows in pairs: both use the same chroma row.
    for (int row = 0; row < p.height; row += 2) {
        const uint8_t* ys1 = p.planes[0] + ptrdiff_t(row) * p.strides[0];
        const uint8_t* ys2 = row + 1 < p.height ? ys1 + p.strides[0] : nullptr;
        const uint8_t* us = p.planes[1] + ptrdiff_t(row / 2) * p.strides[1];
        const uint8_t* vs = p.planes[2] + ptrdiff_t(row / 2) * p.strides[2];
        uint8_t* d1 = dst + ptrdiff_t(row) * dstStride;
        uint8_t* d2 = d1 + dstStride;
#if defined(__x86_64__) || defined(__i386__)
        if (avx2) {
            if (format == DriverRowFormat::kBgr24)
                RowsAvx2<true>(ys1, ys2, us, vs, d1, d2, p.width);
            else
                RowsAvx2<false>(ys1, ys2, us, vs, d1, d2, p.width);
            continue;
        }
#endif
        RowScalar(ys1, us, vs, d1, 0, p.width, format);
        if (ys2 != nullptr) RowScalar(ys2, us, vs, d2, 0, p.width, format);
    }
}
