#pragma once
// Test helpers: encode PCM through the entry points, decode the frames with
// FFmpeg's ATRAC3 decoder, and compare signals.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace atrac3test {

inline constexpr int kRate = 44100;

// Interleaved 16-bit PCM of `channels` channels.
struct Pcm {
    int channels = 1;
    std::vector<int16_t> samples;
    size_t Frames() const { return samples.size() / static_cast<size_t>(channels); }
};

// Encodes whole 1024-frame blocks (the tail padded with silence). Fails the
// current test on any non-zero status or a byte count other than the frame size.
std::vector<uint8_t> Encode(const Pcm& pcm, int bitRateCode, int channelMode);

enum class Extradata { kWav, kRealMedia };

struct Decoded {
    int errors = 0;                            // packets the decoder refused
    std::vector<std::vector<float>> channels;  // planar, scaled to 16-bit units
};

// WAV-style extradata only exists for 96, 152 and 192 bytes per channel.
bool WavExtradataFits(int frameBytes, int channels);

// Decodes fixed-size frames; RealMedia-style input is scrambled first, as
// that container stores it.
Decoded Decode(const std::vector<uint8_t>& frames, int frameBytes, int channels, bool joint,
               Extradata kind);

// Decodes with WAV-style extradata where it fits, else RealMedia-style.
Decoded DecodeAny(const std::vector<uint8_t>& frames, int frameBytes, int channels, bool joint);

// Total encoder + decoder delay in samples.
inline constexpr int kCodecDelay = 1162;

// SNR in dB of `decoded` (advanced by `delay`) against `reference`, over
// frames [from, to) of the reference.
double Snr(const std::vector<float>& reference, const std::vector<float>& decoded, int delay,
           size_t from, size_t to);

// Channel `c` of interleaved PCM as float.
std::vector<float> Channel(const Pcm& pcm, int c);

// Signals.
Pcm Sine(double hz, double amplitude, double seconds);
Pcm Square(double hz, double seconds);
Pcm Silence(int channels, double seconds);
// Several notes with harmonics, attacks and decays, plus a little noise;
// the stereo version places the notes differently in each channel.
Pcm MusicLike(int channels, double seconds, uint32_t seed);

}  // namespace atrac3test
