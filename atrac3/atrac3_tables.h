#pragma once
// Fixed tables of the ATRAC3 bitstream: quantisation-unit layout, word-length
// codes, spectral Huffman codes and the QMF prototype.
#include <array>
#include <cstdint>

namespace atrac3 {

inline constexpr int kFrameSamples = 1024;  // samples per channel and frame
inline constexpr int kBands = 4;            // QMF bands
inline constexpr int kBandSamples = 256;    // samples (and spectral lines) per band and frame
inline constexpr int kQuantUnits = 32;      // quantisation units per sound unit
inline constexpr int kSelectors = 8;        // word-length selectors; 0 = unit not coded
inline constexpr int kScaleFactors = 64;

// First spectral line of each quantisation unit, with the end as the 33rd entry.
extern const std::array<uint16_t, kQuantUnits + 1> kQuantUnitStart;

// Bits per mantissa with constant-length coding, per selector (selector 1
// codes pairs of mantissas in 4 bits).
extern const std::array<uint8_t, kSelectors> kClcBits;

// Largest mantissa magnitude per selector, and the divisor that maps the
// scale factor to one quantisation step (step = scale factor / divisor).
extern const std::array<int8_t, kSelectors> kMaxMantissa;
extern const std::array<float, kSelectors> kStepDivisor;

// A Huffman code word: `bits` low bits of `code`, written most significant first.
struct HuffCode {
    uint8_t code;
    uint8_t bits;
};

// Spectral Huffman tables, one per selector 1..7. For selectors 2..7 the
// symbol of mantissa v is 2v - 1 for v > 0 and -2v otherwise; selector 1
// codes a pair (a, b) of mantissas in -1..1 as kPairSymbol[a + 1][b + 1].
extern const std::array<HuffCode, 9> kHuffPairs;
extern const std::array<HuffCode, 5> kHuff2;
extern const std::array<HuffCode, 7> kHuff3;
extern const std::array<HuffCode, 9> kHuff4;
extern const std::array<HuffCode, 15> kHuff5;
extern const std::array<HuffCode, 31> kHuff6;
extern const std::array<HuffCode, 63> kHuff7;
extern const std::array<std::array<uint8_t, 3>, 3> kPairSymbol;

// First half of the symmetric 48-tap QMF prototype.
extern const std::array<float, 24> kQmfHalf;

// Scale factor values, 2^((i - 15) / 3).
const std::array<float, kScaleFactors>& ScaleFactors();

// Analysis window of the 512-sample transform (a raised sine rising over the
// first half and mirrored over the second).
const std::array<float, 2 * kBandSamples>& AnalysisWindow();

// The matching synthesis window, so that analysis x synthesis windows add up
// to one across each overlap.
const std::array<float, 2 * kBandSamples>& SynthesisWindow();

}  // namespace atrac3
