#pragma once
// Decoding of "au" sound chunks back to interleaved 16-bit PCM, for checking
// what the writer produced. ATRAC3 chunks are not decoded here.
#include <cstdint>
#include <span>

#include "engine/yamaha_adpcm.h"
#include "platform/status.h"

struct SoundChunkView {
    uint32_t frames = 0;            // sample frames in the chunk
    uint32_t position = 0;          // sample-frame position of its first frame
    std::span<const uint8_t> body;  // everything after the header, a pad byte included
};

// Splits one "au" chunk (starting at its length field) into header values and
// body. -50 for a wrong tag or a length that is short or overruns `chunk`.
OSStatus ParseSoundChunk(std::span<const uint8_t> chunk, SoundChunkView& view);

// Carries the state a format keeps from chunk to chunk (format 629).
struct SoundDecoder {
    uint32_t format = 0;
    uint16_t channels = 1;
    YamahaAdpcmState yamaha;
};

// Decodes `frames` sample frames of `body` into `out` (frames x channels
// samples, interleaved). -50 when the body is too short, `out` too small or
// the frame count does not fit the format's blocks; -8961 for ATRAC3 or an
// unknown format.
OSStatus SoundDecodeChunk(SoundDecoder& decoder, std::span<const uint8_t> body, uint32_t frames,
                          std::span<int16_t> out);
