// MovieWriterAddFrame's work: the per-mode video encoders behind one table,
// and what all modes share — the key frame policy, the time carry and the
// frame chunk with its index entry.
#include <algorithm>
#include <array>
#include <new>
#include <span>

#include "engine/block_codec4.h"
#include "engine/colour_compressor.h"
#include "engine/colour_space.h"
#include "engine/frame_chunk.h"
#include "engine/frame_types.h"
#include "engine/grey_codec.h"
#include "engine/grey_frame.h"
#include "engine/writer_record.h"
#include "platform/image_compression.h"
#include "platform/status.h"

namespace {

// One encoded frame, ready for its chunk. `data` stays valid until the
// encoder runs again.
struct EncodedFrame {
    uint8_t type = 0;
    bool difference = false;
    std::span<const uint8_t> data;
};

using PrepareProc = int32_t (*)(MovieWriter* w, int bits);
using EncodeProc = int32_t (*)(MovieWriter* w, const SourceFrame& source, int32_t duration,
                               bool differenceAllowed, EncodedFrame& out);
// Runs once the frame's chunk is safely in the spool file. A frame that fails
// after encoding (a spool write error) may leave the encoder a step ahead of
// the stream; such an error ends the export anyway.
using CommitProc = void (*)(MovieWriter* w);

struct VideoModeOps {
    int32_t mode;
    int bits;  // grey bits per pixel; 0 for the colour modes
    PrepareProc prepare;
    EncodeProc encode;
    CommitProc commit;
};

size_t FramePixels(const MovieWriter* w) {
    return static_cast<size_t>(w->encodedWidth) * w->encodedHeight;
}

// Grey conversion and dithering shared by modes 1, 3 and 4.
void DitherSource(MovieWriter* w, const SourceFrame& source, int bits) {
    ConvertToGrey(source, w->encodedWidth, w->encodedHeight, w->greyFrame);
    PackGrey(w->greyFrame, w->encodedWidth, w->encodedHeight, bits, w->ditherTable, w->packedFrame);
}

int32_t PrepareGrey(MovieWriter* w, int bits) {
    w->packedRowBytes = PackedRowBytes(w->encodedWidth, bits);
    const size_t packedBytes = static_cast<size_t>(w->packedRowBytes) * w->encodedHeight;
    try {
        w->packedFrame.assign(packedBytes, 0);
        w->previousFrame.assign(packedBytes, 0);
        w->greyFrame.assign(FramePixels(w), 0);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    w->hasPreviousFrame = false;
    BuildDitherTable(bits, w->ditherSpread, w->ditherTable);
    return noErr;
}

int32_t EncodeGrey(MovieWriter* w, const SourceFrame& source, int32_t, bool differenceAllowed,
                   EncodedFrame& out) {
    const int bits = w->videoMode == kVideoModeGrey2 ? 2 : 1;
    DitherSource(w, source, bits);
    GreyEncodeRequest request;
    request.frame = w->packedFrame;
    if (w->hasPreviousFrame) request.previous = w->previousFrame;
    request.rowBytes = w->packedRowBytes;
    request.height = w->encodedHeight;
    request.bits = bits;
    request.allowDifference = differenceAllowed;
    const int32_t status = w->greyEncoder.Encode(request);
    if (status != noErr) return status;
    out.type = w->greyEncoder.Type();
    out.difference = out.type == kFrameTypeGreyDiff;
    out.data = w->greyEncoder.Data();
    return noErr;
}

void CommitGrey(MovieWriter* w) {
    w->previousFrame.swap(w->packedFrame);
    w->hasPreviousFrame = true;
}

int32_t PrepareBlocks(MovieWriter* w, int bits) {
    const int32_t status = PrepareGrey(w, bits);
    if (status != noErr) return status;
    return w->blockCodec.Prepare(w->encodedWidth, w->encodedHeight);
}

int32_t EncodeBlocks(MovieWriter* w, const SourceFrame& source, int32_t duration,
                     bool differenceAllowed, EncodedFrame& out) {
    DitherSource(w, source, 4);
    Block4Request request;
    request.frame = w->packedFrame;
    request.shown = w->previousFrame;
    request.width = w->encodedWidth;
    request.height = w->encodedHeight;
    request.canSkip = w->hasPreviousFrame && differenceAllowed;
    request.duration = duration;
    request.maxBytes = kFrameDataMaxBytes;
    const int32_t status = w->blockCodec.Encode(request, w->blockAgeRandom);
    if (status != noErr) return status;
    out.type = kFrameTypeBlock4;
    out.difference = w->blockCodec.Difference();
    out.data = w->blockCodec.Data();
    return noErr;
}

void CommitBlocks(MovieWriter* w) {
    w->hasPreviousFrame = true;
}

int32_t AllocateHistogram(MovieWriter* w) {
    try {
        w->colourHistogram.assign(kHistogramBins, 0);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return noErr;
}

// ---- mode 2: the own colour codec -------------------------------------------

int32_t PrepareColour(MovieWriter* w, int) {
    BuildDitherTable(4, w->ditherSpread, w->ditherTable);
    BuildDitherTable(5, w->ditherSpread, w->ditherTableLuma);
    const int32_t status = AllocateHistogram(w);
    if (status != noErr) return status;
    return w->colourCodec.Prepare(w->encodedWidth, w->encodedHeight);
}

int32_t EncodeColour(MovieWriter* w, const SourceFrame& source, int32_t, bool differenceAllowed,
                     EncodedFrame& out) {
    const int32_t status =
        w->colourCodec.Encode(source, w->ditherTableLuma, w->ditherTable, differenceAllowed);
    if (status != noErr) return status;
    out.type = kFrameTypeBlock8;
    out.difference = w->colourCodec.Difference();
    out.data = w->colourCodec.Data();
    return noErr;
}

// The histogram counts what the player shows, so only frames that were written.
void CommitColour(MovieWriter* w) {
    const ColourPlanes& shown = w->colourCodec.Reconstructed();
    const size_t n = static_cast<size_t>(shown.width) * shown.height;
    for (size_t i = 0; i < n; ++i) {
        CountColour(w->colourHistogram.data(),
                    {shown.Plane(0)[i], shown.Plane(1)[i], shown.Plane(2)[i]});
    }
    w->colourCodec.Commit();
}

// ---- modes 5 to 8: platform image compressors ------------------------------

OSType CompressorType(int32_t mode) {
    switch (mode) {
        case kVideoModeRle:
            return kRleCodecType;
        case kVideoModeZyG2:
            return MakeOSType("ZyG2");
        case kVideoModeCinepak:
            return kCinepakCodecType;
        default:
            return kMpeg4CodecType;
    }
}

// The quality steps a frame too large for its chunk is tried again at.
constexpr std::array<int32_t, 4> kFallbackQualities = {0x200, 0x100, 0x80, 0};

int32_t PrepareCompressor(MovieWriter* w, int) {
    const OSType type = CompressorType(w->videoMode);
    bool found = false;
    OSType t = 0;
    for (int i = 0; NextImageCompressor(i, &t); ++i) found = found || t == type;
    if (!found) return kStatusParamError;
    int32_t status = AllocateHistogram(w);
    if (status != noErr) return status;
    w->compressQuality = kCompressHighQuality;
    status = CompressSequenceBegin(&w->compressor, type, w->sourceWidth, w->sourceHeight, 32,
                                   w->compressQuality, w->compressQuality, 100);
    if (status != noErr) return status;
    w->maxCompressedSize = CompressSequenceMaxSize(w->compressor);
    try {
        w->compressedFrame.resize(w->maxCompressedSize);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    w->rateHistory.Fill(w->videoDataRate);
    return noErr;
}

// Turns the compressor's output into the chunk data of the mode.
int32_t ShapeCompressed(MovieWriter* w, std::span<const uint8_t> data, EncodedFrame& out) {
    switch (w->videoMode) {
        case kVideoModeRle: {
            const int32_t status = w->colourDeflater.Deflate(data, w->colourPacked);
            if (status != noErr) return status;
            if (w->colourPacked.size() < data.size()) {
                out.type = kFrameTypeRleDeflated;
                out.data = w->colourPacked;
            } else {
                out.type = kFrameTypeRle;
                out.data = data;
            }
            return noErr;
        }
        case kVideoModeCinepak:
            PackCinepakRuns(data, w->colourPacked);
            out.type = kFrameTypeCvid;
            out.data = w->colourPacked;
            return noErr;
        case kVideoModeZyG2:
            out.type = kFrameTypeZyg2;
            out.data = data;
            return noErr;
        default:
            out.type = kFrameTypeMp4v;
            out.data = data;
            return noErr;
    }
}

int32_t EncodeCompressed(MovieWriter* w, const SourceFrame& source, int32_t duration,
                         bool differenceAllowed, EncodedFrame& out) {
    const int32_t ms = static_cast<int32_t>(static_cast<int64_t>(duration) * 1000 /
                                            static_cast<int64_t>(w->videoTimeScale));
    DataRateParams rate;
    rate.dataRate = w->videoDataRate;
    rate.dataOverrun = w->rateHistory.Overrun(w->videoDataRate);
    rate.frameDuration = ms;
    rate.keyFrameRate = 100;
    rate.minSpatialQuality = rate.minTemporalQuality = kCompressHighQuality;
    int32_t status = SetCompressSequenceDataRate(w->compressor, rate);
    if (status != noErr) return status;

    // Key frames follow the writer's policy, so a forced one and the key
    // frame interval hold for the compressors too.
    bool forceKey = !differenceAllowed;
    CompressedFrame result;
    size_t fallback = 0;
    for (;;) {
        status = CompressSequenceFrame(w->compressor, source.pixels, source.rowStride, forceKey,
                                       w->compressedFrame, &result);
        if (status != noErr) {
            CompressSequenceDiscardLast(w->compressor);
            return status;
        }
        status = ShapeCompressed(
            w, std::span<const uint8_t>(w->compressedFrame.data(), result.size), out);
        if (status != noErr) {
            CompressSequenceDiscardLast(w->compressor);
            return status;
        }
        if (out.data.size() <= kFrameDataMaxBytes) break;
        // Too large for a chunk: this output never reaches the stream, so the
        // next try is a key frame at a lower quality.
        CompressSequenceDiscardLast(w->compressor);
        while (fallback < kFallbackQualities.size() &&
               kFallbackQualities[fallback] >= w->compressQuality) {
            ++fallback;
        }
        if (fallback == kFallbackQualities.size()) return kStatusParamError;
        w->compressQuality = kFallbackQualities[fallback];
        SetCompressSequenceQuality(w->compressor, w->compressQuality, w->compressQuality);
        forceKey = true;
    }
    if (w->compressQuality != kCompressHighQuality) {
        w->compressQuality = kCompressHighQuality;
        SetCompressSequenceQuality(w->compressor, w->compressQuality, w->compressQuality);
    }
    out.difference = result.similarity != 0;
    w->rateHistory.Append({ms, static_cast<int32_t>(result.size), !out.difference});
    AddPictureToHistogram(w->colourHistogram.data(), source.pixels, source.rowStride, source.width,
                          source.height);
    return noErr;
}

void CommitCompressed(MovieWriter*) {}

constexpr std::array<VideoModeOps, 8> kVideoModes = {{
    {kVideoModeGrey2, 2, PrepareGrey, EncodeGrey, CommitGrey},
    {kVideoModeMono1, 1, PrepareGrey, EncodeGrey, CommitGrey},
    {kVideoModeGrey4, 4, PrepareBlocks, EncodeBlocks, CommitBlocks},
    {kVideoModeColour8, 0, PrepareColour, EncodeColour, CommitColour},
    {kVideoModeRle, 0, PrepareCompressor, EncodeCompressed, CommitCompressed},
    {kVideoModeZyG2, 0, PrepareCompressor, EncodeCompressed, CommitCompressed},
    {kVideoModeCinepak, 0, PrepareCompressor, EncodeCompressed, CommitCompressed},
    {kVideoModeMpeg4, 0, PrepareCompressor, EncodeCompressed, CommitCompressed},
}};

const VideoModeOps* FindMode(int32_t mode) {
    for (const VideoModeOps& ops : kVideoModes) {
        if (ops.mode == mode) return &ops;
    }
    return nullptr;
}

}  // namespace

int32_t writerVideoStart(MovieWriter* w) {
    const VideoModeOps* ops = FindMode(w->videoMode);
    w->differenceRun = 0;
    w->timeCarry = 0;
    return ops ? ops->prepare(w, ops->bits) : noErr;
}

int32_t writerAddFrame(MovieWriter* w, const uint8_t* pixels, int32_t rowBytes, int32_t duration,
                       bool* outKeyFrame) {
    const VideoModeOps* ops = FindMode(w->videoMode);
    // Modes without an encoder here refuse frames rather than drop them.
    if (!ops || !ops->encode) return kStatusParamError;
    const SourceFrame source{pixels, rowBytes, w->sourceWidth, w->sourceHeight};
    if (duration < 0 || w->videoTimeScale == 0 || !SourceFrameValid(source)) {
        return kStatusParamError;
    }

    const bool differenceAllowed =
        DifferenceFrameAllowed(w->forceKeyFrame != 0, w->differenceRun, w->keyFrameInterval);
    EncodedFrame frame;
    int32_t status = ops->encode(w, source, duration, differenceAllowed, frame);
    if (status != noErr) return status;
    // A chunk never spans two records, so a frame that cannot fit one is
    // refused rather than written into a database the player cannot read.
    if (frame.data.size() > kFrameDataMaxBytes) return kStatusParamError;

    int64_t carry = w->timeCarry;
    const uint16_t hundredths =
        FrameHundredths(carry, static_cast<uint32_t>(duration), w->videoTimeScale);
    status = writerWriteFrameChunk(w, frame.type, frame.difference, hundredths, frame.data.data(),
                                   static_cast<uint32_t>(frame.data.size()));
    if (status != noErr) return status;

    w->timeCarry = carry;
    w->differenceRun = frame.difference ? w->differenceRun + 1 : 0;
    w->forceKeyFrame = 0;
    ops->commit(w);
    if (outKeyFrame) *outKeyFrame = !frame.difference;
    return noErr;
}

void writerVideoRelease(MovieWriter* w) {
    w->packedFrame = {};
    w->greyFrame = {};
    w->previousFrame = {};
    w->hasPreviousFrame = false;
    CompressSequenceEnd(w->compressor);
    w->compressor = nullptr;
    w->compressedFrame = {};
    w->colourPacked = {};
}
