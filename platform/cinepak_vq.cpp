#include "platform/cinepak_vq.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace cinepak {

namespace {

constexpr int kDims = 6;

int clampInt(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Second moments are kept as the upper triangle of the 6x6 matrix, row by row.
constexpr int kMoments = kDims * (kDims + 1) / 2;

constexpr int momentIndex(int a, int b) {  // a <= b
    return a * kDims - a * (a - 1) / 2 + (b - a);
}

// Members order[begin..end) with their exact sums and sums of products, from which the error
// and the covariance follow without another pass over the members.
struct Cluster {
    int begin = 0;
    int end = 0;
    // Left unset until accumulate() or a split fills them: clusters are made in the hot loop.
    std::array<int64_t, kDims> sum;
    std::array<int64_t, kMoments> moment;
    double error = 0.0;

    int count() const { return end - begin; }
};

double clusterError(const Cluster& c) {
    if (c.count() == 0) return 0.0;
    double squares = 0.0, sumSquares = 0.0;
#pragma GCC unroll 6
    for (int d = 0; d < kDims; ++d) {
        squares += static_cast<double>(c.moment[momentIndex(d, d)]);
        sumSquares += static_cast<double>(c.sum[d]) * static_cast<double>(c.sum[d]);
    }
    const double centred = squares - sumSquares / c.count();
    return centred > 0.0 ? centred : 0.0;
}

// Whether every component lies within +-kSafeComponent (every point of the space does): then
// kSafeRun vectors' sums of products stay exact in 32-bit lanes.
constexpr int kSafeComponent = 1024;
constexpr int kSafeRun = 1024;

bool withinSafeRange(std::span<const Vec> vectors) {
    int lo = 0, hi = 0;
    for (const Vec& v : vectors) {
        for (int d = 0; d < kDims; ++d) {
            lo = std::min<int>(lo, v.c[d]);
            hi = std::max<int>(hi, v.c[d]);
        }
    }
    return lo >= -kSafeComponent && hi <= kSafeComponent;
}

void accumulateScalar(const Vec* base, const uint32_t* idx, int begin, int end,
                      std::array<int64_t, kDims>& sum, std::array<int64_t, kMoments>& moment) {
    for (int i = begin; i < end; ++i) {
        const int16_t* v = base[idx[i]].c.data();
        for (int a = 0; a < kDims; ++a) {
            sum[a] += v[a];
            for (int b = a; b < kDims; ++b) {
                moment[momentIndex(a, b)] += static_cast<int64_t>(v[a]) * v[b];
            }
        }
    }
}

#if defined(__SSE2__)
// Two members per step: with their components interleaved, one multiply-add against the
// pair (x_a, y_a) yields x_a x_b + y_a y_b for four b at once. Exact while the lanes hold:
// each step adds at most 2 * kSafeComponent^2, and the lanes go to 64 bits every kSafeRun
// members.
void accumulateSse2(const Vec* base, const uint32_t* idx, int begin, int end,
                    std::array<int64_t, kDims>& sum, std::array<int64_t, kMoments>& moment) {
    const __m128i ones = _mm_set1_epi16(1);
    for (int i = begin; i < end;) {
        const int stop = std::min(end, i + kSafeRun);
        __m128i sumLo = _mm_setzero_si128(), sumHi = _mm_setzero_si128();
        __m128i rows[kDims];  // lanes b = 0..3 of row a
        for (__m128i& r : rows) r = _mm_setzero_si128();
        __m128i tail4 = _mm_setzero_si128(), tail5 = _mm_setzero_si128();  // b = 4, 5
        for (; i < stop; i += 2) {
            const __m128i x =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(base[idx[i]].c.data()));
            const __m128i y =
                i + 1 < stop
                    ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(base[idx[i + 1]].c.data()))
                    : _mm_setzero_si128();
            const __m128i lo = _mm_unpacklo_epi16(x, y);  // (x0,y0) .. (x3,y3)
            const __m128i hi = _mm_unpackhi_epi16(x, y);  // (x4,y4) (x5,y5) 0 0
            sumLo = _mm_add_epi32(sumLo, _mm_madd_epi16(lo, ones));
            sumHi = _mm_add_epi32(sumHi, _mm_madd_epi16(hi, ones));
            rows[0] = _mm_add_epi32(rows[0], _mm_madd_epi16(lo, _mm_shuffle_epi32(lo, 0x00)));
            rows[1] = _mm_add_epi32(rows[1], _mm_madd_epi16(lo, _mm_shuffle_epi32(lo, 0x55)));
            rows[2] = _mm_add_epi32(rows[2], _mm_madd_epi16(lo, _mm_shuffle_epi32(lo, 0xAA)));
            rows[3] = _mm_add_epi32(rows[3], _mm_madd_epi16(lo, _mm_shuffle_epi32(lo, 0xFF)));
            const __m128i p4 = _mm_shuffle_epi32(hi, 0x00);
            const __m128i p5 = _mm_shuffle_epi32(hi, 0x55);
            rows[4] = _mm_add_epi32(rows[4], _mm_madd_epi16(lo, p4));
            rows[5] = _mm_add_epi32(rows[5], _mm_madd_epi16(lo, p5));
            tail4 = _mm_add_epi32(tail4, _mm_madd_epi16(hi, p4));
            tail5 = _mm_add_epi32(tail5, _mm_madd_epi16(hi, p5));
        }
        alignas(16) int32_t lanes[4];
        auto take = [&lanes](__m128i r) { _mm_store_si128(reinterpret_cast<__m128i*>(lanes), r); };
        take(sumLo);
        for (int b = 0; b < 4; ++b) sum[b] += lanes[b];
        take(sumHi);
        sum[4] += lanes[0];
        sum[5] += lanes[1];
#pragma GCC unroll 6
        for (int a = 0; a < kDims; ++a) {
            take(rows[a]);
            // Row a holds the products with b = 0..3; rows 4 and 5 give the upper triangle's
            // columns 4 and 5.
#pragma GCC unroll 4
            for (int b = 0; b < 4; ++b) {
                if (a < 4 && b >= a) moment[momentIndex(a, b)] += lanes[b];
                if (a >= 4) moment[momentIndex(b, a)] += lanes[b];
            }
        }
        take(tail4);
        moment[momentIndex(4, 4)] += lanes[0];
        moment[momentIndex(4, 5)] += lanes[1];
        take(tail5);
        moment[momentIndex(5, 5)] += lanes[1];
    }
}
#endif

