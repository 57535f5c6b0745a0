#include "atrac3/mdct.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace atrac3 {

namespace {

constexpr int M = kMdctOutput;

}  // namespace

Mdct::Mdct() {
    const double pi = std::numbers::pi;
    for (int n = 0; n < kFft; ++n) {
        const double a = -pi * (4 * n + 1) / (4.0 * M);
        m_preTwiddle[n] = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
        const double b = -pi * n / M;
        m_postTwiddle[n] = {static_cast<float>(std::cos(b)), static_cast<float>(std::sin(b))};
    }
    for (int k = 0; k < kFft / 2; ++k) {
        const double a = -2.0 * pi * k / kFft;
        m_roots[k] = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
    }
    int bits = 0;
    while ((1 << bits) < kFft) ++bits;
    for (int i = 0; i < kFft; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        m_bitReverse[i] = static_cast<uint16_t>(r);
    }
}

// Written out on re/im pairs: std::complex multiplication carries NaN
// recovery that costs more than the butterflies themselves.
void Mdct::Fft(std::array<std::complex<float>, kFft>& data) const {
    for (int i = 0; i < kFft; ++i) {
        const int r = m_bitReverse[i];
        if (r > i) std::swap(data[i], data[r]);
    }
    float* d = reinterpret_cast<float*>(data.data());
    const float* roots = reinterpret_cast<const float*>(m_roots.data());
    for (int size = 2; size <= kFft; size *= 2) {
        const int half = size / 2;
        const int stride = kFft / size;
        for (int start = 0; start < kFft; start += size) {
            for (int j = 0; j < half; ++j) {
                const float wr = roots[2 * j * stride];
                const float wi = roots[2 * j * stride + 1];
                float* a = d + 2 * (start + j);
                float* b = d + 2 * (start + j + half);
                const float br = b[0] * wr - b[1] * wi;
                const float bi = b[0] * wi + b[1] * wr;
                b[0] = a[0] - br;
                b[1] = a[1] - bi;
                a[0] += br;
                a[1] += bi;
            }
        }
    }
}

// DCT-IV through a quarter-size complex FFT: pair the even samples with the
// reversed odd ones, rotate, transform, rotate back.
void Mdct::DctIv(std::span<float, kMdctOutput> data) const {
    std::array<std::complex<float>, kFft> z;
    for (int n = 0; n < kFft; ++n) {
        const float re = data[2 * n];
        const float im = data[M - 1 - 2 * n];
        const float tr = m_preTwiddle[n].real();
        const float ti = m_preTwiddle[n].imag();
        z[n] = {re * tr - im * ti, re * ti + im * tr};
    }
    Fft(z);
    for (int k = 0; k < kFft; ++k) {
        const float re = z[k].real();
        const float im = z[k].imag();
        const float tr = m_postTwiddle[k].real();
        const float ti = m_postTwiddle[k].imag();
        data[2 * k] = re * tr - im * ti;
        data[M - 1 - 2 * k] = -(re * ti + im * tr);
    }
}

void Mdct::Forward(std::span<const float, kMdctInput> input,
                   std::span<float, kMdctOutput> output) const {
    const auto& w = AnalysisWindow();
    // Fold the 2M windowed samples into M so that the MDCT becomes a DCT-IV.
    for (int n = 0; n < M / 2; ++n) {
        output[n] = -w[3 * M / 2 - 1 - n] * input[3 * M / 2 - 1 - n] -
                    w[3 * M / 2 + n] * input[3 * M / 2 + n];
        output[M / 2 + n] = w[n] * input[n] - w[M - 1 - n] * input[M - 1 - n];
    }
    DctIv(output);
    constexpr float kScale = -2.0f / M;
    for (int k = 0; k < M; ++k) output[k] *= kScale;
}

void Mdct::Inverse(std::span<const float, kMdctOutput> input,
                   std::span<float, kMdctInput> output) const {
    std::array<float, M> v;
    for (int k = 0; k < M; ++k) v[k] = -input[k];
    DctIv(v);
    const auto& w = SynthesisWindow();
    // Unfold: the transpose of the fold in Forward.
    for (int n = 0; n < M / 2; ++n) {
        output[n] = v[M / 2 + n];
        output[M - 1 - n] = -v[M / 2 + n];
        output[3 * M / 2 - 1 - n] = -v[n];
        output[3 * M / 2 + n] = -v[n];
    }
    for (int n = 0; n < kMdctInput; ++n) output[n] *= w[n];
}

}  // namespace atrac3
