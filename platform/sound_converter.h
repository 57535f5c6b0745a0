#pragma once
// The sound converter: PCM from one format, channel count and rate to
// another, with begin / convert / end and buffer sizing.
//
// Formats: 'raw ' and 'NONE' 8-bit offset binary ('NONE' with 16 bits is
// big-endian), 'twos' signed big-endian (8 or 16 bits), 'sowt' signed
// little-endian 16-bit, and as sources also 'in24', 'in32', 'fl32', 'fl64'
// (big-endian). Compressed sound is decoded by the export delegate first,
// so no decompression parameters are taken here.
#include <cstdint>

#include "platform/media_types.h"
#include "platform/status.h"

struct SoundComponentData {
    OSType format = 0;
    int16_t numChannels = 0;
    int16_t sampleSize = 0;  // bits per sample of one channel
    double sampleRate = 0;   // sample frames per second
};

struct SoundConverterRecord;
using SoundConverter = SoundConverterRecord*;

// Errors: -50 for unsupported formats, channel counts (1 to 8) or rates
// (1 to 768000).
OSStatus SoundConverterOpen(const SoundComponentData& input, const SoundComponentData& output,
                            SoundConverter* converter);
// For about inputBytesTarget bytes of input: how many whole input frames
// and bytes to pass per call, and an output buffer size that always holds
// what one such call gives.
OSStatus SoundConverterGetBufferSizes(SoundConverter converter, uint32_t inputBytesTarget,
                                      uint32_t* inputFrames, uint32_t* inputBytes,
                                      uint32_t* outputBytes);
OSStatus SoundConverterBeginConversion(SoundConverter converter);
// Converts inputFrames frames. At most outputCapacity bytes are written;
// output that does not fit is kept for the next call, never dropped.
OSStatus SoundConverterConvertBuffer(SoundConverter converter, const void* input,
                                     uint32_t inputFrames, void* output, uint32_t outputCapacity,
                                     uint32_t* outputFrames, uint32_t* outputBytes);
// Hands out what the converter still holds (call until it gives 0 frames).
OSStatus SoundConverterEndConversion(SoundConverter converter, void* output,
                                     uint32_t outputCapacity, uint32_t* outputFrames,
                                     uint32_t* outputBytes);
// Null is allowed.
OSStatus SoundConverterClose(SoundConverter converter);