void accumulate(Cluster& c, std::span<const Vec> vectors, std::span<const uint32_t> order,
                bool safe) {
    c.sum.fill(0);
    c.moment.fill(0);
#if defined(__SSE2__)
    if (safe) {
        accumulateSse2(vectors.data(), order.data(), c.begin, c.end, c.sum, c.moment);
        return;
    }
#else
    (void)safe;
#endif
    accumulateScalar(vectors.data(), order.data(), c.begin, c.end, c.sum, c.moment);
}

Vec centroid(const std::array<int64_t, kDims>& sum, int count) {
    Vec mean;
    for (int d = 0; d < kDims; ++d) {
        // In 32 bits where it fits: most clusters are small.
        const int64_t s = sum[d];
        mean.c[d] = static_cast<int16_t>(s > -(1 << 29) && s < (1 << 29) && count < (1 << 29)
                                             ? roundDiv<int32_t>(static_cast<int32_t>(s), count)
                                             : roundDiv<int64_t>(s, count));
    }
    return fromEntry(toEntry(mean));
}

// Splits c across the plane through its mean normal to its principal axis, found by power
// iterations on the covariance. The members on the low side stay in c, the rest go to
// right; scratch holds at least c.count() positions.
bool splitCluster(Cluster& c, Cluster& right, std::span<const Vec> vectors,
                  std::span<uint32_t> order, std::span<uint32_t> scratch, bool safe) {
    const int n = c.count();
    if (n == 2) {
        // Two members: the axis joins them and the plane through their mean parts them, so
        // each becomes a cluster of its own.
        const uint32_t first = order[c.begin], second = order[c.begin + 1];
        const Vec& x = vectors[first];
        const Vec& y = vectors[second];
        if (x.c == y.c) return false;
        right.begin = c.begin + 1;
        right.end = c.end;
        c.end = c.begin + 1;
        for (Cluster* one : {&c, &right}) {
            const Vec& v = vectors[order[one->begin]];
#pragma GCC unroll 6
            for (int a = 0; a < kDims; ++a) {
                one->sum[a] = v.c[a];
#pragma GCC unroll 6
                for (int b = a; b < kDims; ++b) {
                    one->moment[momentIndex(a, b)] = static_cast<int64_t>(v.c[a]) * v.c[b];
                }
            }
            one->error = 0.0;
        }
        return true;
    }
    double mean[kDims];
    for (int d = 0; d < kDims; ++d) mean[d] = static_cast<double>(c.sum[d]) / n;
    double cov[kDims][kDims];
#pragma GCC unroll 6
    for (int a = 0; a < kDims; ++a) {
#pragma GCC unroll 6
        for (int b = a; b < kDims; ++b) {
            cov[a][b] = cov[b][a] = static_cast<double>(c.moment[momentIndex(a, b)]) -
                                    static_cast<double>(c.sum[a]) * mean[b];
        }
    }
    int widest = 0;
    for (int d = 1; d < kDims; ++d) {
        if (cov[d][d] > cov[widest][widest]) widest = d;
    }
    if (cov[widest][widest] <= 0.0) return false;

    // The first iteration from the widest axis is that column itself. The entries stay far
    // below 1e13, so three more products without normalising stay far from overflow.
    double axis[kDims];
    for (int a = 0; a < kDims; ++a) axis[a] = cov[a][widest];
    for (int iter = 0; iter < 3; ++iter) {
        double next[kDims];
#pragma GCC unroll 6
        for (int a = 0; a < kDims; ++a) {
            next[a] = cov[a][0] * axis[0] + cov[a][1] * axis[1] + cov[a][2] * axis[2] +
                      cov[a][3] * axis[3] + cov[a][4] * axis[4] + cov[a][5] * axis[5];
        }
#pragma GCC unroll 6
        for (int a = 0; a < kDims; ++a) axis[a] = next[a];
    }
    double norm = 0.0;
    for (double x : axis) norm += x * x;
    if (!(norm > 0.0) || !std::isfinite(norm)) return false;
    norm = 1.0 / std::sqrt(norm);
    for (double& x : axis) x *= norm;
    // Stable and without branches on the side: the low side is packed in place, the high
    // side collected behind it.
    const Vec* base = vectors.data();
    uint32_t* members = order.data() + c.begin;
    uint32_t* high = scratch.data();
    int lows = 0, highs = 0;
#if defined(__SSE2__)
    if (safe) {
        // The axis in 14-bit fixed point: one multiply-add per member, exact in 32 bits for
        // components within kSafeComponent.
        int16_t weight[8] = {};
        double weightDot = 0.0;
        for (int d = 0; d < kDims; ++d) {
            const double x = axis[d] * 16384.0;  // |x| <= 16384
            weight[d] = static_cast<int16_t>(x < 0 ? x - 0.5 : x + 0.5);
            weightDot += weight[d] * mean[d];
        }
        const int32_t cut = static_cast<int32_t>(std::ceil(weightDot));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight));
        for (int i = 0; i < n; ++i) {
            const uint32_t m = members[i];
            __m128i p = _mm_madd_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(base[m].c.data())), w);
            p = _mm_add_epi32(p, _mm_shuffle_epi32(p, _MM_SHUFFLE(1, 0, 3, 2)));
            p = _mm_add_epi32(p, _mm_shuffle_epi32(p, _MM_SHUFFLE(2, 3, 0, 1)));
            const int low = _mm_cvtsi128_si32(p) < cut;
            members[lows] = m;
            high[highs] = m;
            lows += low;
            highs += 1 - low;
        }
    } else
