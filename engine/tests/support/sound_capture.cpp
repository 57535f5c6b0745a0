#include "engine/tests/support/sound_capture.h"

#include <gtest/gtest.h>

OSStatus CapturedChunks::Sink(void* context, std::span<const uint8_t> chunk, uint32_t frames) {
    auto* self = static_cast<CapturedChunks*>(context);
    if (self->failWith != noErr) return self->failWith;
    self->chunks.emplace_back(chunk.begin(), chunk.end());
    self->frames.push_back(frames);
    return noErr;
}

SoundChunkView CapturedChunks::View(size_t i) const {
    SoundChunkView view;
    EXPECT_EQ(ParseSoundChunk(chunks.at(i), view), noErr);
    EXPECT_EQ(chunks[i].size() % 2, 0u) << "chunk " << i << " is not padded to even length";
    return view;
}

std::vector<int16_t> CapturedChunks::Decode(uint32_t format, uint16_t channels) const {
    SoundDecoder decoder;
    decoder.format = format;
    decoder.channels = channels;
    std::vector<int16_t> out;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const SoundChunkView view = View(i);
        std::vector<int16_t> part(size_t{view.frames} * channels);
        EXPECT_EQ(SoundDecodeChunk(decoder, view.body, view.frames, part), noErr) << i;
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}
