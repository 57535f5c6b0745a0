#pragma once
// Image compression: compression sequences over the installed image
// compressors, found by their subtype. A sequence is opened for one picture
// size at depth 32 and takes 'BGRA' frames one by one; rate-controlled
// compressors steer their output toward the data-rate parameters set before
// each frame.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/media_types.h"
#include "platform/status.h"

inline constexpr OSType kRleCodecType = MakeOSType("rle ");
inline constexpr OSType kCinepakCodecType = MakeOSType("cvid");
inline constexpr OSType kMpeg4CodecType = MakeOSType("mp4v");

// Quality scale shared by all compressors: 0 (least) to 0x3FF (lossless where
// the format allows).
inline constexpr int32_t kCompressMinQuality = 0;
inline constexpr int32_t kCompressHighQuality = 0x300;
inline constexpr int32_t kCompressMaxQuality = 0x3FF;

// The installed compressors in a fixed order: index 0, 1, ... until the call
// returns false. *subtype receives the compressor's type.
bool NextImageCompressor(int index, OSType* subtype);
bool ImageCompressorInstalled(OSType subtype);

struct DataRateParams {
    int32_t dataRate = 0;       // target bytes per second; 0 = none
    int32_t dataOverrun = 0;    // bytes above dataRate over the last second (< 0: below)
    int32_t frameDuration = 0;  // milliseconds of the next frame
    int32_t keyFrameRate = 0;   // frames from one key frame to the next at most
    int32_t minSpatialQuality = 0;
    int32_t minTemporalQuality = 0;
};

struct CompressSequenceRecord;
using CompressSequence = CompressSequenceRecord*;

struct CompressedFrame {
    size_t size = 0;
    // 0 for a key frame; otherwise how much the frame leans on the previous
    // one (always non-zero for a difference frame).
    uint8_t similarity = 0;
};

// Opens a sequence of width x height frames at `depth` (32 only). -50 for an
// unknown compressor or bad sizes; -3000 when the compressor is not
// installed; -108 for memory.
OSStatus CompressSequenceBegin(CompressSequence* out, OSType subtype, int32_t width, int32_t height,
                               int32_t depth, int32_t spatialQuality, int32_t temporalQuality,
                               int32_t keyFrameRate);
void CompressSequenceEnd(CompressSequence seq);

// Bytes that always hold one compressed frame of the sequence.
size_t CompressSequenceMaxSize(CompressSequence seq);

OSStatus SetCompressSequenceDataRate(CompressSequence seq, const DataRateParams& params);
// Changes the quality from the next frame on (a frame that came out too large
// is compressed again at a lower one).
OSStatus SetCompressSequenceQuality(CompressSequence seq, int32_t spatialQuality,
                                    int32_t temporalQuality);

// Compresses one frame of 'BGRA' pixels (fourth byte ignored), rowBytes apart.
// With forceKey, or when the previous output was thrown away
// (CompressSequenceDiscardLast), the frame is a key frame.
OSStatus CompressSequenceFrame(CompressSequence seq, const uint8_t* pixels, ptrdiff_t rowBytes,
                               bool forceKey, std::span<uint8_t> out, CompressedFrame* result);
// Tells the sequence its last frame never reached the stream, so the next one
// must not refer to it.
void CompressSequenceDiscardLast(CompressSequence seq);