#endif
    {
        double offset = 0.0;
        for (int d = 0; d < kDims; ++d) offset += axis[d] * mean[d];
        float w[kDims];
        for (int d = 0; d < kDims; ++d) w[d] = static_cast<float>(axis[d]);
        const float cut = static_cast<float>(offset);
        for (int i = 0; i < n; ++i) {
            const uint32_t m = members[i];
            const int16_t* v = base[m].c.data();
            const float dot =
                w[0] * v[0] + w[1] * v[1] + w[2] * v[2] + w[3] * v[3] + w[4] * v[4] + w[5] * v[5];
            const int low = dot < cut;
            members[lows] = m;
            high[highs] = m;
            lows += low;
            highs += 1 - low;
        }
    }
    if (lows == 0 || highs == 0) {
        // Leave the members as they were: all of them on one side.
        if (lows == 0) std::copy(high, high + highs, members);
        return false;
    }
    std::copy(high, high + highs, members + lows);

    const int split = c.begin + lows;
    right.begin = split;
    right.end = c.end;
    c.end = split;
    // Sum the smaller side; the other is what remains.
    Cluster& part = lows <= highs ? c : right;
    Cluster& rest = lows <= highs ? right : c;
    const std::array<int64_t, kDims> sum = c.sum;
    const std::array<int64_t, kMoments> moment = c.moment;
    accumulate(part, vectors, order, safe);
    for (int d = 0; d < kDims; ++d) rest.sum[d] = sum[d] - part.sum[d];
    for (int k = 0; k < kMoments; ++k) rest.moment[k] = moment[k] - part.moment[k];
    c.error = clusterError(c);
    right.error = clusterError(right);
    return true;
}

