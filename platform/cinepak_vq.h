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
    int32_t sum = 0;
    for (int d = 0; d < 6; ++d) {
        const int32_t diff = a.c[d] - b.c[d];
        sum += diff * diff;
    }
    return sum;
}

// The nearest representable entry to a point of the scaled space, and its point.
Entry toEntry(const Vec& v);
inline Vec fromEntry(const Entry& e) {
    Vec v;
    for (int i = 0; i < 4; ++i) v.c[i] = static_cast<int16_t>(e.y[i] * kLumaScale);
    v.c[4] = static_cast<int16_t>(e.u * kChromaScale);
    v.c[5] = static_cast<int16_t>(e.v * kChromaScale);
    return v;
}

// A read-only codebook laid out for fast exhaustive search (four entries per step).
// Holds at most 256 entries; position i of the entries given to build() is result i.
class SearchBook {
  public:
    void build(std::span<const Vec> entries);
    int size() const { return m_count; }
    // Position of the nearest entry (lowest position on ties); its distance in *dist.
    // Must not be called on an empty book.
    int nearest(const Vec& v, int32_t* dist) const;

  private:
    int m_count = 0;
    int m_padded = 0;  // m_count rounded up to a multiple of 8
    // Three arrays of interleaved component pairs, (y0,y1), (y2,y3) and (u,v), entry after
    // entry: one multiply-add over a register of them yields one partial distance per entry.
    std::array<std::vector<int16_t>, 3> m_pairs;
};

struct TrainParams {
    int maxEntries = 256;  // 1..256
    double minGain = 0.0;  // a split must lower the total error by this much
    int lloydPasses = 1;   // refinement passes after splitting
};

// Trains a codebook on the vectors: greedy principal-axis splitting of the cluster with the
// largest error until maxEntries clusters exist or no split gains minGain, then Lloyd passes.
// Returns representable entries (as points of the space); empty when vectors is empty.
std::vector<Vec> trainCodebook(std::span<const Vec> vectors, const TrainParams& params);

}  // namespace cinepak
