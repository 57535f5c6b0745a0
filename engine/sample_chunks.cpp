// Sample chunks in the spool file and their index entries.
#include <cstring>

#include "engine/chunk_tags.h"
#include "engine/spool_file.h"
#include "engine/writer_record.h"
#include "platform/status.h"

uint32_t writerIndexCount(BlockHandle index) {
    return BlockLength(index) / sizeof(SampleIndexEntry);
}

SampleIndexEntry* writerIndexEntries(BlockHandle index) {
    return reinterpret_cast<SampleIndexEntry*>(BlockData(index));
}

int32_t writerAppendSampleChunk(MovieWriter* w, SampleStream stream, const uint8_t* chunk,
                                uint32_t length, uint32_t duration, uint32_t flags) {
    if (length < kChunkHeaderBytes || length > kMaxChunkBytes) return kStatusParamError;
    BlockHandle& index = stream == SampleStream::Video ? w->videoIndex : w->soundIndex;
    SampleIndexEntry entry{};
    int32_t status = SpoolAppend(w, chunk, length, &entry.spoolOffset);
    if (status != noErr) return status;
    entry.chunkLength = length;
    entry.duration = duration;
    entry.flags = flags;
    BlockAppend(index, &entry, sizeof entry);
    return index ? noErr : kStatusOutOfMemory;
}

namespace {

// Header, data and pad go to the spool in one append so that the index
// entry's offset and length always describe one whole chunk.
int32_t appendChunk(MovieWriter* w, SampleStream stream, const uint8_t* header, uint32_t headerSize,
                    const uint8_t* data, uint32_t size, bool pad, uint32_t duration,
                    uint32_t flags) {
    uint32_t length = headerSize + size + (pad ? 1 : 0);
    BlockHandle chunk = BlockNew(length);
    if (!chunk) return kStatusOutOfMemory;
    uint8_t* bytes = BlockData(chunk);
    std::memcpy(bytes, header, headerSize);
    if (size > 0) std::memcpy(bytes + headerSize, data, size);
    if (pad) bytes[length - 1] = 0;
    int32_t status = writerAppendSampleChunk(w, stream, bytes, length, duration, flags);
    BlockFree(chunk);
    return status;
}

}  // namespace

int32_t writerWriteFrameChunk(MovieWriter* w, uint8_t encodingType, bool difference,
                              uint16_t durationHundredths, const uint8_t* data, uint32_t size) {
    if (size == 0) return noErr;
    constexpr uint32_t kHeader = 8;
    if (size > kMaxChunkBytes - kHeader - 1) return kStatusParamError;
    bool pad = (size & 1) != 0;
    uint32_t length = kHeader + size + (pad ? 1 : 0);
    uint8_t flags =
        static_cast<uint8_t>((pad ? kFrameFlagPad : 0) | (difference ? kFrameFlagDifference : 0));
    const uint8_t header[kHeader] = {static_cast<uint8_t>(length >> 8),
                                     static_cast<uint8_t>(length),
                                     static_cast<uint8_t>(kTagFrame >> 8),
                                     static_cast<uint8_t>(kTagFrame),
                                     encodingType,
                                     flags,
                                     static_cast<uint8_t>(durationHundredths >> 8),
                                     static_cast<uint8_t>(durationHundredths)};
    int32_t status = appendChunk(w, SampleStream::Video, header, kHeader, data, size, pad,
                                 durationHundredths, flags);
    if (status != noErr) return status;
    ++w->frameCount;
    w->totalVideoDuration += durationHundredths;
    return noErr;
}

int32_t writerWriteSoundChunk(MovieWriter* w, uint32_t frames, uint32_t position,
                              const uint8_t* data, uint32_t size) {
    constexpr uint32_t kHeader = 16;
    if (size > kMaxChunkBytes - kHeader - 1) return kStatusParamError;
    bool pad = (size & 1) != 0;
    uint32_t length = kHeader + size + (pad ? 1 : 0);
    uint8_t header[kHeader] = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                               static_cast<uint8_t>(kTagSound >> 8),
                               static_cast<uint8_t>(kTagSound)};
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<uint8_t>(frames >> (24 - 8 * i));
        header[8 + i] = static_cast<uint8_t>(position >> (24 - 8 * i));
    }
    return appendChunk(w, SampleStream::Sound, header, kHeader, data, size, pad, frames, 0);
}
