#pragma once
// The coded content of one sound unit: which quantisation units are coded,
// with what word length (selector) and scale factor, and their mantissas.
// Gain control and tonal components are always signalled absent.
#include <array>
#include <cstdint>

#include "atrac3/atrac3_tables.h"

namespace atrac3 {

struct SoundUnit {
    int codedUnits = 2;           // quantisation units in the bitstream (2..32)
    bool constantLength = false;  // mantissas in fixed-width codes instead of Huffman codes
    std::array<uint8_t, kQuantUnits> selector{};
    std::array<uint8_t, kQuantUnits> scaleIndex{};
    std::array<int8_t, kFrameSamples> mantissa{};
};

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
int HeaderBits(int codedUnits, int active, bool stereoSecond);

// Mantissa bits of one quantisation unit coded with `selector`.
int MantissaBits(const int8_t* mantissas, int count, int selector, bool constantLength);

// Spectral value of one decoded line.
inline float Dequantise(int mantissa, int selector, int scaleIndex) {
    return static_cast<float>(mantissa) * ScaleFactors()[scaleIndex] / kStepDivisor[selector];
}

}  // namespace atrac3
