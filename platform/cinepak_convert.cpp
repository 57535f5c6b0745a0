#include "platform/cinepak_convert.h"

#include <algorithm>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace cinepak {

namespace {

// std::lround for floats (halves away from zero), without the library call.
int roundHalfAway(float x) {
    const int t = static_cast<int>(x);
    const float frac = x - static_cast<float>(t);  // exact
    return t + (frac >= 0.5f) - (frac <= -0.5f);
}

int16_t lumaComponent(float luma) {
    const int y = roundHalfAway(luma * kLumaScale);
    return static_cast<int16_t>(y < 0 ? 0 : (y > 255 * kLumaScale ? 255 * kLumaScale : y));
}

#if defined(__SSE2__)
__m128i roundHalfAway(__m128 x) {
    __m128i t = _mm_cvttps_epi32(x);
    const __m128 frac = _mm_sub_ps(x, _mm_cvtepi32_ps(t));
    // Comparison masks are -1 where true.
    t = _mm_sub_epi32(t, _mm_castps_si128(_mm_cmpge_ps(frac, _mm_set1_ps(0.5f))));
    return _mm_add_epi32(t, _mm_castps_si128(_mm_cmple_ps(frac, _mm_set1_ps(-0.5f))));
}

// Per 128-bit lane: (y0, y1), (y2, y3), (u, v) and a zero pair for each of four blocks, from
// the rounded and clamped components, stored to the lane's four vectors.
inline void storeFourVectors(__m128i y01, __m128i y23, __m128i uv, Vec* const out[4]) {
    const __m128i x01 = _mm_unpacklo_epi16(y01, _mm_srli_si128(y01, 8));
    const __m128i x23 = _mm_unpacklo_epi16(y23, _mm_srli_si128(y23, 8));
    const __m128i xuv = _mm_unpacklo_epi16(uv, _mm_srli_si128(uv, 8));
    const __m128i t0 = _mm_unpacklo_epi32(x01, x23);
    const __m128i t1 = _mm_unpacklo_epi32(xuv, _mm_setzero_si128());
    const __m128i t2 = _mm_unpackhi_epi32(x01, x23);
    const __m128i t3 = _mm_unpackhi_epi32(xuv, _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[0]->c.data()), _mm_unpacklo_epi64(t0, t1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[1]->c.data()), _mm_unpackhi_epi64(t0, t1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2]->c.data()), _mm_unpacklo_epi64(t2, t3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[3]->c.data()), _mm_unpackhi_epi64(t2, t3));
}

#endif

#if defined(CINEPAK_HAVE_WIDE_CONVERT)
// Vectors pass by reference: a 256-bit value in a plain function would change its ABI.
__attribute__((target("avx2"), always_inline)) inline void roundHalfAway(const __m256& x,
                                                                         __m256i& out) {
    const __m256i t = _mm256_cvttps_epi32(x);
    const __m256 frac = _mm256_sub_ps(x, _mm256_cvtepi32_ps(t));
    out = _mm256_add_epi32(
        _mm256_sub_epi32(
            t, _mm256_castps_si256(_mm256_cmp_ps(frac, _mm256_set1_ps(0.5f), _CMP_GE_OQ))),
        _mm256_castps_si256(_mm256_cmp_ps(frac, _mm256_set1_ps(-0.5f), _CMP_LE_OQ)));
}

__attribute__((target("avx2"), always_inline)) inline void loadTwoHalves(const uint8_t* a,
                                                                         const uint8_t* b,
                                                                         __m256& out) {
    out = _mm256_castsi256_ps(_mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1));
}

#endif

}  // namespace

// One 2x2 block of BGRA pixels (two at top, two at bottom) as a vector of the space: the
// chroma that the decoder's inverse (r = y + 2v, g = y - u/2 - v, b = y + 2u) implies on
// average, then per pixel the luma that minimises the RGB error given that chroma.
void convertBlock(const uint8_t* top, const uint8_t* bottom, bool grey, Vec& v) {
    float r[4], g[4], b[4];
    for (int i = 0; i < 4; ++i) {
        const uint8_t* p = (i < 2 ? top : bottom) + (i & 1) * 4;
        b[i] = p[0];
        g[i] = p[1];
        r[i] = p[2];
    }
    if (grey) {
        for (int i = 0; i < 4; ++i) {
            v.c[i] = lumaComponent(0.299f * r[i] + 0.587f * g[i] + 0.114f * b[i]);
        }
        v.c[4] = v.c[5] = 0;
        return;
    }
    // u and w are the block means of b - l and r - l with l = (2r + 4g + b) / 7, taken from
    // integer sums so that one multiply replaces the divisions.
    int sumR = 0, sumG = 0, sumB = 0;
    for (int i = 0; i < 4; ++i) {
        sumR += static_cast<int>(r[i]);
        sumG += static_cast<int>(g[i]);
        sumB += static_cast<int>(b[i]);
    }
    const float l = static_cast<float>(2 * sumR + 4 * sumG + sumB) * (1.0f / 7.0f);
    float u = (static_cast<float>(sumB) - l) * 0.125f;
    float w = (static_cast<float>(sumR) - l) * 0.125f;
    u = std::clamp(u, -128.0f, 127.0f);
    w = std::clamp(w, -128.0f, 127.0f);
    const float shift = w + 1.5f * u;
    for (int i = 0; i < 4; ++i) {
        v.c[i] = lumaComponent((r[i] + g[i] + b[i] - shift) * (1.0f / 3.0f));
    }
    v.c[4] = static_cast<int16_t>(roundHalfAway(u * kChromaScale));
    v.c[5] = static_cast<int16_t>(roundHalfAway(w * kChromaScale));
}

