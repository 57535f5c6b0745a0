// MovieWriterAddFrame's work: the per-mode video encoders behind one table,
// and what all modes share — the key frame policy, the time carry and the
// frame chunk with its index entry.
#include <algorithm>
#include <array>
#include <new>
#include <span>

#include "engine/block_codec4.h"
#include "engine/frame_chunk.h"
#include "engine/frame_types.h"
#include "engine/grey_codec.h"
#include "engine/grey_frame.h"
#include "engine/writer_record.h"
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
// Runs once the frame's chunk is safely in the spool file.
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
    PackGrey(w->greyFrame, w->encodedWidth, w->encodedHeight, bits, w->ditherTable,
             w->packedFrame);
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

void CommitBlocks(MovieWriter* w) { w->hasPreviousFrame = true; }

// The colour codec's own state is set up by its encoder; the dither tables
// are shared with the grey modes.
int32_t PrepareColourTables(MovieWriter* w, int) {
    BuildDitherTable(4, w->ditherSpread, w->ditherTable);
    BuildDitherTable(5, w->ditherSpread, w->ditherTableLuma);
    return noErr;
}

constexpr std::array<VideoModeOps, 4> kVideoModes = {{
    {kVideoModeGrey2, 2, PrepareGrey, EncodeGrey, CommitGrey},
    {kVideoModeMono1, 1, PrepareGrey, EncodeGrey, CommitGrey},
    {kVideoModeGrey4, 4, PrepareBlocks, EncodeBlocks, CommitBlocks},
    {kVideoModeColour8, 0, PrepareColourTables, nullptr, nullptr},
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
}
