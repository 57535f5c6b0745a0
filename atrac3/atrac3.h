#pragma once
// The ATRAC3 encoder behind its three entry points, as the movie writer
// calls it. The caller owns the 188-byte state block; the encoder may keep
// working memory of its own, reached through the state and freed by close.
#include <cstdint>

inline constexpr int kAtrac3StateSize = 188;
// Byte offset in the state of the 32-bit count of bytes the last encode wrote.
inline constexpr int kAtrac3ByteCountOffset = 28;
inline constexpr int kAtrac3FrameSamples = 1024;  // input frames per encode call

// Channel modes.
inline constexpr int32_t kAtrac3Mono = 1;
inline constexpr int32_t kAtrac3Stereo = 2;
inline constexpr int32_t kAtrac3JointStereo = 18;

// Opens an encoder for a bit-rate code (12, 16, 24, 33, 47, 66) and a channel
// mode into `state` (188 zeroed bytes). 0, or -3 when the combination is not
// supported (mono takes every rate, stereo 24 and above, joint stereo 33 and
// above), -50 for a null state, -108 when memory runs out. The encoder's
// working memory is allocated here and reached through the state; only
// Atrac3Close releases it.
int32_t Atrac3Open(int32_t bitRateCode, int32_t channelMode, uint8_t* state);

// Encodes one block of 1024 frames of 16-bit PCM (interleaved when stereo).
// `sampleCount` is 1024 x outputChannels; `blocksBefore` counts the blocks of
// the movie already encoded (the encoder keeps its own continuity and does
// not need it). On 0 the byte count at kAtrac3ByteCountOffset (native-endian
// uint32) holds the bytes written at `output`, always Atrac3FrameBytes of the
// rate. -50 for a state without an open encoder, null buffers, or a channel
// count or sample count that does not match the channel mode.
int32_t Atrac3Encode(const int16_t* pcm, uint8_t* output, uint8_t* state, int32_t sampleCount,
                     int32_t outputChannels, int32_t blocksBefore);

// Releases what open took. Safe on a state that open refused.
void Atrac3Close(uint8_t* state);

// Bytes of one frame for a bit-rate code, or 0 for an unknown code.
int32_t Atrac3FrameBytes(int32_t bitRateCode);
