#pragma once
// The 512-sample windowed MDCT of one band and its inverse, in the sign and
// phase convention of the bitstream: X[k] = -(2/256) sum w[n] x[n]
// cos(pi/256 (n + 128.5)(k + 0.5)), so that the decoder's inverse
// y[n] = -sum X[k] cos(...) windowed and overlapped gives the signal back.
#include <array>
#include <complex>
#include <span>

#include "atrac3/atrac3_tables.h"

namespace atrac3 {

inline constexpr int kMdctInput = 2 * kBandSamples;
inline constexpr int kMdctOutput = kBandSamples;

class Mdct {
  public:
    Mdct();

    // Forward transform of one windowed block (window applied here).
    void Forward(std::span<const float, kMdctInput> input,
                 std::span<float, kMdctOutput> output) const;

    // Inverse transform with the synthesis window applied, not overlapped.
    void Inverse(std::span<const float, kMdctOutput> input,
                 std::span<float, kMdctInput> output) const;

  private:
    static constexpr int kFft = kMdctOutput / 2;  // complex points of the DCT-IV core

    // In-place DCT-IV of kMdctOutput values (unscaled).
    void DctIv(std::span<float, kMdctOutput> data) const;
    void Fft(std::array<std::complex<float>, kFft>& data) const;

    std::array<std::complex<float>, kFft> m_preTwiddle;
    std::array<std::complex<float>, kFft> m_postTwiddle;
    std::array<std::complex<float>, kFft / 2> m_roots;
    std::array<uint16_t, kFft> m_bitReverse;
};

}  // namespace atrac3
