#pragma once
// The engine's block ADPCM (audio formats 626 with 4-bit and 628 with 2-bit
// codes; the coder also takes 3 and 5 bits). One block codes 256 samples of
// one channel as a bit string, most significant bit first:
//   2 bits  code width - 2
//   6 bits  starting step index (0..63)
//   8 bits  high byte of the first sample
//   256 codes of `bits` bits: sign on top, magnitude bits below
// so a block takes 2 + 32 x bits bytes.
#include <cstdint>
#include <span>

#include "platform/status.h"

inline constexpr uint32_t kAdpcmBlockFrames = 256;
inline constexpr int kAdpcmMinBits = 2;
inline constexpr int kAdpcmMaxBits = 5;
inline constexpr uint32_t kAdpcmMaxBlockBytes = 162;  // 5-bit block

// Bytes of one coded block for a code width, 0 when the width is not 2..5.
uint32_t AdpcmBlockBytes(int bits);

// Codes exactly 256 samples with `bits`-bit codes into the first
// AdpcmBlockBytes(bits) bytes of `out`. Every sample is first multiplied by
// `gain` (clamped, truncated). -50 for a bad width or short spans.
OSStatus AdpcmEncodeBlock(std::span<const int16_t> samples, int bits, float gain,
                          std::span<uint8_t> out);

// Decodes one block into 256 samples. The code width comes from the block
// header; `bytesUsed` (optional) receives the block's size. -50 when the
// input is shorter than the block or `out` holds fewer than 256 samples.
OSStatus AdpcmDecodeBlock(std::span<const uint8_t> in, std::span<int16_t> out,
                          uint32_t* bytesUsed = nullptr);
