// The analysis filters against their synthesis counterparts and the direct
// transform formula.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "atrac3/mdct.h"
#include "atrac3/qmf.h"

namespace {

using namespace atrac3;

TEST(Mdct, MatchesTheDirectFormulaBothWays) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
    Mdct mdct;
    std::array<float, kMdctInput> x;
    for (auto& v : x) v = d(rng);
    std::array<float, kMdctOutput> X;
    mdct.Forward(x, X);
    const auto& wa = AnalysisWindow();
    const double pi = std::numbers::pi;
    for (int k = 0; k < kMdctOutput; ++k) {
        double s = 0.0;
        for (int n = 0; n < kMdctInput; ++n)
            s += wa[n] * x[n] * std::cos(pi / 256 * (n + 128.5) * (k + 0.5));
        ASSERT_NEAR(X[k], -2.0 / 256 * s, 1e-3) << k;
    }
    std::array<float, kMdctInput> y;
    mdct.Inverse(X, y);
    const auto& ws = SynthesisWindow();
    for (int n = 0; n < kMdctInput; ++n) {
        double s = 0.0;
        for (int k = 0; k < kMdctOutput; ++k)
            s += X[k] * std::cos(pi / 256 * (n + 128.5) * (k + 0.5));
        ASSERT_NEAR(y[n], -s * ws[n], 1e-2) << n;
    }
}

TEST(Mdct, OverlappedBlocksReconstructTheSignal) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    Mdct mdct;
    const int blocks = 8;
    std::vector<float> signal(kBandSamples * (blocks + 1));
    for (auto& v : signal) v = d(rng);
    std::vector<float> out(signal.size(), 0.0f);
    for (int b = 0; b < blocks; ++b) {
        std::array<float, kMdctInput> in;
        std::copy_n(signal.begin() + b * kBandSamples, kMdctInput, in.begin());
        std::array<float, kMdctOutput> X;
        mdct.Forward(in, X);
        std::array<float, kMdctInput> y;
        mdct.Inverse(X, y);
        for (int n = 0; n < kMdctInput; ++n) out[b * kBandSamples + n] += y[n];
    }
    // Only the samples covered by two blocks are complete.
    for (size_t i = kBandSamples; i < kBandSamples * blocks; ++i)
        ASSERT_NEAR(out[i], signal[i], 1e-5) << i;
}

TEST(Qmf, FourBandTreeReconstructsWithFixedDelay) {
    std::mt19937 rng(3);
    std::normal_distribution<float> d(0.0f, 5000.0f);
    BandSplitter split;
    BandJoiner join;
    const int frames = 12;
    std::vector<float> in(kFrameSamples * frames);
    std::vector<float> out(in.size());
    for (auto& v : in) v = d(rng);
    for (int f = 0; f < frames; ++f) {
        std::array<std::array<float, kBandSamples>, kBands> bands;
        split.Split(
            std::span<const float, kFrameSamples>(in.data() + f * kFrameSamples, kFrameSamples),
            bands);
        join.Join(bands,
                  std::span<float, kFrameSamples>(out.data() + f * kFrameSamples, kFrameSamples));
    }
    constexpr int kDelay = 138;  // 46 samples per two-band stage, the second stage at half rate
    double signal = 0.0;
    double noise = 0.0;
    for (size_t i = 1024; i + kDelay < in.size(); ++i) {
        signal += double(in[i]) * in[i];
        noise += (out[i + kDelay] - in[i]) * double(out[i + kDelay] - in[i]);
    }
    EXPECT_GT(10.0 * std::log10(signal / noise), 65.0);
}

TEST(Qmf, BandsComeOutInBitstreamOrder) {
    // One tone in the middle of each quarter of the spectrum must land in
    // that band, the upper pair included (their order is swapped by the tree).
    for (int quarter = 0; quarter < 4; ++quarter) {
        const double hz = (quarter + 0.5) * 22050.0 / 4;
        BandSplitter split;
        std::array<std::array<float, kBandSamples>, kBands> bands;
        std::array<double, kBands> energy{};
        for (int f = 0; f < 4; ++f) {
            std::array<float, kFrameSamples> x;
            for (int i = 0; i < kFrameSamples; ++i) {
                x[i] = static_cast<float>(
                    std::sin(2 * std::numbers::pi * hz * (f * kFrameSamples + i) / 44100));
            }
            split.Split(x, bands);
            if (f == 0) continue;
            for (int b = 0; b < kBands; ++b) {
                for (float v : bands[b]) energy[b] += v * v;
            }
        }
        for (int b = 0; b < kBands; ++b) {
            if (b != quarter) {
                EXPECT_LT(energy[b], 1e-3 * energy[quarter]) << quarter << " " << b;
            }
        }
    }
}

}  // namespace
