#pragma once
// The coded content of one sound unit: which quantisation units are coded,
// with what word length (selector) and scale factor, and their mantissas;
// optionally tonal components, short runs of lines coded apart from the
// spectrum and added to it. Gain control is always signalled absent.
#include <array>
#include <cstdint>

#include "atrac3/atrac3_tables.h"

namespace atrac3 {

inline constexpr int kMaxTonalComponents = 64;
inline constexpr int kMaxTonalValues = 8;
inline constexpr int kTonalBlock = 64;  // lines per tonal position block

struct TonalComponent {
    uint16_t position = 0;  // first line
    uint8_t scaleIndex = 0;
    std::array<int8_t, kMaxTonalValues> mantissa{};
};

struct SoundUnit {
    int codedUnits = 2;           // quantisation units in the bitstream (2..32)
    bool constantLength = false;  // mantissas in fixed-width codes instead of Huffman codes
    std::array<uint8_t, kQuantUnits> selector{};
    std::array<uint8_t, kQuantUnits> scaleIndex{};
    std::array<int8_t, kFrameSamples> mantissa{};

    // Tonal components, sorted by position; all share one word length and
    // one value count. With any present every band is signalled coded.
    int tonalCount = 0;
    int tonalSelector = 5;  // 2..7
    int tonalValues = 4;    // lines per component, 1..8
    bool tonalConstantLength = false;
    std::array<TonalComponent, kMaxTonalComponents> tonal{};
};

// Bands (minus one) the unit's header signals: those of the coded units, or
// all of them when tonal components are present.
int SignalledBands(const SoundUnit& unit);

// Bits of the tonal section beyond its 5-bit count (0 without components).
// Components are split into groups of at most 7 per 64-line block.
int TonalBits(const SoundUnit& unit);

// QMF bands (minus one) that carry coded lines when `codedUnits` units are coded.
int CodedBands(int codedUnits);

// Units to code so that a decoder reconstructs every band up to the last
// coded unit `lastActive` (-1 when none): a decoder derives the bands to
// synthesise from the start of the last unit, so the last unit must not
// start a band of its own.
int CodedUnitsFor(int lastActive);

// Bits of the unit's side information (everything but the mantissas) for
// `codedUnits` coded units of which `active` have a non-zero selector.
// `stereoSecond` selects the shorter header of a joint-stereo second unit,
// its matrixing and weighting fields included.
// `allBands` counts the gain fields of all four bands, as with tonal components.
int HeaderBits(int codedUnits, int active, bool stereoSecond, bool allBands = false);

// Mantissa bits of one quantisation unit coded with `selector`.
int MantissaBits(const int8_t* mantissas, int count, int selector, bool constantLength);

// Spectral value of one decoded line.
inline float Dequantise(int mantissa, int selector, int scaleIndex) {
    return static_cast<float>(mantissa) * ScaleFactors()[scaleIndex] / kStepDivisor[selector];
}

}  // namespace atrac3
