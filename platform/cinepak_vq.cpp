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

// v / d rounded half away from zero, as std::lround of the quotient gives it (d > 0).
int64_t roundDiv(int64_t v, int64_t d) {
    return v >= 0 ? (2 * v + d) / (2 * d) : -((2 * -v + d) / (2 * d));
}

struct Cluster {
    int begin = 0;
    int end = 0;
    std::array<int64_t, kDims> sum{};
    int64_t squares = 0;
    double error = 0.0;

    int count() const { return end - begin; }
};

double clusterError(const Cluster& c) {
    if (c.count() == 0) return 0.0;
    double centred = static_cast<double>(c.squares);
    for (int d = 0; d < kDims; ++d) {
        centred -= static_cast<double>(c.sum[d]) * static_cast<double>(c.sum[d]) / c.count();
    }
    return centred > 0.0 ? centred : 0.0;
}

void accumulate(Cluster& c, std::span<const Vec> vectors, std::span<const uint32_t> order) {
    int64_t sum[kDims] = {};
    int64_t squares = 0;
    const Vec* base = vectors.data();
    const uint32_t* idx = order.data();
    for (int i = c.begin; i < c.end; ++i) {
        const int16_t* v = base[idx[i]].c.data();
        for (int d = 0; d < kDims; ++d) {
            sum[d] += v[d];
            squares += static_cast<int64_t>(v[d]) * v[d];
        }
    }
    std::copy(sum, sum + kDims, c.sum.begin());
    c.squares = squares;
    c.error = clusterError(c);
}

Vec centroid(const std::array<int64_t, kDims>& sum, int count) {
    Vec mean;
    for (int d = 0; d < kDims; ++d) {
        mean.c[d] = static_cast<int16_t>(roundDiv(sum[d], count));
    }
    return fromEntry(toEntry(mean));
}

// Splits c across the plane through its mean normal to its principal axis. The axis comes
// from a few power iterations on the covariance, estimated on at most ~2048 members.
bool splitCluster(Cluster& c, Cluster& right, std::span<const Vec> vectors,
                  std::span<uint32_t> order) {
    const int n = c.count();
    std::array<double, kDims> mean{};
    for (int d = 0; d < kDims; ++d) mean[d] = static_cast<double>(c.sum[d]) / n;

    // Plain arrays in the per-member loops: they run over every vector at every tree level.
    const int stride = std::max(1, n / 2048);
    double m[kDims];
    for (int d = 0; d < kDims; ++d) m[d] = mean[d];
    double acc[kDims * kDims] = {};
    int sampled = 0;
    const Vec* base = vectors.data();
    const uint32_t* idx = order.data();
#if defined(__SSE2__)
    // Every product summed in member order as in the plain loop below, two at a time.
    __m128d rows[kDims][kDims / 2];
    for (auto& row : rows) {
        for (__m128d& r : row) r = _mm_setzero_pd();
    }
    const __m128d mean01 = _mm_setr_pd(m[0], m[1]);
    const __m128d mean23 = _mm_setr_pd(m[2], m[3]);
    const __m128d mean45 = _mm_setr_pd(m[4], m[5]);
    for (int i = c.begin; i < c.end; i += stride) {
        const __m128i v16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base[idx[i]].c.data()));
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v16, v16), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v16, v16), 16);
        const __m128d x[kDims / 2] = {_mm_sub_pd(_mm_cvtepi32_pd(lo), mean01),
                                      _mm_sub_pd(_mm_cvtepi32_pd(_mm_srli_si128(lo, 8)), mean23),
                                      _mm_sub_pd(_mm_cvtepi32_pd(hi), mean45)};
#pragma GCC unroll 6
        for (int a = 0; a < kDims; ++a) {
            const __m128d xa = a & 1 ? _mm_unpackhi_pd(x[a / 2], x[a / 2])
                                     : _mm_unpacklo_pd(x[a / 2], x[a / 2]);
#pragma GCC unroll 3
            for (int j = a / 2; j < kDims / 2; ++j) {
                rows[a][j] = _mm_add_pd(rows[a][j], _mm_mul_pd(xa, x[j]));
            }
        }
        ++sampled;
    }
    for (int a = 0; a < kDims; ++a) {
        for (int j = a / 2; j < kDims / 2; ++j) {
            _mm_storeu_pd(&acc[a * kDims + j * 2], rows[a][j]);
        }
    }
