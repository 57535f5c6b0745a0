#pragma once
// The 4-bit ADPCM of audio format 629: each code is a sign bit and a 3-bit
// magnitude of the difference to the predictor in quarter steps; the step
// adapts by a factor per magnitude and stays within 127..24576. Predictor and
// step run on across the whole stream, so the caller keeps the state. Two
// codes share a byte, the earlier sample in the low nibble.
#include <cstdint>
#include <span>

#include "platform/status.h"

inline constexpr uint32_t kYamahaBlockFrames = 64;
inline constexpr int32_t kYamahaMinStep = 127;
inline constexpr int32_t kYamahaMaxStep = 24576;

struct YamahaAdpcmState {
    int32_t predictor = 0;
    int32_t step = kYamahaMinStep;
};

// Bytes that `samples` codes take: one per two samples, rounded up.
inline uint32_t YamahaAdpcmBytes(uint32_t samples) {
    return (samples + 1) / 2;
}

// Codes `samples` (gain applied first, clamped and truncated) into
// YamahaAdpcmBytes(samples.size()) bytes of `out`, advancing `state`. With an
// odd count the last high nibble is 0. -50 when `out` is too short.
OSStatus YamahaAdpcmEncode(std::span<const int16_t> samples, float gain, YamahaAdpcmState& state,
                           std::span<uint8_t> out);

// Decodes `out.size()` samples from `in`, advancing `state`. -50 when `in`
// holds fewer than YamahaAdpcmBytes(out.size()) bytes.
OSStatus YamahaAdpcmDecode(std::span<const uint8_t> in, YamahaAdpcmState& state,
                           std::span<int16_t> out);
