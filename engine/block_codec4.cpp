#include "engine/block_codec4.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

enum : uint8_t { kSkip, kFlat, kTwoLevel, kRaw };

// A skip cost that loses every comparison; real costs stay below 16 x 15.
constexpr int kImpossible = 1 << 20;
// Blocks this far off at best, away from the frame's edges, are worth their
// nine bytes.
constexpr int kRawMinCost = 18;
constexpr int kRawMinEdgeFactor = 6;

// Positions in the sorted block tried as the two levels, in order of
// preference: (0, 15), (2, 12), (5, 10), (1, 10), (5, 14), as indexes into
// kSortedPositions.
constexpr std::array<int, 8> kSortedPositions = {0, 1, 2, 5, 10, 12, 14, 15};
constexpr std::array<std::array<uint8_t, 2>, 5> kLevelPairs = {{
    {0, 7},
    {2, 5},
    {3, 4},
    {1, 4},
    {3, 6},
}};
static_assert(kSortedPositions[kLevelPairs[1][0]] == 2 &&
              kSortedPositions[kLevelPairs[1][1]] == 12);
static_assert(kSortedPositions[kLevelPairs[3][0]] == 1 &&
              kSortedPositions[kLevelPairs[4][1]] == 14);

int EdgeFactor(int index, int count) {
    const int half = count / 2;
    // A frame one block across has no edge to fade towards.
    if (half == 0) return 16;
    return 16 - 16 * std::abs(index - half) / half;
}

void ReadBlock(const uint8_t* topLeft, int rowBytes, std::array<uint8_t, 16>& levels) {
    for (int r = 0; r < 4; ++r) {
        const uint8_t* p = topLeft + r * rowBytes;
        levels[r * 4 + 0] = p[0] >> 4;
        levels[r * 4 + 1] = p[0] & 0x0F;
        levels[r * 4 + 2] = p[1] >> 4;
        levels[r * 4 + 3] = p[1] & 0x0F;
    }
}

bool SameBlock(const uint8_t* a, const uint8_t* b, int rowBytes) {
    for (int r = 0; r < 4; ++r, a += rowBytes, b += rowBytes) {
        if (a[0] != b[0] || a[1] != b[1]) return false;
    }
    return true;
}

void WriteBlock(uint8_t* topLeft, int rowBytes, const std::array<uint8_t, 16>& levels) {
    for (int r = 0; r < 4; ++r) {
        uint8_t* p = topLeft + r * rowBytes;
        p[0] = static_cast<uint8_t>(levels[r * 4 + 0] << 4 | levels[r * 4 + 1]);
        p[1] = static_cast<uint8_t>(levels[r * 4 + 2] << 4 | levels[r * 4 + 3]);
    }
}

struct TwoLevel {
    int cost;
    uint32_t triple;  // mask high, mask low, colours
};

TwoLevel BestTwoLevel(const std::array<uint8_t, 16>& cur) {
    // Counts and sums of the levels below each level: every cost below is
    // then a handful of differences instead of a pass over the pixels.
    // Two interleaved counts keep runs of equal levels from queueing on
    // one counter.
    std::array<int, 16> even{}, odd{}, histogram;
    for (int k = 0; k < 16; k += 2) {
        ++even[cur[k]];
        ++odd[cur[k + 1]];
    }
    for (int v = 0; v < 16; ++v) histogram[v] = even[v] + odd[v];
    std::array<int, 17> below{};     // pixels under level v
    std::array<int, 17> belowSum{};  // and the sum of their levels
    for (int v = 0; v < 16; ++v) {
        below[v + 1] = below[v] + histogram[v];
        belowSum[v + 1] = belowSum[v] + v * histogram[v];
    }
    // The sorted block's value at position i is the number of levels v with
    // at most i pixels at or below v; counted without branches, and only for
    // the positions the pairs use.
    std::array<int, kSortedPositions.size()> sorted{};
    for (int v = 0; v < 16; ++v) {
        for (size_t j = 0; j < kSortedPositions.size(); ++j) {
            sorted[j] += below[v + 1] <= kSortedPositions[j];
        }
    }
    // Sum of |p - c| over the pixels with levels in [lo, hi), for c outside
    // or at the edge of that range.
    auto spread = [&](int lo, int hi, int c) {
        const int n = below[hi] - below[lo];
        const int sum = belowSum[hi] - belowSum[lo];
        return c <= lo ? sum - c * n : c * n - sum;
    };

    int bestCost = kImpossible;
    int a = 0, b = 0, threshold = 0;
    for (const auto& pair : kLevelPairs) {
        const int lo = sorted[pair[0]];
        const int hi = sorted[pair[1]];
        const int t = (lo + hi + 1) / 2;  // lo <= t <= hi
        const int cost =
            spread(0, lo, lo) + spread(lo, t, lo) + spread(t, hi, hi) + spread(hi, 16, hi);
        if (cost < bestCost) {
            bestCost = cost;
            a = lo;
            b = hi;
            threshold = t;
        }
    }
    unsigned mask = 0;
    for (int k = 0; k < 16; ++k) {
        mask |= static_cast<unsigned>(cur[k] >= threshold) << (15 - k);
    }
    // Keep the top bit clear so that the code's first byte stays below the
    // flat and skip codes; cleared bits always take the high nibble.
    unsigned colours = static_cast<unsigned>(a * 16 + b);
    if (mask & 0x8000u) {
        mask = ~mask & 0xFFFFu;
        colours = static_cast<unsigned>(b * 16 + a);
    }
    return {bestCost, mask << 8 | colours};
}

