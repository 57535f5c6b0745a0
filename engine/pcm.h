#pragma once
// Small PCM helpers shared by the sound encoders and decoders. Input PCM
// arrives as little-endian 16-bit or unsigned 8-bit samples, as the sound
// converter delivers them.
#include <cstddef>
#include <cstdint>
#include <span>

// Clamps to the 16-bit sample range.
inline int32_t ClampSample(int32_t value) {
    return value > 32767 ? 32767 : (value < -32768 ? -32768 : value);
}

// sample x gain, clamped to -32768..32767 and truncated toward zero.
int16_t ApplySoundGain(int32_t sample, float gain);

// Reads `count` little-endian 16-bit samples from `bytes` (2 x count bytes).
void ReadPcm16(std::span<const uint8_t> bytes, std::span<int16_t> samples);

// Writes samples as little-endian 16-bit (2 x count bytes).
void WritePcm16(std::span<const int16_t> samples, std::span<uint8_t> bytes);

// Unsigned 8-bit sample to the 16-bit range and back (the back way rounds
// toward the nearest 8-bit step).
inline int16_t Pcm8ToSample(uint8_t value) {
    return static_cast<int16_t>((value - 128) * 256);
}
uint8_t SampleToPcm8(int16_t sample);

// Mixes interleaved stereo down to mono: (left + right) / 2, truncated toward
// zero. `stereo` holds 2 x mono.size() samples.
void DownmixStereo(std::span<const int16_t> stereo, std::span<int16_t> mono);

// Splits interleaved stereo into two channel blocks of stereo.size() / 2 samples.
void SplitStereo(std::span<const int16_t> stereo, std::span<int16_t> left,
                 std::span<int16_t> right);

// Signal-to-noise ratio of `decoded` against `reference` in dB; the
// comparison covers the shorter of the two. A perfect match gives 200.
double SignalToNoiseDb(std::span<const int16_t> reference, std::span<const int16_t> decoded);
