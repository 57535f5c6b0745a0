#pragma once
// Vector quantisation behind the Cinepak compressor: the vector space, codebook training and
// nearest-codeword search.
//
// A vector is one 2x2 block (four luma values and the block's two chroma values) or a 4x4
// block's quadrant averages. The components are scaled so that plain squared distance follows
// the RGB error the decoder will show: luma by kLumaScale, chroma by kChromaScale (the decoder
// spreads one chroma step over four pixels and three colour channels, which weighs about six
// times a luma step).
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cinepak {

inline constexpr int kLumaScale = 2;
inline constexpr int kChromaScale = 5;

// Components y0 y1 y2 y3 u v in the scaled space; lanes 6 and 7 stay zero so the search can
// load eight lanes at once.
struct Vec {
    std::array<int16_t, 8> c{};
};

// One codebook entry as the decoder stores it: four luma bytes and two signed chroma bytes.
struct Entry {
    std::array<uint8_t, 4> y{};
    int8_t u = 0;
    int8_t v = 0;
};

// Squared distance over the six components (inline: it runs for every block of a frame).
inline int32_t distance(const Vec& a, const Vec& b) {
#if defined(__SSE2__)
    // Lanes 6 and 7 are zero in both, so all eight can be summed.
    const __m128i d = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a.c.data())),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.c.data())));
    __m128i s = _mm_madd_epi16(d, d);
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(s);
#else
    int32_t sum = 0;
    for (int d = 0; d < 6; ++d) {
        const int32_t diff = a.c[d] - b.c[d];
        sum += diff * diff;
    }
    return sum;
#endif
}

// v / d rounded half away from zero (d > 0), as std::lround of the quotient gives it; in
// the narrowest type that holds 2 * v + d, as division is cheaper there.
template <typename T>
constexpr T roundDiv(T v, T d) {
    return v >= 0 ? (2 * v + d) / (2 * d) : -((2 * -v + d) / (2 * d));
}

// The nearest representable entry to a point of the scaled space (each component divided
// by its scale, rounded half away from zero, clamped), and its point.
inline Entry toEntry(const Vec& v) {
    Entry e;
    for (int i = 0; i < 4; ++i) {
        const int y = roundDiv<int>(v.c[i], kLumaScale);
        e.y[i] = static_cast<uint8_t>(y < 0 ? 0 : (y > 255 ? 255 : y));
    }
    const int u = roundDiv<int>(v.c[4], kChromaScale), w = roundDiv<int>(v.c[5], kChromaScale);
    e.u = static_cast<int8_t>(u < -128 ? -128 : (u > 127 ? 127 : u));
    e.v = static_cast<int8_t>(w < -128 ? -128 : (w > 127 ? 127 : w));
    return e;
}
inline Vec fromEntry(const Entry& e) {
    Vec v;
    for (int i = 0; i < 4; ++i) v.c[i] = static_cast<int16_t>(e.y[i] * kLumaScale);
    v.c[4] = static_cast<int16_t>(e.u * kChromaScale);
    v.c[5] = static_cast<int16_t>(e.v * kChromaScale);
    return v;
}

// A read-only codebook laid out for fast search. Entries are kept in blocks of eight in the
// order of their luma sum; as (sum difference)^2 / 4 never exceeds the distance, the search
// starts at the block of the query's sum and stops in each direction at the first block that
// cannot hold anything nearer. The result is exactly the exhaustive one.
// Holds at most 256 entries; position i of the entries given to build() is result i.
class SearchBook {
  public:
    static constexpr int kBlock = 8;

    void build(std::span<const Vec> entries);
    int size() const { return m_count; }
    // Position of the nearest entry (lowest position on ties); its distance in *dist.
    // Must not be called on an empty book.
    int nearest(const Vec& v, int32_t* dist) const;

  private:
    int m_count = 0;
    int m_blocks = 0;
    // Three arrays of interleaved component pairs, (y0,y1), (y2,y3) and (u,v), entry after
    // entry in search order: one multiply-add over a register of them yields one partial
    // distance per entry.
    std::array<std::vector<int16_t>, 3> m_pairs;
    std::vector<int32_t> m_position;  // position given to build(), per entry in search order
    std::vector<int32_t> m_lowSum;    // per block: the least luma sum in it
    std::vector<int32_t> m_highSum;   // and the greatest
};

struct TrainParams {
    int maxEntries = 256;  // 1..256
    double minGain = 0.0;  // a split must lower the total error by this much
    int lloydPasses = 1;   // refinement passes after splitting
    // Splitting looks at an evenly spread subset of at most this many vectors (0: all of
    // them); minGain is scaled to the subset. Lloyd passes always see every vector.
    int maxSplitVectors = 0;
};

// Trains a codebook on the vectors (points of the space, as the search expects them): greedy
// principal-axis splitting of the cluster with the largest error until maxEntries clusters exist or
// no split gains minGain, then Lloyd passes. Returns representable entries (as points of the
// space); empty when vectors is empty.
std::vector<Vec> trainCodebook(std::span<const Vec> vectors, const TrainParams& params);

}  // namespace cinepak
