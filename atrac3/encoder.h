#pragma once
// One ATRAC3 encoder: per channel the four-band QMF split and the windowed
// MDCT of each band, then bit allocation and frame assembly for the chosen
// channel mode. Frames have a fixed size per bit rate.
#include <array>
#include <cstdint>
#include <span>

#include "atrac3/mdct.h"
#include "atrac3/qmf.h"
#include "atrac3/sound_unit.h"

namespace atrac3 {

enum class ChannelMode { kMono, kStereo, kJointStereo };

// Spectrum of one channel, 1024 lines in bitstream order (odd bands reversed).
class ChannelAnalysis {
  public:
    void Analyse(std::span<const float, kFrameSamples> pcm, const Mdct& mdct,
                 std::span<float, kFrameSamples> spectrum);

  private:
    BandSplitter m_splitter;
    std::array<std::array<float, kBandSamples>, kBands> m_previous{};
};

class Encoder {
  public:
    Encoder(ChannelMode mode, int frameBytes);

    int Channels() const { return m_mode == ChannelMode::kMono ? 1 : 2; }
    int FrameBytes() const { return m_frameBytes; }

    // Encodes 1024 frames of PCM (interleaved when stereo) into exactly
    // FrameBytes() bytes at `out`.
    void EncodeFrame(const int16_t* pcm, std::span<uint8_t> out);

  private:
    void WriteJointStereo(std::span<uint8_t> out);

    ChannelMode m_mode;
    int m_frameBytes;
    Mdct m_mdct;
    std::array<ChannelAnalysis, 2> m_analysis;
    std::array<std::array<float, kFrameSamples>, 2> m_spectrum{};
    std::array<SoundUnit, 2> m_units;
};

}  // namespace atrac3
