#include "atrac3/sound_unit.h"

#include <algorithm>
#include <cstdlib>

namespace atrac3 {

namespace {

constexpr int kSyncBits = 6;
constexpr int kStereoSecondPreamble = 2 + 1 + 3 + 4 * 2;  // sync, weighting, matrixing
constexpr int kBandsCodedBits = 2;
constexpr int kGainCountBits = 3;  // per coded band
constexpr int kTonalCountBits = 5;
constexpr int kUnitCountBits = 5;
constexpr int kCodingModeBits = 1;
constexpr int kSelectorBits = 3;
constexpr int kScaleIndexBits = 6;

}  // namespace

int CodedBands(int codedUnits) { return (kQuantUnitStart[codedUnits] - 1) / kBandSamples; }

int CodedUnitsFor(int lastActive) {
    int units = std::max(lastActive + 1, 2);
    if (units < kQuantUnits && kQuantUnitStart[units - 1] % kBandSamples == 0) ++units;
    return units;
}

int HeaderBits(int codedUnits, int active, bool stereoSecond) {
    return (stereoSecond ? kStereoSecondPreamble : kSyncBits) + kBandsCodedBits +
           kGainCountBits * (CodedBands(codedUnits) + 1) + kTonalCountBits + kUnitCountBits +
           kCodingModeBits + kSelectorBits * codedUnits + kScaleIndexBits * active;
}

int MantissaBits(const int8_t* m, int count, int selector, bool constantLength) {
    if (selector == 0) return 0;
    if (constantLength) return selector == 1 ? kClcBits[1] * count / 2 : kClcBits[selector] * count;
    int bits = 0;
    auto symbol = [](int v) { return v > 0 ? 2 * v - 1 : -2 * v; };
    switch (selector) {
        case 1:
            for (int i = 0; i < count; i += 2) bits += kHuffPairs[kPairSymbol[m[i] + 1][m[i + 1] + 1]].bits;
            break;
        case 2: for (int i = 0; i < count; ++i) bits += kHuff2[symbol(m[i])].bits; break;
        case 3: for (int i = 0; i < count; ++i) bits += kHuff3[symbol(m[i])].bits; break;
        case 4: for (int i = 0; i < count; ++i) bits += kHuff4[symbol(m[i])].bits; break;
        case 5: for (int i = 0; i < count; ++i) bits += kHuff5[symbol(m[i])].bits; break;
        case 6: for (int i = 0; i < count; ++i) bits += kHuff6[symbol(m[i])].bits; break;
        default: for (int i = 0; i < count; ++i) bits += kHuff7[symbol(m[i])].bits; break;
    }
    return bits;
}

}  // namespace atrac3
