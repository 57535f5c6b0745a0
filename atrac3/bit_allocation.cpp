#include "atrac3/bit_allocation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "atrac3/tonal_components.h"

namespace atrac3 {

namespace {

constexpr int kMaxUnits = 2;
constexpr int kScaleTries = 2;  // scale factors tried: the one covering the peak, and one below
// Tonal components may take up to 1/4, or in the second try 1/2, of the bits.
constexpr int kTonalCaps = 2;
constexpr int kTonalCapDivisor[kTonalCaps] = {4, 2};

// Rounding offsets tried per word length: plain rounding, and one that
// rounds small values to zero more often, which Huffman codes reward.
constexpr int kRoundings = 2;
constexpr float kRounding[kRoundings] = {0.5f, 0.3f};

struct Choice {
    float error = 0.0f;
    int bits[2] = {0, 0};  // mantissa bits: [0] Huffman, [1] constant length
    uint8_t selector = 0;
    uint8_t scaleIndex = 0;
    uint8_t rounding = 0;  // index into kRounding
};

// Every option of one quantisation unit; index 0 is "not coded".
constexpr int kOptions = 1 + (kSelectors - 1) * kRoundings;
using Options = std::array<Choice, kOptions>;

struct UnitState {
    std::array<Options, kQuantUnits> options;
    bool stereoSecond = false;
    bool constantLength = false;
    bool allBands = false;  // tonal components present
    int tonalBits = 0;      // fixed cost of the tonal section
    int lastActive = -1;
    int active = 0;
    std::array<uint8_t, kQuantUnits> choice{};  // index into options
};

int PeakScaleIndex(float peak) {
    const auto& sf = ScaleFactors();
    if (peak <= sf[0]) return 0;
    int j = static_cast<int>(std::ceil(3.0f * std::log2(peak) + 15.0f));
    j = std::clamp(j, 0, kScaleFactors - 1);
    while (j > 0 && sf[j - 1] >= peak) --j;
    while (j < kScaleFactors - 1 && sf[j] < peak) ++j;
    return j;
}

void BuildUnitOptions(const float* lines, int count, Options& opt) {
    int8_t scratch[128];
    float energy = 0.0f;
    float peak = 0.0f;
    for (int i = 0; i < count; ++i) {
        energy += lines[i] * lines[i];
        peak = std::max(peak, std::fabs(lines[i]));
    }
    opt[0] = Choice{energy, {0, 0}, 0, 0, 0};
    if (energy == 0.0f) {
        // Nothing to gain: mark every option as useless.
        for (int o = 1; o < kOptions; ++o) opt[o] = Choice{0.0f, {1 << 20, 1 << 20}, 1, 0, 0};
        return;
    }
    const int top = PeakScaleIndex(peak);
    int o = 1;
    for (int s = 1; s < kSelectors; ++s) {
        for (int r = 0; r < kRoundings; ++r, ++o) {
            Choice best{std::numeric_limits<float>::max(),
                        {0, 0},
                        static_cast<uint8_t>(s),
                        0,
                        static_cast<uint8_t>(r)};
            for (int t = 0; t < kScaleTries; ++t) {
                const int j = top - t;
                if (j < 0) break;
                const float err = QuantiseLines(lines, count, s, j, scratch, kRounding[r]);
                if (err < best.error) {
                    best.error = err;
                    best.scaleIndex = static_cast<uint8_t>(j);
                    best.bits[0] = MantissaBits(scratch, count, s, false);
                    best.bits[1] = MantissaBits(scratch, count, s, true);
                }
            }
            opt[o] = best;
        }
    }
}

void BuildOptions(const float* spectrum, Options* options) {
    for (int q = 0; q < kQuantUnits; ++q) {
        const int first = kQuantUnitStart[q];
        BuildUnitOptions(spectrum + first, kQuantUnitStart[q + 1] - first, options[q]);
    }
}

int UnitHeader(const UnitState& u, int lastActive, int active) {
    return HeaderBits(CodedUnitsFor(lastActive), active, u.stereoSecond, u.allBands) + u.tonalBits;
}

int UnitBits(const UnitState& u) {
    int bits = UnitHeader(u, u.lastActive, u.active);
    for (int q = 0; q <= u.lastActive; ++q) {
        bits += u.options[q][u.choice[q]].bits[u.constantLength ? 1 : 0];
    }
    return bits;
}

// Greedy fill: repeatedly take the upgrade with the best error drop per bit
// that still fits. Returns the total remaining error.
float Fill(UnitState* units, int count, int budget) {
    for (int r = 0; r < count; ++r) {
        units[r].choice.fill(0);
        units[r].lastActive = -1;
        units[r].active = 0;
    }
    int used = 0;
    for (int r = 0; r < count; ++r) used += UnitBits(units[r]);

    struct Best {
        double ratio = -1.0;
        int option = 0;
        int bits = 0;
    };
    // Cached best upgrade per quantisation unit; recomputed when stale.
    Best cache[kMaxUnits][kQuantUnits];
    bool stale[kMaxUnits][kQuantUnits];
    for (auto& row : stale) std::fill(std::begin(row), std::end(row), true);

    auto evaluate = [&](int r, int q, int room) {
        const UnitState& u = units[r];
        const int mode = u.constantLength ? 1 : 0;
        const int cur = u.choice[q];
        const Choice& now = u.options[q][cur];
        int extra = 0;
        if (cur == 0) {
            const int last = std::max(u.lastActive, q);
            extra = UnitHeader(u, last, u.active + 1) - UnitHeader(u, u.lastActive, u.active);
        }
        Best best;
        // Any option with less error is a candidate, not only longer words:
        // a rounding that zeroes more lines may be the cheaper step.
        for (int o = 1; o < kOptions; ++o) {
            const Choice& c = u.options[q][o];
            const float gain = now.error - c.error;
            if (gain <= 0.0f) continue;
            const int bits = c.bits[mode] - now.bits[mode] + extra;
            if (bits > room) continue;
            const double ratio = bits <= 0 ? std::numeric_limits<double>::max() : gain / bits;
            if (ratio > best.ratio) best = Best{ratio, o, bits};
        }
        return best;
    };

    for (;;) {
        const int room = budget - used;
        int bestR = -1;
        int bestQ = -1;
        for (int r = 0; r < count; ++r) {
            for (int q = 0; q < kQuantUnits; ++q) {
                if (stale[r][q] || cache[r][q].bits > room) {
                    cache[r][q] = evaluate(r, q, room);
                    stale[r][q] = false;
                }
                if (cache[r][q].ratio < 0.0) continue;
                if (bestR < 0 || cache[r][q].ratio > cache[bestR][bestQ].ratio) {
                    bestR = r;
                    bestQ = q;
                }
            }
        }
        if (bestR < 0) break;
        UnitState& u = units[bestR];
        const Best& b = cache[bestR][bestQ];
        if (u.choice[bestQ] == 0) {
            ++u.active;
            if (bestQ > u.lastActive) {
                // Header cost of activating other units depends on the last one.
                u.lastActive = bestQ;
                for (int q = 0; q < kQuantUnits; ++q) stale[bestR][q] = true;
            }
        }
        u.choice[bestQ] = static_cast<uint8_t>(b.option);
        used += b.bits;
        stale[bestR][bestQ] = true;
    }
    assert(used <= budget);
    float error = 0.0f;
    for (int r = 0; r < count; ++r) {
        for (int q = 0; q < kQuantUnits; ++q) {
            error += units[r].options[q][units[r].choice[q]].error;
        }
    }
    return error;
}

// Bits the unit's current choice would take in the other mantissa coding.
bool OtherModeCheaper(const UnitState& u) {
    int mine = 0;
    int other = 0;
    const int m = u.constantLength ? 1 : 0;
    for (int q = 0; q <= u.lastActive; ++q) {
        mine += u.options[q][u.choice[q]].bits[m];
        other += u.options[q][u.choice[q]].bits[1 - m];
    }
    return other < mine;
}

struct Variant {
    UnitState units[kMaxUnits];
    SoundUnit tonal[kMaxUnits];  // only the tonal fields are used
    std::array<float, kFrameSamples> residual[kMaxUnits];
    float error = 0.0f;
};

// Huffman coding everywhere first, then a retry with the units whose chosen
// allocation would be cheaper in constant-length codes switched over.
float FillBothModes(Variant& v, int count, int budget) {
    float error = Fill(v.units, count, budget);
    UnitState keep[kMaxUnits];
    std::copy(v.units, v.units + count, keep);
    bool any = false;
    for (int r = 0; r < count; ++r) {
        if (OtherModeCheaper(v.units[r])) {
            v.units[r].constantLength = true;
            any = true;
        }
    }
    if (!any) return error;
    const float retry = Fill(v.units, count, budget);
    if (retry < error) return retry;
    std::copy(keep, keep + count, v.units);
    return error;
}

}  // namespace

float QuantiseLines(const float* lines, int count, int selector, int scaleIndex, int8_t* m,
                    float rounding) {
    const float step = ScaleFactors()[scaleIndex] / kStepDivisor[selector];
    const float inv = 1.0f / step;
    const float limit = kMaxMantissa[selector];
    // Quantisation units are multiples of 8 lines; eight partial sums let the
    // compiler keep the lanes independent.
    constexpr int kLanes = 8;
    float err[kLanes] = {};
    for (int i = 0; i < count; ++i) {
        const float x = lines[i];
        float v = x * inv;
        v = v > limit ? limit : (v < -limit ? -limit : v);
        const int q = static_cast<int>(v + (v >= 0.0f ? rounding : -rounding));
        m[i] = static_cast<int8_t>(q);
        const float d = x - static_cast<float>(q) * step;
        err[i % kLanes] += d * d;
    }
    float total = 0.0f;
    for (float e : err) total += e;
    return total;
}

void AllocateBits(std::span<const UnitRequest> requests, int budgetBits) {
    assert(!requests.empty() && requests.size() <= kMaxUnits);
    const int count = static_cast<int>(requests.size());

    // Plain variant: the whole spectrum in quantisation units.
    Variant plain;
    for (int r = 0; r < count; ++r) {
        BuildOptions(requests[r].spectrum, plain.units[r].options.data());
        plain.units[r].stereoSecond = requests[r].stereoSecond;
        std::copy_n(requests[r].spectrum, kFrameSamples, plain.residual[r].begin());
    }
    plain.error = FillBothModes(plain, count, budgetBits);

    // Tonal variants: strong peaks coded apart, the rest re-evaluated only
    // where a peak was taken out. Two caps on their share of the bits, as
    // neither wins on every signal; the least remaining error decides.
    Variant tonal[kTonalCaps];
    const Variant* best = &plain;
    for (int v = 0; v < kTonalCaps; ++v) {
        Variant& t = tonal[v];
        t = plain;
        bool anyTonal = false;
        for (int r = 0; r < count; ++r) {
            uint32_t touched = 0;
            ExtractTonal(requests[r].spectrum, t.residual[r].data(), t.tonal[r],
                         budgetBits / (kTonalCapDivisor[v] * count), touched);
            UnitState& u = t.units[r];
            u.constantLength = false;
            if (t.tonal[r].tonalCount == 0) continue;
            anyTonal = true;
            u.allBands = true;
            u.tonalBits = TonalBits(t.tonal[r]);
            for (int q = 0; q < kQuantUnits; ++q) {
                if (touched & (1u << q)) {
                    const int first = kQuantUnitStart[q];
                    BuildUnitOptions(t.residual[r].data() + first, kQuantUnitStart[q + 1] - first,
                                     u.options[q]);
                }
            }
        }
        if (!anyTonal) break;  // a larger cap finds no more peaks either
        t.error = FillBothModes(t, count, budgetBits);
        if (t.error < best->error) best = &t;
    }

    for (int r = 0; r < count; ++r) {
        const UnitState& u = best->units[r];
        SoundUnit& out = *requests[r].result;
        out = best->tonal[r];
        out.codedUnits = CodedUnitsFor(u.lastActive);
        out.constantLength = u.constantLength;
        for (int q = 0; q < out.codedUnits; ++q) {
            const Choice& c = u.options[q][u.choice[q]];
            out.selector[q] = c.selector;
            if (c.selector == 0) continue;
            out.scaleIndex[q] = c.scaleIndex;
            const int first = kQuantUnitStart[q];
            QuantiseLines(best->residual[r].data() + first, kQuantUnitStart[q + 1] - first,
                          c.selector, c.scaleIndex, &out.mantissa[first], kRounding[c.rounding]);
        }
    }
}

}  // namespace atrac3