#if defined(__SSE2__)
// convertBlock on four horizontally adjacent blocks, one per lane, with the same operations
// in the same order (so the same results); top and bottom point to eight pixels each.
void convertFourBlocks(const uint8_t* top, const uint8_t* bottom, bool grey, Vec* const out[4]) {
    const __m128i byteMask = _mm_set1_epi32(0xFF);
    __m128 r[4], g[4], b[4];
    for (int row = 0; row < 2; ++row) {
        const uint8_t* p = row == 0 ? top : bottom;
        const __m128 lo = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        const __m128 hi =
            _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
        // The blocks' left pixels, then their right pixels.
        const __m128i sides[2] = {
            _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)))};
        for (int side = 0; side < 2; ++side) {
            const int i = row * 2 + side;
            b[i] = _mm_cvtepi32_ps(_mm_and_si128(sides[side], byteMask));
            g[i] = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(sides[side], 8), byteMask));
            r[i] = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(sides[side], 16), byteMask));
        }
    }
    __m128 luma[4];
    __m128i chromaU = _mm_setzero_si128();
    __m128i chromaV = _mm_setzero_si128();
    if (grey) {
        for (int i = 0; i < 4; ++i) {
            luma[i] = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.299f), r[i]),
                                            _mm_mul_ps(_mm_set1_ps(0.587f), g[i])),
                                 _mm_mul_ps(_mm_set1_ps(0.114f), b[i]));
        }
    } else {
        // The sums are small integers, so adding them as floats is exact in any order.
        const __m128 sumR = _mm_add_ps(_mm_add_ps(r[0], r[1]), _mm_add_ps(r[2], r[3]));
        const __m128 sumG = _mm_add_ps(_mm_add_ps(g[0], g[1]), _mm_add_ps(g[2], g[3]));
        const __m128 sumB = _mm_add_ps(_mm_add_ps(b[0], b[1]), _mm_add_ps(b[2], b[3]));
        const __m128 l = _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.0f), sumR),
                                                          _mm_mul_ps(_mm_set1_ps(4.0f), sumG)),
                                               sumB),
                                    _mm_set1_ps(1.0f / 7.0f));
        __m128 u = _mm_mul_ps(_mm_sub_ps(sumB, l), _mm_set1_ps(0.125f));
        __m128 w = _mm_mul_ps(_mm_sub_ps(sumR, l), _mm_set1_ps(0.125f));
        u = _mm_min_ps(_mm_max_ps(u, _mm_set1_ps(-128.0f)), _mm_set1_ps(127.0f));
        w = _mm_min_ps(_mm_max_ps(w, _mm_set1_ps(-128.0f)), _mm_set1_ps(127.0f));
        const __m128 shift = _mm_add_ps(w, _mm_mul_ps(_mm_set1_ps(1.5f), u));
        for (int i = 0; i < 4; ++i) {
            const __m128 sum = _mm_add_ps(_mm_add_ps(r[i], g[i]), b[i]);
            luma[i] = _mm_mul_ps(_mm_sub_ps(sum, shift), _mm_set1_ps(1.0f / 3.0f));
        }
        const __m128 chromaScale = _mm_set1_ps(static_cast<float>(kChromaScale));
        chromaU = roundHalfAway(_mm_mul_ps(u, chromaScale));
        chromaV = roundHalfAway(_mm_mul_ps(w, chromaScale));
    }
    const __m128 lumaScale = _mm_set1_ps(static_cast<float>(kLumaScale));
    __m128i y01 = _mm_packs_epi32(roundHalfAway(_mm_mul_ps(luma[0], lumaScale)),
                                  roundHalfAway(_mm_mul_ps(luma[1], lumaScale)));
    __m128i y23 = _mm_packs_epi32(roundHalfAway(_mm_mul_ps(luma[2], lumaScale)),
                                  roundHalfAway(_mm_mul_ps(luma[3], lumaScale)));
    const __m128i lumaMax = _mm_set1_epi16(255 * kLumaScale);
    y01 = _mm_min_epi16(_mm_max_epi16(y01, _mm_setzero_si128()), lumaMax);
    y23 = _mm_min_epi16(_mm_max_epi16(y23, _mm_setzero_si128()), lumaMax);
    const __m128i uv = _mm_packs_epi32(chromaU, chromaV);
    storeFourVectors(y01, y23, uv, out);
}

