#include "atrac3/encoder.h"

#include <algorithm>
#include <cassert>

#include "atrac3/bit_allocation.h"
#include "atrac3/bitstream.h"

namespace atrac3 {

namespace {

// Room lost to rounding each of the two joint-stereo units up to whole bytes.
constexpr int kJointRoundingBits = 2 * 7;

}  // namespace

void ChannelAnalysis::Analyse(std::span<const float, kFrameSamples> pcm, const Mdct& mdct,
                              std::span<float, kFrameSamples> spectrum) {
    std::array<std::array<float, kBandSamples>, kBands> bands;
    m_splitter.Split(pcm, bands);
    std::array<float, kMdctInput> block;
    for (int b = 0; b < kBands; ++b) {
        std::copy(m_previous[b].begin(), m_previous[b].end(), block.begin());
        std::copy(bands[b].begin(), bands[b].end(), block.begin() + kBandSamples);
        auto lines = spectrum.subspan(b * kBandSamples).first<kBandSamples>();
        mdct.Forward(block, lines);
        // The QMF leaves odd bands spectrally inverted; the bitstream stores
        // their lines in rising frequency order.
        if (b & 1) std::reverse(lines.begin(), lines.end());
        m_previous[b] = bands[b];
    }
}

Encoder::Encoder(ChannelMode mode, int frameBytes) : m_mode(mode), m_frameBytes(frameBytes) {}

void Encoder::EncodeFrame(const int16_t* pcm, std::span<uint8_t> out) {
    assert(static_cast<int>(out.size()) >= m_frameBytes);
    std::array<std::array<float, kFrameSamples>, 2> input;
    if (m_mode == ChannelMode::kMono) {
        for (int i = 0; i < kFrameSamples; ++i) input[0][i] = pcm[i];
    } else if (m_mode == ChannelMode::kStereo) {
        for (int i = 0; i < kFrameSamples; ++i) {
            input[0][i] = pcm[2 * i];
            input[1][i] = pcm[2 * i + 1];
        }
    } else {
        // Sum and difference; the decoder's matrix gives back l = m + s, r = m - s.
        for (int i = 0; i < kFrameSamples; ++i) {
            const float l = pcm[2 * i];
            const float r = pcm[2 * i + 1];
            input[0][i] = 0.5f * (l + r);
            input[1][i] = 0.5f * (l - r);
        }
    }
    const int channels = Channels();
    for (int c = 0; c < channels; ++c) m_analysis[c].Analyse(input[c], m_mdct, m_spectrum[c]);

    auto frame = out.first(static_cast<size_t>(m_frameBytes));
    switch (m_mode) {
        case ChannelMode::kMono: {
            const UnitRequest req{m_spectrum[0].data(), false, &m_units[0]};
            AllocateBits({&req, 1}, 8 * m_frameBytes);
            BitWriter w(frame);
            WriteSoundUnit(w, m_units[0], false);
            assert(!w.Overflowed());
            break;
        }
        case ChannelMode::kStereo: {
            const size_t half = static_cast<size_t>(m_frameBytes / 2);
            for (int c = 0; c < 2; ++c) {
                const UnitRequest req{m_spectrum[c].data(), false, &m_units[c]};
                AllocateBits({&req, 1}, static_cast<int>(8 * half));
                BitWriter w(frame.subspan(c * half, half));
                WriteSoundUnit(w, m_units[c], false);
                assert(!w.Overflowed());
            }
            break;
        }
        case ChannelMode::kJointStereo: {
            const UnitRequest reqs[2] = {{m_spectrum[0].data(), false, &m_units[0]},
                                         {m_spectrum[1].data(), true, &m_units[1]}};
            AllocateBits(reqs, 8 * m_frameBytes - kJointRoundingBits);
            WriteJointStereo(frame);
            break;
        }
    }
}

// The first unit runs forward from the frame start; the second is stored
// byte-reversed from the frame end, so the two meet somewhere in between.
void Encoder::WriteJointStereo(std::span<uint8_t> frame) {
    BitWriter first(frame);
    WriteSoundUnit(first, m_units[0], false);
    assert(!first.Overflowed());
    std::array<uint8_t, 256> second{};
    BitWriter w(std::span<uint8_t>(second).first(frame.size()));
    WriteSoundUnit(w, m_units[1], true);
    assert(!w.Overflowed());
    const size_t n = w.BytesWritten();
    assert(first.BytesWritten() + n <= frame.size());
    for (size_t i = 0; i < n; ++i) frame[frame.size() - 1 - i] = second[i];
}

}  // namespace atrac3