#else
    for (int i = c.begin; i < c.end; i += stride) {
        const int16_t* v = base[idx[i]].c.data();
        double x[kDims];
        for (int d = 0; d < kDims; ++d) x[d] = v[d] - m[d];
        for (int a = 0; a < kDims; ++a) {
            for (int b = a; b < kDims; ++b) acc[a * kDims + b] += x[a] * x[b];
        }
        ++sampled;
    }
#endif
    std::array<double, kDims * kDims> cov;
    std::copy(acc, acc + kDims * kDims, cov.begin());
    for (int a = 0; a < kDims; ++a) {
        for (int b = 0; b < a; ++b) cov[a * kDims + b] = cov[b * kDims + a];
    }
    int widest = 0;
    for (int d = 1; d < kDims; ++d) {
        if (cov[d * kDims + d] > cov[widest * kDims + widest]) widest = d;
    }
    if (cov[widest * kDims + widest] <= 0.0 || sampled == 0) return false;

    std::array<double, kDims> axis{};
    axis[widest] = 1.0;
    for (int iter = 0; iter < 4; ++iter) {
        std::array<double, kDims> next{};
        double norm = 0.0;
        for (int a = 0; a < kDims; ++a) {
            for (int b = 0; b < kDims; ++b) next[a] += cov[a * kDims + b] * axis[b];
            norm += next[a] * next[a];
        }
        if (norm <= 0.0) break;
        norm = std::sqrt(norm);
        for (int a = 0; a < kDims; ++a) axis[a] = next[a] / norm;
    }
    double offset = 0.0;
    for (int d = 0; d < kDims; ++d) offset += axis[d] * mean[d];

    float w[kDims];
    for (int d = 0; d < kDims; ++d) w[d] = static_cast<float>(axis[d]);
    const float cut = static_cast<float>(offset);
    auto* first = order.data() + c.begin;
    auto* last = order.data() + c.end;
    auto* mid = std::partition(first, last, [base, &w, cut](uint32_t i) {
        const int16_t* v = base[i].c.data();
        return w[0] * v[0] + w[1] * v[1] + w[2] * v[2] + w[3] * v[3] + w[4] * v[4] + w[5] * v[5] <
               cut;
    });
    const int split = static_cast<int>(mid - order.data());
    if (split == c.begin || split == c.end) return false;

    Cluster left;
    left.begin = c.begin;
    left.end = split;
    accumulate(left, vectors, order);
    right = Cluster{};
    right.begin = split;
    right.end = c.end;
    for (int d = 0; d < kDims; ++d) right.sum[d] = c.sum[d] - left.sum[d];
    right.squares = c.squares - left.squares;
    right.error = clusterError(right);
    c = left;
    return true;
}

}  // namespace

Entry toEntry(const Vec& v) {
    Entry e;
    for (int i = 0; i < 4; ++i) {
        e.y[i] = static_cast<uint8_t>(std::clamp<int64_t>(roundDiv(v.c[i], kLumaScale), 0, 255));
    }
    e.u = static_cast<int8_t>(std::clamp<int64_t>(roundDiv(v.c[4], kChromaScale), -128, 127));
    e.v = static_cast<int8_t>(std::clamp<int64_t>(roundDiv(v.c[5], kChromaScale), -128, 127));
    return e;
}

namespace {

int32_t lumaSum(const Vec& v) {
    return v.c[0] + v.c[1] + v.c[2] + v.c[3];
}

}  // namespace

void SearchBook::build(std::span<const Vec> entries) {
    m_count = static_cast<int>(std::min<size_t>(entries.size(), 256));
    m_blocks = (m_count + kBlock - 1) / kBlock;
    const int padded = m_blocks * kBlock;
    std::array<std::pair<int32_t, int32_t>, 256> order;  // (luma sum, position)
    for (int i = 0; i < m_count; ++i) order[i] = {lumaSum(entries[i]), i};
    std::sort(order.begin(), order.begin() + m_count);
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
    Cluster all;
    all.end = static_cast<int>(n);
    accumulate(all, vectors, order);
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
        Cluster left = clusters[pick];
        Cluster right;
        if (!splitCluster(left, right, vectors, order) ||
            clusters[pick].error - left.error - right.error < minGain) {
            continue;  // settled: never tried again
        }
        clusters[pick] = left;
        clusters.push_back(right);
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
