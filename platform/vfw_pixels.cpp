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
// The chroma terms of 32 pixels (16 samples), each lane's sample doubled:
// [0] for pixels 0-15, [1] for pixels 16-31.
struct ChromaLanes {
    __m256i red[2], green[2], blue[2];
};

__attribute__((target("avx2"))) inline __m256i Widen7(__m128i bytes, __m256i bias) {
    return _mm256_slli_epi16(_mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), bias), 7);
}

__attribute__((target("avx2"))) inline ChromaLanes ChromaOf32(const uint8_t* us, const uint8_t* vs) {
    const __m256i bias = _mm256_set1_epi16(128);
    // Samples 0-3, 8-11 | 4-7, 12-15: doubling within lanes then gives
    // pixels 0-15 from the low halves and 16-31 from the high ones.
    const __m256i u = _mm256_permute4x64_epi64(
        Widen7(_mm_loadu_si128(reinterpret_cast<const __m128i*>(us)), bias), 0xD8);
    const __m256i v = _mm256_permute4x64_epi64(
        Widen7(_mm_loadu_si128(reinterpret_cast<const __m128i*>(vs)), bias), 0xD8);
    const __m256i blue = _mm256_mulhrs_epi16(u, _mm256_set1_epi16(kBlueFromU));
    const __m256i terms[3] = {
        _mm256_mulhrs_epi16(v, _mm256_set1_epi16(kRedFromV)),
        _mm256_adds_epi16(_mm256_mulhrs_epi16(u, _mm256_set1_epi16(kGreenFromU)),
                          _mm256_mulhrs_epi16(v, _mm256_set1_epi16(kGreenFromV))),
        _mm256_adds_epi16(blue, blue)};
    ChromaLanes c;
    c.red[0] = _mm256_unpacklo_epi16(terms[0], terms[0]);
    c.red[1] = _mm256_unpackhi_epi16(terms[0], terms[0]);
    c.green[0] = _mm256_unpacklo_epi16(terms[1], terms[1]);
    c.green[1] = _mm256_unpackhi_epi16(terms[1], terms[1]);
    c.blue[0] = _mm256_unpacklo_epi16(terms[2], terms[2]);
    c.blue[1] = _mm256_unpackhi_epi16(terms[2], terms[2]);
    return c;
}

// Sixteen pixels of a row: `half` picks the chroma lanes. 24-bit rows get
// 48 bytes and four bytes past them that the next step overwrites.
__attribute__((target("avx2"))) inline void Store16(const uint8_t* ys, const ChromaLanes& c,
                                                    int half, uint8_t* o, bool bgr) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i yl = _mm256_adds_epi16(
        _mm256_mulhrs_epi16(Widen7(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ys)),
                                   _mm256_set1_epi16(16)),
                            _mm256_set1_epi16(kLuma)),
        _mm256_set1_epi16(32));
    const __m256i r = _mm256_srai_epi16(_mm256_adds_epi16(yl, c.red[half]), 6);
    const __m256i g = _mm256_srai_epi16(_mm256_adds_epi16(yl, c.green[half]), 6);
    const __m256i b = _mm256_srai_epi16(_mm256_adds_epi16(yl, c.blue[half]), 6);
    // Saturated to bytes and paired: each lane holds eight pixels.
    __m256i low, high;
    const __m256i r8 = _mm256_packus_epi16(r, r);
    if (bgr) {
        const __m256i bg = _mm256_packus_epi16(b, g);  // blue 0-7, green 0-7
        low = _mm256_unpacklo_epi8(bg, _mm256_srli_si256(bg, 8));
        high = _mm256_unpacklo_epi8(r8, zero);
    } else {
        const __m256i gb = _mm256_packus_epi16(g, b);
        low = _mm256_unpacklo_epi8(zero, r8);
        high = _mm256_unpacklo_epi8(gb, _mm256_srli_si256(gb, 8));
    }
    __m256i a = _mm256_unpacklo_epi16(low, high);  // pixels 0-3 | 8-11
    __m256i d = _mm256_unpackhi_epi16(low, high);  // pixels 4-7 | 12-15
    // Stored by halves, which puts the pixels in order with no lane crossing.
    int quarter = 16;
    if (bgr) {
        // Four bytes of each pixel's word down to three, within each lane.
        const __m256i pack3 = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1,
                                               -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1,
                                               -1, -1);
        a = _mm256_shuffle_epi8(a, pack3);
        d = _mm256_shuffle_epi8(d, pack3);
        quarter = 12;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + quarter), _mm256_castsi256_si128(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * quarter), _mm256_extracti128_si256(a, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * quarter), _mm256_extracti128_si256(d, 1));
}

// One or two rows over the same chroma row (`ys2` null: one), 32 pixels a
// step; the ragged end again from the last 32 (even-placed) pixels through
// a scratch block; an odd last pixel by the scalar code.
__attribute__((target("avx2"))) void RowsAvx2(const uint8_t* ys1, const uint8_t* ys2,
                                              const uint8_t* us, const uint8_t* vs, uint8_t* d1,
                                              uint8_t* d2, int w, DriverRowFormat format) {
    const bool bgr = format == DriverRowFormat::kBgr24;
    const int step = bgr ? 3 : 4;
    const int end = bgr ? w - 34 : w - 32;
    int x = 0;
    for (; x <= end; x += 32) {
        const ChromaLanes c = ChromaOf32(us + x / 2, vs + x / 2);
        uint8_t* o1 = d1 + ptrdiff_t(x) * step;
        Store16(ys1 + x, c, 0, o1, bgr);
        Store16(ys1 + x + 16, c, 1, o1 + 16 * step, bgr);
        if (ys2 != nullptr) {
            uint8_t* o2 = d2 + ptrdiff_t(x) * step;
            Store16(ys2 + x, c, 0, o2, bgr);
            Store16(ys2 + x + 16, c, 1, o2 + 16 * step, bgr);
        }
    }
    if (x < w && w >= 32) {
        const int last = (w - 32) & ~1;
        const ChromaLanes c = ChromaOf32(us + last / 2, vs + last / 2);
        alignas(32) uint8_t scratch[2][128];
        for (int row = 0; row < 2; ++row) {
            const uint8_t* ys = row == 0 ? ys1 : ys2;
            if (ys == nullptr) continue;
            Store16(ys + last, c, 0, scratch[row], bgr);
            Store16(ys + last + 16, c, 1, scratch[row] + 16 * step, bgr);
            uint8_t* o = (row == 0 ? d1 : d2) + ptrdiff_t(x) * step;
            std::memcpy(o, scratch[row] + ptrdiff_t(x - last) * step, size_t(last + 32 - x) * size_t(step));
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
            RowsAvx2(ys1, ys2, us, vs, d1, d2, p.width, format);
            continue;
        }
#endif
        RowScalar(ys1, us, vs, d1, 0, p.width, format);
        if (ys2 != nullptr) RowScalar(ys2, us, vs, d2, 0, p.width, format);
    }
}