#endif

#if defined(CINEPAK_HAVE_WIDE_CONVERT)
// convertFourBlocks on two rows of four blocks at once, the upper row in the low lane: the
// same operations in the same order per block, so the same results. upper and lower point to
// the top pixel rows of the two block rows, rowBytes apart from the pixel rows below them.
__attribute__((target("avx2"))) void convertEightBlocks(const uint8_t* upper, const uint8_t* lower,
                                                        size_t rowBytes, bool grey,
                                                        Vec* const out[8]) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    __m256 r[4], g[4], b[4];
    for (int row = 0; row < 2; ++row) {
        const uint8_t* p = upper + row * rowBytes;
        const uint8_t* q = lower + row * rowBytes;
        __m256 lo, hi;
        loadTwoHalves(p, q, lo);
        loadTwoHalves(p + 16, q + 16, hi);
        const __m256i sides[2] = {
            _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm256_castps_si256(_mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)))};
        for (int side = 0; side < 2; ++side) {
            const int i = row * 2 + side;
            b[i] = _mm256_cvtepi32_ps(_mm256_and_si256(sides[side], byteMask));
            g[i] =
                _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(sides[side], 8), byteMask));
            r[i] =
                _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(sides[side], 16), byteMask));
        }
    }
    __m256 luma[4];
    __m256i chromaU = _mm256_setzero_si256();
    __m256i chromaV = _mm256_setzero_si256();
    if (grey) {
        for (int i = 0; i < 4; ++i) {
            luma[i] = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(0.299f), r[i]),
                                                  _mm256_mul_ps(_mm256_set1_ps(0.587f), g[i])),
                                    _mm256_mul_ps(_mm256_set1_ps(0.114f), b[i]));
        }
    } else {
        const __m256 sumR = _mm256_add_ps(_mm256_add_ps(r[0], r[1]), _mm256_add_ps(r[2], r[3]));
        const __m256 sumG = _mm256_add_ps(_mm256_add_ps(g[0], g[1]), _mm256_add_ps(g[2], g[3]));
        const __m256 sumB = _mm256_add_ps(_mm256_add_ps(b[0], b[1]), _mm256_add_ps(b[2], b[3]));
        const __m256 l =
            _mm256_mul_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(2.0f), sumR),
                                                      _mm256_mul_ps(_mm256_set1_ps(4.0f), sumG)),
                                        sumB),
                          _mm256_set1_ps(1.0f / 7.0f));
        __m256 u = _mm256_mul_ps(_mm256_sub_ps(sumB, l), _mm256_set1_ps(0.125f));
        __m256 w = _mm256_mul_ps(_mm256_sub_ps(sumR, l), _mm256_set1_ps(0.125f));
        u = _mm256_min_ps(_mm256_max_ps(u, _mm256_set1_ps(-128.0f)), _mm256_set1_ps(127.0f));
        w = _mm256_min_ps(_mm256_max_ps(w, _mm256_set1_ps(-128.0f)), _mm256_set1_ps(127.0f));
        const __m256 shift = _mm256_add_ps(w, _mm256_mul_ps(_mm256_set1_ps(1.5f), u));
        for (int i = 0; i < 4; ++i) {
            const __m256 sum = _mm256_add_ps(_mm256_add_ps(r[i], g[i]), b[i]);
            luma[i] = _mm256_mul_ps(_mm256_sub_ps(sum, shift), _mm256_set1_ps(1.0f / 3.0f));
        }
        const __m256 chromaScale = _mm256_set1_ps(static_cast<float>(kChromaScale));
        roundHalfAway(_mm256_mul_ps(u, chromaScale), chromaU);
        roundHalfAway(_mm256_mul_ps(w, chromaScale), chromaV);
    }
    const __m256 lumaScale = _mm256_set1_ps(static_cast<float>(kLumaScale));
    // Packing works within lanes, as the four-block version does within its register.
    __m256i rounded[4];
    for (int i = 0; i < 4; ++i) roundHalfAway(_mm256_mul_ps(luma[i], lumaScale), rounded[i]);
    __m256i y01 = _mm256_packs_epi32(rounded[0], rounded[1]);
    __m256i y23 = _mm256_packs_epi32(rounded[2], rounded[3]);
    const __m256i lumaMax = _mm256_set1_epi16(255 * kLumaScale);
    y01 = _mm256_min_epi16(_mm256_max_epi16(y01, _mm256_setzero_si256()), lumaMax);
    y23 = _mm256_min_epi16(_mm256_max_epi16(y23, _mm256_setzero_si256()), lumaMax);
    const __m256i uv = _mm256_packs_epi32(chromaU, chromaV);
    storeFourVectors(_mm256_castsi256_si128(y01), _mm256_castsi256_si128(y23),
                     _mm256_castsi256_si128(uv), out);
    storeFourVectors(_mm256_extracti128_si256(y01, 1), _mm256_extracti128_si256(y23, 1),
                     _mm256_extracti128_si256(uv, 1), out + 4);
}

bool haveAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace cinepak