void ShowTwoLevel(uint32_t triple, std::array<uint8_t, 16>& levels) {
    const unsigned mask = triple >> 8;
    const uint8_t clear = (triple >> 4) & 0x0F;
    const uint8_t set = triple & 0x0F;
    for (int k = 0; k < 16; ++k) levels[k] = (mask & (0x8000u >> k)) ? set : clear;
}

int16_t AgeAfterSkip(int16_t age, int32_t duration) {
    const int64_t next = static_cast<int64_t>(age) - duration;
    return static_cast<int16_t>(std::clamp<int64_t>(next, std::numeric_limits<int16_t>::min(),
                                                    std::numeric_limits<int16_t>::max()));
}

}  // namespace

int16_t BlockAgeRandom::NextAge() {
    // splitmix64: tiny, fast and good enough to scatter refreshes.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    constexpr uint64_t kSpan = kBlock4MaxAge - kBlock4MinAge + 1;
    // Scaling the top 32 bits spares a division.
    return static_cast<int16_t>(kBlock4MinAge + ((z >> 32) * kSpan >> 32));
}

size_t BlockCodec4::MaxEncodedSize(int width, int height, bool allowRaw) {
    const size_t blocks = static_cast<size_t>(width / 4) * (height / 4);
    // A two-level block takes 3 bytes, and the one that defines the common
    // code one more.
    return blocks * (allowRaw ? 9 : 3) + 1;
}

