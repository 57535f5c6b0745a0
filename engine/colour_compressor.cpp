#include "engine/colour_compressor.h"

#include <algorithm>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "engine/colour_space.h"

void RateHistory::Fill(int32_t dataRate) {
    for (size_t i = 0; i < kEntries; ++i) m_entries[i] = {100, dataRate / 10, i % 10 == 0};
    m_first = 0;
}

void RateHistory::Append(RateEntry entry) {
    m_entries[m_first] = entry;
    m_first = (m_first + 1) % kEntries;
}

int32_t RateHistory::Overrun(int32_t dataRate) const {
    int64_t time = 0;
    double bytes = 0;
    for (size_t i = 0; i < kEntries && time < 1000; ++i) {
        const RateEntry& e = m_entries[(m_first + kEntries - 1 - i) % kEntries];
        if (e.milliseconds <= 0) {
            bytes += e.bytes;
            continue;
        }
        const int64_t left = 1000 - time;
        if (e.milliseconds <= left) {
            bytes += e.bytes;
        } else {
            bytes += static_cast<double>(e.bytes) * static_cast<double>(left) / e.milliseconds;
        }
        time += e.milliseconds;
    }
    return static_cast<int32_t>(bytes) - dataRate;
}

namespace {

constexpr size_t kLiteralMax = 4096;  // the longest the two-byte literal code can say
constexpr size_t kRepeatMax = 64;

void PutLiteral(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    if (bytes.empty()) return;
    const size_t n = bytes.size() - 1;
    if (bytes.size() <= 128) {
        out.push_back(static_cast<uint8_t>(0x80 | n));
    } else {
        out.push_back(static_cast<uint8_t>(0x10 | (n / 256)));
        out.push_back(static_cast<uint8_t>(n % 256));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void PutRepeat(uint8_t value, size_t count, std::vector<uint8_t>& out) {
    while (count > 0) {
        if (value == 0) {
            const size_t n = std::min<size_t>(count, 32);
            out.push_back(static_cast<uint8_t>(0x20 | (n - 1)));
            count -= n;
        } else if (value == 0xFF) {
            const size_t n = std::min<size_t>(count, 8);
            out.push_back(static_cast<uint8_t>(0x08 | (n - 1)));
            count -= n;
        } else {
            const size_t n = std::min<size_t>(count, 64);
            out.push_back(static_cast<uint8_t>(0x40 | (n - 1)));
            out.push_back(value);
            count -= n;
        }
    }
}

}  // namespace

bool PackCinepakRuns(std::span<const uint8_t> frame, std::vector<uint8_t>& out) {
    out.clear();
    if (frame.size() <= 4) {
        out.assign(frame.begin(), frame.end());
        return false;
    }
    out.reserve(frame.size() + frame.size() / 64 + 8);
    out.insert(out.end(), frame.begin(), frame.begin() + 4);
    size_t i = 4;
    const size_t n = frame.size();
    while (i < n) {
        // Literal run: up to where three equal bytes follow each other.
        size_t end = i;
        while (end < n && end - i < kLiteralMax &&
               !(end + 2 < n && frame[end] == frame[end + 1] && frame[end] == frame[end + 2])) {
            ++end;
        }
        PutLiteral(frame.subspan(i, end - i), out);
        i = end;
        if (i >= n || !(i + 2 < n && frame[i] == frame[i + 1] && frame[i] == frame[i + 2])) {
            continue;
        }
        size_t run = 1;
        while (i + run < n && run < kRepeatMax && frame[i + run] == frame[i]) ++run;
        PutRepeat(frame[i], run, out);
        i += run;
    }
    // Worth it only when it saves at least 2 percent.
    if (out.size() * 100 > frame.size() * 98) {
        out.assign(frame.begin(), frame.end());
        return false;
    }
    out[0] |= 0x80;
    return true;
}

OSStatus UnpackCinepakRuns(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
    out.clear();
    if (data.size() < 4 || !(data[0] & 0x80)) {
        out.assign(data.begin(), data.end());
        return noErr;
    }
    out.insert(out.end(), data.begin(), data.begin() + 4);
    out[0] &= 0x7F;
    size_t i = 4;
    while (i < data.size()) {
        const uint8_t code = data[i++];
        size_t literal = 0;
        if (code & 0x80) {
            literal = (code & 0x7F) + 1u;
        } else if (code & 0x40) {
            if (i >= data.size()) return kStatusBadData;
            out.insert(out.end(), (code & 0x3F) + 1u, data[i++]);
            continue;
        } else if (code & 0x20) {
            out.insert(out.end(), (code & 0x1F) + 1u, uint8_t{0});
            continue;
        } else if (code & 0x10) {
            if (i >= data.size()) return kStatusBadData;
            literal = ((code & 0x0Fu) << 8 | data[i++]) + 1u;
        } else if (code & 0x08) {
            out.insert(out.end(), (code & 0x07) + 1u, uint8_t{0xFF});
            continue;
        } else {
            return kStatusBadData;
        }
        if (literal > data.size() - i) return kStatusBadData;
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
                   data.begin() + static_cast<ptrdiff_t>(i + literal));
        i += literal;
    }
    return noErr;
}

#if defined(__SSE2__)
namespace {

// ToYCbCr's integer arithmetic and HistogramBin on four BGRA pixels: the bins into out.
void FourBins(const uint8_t* p, uint32_t out[4]) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i low = _mm_set1_epi32(0xFF);
    // Per pixel the 16-bit pairs (r, g) and (b, 1), so one multiply-add gives the sum of
    // products of three coefficients plus the rounding constant.
    const __m128i rg = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(px, 16), low),
                                    _mm_and_si128(_mm_slli_epi32(px, 8), _mm_set1_epi32(0xFF0000)));
    const __m128i b1 = _mm_or_si128(_mm_and_si128(px, low), _mm_set1_epi32(0x10000));
    auto pair = [](int lo, int hi) { return _mm_set1_epi32((hi << 16) | (lo & 0xFFFF)); };
    auto divide1024 = [](__m128i n) {  // rounds toward zero, as C division does
        return _mm_srai_epi32(_mm_add_epi32(n, _mm_and_si128(_mm_srai_epi32(n, 31),
                                                             _mm_set1_epi32(1023))),
                              10);
    };
    const __m128i y = _mm_add_epi32(
        divide1024(_mm_add_epi32(_mm_madd_epi16(rg, pair(263, 516)), _mm_madd_epi16(b1, pair(100, 512)))),
        _mm_set1_epi32(16));
    const __m128i cb = _mm_add_epi32(
        divide1024(_mm_add_epi32(_mm_madd_epi16(rg, pair(-152, -298)), _mm_madd_epi16(b1, pair(450, 512)))),
        _mm_set1_epi32(128));
    const __m128i cr = _mm_add_epi32(
        divide1024(_mm_add_epi32(_mm_madd_epi16(rg, pair(450, -377)), _mm_madd_epi16(b1, pair(-73, 512)))),
        _mm_set1_epi32(128));
    const __m128i bin = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(_mm_and_si128(y, low), 2), 10),
                     _mm_slli_epi32(_mm_srli_epi32(_mm_and_si128(cb, low), 3), 5)),
        _mm_srli_epi32(_mm_and_si128(cr, low), 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bin);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HISTOGRAM_HAVE_AVX2 1
