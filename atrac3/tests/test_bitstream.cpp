// Sound units written and parsed back, and the bit allocation's budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "atrac3/bit_allocation.h"
#include "atrac3/bitstream.h"

namespace {

using namespace atrac3;

SoundUnit RandomUnit(std::mt19937& rng, bool constantLength) {
    SoundUnit u;
    u.constantLength = constantLength;
    u.codedUnits = 2 + static_cast<int>(rng() % 31);
    for (int q = 0; q < u.codedUnits; ++q) {
        const int s = static_cast<int>(rng() % kSelectors);
        u.selector[q] = static_cast<uint8_t>(s);
        if (s == 0) continue;
        u.scaleIndex[q] = static_cast<uint8_t>(rng() % kScaleFactors);
        const int m = kMaxMantissa[s];
        for (int i = kQuantUnitStart[q]; i < kQuantUnitStart[q + 1]; ++i) {
            u.mantissa[i] = static_cast<int8_t>(static_cast<int>(rng() % (2 * m + 1)) - m);
        }
    }
    if (rng() % 2) {
        // Clustered positions so that some blocks need several groups.
        u.tonalCount = 1 + static_cast<int>(rng() % kMaxTonalComponents);
        u.tonalSelector = 2 + static_cast<int>(rng() % 6);
        u.tonalValues = 1 + static_cast<int>(rng() % kMaxTonalValues);
        u.tonalConstantLength = rng() % 2;
        const int m = kMaxMantissa[u.tonalSelector];
        for (int i = 0; i < u.tonalCount; ++i) {
            TonalComponent& c = u.tonal[i];
            c.position = static_cast<uint16_t>(rng() % 2 ? rng() % 128
                                                         : rng() % (kFrameSamples - u.tonalValues));
            c.scaleIndex = static_cast<uint8_t>(rng() % kScaleFactors);
            for (int v = 0; v < u.tonalValues; ++v) {
                c.mantissa[v] = static_cast<int8_t>(static_cast<int>(rng() % (2 * m + 1)) - m);
            }
        }
        std::sort(u.tonal.begin(), u.tonal.begin() + u.tonalCount,
                  [](const TonalComponent& a, const TonalComponent& b) {
                      return a.position < b.position;
                  });
    }
    return u;
}

TEST(Bitstream, UnitsRoundTripWithTonalComponentsAndPredictTheirSize) {
    std::mt19937 rng(9);
    std::vector<uint8_t> buffer(2048);
    for (int trial = 0; trial < 200; ++trial) {
        const bool clc = trial % 2 == 1;
        const bool second = trial % 3 == 0;
        const SoundUnit u = RandomUnit(rng, clc);
        BitWriter w(buffer);
        WriteSoundUnit(w, u, second);
        ASSERT_FALSE(w.Overflowed());
        int active = 0;
        int bits = 0;
        for (int q = 0; q < u.codedUnits; ++q) {
            if (u.selector[q] == 0) continue;
            ++active;
            bits += MantissaBits(&u.mantissa[kQuantUnitStart[q]],
                                 kQuantUnitStart[q + 1] - kQuantUnitStart[q], u.selector[q], clc);
        }
        EXPECT_EQ(w.BitsWritten(),
                  static_cast<size_t>(HeaderBits(u.codedUnits, active, second, u.tonalCount > 0) +
                                      TonalBits(u) + bits));
        BitReader r(std::span<const uint8_t>(buffer).first(w.BytesWritten()));
        SoundUnit back;
        ASSERT_TRUE(ReadSoundUnit(r, back, second)) << trial;
        EXPECT_EQ(back.codedUnits, u.codedUnits);
        EXPECT_EQ(back.constantLength, u.constantLength);
        EXPECT_EQ(back.selector, u.selector);
        for (int q = 0; q < u.codedUnits; ++q) {
            if (u.selector[q] != 0) {
                EXPECT_EQ(back.scaleIndex[q], u.scaleIndex[q]);
            }
        }
        EXPECT_EQ(back.mantissa, u.mantissa);
        ASSERT_EQ(back.tonalCount, u.tonalCount);
        if (u.tonalCount > 0) {
            EXPECT_EQ(back.tonalSelector, u.tonalSelector);
            EXPECT_EQ(back.tonalValues, u.tonalValues);
            EXPECT_EQ(back.tonalConstantLength, u.tonalConstantLength);
        }
        for (int i = 0; i < u.tonalCount; ++i) {
            EXPECT_EQ(back.tonal[i].position, u.tonal[i].position);
            EXPECT_EQ(back.tonal[i].scaleIndex, u.tonal[i].scaleIndex);
            for (int v = 0; v < u.tonalValues; ++v)
                EXPECT_EQ(back.tonal[i].mantissa[v], u.tonal[i].mantissa[v]);
        }
    }
}

TEST(Bitstream, WriterRefusesToRunPastItsSpan) {
    std::vector<uint8_t> buffer(3, 0);
    std::vector<uint8_t> guard(4, 0x5A);
    BitWriter w(buffer);
    w.Put(0xFFFF, 16);
    w.Put(0x1FF, 9);
    EXPECT_TRUE(w.Overflowed());
    EXPECT_EQ(w.BitsWritten(), 16u);
    EXPECT_EQ(buffer[2], 0);
}

// The decoder derives the bands to synthesise from where the last coded unit
// starts; a last unit opening a band would be dropped.
TEST(Bitstream, LastCodedUnitNeverStartsABand) {
    for (int last = -1; last < kQuantUnits; ++last) {
        const int units = CodedUnitsFor(last);
        EXPECT_GT(units, last);
        const int decodedBands = (kQuantUnitStart[units - 1] - 1) >> 8;
        if (last >= 0) {
            EXPECT_GE(decodedBands, kQuantUnitStart[last] / kBandSamples) << last;
        }
    }
}

TEST(BitAllocation, FitsTheBudgetAndSpendsItOnLoudSpectra) {
    std::mt19937 rng(4);
    std::normal_distribution<float> d(0.0f, 1.0f);
    std::vector<uint8_t> buffer(512);
    for (int budgetBytes : {17, 34, 48, 96}) {
        std::vector<float> spectrum(kFrameSamples);
        // Falling spectrum with a wide dynamic range.
        for (int i = 0; i < kFrameSamples; ++i) spectrum[i] = d(rng) * 3000.0f / (1.0f + i / 16.0f);
        SoundUnit unit;
        const UnitRequest req{spectrum.data(), false, &unit};
        AllocateBits({&req, 1}, budgetBytes * 8);
        BitWriter w(std::span<uint8_t>(buffer).first(budgetBytes));
        WriteSoundUnit(w, unit, false);
        EXPECT_FALSE(w.Overflowed()) << budgetBytes;
        // A dense spectrum leaves less than one unit's worth unspent.
        EXPECT_GT(w.BitsWritten(), static_cast<size_t>(budgetBytes * 8 - 64)) << budgetBytes;
    }
    std::vector<float> silence(kFrameSamples, 0.0f);
    SoundUnit unit;
    const UnitRequest req{silence.data(), false, &unit};
    AllocateBits({&req, 1}, 96 * 8);
    for (int q = 0; q < kQuantUnits; ++q) EXPECT_EQ(unit.selector[q], 0) << q;
}

TEST(BitAllocation, QuantiserClampsToTheWordLength) {
    const float lines[4] = {1e6f, -1e6f, 0.0f, 3.0f};
    int8_t m[4];
    for (int s = 1; s < kSelectors; ++s) {
        QuantiseLines(lines, 4, s, 40, m);
        EXPECT_EQ(m[0], kMaxMantissa[s]);
        EXPECT_EQ(m[1], -kMaxMantissa[s]);
        EXPECT_EQ(m[2], 0);
    }
}

}  // namespace