int32_t lumaSum(const Vec& v) {
    return v.c[0] + v.c[1] + v.c[2] + v.c[3];
}

}  // namespace

void SearchBook::build(std::span<const Vec> entries) {
    m_count = static_cast<int>(std::min<size_t>(entries.size(), 256));
    m_blocks = (m_count + kBlock - 1) / kBlock;
    const int padded = m_blocks * kBlock;
    std::array<std::pair<int32_t, int32_t>, 256> order;  // (luma sum, position)
    int32_t least = std::numeric_limits<int32_t>::max(), most = std::numeric_limits<int32_t>::min();
    for (int i = 0; i < m_count; ++i) {
        order[i] = {lumaSum(entries[i]), i};
        least = std::min(least, order[i].first);
        most = std::max(most, order[i].first);
    }
    if (m_count > 0 && most - least < 4096) {
        // Points of the space: two stable counting passes over six bits each of the sum,
        // taken in position order, sort by sum and then position.
        std::array<std::pair<int32_t, int32_t>, 256> other;
        for (int shift = 0; shift < 12; shift += 6) {
            std::array<int, 65> start{};
            for (int i = 0; i < m_count; ++i) ++start[((order[i].first - least) >> shift & 63) + 1];
            for (int b = 1; b < 65; ++b) start[b] += start[b - 1];
            for (int i = 0; i < m_count; ++i) {
                other[start[(order[i].first - least) >> shift & 63]++] = order[i];
            }
            order.swap(other);
        }
    } else {
        std::sort(order.begin(), order.begin() + m_count);
    }
    for (auto& lanes : m_pairs) lanes.resize(static_cast<size_t>(padded) * 2);
    m_position.resize(padded);
    m_lowSum.resize(m_blocks);
    m_highSum.resize(m_blocks);
    for (int i = 0; i < padded; ++i) {
        // The last block is filled up with copies of its last entry: same key, never better.
        const auto [sum, pos] = order[std::min(i, m_count - 1)];
        const Vec& e = entries[pos];
        for (int pair = 0; pair < 3; ++pair) {
            m_pairs[pair][i * 2] = e.c[pair * 2];
            m_pairs[pair][i * 2 + 1] = e.c[pair * 2 + 1];
        }
        m_position[i] = pos;
        if (i % kBlock == 0) m_lowSum[i / kBlock] = sum;
        m_highSum[i / kBlock] = sum;
    }
}

namespace {

// Distances stay below 2^23 for points of the space (luma up to 510, chroma up to 640 in
// magnitude), so distance << 8 | position orders by distance, then by position.
// A block kernel lowers best to the least key among one block of entries.
struct BlockArgs {
    const int16_t* pairs[3];
    const int32_t* position;
};
using BlockFn = int32_t (*)(const BlockArgs& book, int block, const Vec& v, int32_t best);

int32_t pairOf(const Vec& v, int d) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(v.c[d])) |
                                (static_cast<uint32_t>(static_cast<uint16_t>(v.c[d + 1])) << 16));
}

