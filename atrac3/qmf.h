#pragma once
// Two-band quadrature mirror filters and the four-band tree built from them.
// The analysis side feeds the encoder; the synthesis side is the exact
// counterpart a decoder runs, kept here so the pair can be checked together.
#include <array>
#include <span>

#include "atrac3/atrac3_tables.h"

namespace atrac3 {

inline constexpr int kQmfTaps = 48;

// Splits a signal into a low and a high half-rate band. The high band comes
// out spectrally inverted, as the synthesis side expects.
class QmfAnalysis {
  public:
    // `input` has 2n samples; `low` and `high` receive n each.
    void Split(std::span<const float> input, std::span<float> low, std::span<float> high);

  private:
    std::array<float, kQmfTaps - 2> m_history{};
};

// Joins a low and a high band back into one signal of twice the rate.
class QmfSynthesis {
  public:
    void Join(std::span<const float> low, std::span<const float> high, std::span<float> output);

  private:
    std::array<float, kQmfTaps - 2> m_history{};
};

// The four-band tree of one channel: 1024 samples in, 4 x 256 band samples
// out in the order the bitstream codes them (the upper pair swapped, because
// the second split inverts the upper half's spectrum).
class BandSplitter {
  public:
    void Split(std::span<const float, kFrameSamples> input,
               std::array<std::array<float, kBandSamples>, kBands>& bands);

  private:
    QmfAnalysis m_top;
    QmfAnalysis m_lower;
    QmfAnalysis m_upper;
};

class BandJoiner {
  public:
    void Join(const std::array<std::array<float, kBandSamples>, kBands>& bands,
              std::span<float, kFrameSamples> output);

  private:
    QmfSynthesis m_top;
    QmfSynthesis m_lower;
    QmfSynthesis m_upper;
};

}  // namespace atrac3
