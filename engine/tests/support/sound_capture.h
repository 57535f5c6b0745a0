#pragma once
// A sound chunk sink that keeps every chunk, for looking at what the sound
// encoder handed out.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/sound_decoder.h"
#include "platform/status.h"

struct CapturedChunks {
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<uint32_t> frames;  // as passed to the sink
    OSStatus failWith = noErr;     // returned instead of keeping the chunk

    static OSStatus Sink(void* context, std::span<const uint8_t> chunk, uint32_t frames);

    // The header fields and body of chunk `i`; fails the test on a bad chunk.
    SoundChunkView View(size_t i) const;
    // All chunks decoded in order with one carried decoder state.
    std::vector<int16_t> Decode(uint32_t format, uint16_t channels) const;
};
