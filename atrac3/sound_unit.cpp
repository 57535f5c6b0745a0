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

int CodedBands(int codedUnits) {
    return (kQuantUnitStart[codedUnits] - 1) / kBandSamples;
}

int CodedUnitsFor(int lastActive) {
    int units = std::max(lastActive + 1, 2);
    if (units < kQuantUnits && kQuantUnitStart[units - 1] % kBandSamples == 0) ++units;
    return units;
}

int HeaderBits(int codedUnits, int active, bool stereoSecond, bool allBands) {
    const int bands = allBands ? kBands - 1 : CodedBands(codedUnits);
    return (stereoSecond ? kStereoSecondPreamble : kSyncBits) + kBandsCodedBits +
           kGainCountBits * (bands + 1) + kTonalCountBits + kUnitCountBits + kCodingModeBits +
           kSelectorBits * codedUnits + kScaleIndexBits * active;
}

namespace {

// Huffman code lengths by mantissa value (index v + 31) for selectors 2..7,
// and by pair for selector 1, gathered once from the code tables.
struct LengthTables {
    std::array<std::array<uint8_t, 63>, kSelectors> single{};
    std::array<std::array<uint8_t, 3>, 3> pair{};

    LengthTables() {
        auto fill = [this](int selector, const auto& table) {
            const int m = kMaxMantissa[selector];
            for (int v = -m; v <= m; ++v)
                single[selector][v + 31] = table[v > 0 ? 2 * v - 1 : -2 * v].bits;
        };
        fill(2, kHuff2);
        fill(3, kHuff3);
        fill(4, kHuff4);
        fill(5, kHuff5);
        fill(6, kHuff6);
        fill(7, kHuff7);
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) pair[a][b] = kHuffPairs[kPairSymbol[a][b]].bits;
        }
    }
};

const LengthTables& Lengths() {
    static const LengthTables tables;
    return tables;
}

}  // namespace

int SignalledBands(const SoundUnit& unit) {
    return unit.tonalCount > 0 ? kBands - 1 : CodedBands(unit.codedUnits);
}

int TonalBits(const SoundUnit& unit) {
    if (unit.tonalCount == 0) return 0;
    constexpr int kBlocks = kFrameSamples / kTonalBlock;
    int perBlock[kBlocks] = {};
    for (int i = 0; i < unit.tonalCount; ++i) ++perBlock[unit.tonal[i].position / kTonalBlock];
    int groups = 0;
    for (int n : perBlock) groups = std::max(groups, (n + 6) / 7);
    constexpr int kModeBits = 2;
    constexpr int kGroupBits = kBands + 3 + 3;  // band flags, value count, word length
    int bits = kModeBits + groups * kGroupBits;
    // Every group lists a 3-bit count for each block of each flagged band.
    constexpr int kBlocksPerBand = kBandSamples / kTonalBlock;
    for (int g = 0; g < groups; ++g) {
        for (int band = 0; band < kBands; ++band) {
            bool flagged = false;
            for (int b = band * kBlocksPerBand; b < (band + 1) * kBlocksPerBand; ++b) {
                flagged = flagged || perBlock[b] > 7 * g;
            }
            if (flagged) bits += 3 * kBlocksPerBand;
        }
    }
    for (int i = 0; i < unit.tonalCount; ++i) {
        bits += 6 + 6 +
                MantissaBits(unit.tonal[i].mantissa.data(), unit.tonalValues, unit.tonalSelector,
                             unit.tonalConstantLength);
    }
    return bits;
}

int MantissaBits(const int8_t* m, int count, int selector, bool constantLength) {
    if (selector == 0) return 0;
    if (constantLength) return selector == 1 ? kClcBits[1] * count / 2 : kClcBits[selector] * count;
    const LengthTables& t = Lengths();
    int bits = 0;
    if (selector == 1) {
        for (int i = 0; i < count; i += 2) bits += t.pair[m[i] + 1][m[i + 1] + 1];
        return bits;
    }
    const uint8_t* len = t.single[selector].data() + 31;
    for (int i = 0; i < count; ++i) bits += len[m[i]];
    return bits;
}

}  // namespace atrac3
