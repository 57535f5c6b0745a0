#include "atrac3/qmf.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace atrac3 {

namespace {

// Full symmetric prototype, doubled as the synthesis side applies it.
const std::array<float, kQmfTaps>& Prototype() {
    static const std::array<float, kQmfTaps> taps = [] {
        std::array<float, kQmfTaps> t{};
        for (int i = 0; i < kQmfTaps / 2; ++i) t[i] = t[kQmfTaps - 1 - i] = 2.0f * kQmfHalf[i];
        return t;
    }();
    return taps;
}

// Analysis gain that makes split-then-join unity: the synthesis side has no
// gain of its own to spare, so the analysis carries the normalisation.
constexpr float kAnalysisGain = 1.0f;

}  // namespace

void QmfAnalysis::Split(std::span<const float> input, std::span<float> low, std::span<float> high) {
    const size_t pairs = input.size() / 2;
    assert(low.size() >= pairs && high.size() >= pairs);
    const float* w = Prototype().data();
    constexpr size_t kHist = kQmfTaps - 2;
    // Work on history + input so that each output sees the 48 newest samples.
    float buffer[kHist + 2 * kFrameSamples];
    assert(input.size() <= 2 * kFrameSamples);
    std::copy(m_history.begin(), m_history.end(), buffer);
    std::copy(input.begin(), input.end(), buffer + kHist);
    for (size_t m = 0; m < pairs; ++m) {
        // Newest sample is x[2m + 1]; tap t multiplies x[2m + 1 - t].
        const float* x = buffer + kHist + 2 * m + 1;
        // Even taps (0, 2, 4 ...) and odd taps summed apart, each in
        // independent lanes so the loop vectorises.
        float even[8] = {};
        float odd[8] = {};
        for (int t = 0; t < kQmfTaps; t += 16) {
            for (int k = 0; k < 8; ++k) {
                even[k] += w[t + 2 * k] * x[-t - 2 * k];
                odd[k] += w[t + 2 * k + 1] * x[-t - 2 * k - 1];
            }
        }
        float e = 0.0f;
        float o = 0.0f;
        for (int k = 0; k < 8; ++k) {
            e += even[k];
            o += odd[k];
        }
        low[m] = kAnalysisGain * 0.5f * (e + o);
        high[m] = kAnalysisGain * 0.5f * (e - o);
    }
    std::copy(buffer + input.size(), buffer + input.size() + kHist, m_history.begin());
}

void QmfSynthesis::Join(std::span<const float> low, std::span<const float> high,
                        std::span<float> output) {
    const size_t n = low.size();
    assert(high.size() == n && output.size() >= 2 * n);
    const float* w = Prototype().data();
    constexpr size_t kHist = kQmfTaps - 2;
    float buffer[kHist + 2 * kFrameSamples];
    assert(2 * n <= 2 * kFrameSamples);
    std::copy(m_history.begin(), m_history.end(), buffer);
    for (size_t i = 0; i < n; ++i) {
        buffer[kHist + 2 * i] = low[i] + high[i];
        buffer[kHist + 2 * i + 1] = low[i] - high[i];
    }
    for (size_t j = 0; j < n; ++j) {
        const float* p = buffer + 2 * j;
        float s1 = 0.0f;
        float s2 = 0.0f;
        for (int t = 0; t < kQmfTaps; t += 2) {
            s1 += p[t] * w[t];
            s2 += p[t + 1] * w[t + 1];
        }
        output[2 * j] = s2;
        output[2 * j + 1] = s1;
    }
    std::copy(buffer + 2 * n, buffer + 2 * n + kHist, m_history.begin());
}

void BandSplitter::Split(std::span<const float, kFrameSamples> input,
                         std::array<std::array<float, kBandSamples>, kBands>& bands) {
    float low[kFrameSamples / 2];
    float high[kFrameSamples / 2];
    m_top.Split(input, low, high);
    m_lower.Split(low, bands[0], bands[1]);
    m_upper.Split(high, bands[3], bands[2]);
}

void BandJoiner::Join(const std::array<std::array<float, kBandSamples>, kBands>& bands,
                      std::span<float, kFrameSamples> output) {
    float low[kFrameSamples / 2];
    float high[kFrameSamples / 2];
    m_lower.Join(bands[0], bands[1], low);
    m_upper.Join(bands[3], bands[2], high);
    m_top.Join(low, high, output);
}

}  // namespace atrac3