OSStatus BlockCodec4::Prepare(int width, int height) {
    if (width < 0 || height < 0) return kStatusParamError;
    const size_t blocks = static_cast<size_t>((width + 3) / 4) * ((height + 3) / 4);
    try {
        m_ages.assign(blocks, 0);
        m_codes.resize(blocks);
        // At most half full, so that probes stay short.
        size_t slots = 16;
        while (slots < 2 * blocks) slots *= 2;
        m_counts.assign(slots, CountSlot{});
        m_stamp = 0;
        m_out.reserve(MaxEncodedSize(width, height, true));
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    m_width = width;
    m_height = height;
    return noErr;
}

OSStatus BlockCodec4::Encode(const Block4Request& request, BlockAgeRandom& random) {
    if (request.width != m_width || request.height != m_height) return kStatusParamError;
    const size_t frameBytes = static_cast<size_t>(m_width / 2) * m_height;
    if (request.frame.size() < frameBytes || request.shown.size() < frameBytes) {
        return kStatusParamError;
    }
    try {
        const bool mayOverflow =
            request.allowRaw && MaxEncodedSize(m_width, m_height, true) > request.maxBytes;
        const BlockAgeRandom savedRandom = random;
        if (mayOverflow) {
            m_savedAges = m_ages;
            m_savedShown.assign(request.shown.begin(), request.shown.begin() + frameBytes);
        }
        CodeBlocks(request, request.allowRaw, random);
        Emit(request);
        if (mayOverflow && m_out.size() > request.maxBytes) {
            // Two-level codes take a third of the room of raw blocks.
            m_ages = m_savedAges;
            std::copy(m_savedShown.begin(), m_savedShown.end(), request.shown.begin());
            random = savedRandom;
            CodeBlocks(request, false, random);
            Emit(request);
        }
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return noErr;
}

void BlockCodec4::CodeBlocks(const Block4Request& request, bool allowRaw, BlockAgeRandom& random) {
    const int rowBytes = m_width / 2;
    const int bw = m_width / 4;
    const int bh = m_height / 4;
    m_difference = false;
    std::array<uint8_t, 16> cur;
    std::array<uint8_t, 16> prev;
    for (int by = 0; by < bh; ++by) {
        const int fy = EdgeFactor(by, bh);
        for (int bx = 0; bx < bw; ++bx) {
            const size_t offset = static_cast<size_t>(by) * 4 * rowBytes + bx * 2;
            const size_t index = static_cast<size_t>(by) * bw + bx;
            int16_t& age = m_ages[index];
            // An unchanged block costs nothing to skip, and nothing can cost
            // less, so neither the refresh nor a raw block can overrule it.
            if (request.canSkip &&
                SameBlock(request.frame.data() + offset, request.shown.data() + offset, rowBytes)) {
                m_codes[index].kind = kSkip;
                m_difference = true;
                if (age < 1) age = 0;
                age = AgeAfterSkip(age, request.duration);
                continue;
            }
            ReadBlock(request.frame.data() + offset, rowBytes, cur);

            bool canSkip = request.canSkip;
            int skipCost = kImpossible;
            if (canSkip) {
                ReadBlock(request.shown.data() + offset, rowBytes, prev);
                skipCost = 0;
                for (int k = 0; k < 16; ++k) skipCost += std::abs(cur[k] - prev[k]);
            }
            int sum = 0;
            for (uint8_t v : cur) sum += v;
            const int mean = (sum + 8) / 16;
            int flatCost = 0;
            for (uint8_t v : cur) flatCost += std::abs(v - mean);
            const TwoLevel two = BestTwoLevel(cur);

            if (canSkip && age < 1) {
                if (flatCost < skipCost || two.cost < skipCost) {
                    canSkip = false;
                    skipCost = kImpossible;
                }
                age = 0;
            }

            const int f = std::min(EdgeFactor(bx, bw), fy);
            const int least = std::min({skipCost, flatCost, two.cost});
            Code& code = m_codes[index];
            if (allowRaw && least >= kRawMinCost && f >= kRawMinEdgeFactor) {
                code.kind = kRaw;
                prev = cur;
            } else if (10 * skipCost <= 15 * flatCost && 10 * skipCost <= 20 * two.cost) {
                code.kind = kSkip;
            } else if (15 * flatCost <= 20 * two.cost) {
                code.kind = kFlat;
                code.level = static_cast<uint8_t>(mean);
                prev.fill(static_cast<uint8_t>(mean));
            } else {
                code.kind = kTwoLevel;
                code.triple = two.triple;
                ShowTwoLevel(two.triple, prev);
            }

            if (code.kind == kSkip) {
                m_difference = true;
                age = AgeAfterSkip(age, request.duration);
            } else {
                age = random.NextAge();
                WriteBlock(request.shown.data() + offset, rowBytes, prev);
            }
        }
    }
}

void BlockCodec4::Emit(const Block4Request& request) {
    const int rowBytes = m_width / 2;
    const int bw = m_width / 4;
    const size_t blocks = static_cast<size_t>(bw) * (m_height / 4);

    // The most frequent two-level code, first in block order among equals,
    // counted in an open-addressed table that a new stamp empties.
    if (++m_stamp == 0) {
        std::fill(m_counts.begin(), m_counts.end(), CountSlot{});
        m_stamp = 1;
    }
    const size_t slotMask = m_counts.size() - 1;
    auto slotOf = [&](uint32_t triple) -> CountSlot& {
        size_t at = (triple * 0x9E3779B1u >> 8) & slotMask;
        while (m_counts[at].stamp == m_stamp && m_counts[at].triple != triple) {
            at = (at + 1) & slotMask;
        }
        return m_counts[at];
    };
    uint32_t bestCount = 0;
    for (size_t i = 0; i < blocks; ++i) {
        if (m_codes[i].kind != kTwoLevel) continue;
        CountSlot& slot = slotOf(m_codes[i].triple);
        if (slot.stamp != m_stamp) slot = {m_codes[i].triple, 0, m_stamp};
        bestCount = std::max(bestCount, ++slot.count);
    }
    bool haveCommon = false;
    uint32_t common = 0;
    if (bestCount > 3) {
        for (size_t i = 0; i < blocks && !haveCommon; ++i) {
            if (m_codes[i].kind == kTwoLevel && slotOf(m_codes[i].triple).count == bestCount) {
                common = m_codes[i].triple;
                haveCommon = true;
            }
        }
    }

    m_out.clear();
    bool commonDefined = false;
    for (size_t i = 0; i < blocks;) {
        const Code& code = m_codes[i];
        size_t run = 1;
        switch (code.kind) {
            case kSkip:
                while (i + run < blocks && run < kBlock4MaxSkipRun &&
                       m_codes[i + run].kind == kSkip) {
                    ++run;
                }
                m_out.push_back(static_cast<uint8_t>(kBlock4SkipCode + run - 1));
                break;
            case kFlat:
                while (i + run < blocks && run < kBlock4MaxFlatRun &&
                       m_codes[i + run].kind == kFlat && m_codes[i + run].level == code.level) {
                    ++run;
                }
                m_out.push_back(
                    static_cast<uint8_t>(kBlock4FlatCode + 16 * (run - 1) + code.level));
                break;
            case kTwoLevel:
                if (haveCommon && code.triple == common) {
                    if (commonDefined) {
                        m_out.push_back(kBlock4CommonUse);
                        break;
                    }
                    m_out.push_back(kBlock4CommonDefine);
                    commonDefined = true;
                }
                m_out.push_back(static_cast<uint8_t>(code.triple >> 16));
                m_out.push_back(static_cast<uint8_t>(code.triple >> 8));
                m_out.push_back(static_cast<uint8_t>(code.triple));
                break;
            case kRaw: {
                m_out.push_back(kBlock4RawCode);
                const size_t by = i / bw;
                const size_t bx = i % bw;
                const uint8_t* p = request.frame.data() + by * 4 * rowBytes + bx * 2;
                for (int r = 0; r < 4; ++r) {
                    m_out.push_back(p[r * rowBytes]);
                    m_out.push_back(p[r * rowBytes + 1]);
                }
                break;
            }
        }
        i += run;
    }
}