[[maybe_unused]] int32_t blockScalar(const BlockArgs& book, int block, const Vec& v,
                                     int32_t best) {
    for (int i = block * SearchBook::kBlock; i < (block + 1) * SearchBook::kBlock; ++i) {
        int32_t sum = 0;
        for (int pair = 0; pair < 3; ++pair) {
            const int32_t a = v.c[pair * 2] - book.pairs[pair][i * 2];
            const int32_t b = v.c[pair * 2 + 1] - book.pairs[pair][i * 2 + 1];
            sum += a * a + b * b;
        }
        best = std::min(best, (sum << 8) | book.position[i]);
    }
    return best;
}

#if defined(__SSE2__)
int32_t blockSse2(const BlockArgs& book, int block, const Vec& v, int32_t best) {
    const __m128i x0 = _mm_set1_epi32(pairOf(v, 0));
    const __m128i x1 = _mm_set1_epi32(pairOf(v, 2));
    const __m128i x2 = _mm_set1_epi32(pairOf(v, 4));
    __m128i low = _mm_set1_epi32(best);
    for (int i = block * SearchBook::kBlock; i < (block + 1) * SearchBook::kBlock; i += 4) {
        const __m128i d0 = _mm_sub_epi16(
            x0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(book.pairs[0] + i * 2)));
        const __m128i d1 = _mm_sub_epi16(
            x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(book.pairs[1] + i * 2)));
        const __m128i d2 = _mm_sub_epi16(
            x2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(book.pairs[2] + i * 2)));
        __m128i sum = _mm_madd_epi16(d0, d0);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(d1, d1));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(d2, d2));
        const __m128i key = _mm_or_si128(
            _mm_slli_epi32(sum, 8),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(book.position + i)));
        const __m128i less = _mm_cmplt_epi32(key, low);
        low = _mm_or_si128(_mm_and_si128(less, key), _mm_andnot_si128(less, low));
    }
    alignas(16) int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), low);
    return std::min(std::min(lanes[0], lanes[1]), std::min(lanes[2], lanes[3]));
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CINEPAK_HAVE_AVX2 1
__attribute__((target("avx2"))) int32_t blockAvx2(const BlockArgs& book, int block, const Vec& v,
                                                  int32_t best) {
    const int i = block * SearchBook::kBlock;
    const __m256i d0 = _mm256_sub_epi16(
        _mm256_set1_epi32(pairOf(v, 0)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(book.pairs[0] + i * 2)));
    const __m256i d1 = _mm256_sub_epi16(
        _mm256_set1_epi32(pairOf(v, 2)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(book.pairs[1] + i * 2)));
    const __m256i d2 = _mm256_sub_epi16(
        _mm256_set1_epi32(pairOf(v, 4)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(book.pairs[2] + i * 2)));
    __m256i sum = _mm256_madd_epi16(d0, d0);
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(d1, d1));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(d2, d2));
    const __m256i key = _mm256_or_si256(
        _mm256_slli_epi32(sum, 8),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(book.position + i)));
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(key), _mm256_extracti128_si256(key, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return std::min(best, _mm_cvtsi128_si32(m));
}
#endif

BlockFn pickBlock() {
#if defined(CINEPAK_HAVE_AVX2)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return blockAvx2;
#endif
#if defined(__SSE2__)
    return blockSse2;
#else
    return blockScalar;
#endif
}

}  // namespace

int SearchBook::nearest(const Vec& v, int32_t* dist) const {
    static const BlockFn search = pickBlock();
    const BlockArgs book{{m_pairs[0].data(), m_pairs[1].data(), m_pairs[2].data()},
                         m_position.data()};
    const int32_t sum = lumaSum(v);
    // The first block reaching the query's sum (or the last block).
    int lo = 0, hi = m_blocks - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (m_highSum[mid] >= sum) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    int32_t best = search(book, lo, v, std::numeric_limits<int32_t>::max());
    // A block whose sums lie g away from the query's holds nothing nearer than g^2 / 4.
    for (int b = lo + 1; b < m_blocks; ++b) {
        const int64_t gap = m_lowSum[b] - sum;
        if (gap * gap > 4 * static_cast<int64_t>(best >> 8)) break;
        best = search(book, b, v, best);
    }
    for (int b = lo - 1; b >= 0; --b) {
        const int64_t gap = sum - m_highSum[b];
        if (gap * gap > 4 * static_cast<int64_t>(best >> 8)) break;
        best = search(book, b, v, best);
    }
    *dist = best >> 8;
    return best & 0xFF;
}