// FourBins on eight pixels.
__attribute__((target("avx2"))) void EightBins(const uint8_t* p, uint32_t out[8]) {
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i rg =
        _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(px, 16), low),
                        _mm256_and_si256(_mm256_slli_epi32(px, 8), _mm256_set1_epi32(0xFF0000)));
    const __m256i b1 = _mm256_or_si256(_mm256_and_si256(px, low), _mm256_set1_epi32(0x10000));
    const auto pair = [](int lo, int hi) { return (hi << 16) | (lo & 0xFFFF); };
    __m256i parts[3];
    const int coefficients[3][4] = {
        {263, 516, 100, 16}, {-152, -298, 450, 128}, {450, -377, -73, 128}};
    for (int k = 0; k < 3; ++k) {
        const int* c = coefficients[k];
        const __m256i n =
            _mm256_add_epi32(_mm256_madd_epi16(rg, _mm256_set1_epi32(pair(c[0], c[1]))),
                             _mm256_madd_epi16(b1, _mm256_set1_epi32(pair(c[2], 512))));
        // Division by 1024 toward zero, as C division does.
        const __m256i q = _mm256_srai_epi32(
            _mm256_add_epi32(n,
                             _mm256_and_si256(_mm256_srai_epi32(n, 31), _mm256_set1_epi32(1023))),
            10);
        parts[k] = _mm256_and_si256(_mm256_add_epi32(q, _mm256_set1_epi32(c[3])), low);
    }
    const __m256i bin =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(parts[0], 2), 10),
                                        _mm256_slli_epi32(_mm256_srli_epi32(parts[1], 3), 5)),
                        _mm256_srli_epi32(parts[2], 3));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bin);
}

