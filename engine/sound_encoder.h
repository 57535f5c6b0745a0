#pragma once
// The sound half of the movie writer: gathers interleaved PCM into encoder
// blocks, codes them in the movie's audio format and hands out finished "au"
// chunks. It owns every sound buffer and the ATRAC3 encoder state; the writer
// supplies the sink that appends a chunk to the spool file and indexes it.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/yamaha_adpcm.h"
#include "platform/status.h"

// The ATRAC3 library's entry points, reached through a table so that the
// encoder can be replaced where the real one is not wanted.
struct Atrac3EntryPoints {
    int32_t (*open)(int32_t bitRateCode, int32_t channelMode, uint8_t* state);
    int32_t (*encode)(const int16_t* pcm, uint8_t* output, uint8_t* state, int32_t sampleCount,
                      int32_t outputChannels, int32_t blocksBefore);
    void (*close)(uint8_t* state);
};
extern const Atrac3EntryPoints kAtrac3Library;

// Takes one whole "au" chunk (header, body, pad) and its frame count; its
// status is passed back to whoever added the sound. The bytes are only valid
// during the call.
using SoundChunkSink = OSStatus (*)(void* context, std::span<const uint8_t> chunk, uint32_t frames);

// What the writer's configuration says about the sound, read at start.
struct SoundSettings {
    uint32_t format = 0;
    uint16_t inputChannels = 1;
    uint16_t inputBits = 16;
    uint32_t chunkLength = 7350;  // sample frames per "au" chunk
    float gain = 1.0f;
    uint32_t bitRate = 66000;  // ATRAC3: already one of the six rates
    uint16_t channelMode = 1;  // ATRAC3: 1 mono, 2 stereo, 18 joint stereo
};

struct SoundEncoder {
    // Settled at preparation.
    uint32_t format = 0;
    uint16_t inputChannels = 0;
    uint16_t outputChannels = 0;
    uint32_t inputFrameBytes = 0;  // bytes of one interleaved input frame
    uint32_t blockFrames = 0;      // 0 for the chunk-wise PCM copy
    uint32_t chunkLength = 0;
    float gain = 1.0f;
    uint32_t bitRate = 0;      // ATRAC3, after the per-mode floor
    uint16_t channelMode = 0;  // ATRAC3, as opened
    int32_t bitRateCode = 0;   // ATRAC3: 12, 16, 24, 33, 47 or 66
    const Atrac3EntryPoints* atrac3 = &kAtrac3Library;

    std::vector<uint8_t> encoderState;  // ATRAC3's 188 bytes, empty otherwise
    bool encoderOpen = false;
    std::vector<int16_t> block;    // one input block, host order, interleaved
    std::vector<int16_t> halves;   // block ADPCM: the left and right block of a stereo block
    std::vector<uint8_t> scratch;  // ATRAC3: what one encode call writes
    std::vector<int16_t> downmix;  // ATRAC3 mono from stereo input
    std::vector<uint8_t> pending;  // input bytes that do not yet fill a block
    uint32_t pendingFrames = 0;
    std::vector<uint8_t> chunk;   // "au" header room, coded bytes, pad
    uint32_t chunkBytesUsed = 0;  // coded bytes after the header room
    uint32_t chunkFrames = 0;
    bool flushing = false;
    uint32_t chunkStart = 0;  // total frames before the chunk being gathered
    uint32_t totalFrames = 0;
    int32_t audioChunkCount = 0;  // blocks (or PCM chunks) produced
    YamahaAdpcmState yamaha;
};

// Prepares `encoder` for `settings` (called at start). -50 for a format,
// channel count, sample size or chunk length it cannot code, and for an
// ATRAC3 combination the encoder library refuses; -108 when memory runs out.
// On failure the encoder may hold buffers; SoundEncoderRelease frees them.
OSStatus SoundEncoderPrepare(SoundEncoder& encoder, const SoundSettings& settings);

// Adds `frameCount` interleaved input frames (`byteCount` bytes, at least
// frameCount whole frames). -50 for null or empty arguments or too few bytes,
// with nothing consumed; otherwise the first failing sink status.
OSStatus SoundEncoderAdd(SoundEncoder& encoder, const uint8_t* frames, uint32_t byteCount,
                         uint32_t frameCount, SoundChunkSink sink, void* context);

// Drains the pending frames (padded with silence to a whole block, or dropped
// for format 629) and writes the gathered chunk. Returns the sink's status.
OSStatus SoundEncoderFlush(SoundEncoder& encoder, SoundChunkSink sink, void* context);

// Closes the ATRAC3 encoder if a state exists and frees every buffer.
void SoundEncoderRelease(SoundEncoder& encoder);