std::vector<Vec> trainCodebook(std::span<const Vec> vectors, const TrainParams& params) {
    std::vector<Vec> result;
    if (vectors.empty()) return result;
    const int maxEntries = clampInt(params.maxEntries, 1, 256);

    // The subset to split: member k of n takes vector k * size / n, which spreads it evenly
    // over the picture when the vectors come in picture order.
    const size_t n = params.maxSplitVectors > 0
                         ? std::min(vectors.size(), static_cast<size_t>(params.maxSplitVectors))
                         : vectors.size();
    const double minGain = params.minGain * static_cast<double>(n) / vectors.size();
    std::vector<uint32_t> order(n);
    for (size_t k = 0; k < n; ++k) order[k] = static_cast<uint32_t>(k * vectors.size() / n);
    std::vector<Cluster> clusters;
    clusters.reserve(maxEntries);
    const bool safe = withinSafeRange(vectors);
    std::vector<uint32_t> scratch(n);
    Cluster all;
    all.end = static_cast<int>(n);
    accumulate(all, vectors, order, safe);
    all.error = clusterError(all);
    clusters.push_back(all);

    // The clusters that may still split, largest error first (the earliest on ties).
    using Candidate = std::pair<double, int>;
    auto later = [](const Candidate& a, const Candidate& b) {
        return a.first < b.first || (a.first == b.first && a.second > b.second);
    };
    std::priority_queue<Candidate, std::vector<Candidate>, decltype(later)> candidates(later);
    auto offer = [&](int i) {
        if (clusters[i].count() >= 2) candidates.emplace(clusters[i].error, i);
    };
    offer(0);
    while (static_cast<int>(clusters.size()) < maxEntries && !candidates.empty()) {
        const int pick = candidates.top().second;
        candidates.pop();
        // A split can never gain more than the cluster's whole error.
        if (clusters[pick].error <= minGain) break;
        // Split in place (the room was reserved, so references hold); a split that does not
        // earn its entry is undone from the two halves.
        clusters.emplace_back();
        Cluster& right = clusters.back();
        Cluster& left = clusters[pick];
        const double before = left.error;
        if (!splitCluster(left, right, vectors, order, scratch, safe)) {
            clusters.pop_back();
            continue;  // settled: never tried again
        }
        if (before - left.error - right.error < minGain) {
            left.end = right.end;
            for (int d = 0; d < kDims; ++d) left.sum[d] += right.sum[d];
            for (int k = 0; k < kMoments; ++k) left.moment[k] += right.moment[k];
            left.error = before;
            clusters.pop_back();
            continue;
        }
        offer(pick);
        offer(static_cast<int>(clusters.size()) - 1);
    }

    result.reserve(clusters.size());
    for (const Cluster& c : clusters) result.push_back(centroid(c.sum, c.count()));

    SearchBook book;
    std::vector<std::array<int64_t, kDims>> sums;
    std::vector<int> counts;
    for (int pass = 0; pass < params.lloydPasses && result.size() > 1; ++pass) {
        book.build(result);
        sums.assign(result.size(), {});
        counts.assign(result.size(), 0);
        for (const Vec& v : vectors) {
            int32_t d;
            const int i = book.nearest(v, &d);
            for (int k = 0; k < kDims; ++k) sums[i][k] += v.c[k];
            ++counts[i];
        }
        std::vector<Vec> next;
        next.reserve(result.size());
        for (size_t i = 0; i < result.size(); ++i) {
            if (counts[i] > 0) next.push_back(centroid(sums[i], counts[i]));
        }
        result.swap(next);
    }
    return result;
}

}  // namespace cinepak