// Whether the eight-pixel bins are used: decided once.
bool WideBins() {
    static const bool wide = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return wide;
}
#endif

}  // namespace
#endif

namespace {

// Neighbouring pixels mostly share a bin, so bins are counted in runs: one update per run
// instead of a chain of updates to the same counter.
struct BinRuns {
    uint32_t* histogram;
    uint32_t current = 0;  // the bin of the last pixel counted
    uint64_t run = 0;

    void Flush() {
        if (run == 0) return;
        uint32_t& n = histogram[current];
        const uint64_t sum = n + run;
        n = sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
    }
    void Add(uint32_t bin) {
        if (bin == current && run > 0) {
            ++run;
            return;
        }
        Flush();
        current = bin;
        run = 1;
    }
};

void CountPictureNarrow(BinRuns& runs, const uint8_t* pixels, ptrdiff_t rowBytes, int width,
                        int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + y * rowBytes;
        int x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= width; x += 4, p += 16) {
            alignas(16) uint32_t bins[4];
            FourBins(p, bins);
            const __m128i four = _mm_load_si128(reinterpret_cast<const __m128i*>(bins));
            const __m128i same =
                _mm_cmpeq_epi32(four, _mm_set1_epi32(static_cast<int>(runs.current)));
            if (runs.run > 0 && _mm_movemask_epi8(same) == 0xFFFF) {
                runs.run += 4;
                continue;
            }
            for (uint32_t bin : bins) runs.Add(bin);
        }
#endif
        for (; x < width; ++x, p += 4) runs.Add(HistogramBin(ToYCbCr(p[2], p[1], p[0])));
    }
}

#if defined(HISTOGRAM_HAVE_AVX2)
__attribute__((target("avx2"))) void CountPictureWide(BinRuns& runs, const uint8_t* pixels,
                                                      ptrdiff_t rowBytes, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * rowBytes;
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            const uint8_t* p = row + static_cast<ptrdiff_t>(x) * 4;
            // Eight pixels each equal to its left neighbour continue the run of the last
            // pixel counted, without working out their bins.
            if (x > 0) {
                const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
                const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 4));
                if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(now, left)) == -1) {
                    runs.run += 8;
                    continue;
                }
            }
            alignas(32) uint32_t bins[8];
            EightBins(p, bins);
            const __m256i eight = _mm256_load_si256(reinterpret_cast<const __m256i*>(bins));
            const __m256i same =
                _mm256_cmpeq_epi32(eight, _mm256_set1_epi32(static_cast<int>(runs.current)));
            if (runs.run > 0 && _mm256_movemask_epi8(same) == -1) {
                runs.run += 8;
                continue;
            }
            for (uint32_t bin : bins) runs.Add(bin);
        }
        for (const uint8_t* p = row + static_cast<ptrdiff_t>(x) * 4; x < width; ++x, p += 4) {
            runs.Add(HistogramBin(ToYCbCr(p[2], p[1], p[0])));
        }
    }
}
#endif

}  // namespace

void AddPictureToHistogram(uint32_t* histogram, const uint8_t* pixels, ptrdiff_t rowBytes,
                           int width, int height) {
#if defined(HISTOGRAM_HAVE_AVX2)
    if (WideBins()) {
        BinRuns runs{histogram};
        CountPictureWide(runs, pixels, rowBytes, width, height);
        runs.Flush();
        return;
    }
#endif
    AddPictureToHistogramNarrow(histogram, pixels, rowBytes, width, height);
}

void AddPictureToHistogramNarrow(uint32_t* histogram, const uint8_t* pixels, ptrdiff_t rowBytes,
                                 int width, int height) {
    BinRuns runs{histogram};
    CountPictureNarrow(runs, pixels, rowBytes, width, height);
    runs.Flush();
}
