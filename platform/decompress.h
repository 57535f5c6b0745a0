#pragma once
// Image decompression: drawing a sample into a pixel buffer through a
// transformation matrix (scaling, flips and turns by multiples of 90
// degrees), and the question whether a video format can be decoded at all.
//
// A decompression sequence is begun from a sample description and a
// destination buffer; each frame call draws one sample into that buffer.
// The caller owns the buffer and keeps it alive for the sequence's life.
#include <cstdint>

#include "platform/media_types.h"
#include "platform/status.h"

// Destination pixel layouts.
inline constexpr OSType k32BGRAPixelFormat = kBGRAPixelFormat;     // blue, green, red, alpha
inline constexpr OSType k32ARGBPixelFormat = MakeOSType("ARGB");   // alpha, red, green, blue
inline constexpr OSType k16BE565PixelFormat = MakeOSType("B565");  // 5-6-5, big-endian words
inline constexpr OSType k16LE565PixelFormat = MakeOSType("L565");  // 5-6-5, little-endian words
inline constexpr OSType k16BE555PixelFormat = MakeOSType("B555");  // x-5-5-5, big-endian words

struct PixelBuffer {
    uint8_t* base = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowBytes = 0;
    OSType pixelFormat = k32BGRAPixelFormat;
};

// Allocation-free check that a buffer describes valid memory of its size.
bool PixelBufferIsValid(const PixelBuffer& buffer);
int32_t PixelFormatBytes(OSType pixelFormat);  // bytes per pixel, 0 when unknown

// An affine map of source pixel coordinates to destination coordinates:
//   x' = a x + c y + tx,  y' = b x + d y + ty   (y grows downwards)
struct MatrixRecord {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

void SetIdentityMatrix(MatrixRecord* m);
void ScaleMatrix(MatrixRecord* m, double sx, double sy);
void TranslateMatrix(MatrixRecord* m, double dx, double dy);
// Turns clockwise on the screen by `degrees` about (x, y).
void RotateMatrix(MatrixRecord* m, double degrees, double x, double y);
// The usual frame matrix: scale a srcW x srcH picture to dstW x dstH, turn
// it clockwise by `degrees` and move it so its bounds start at (0, 0). The
// turned size is returned in *outW, *outH when not null.
MatrixRecord FrameMatrix(int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH, int32_t degrees,
                         int32_t* outW, int32_t* outH);

// Quality values; higher scales with a smoother filter.
inline constexpr int32_t kCodecNormalQuality = 0x200;
inline constexpr int32_t kCodecHighQuality = 0x300;
inline constexpr int32_t kCodecMaxQuality = 0x3FF;
// Transfer modes (the pixels are always copied; dithering is left to the scaler).
inline constexpr int32_t kSrcCopyMode = 0;
inline constexpr int32_t kDitherCopyMode = 64;
// Added to a mode by a caller that keeps only the brightness of what is
// drawn (a grey movie): pictures are then drawn with equal red, green and
// blue, from their brightness plane alone when they have one, which spares
// scaling and converting the colour planes.
inline constexpr int32_t kBrightnessOnlyMode = 0x4000;

struct DecompressSequenceRecord;
using DecompressSequence = DecompressSequenceRecord*;

// Begins a sequence. Descriptions of decoded pictures (kDecodedPictureFormat,
// as the export delegate hands out: their samples are the delegate's own
// record of the picture, valid until its next request), 'BGRA', 'raw ' (24 or 32 bits) and
// every compressed format with a decoder are accepted. matrix null means
// identity. Errors: -50 for bad buffers or a matrix that is not a scale,
// flip or quarter turn; kStatusNoCodec for formats without a decoder.
OSStatus DecompressSequenceBegin(DecompressSequence* seq, const SampleDescription& desc,
                                 const PixelBuffer& dest, const MatrixRecord* matrix, int32_t mode,
                                 int32_t quality);
// Draws one sample. Pixels outside the transformed picture are left as they were.
OSStatus DecompressSequenceFrame(DecompressSequence seq, const uint8_t* data, int32_t size);
// Ends a sequence; null is allowed.
void CDSequenceEnd(DecompressSequence seq);

// Whether a video sample format can be decoded: by the toolbox itself, or
// for the formats it lacks (vfw.h) by a registered image decompressor.
bool HasImageDecompressor(OSType format);
// The formats the toolbox does not decode itself when an AVI file holds
// them (vfw.h).
bool ToolboxLacks(OSType format);
// Whether the pictures of a description can be decoded: as above, except
// that only AVI video (a description with 'strf' bytes) lacks the AVI-only
// codes; other containers' streams of those codes the toolbox decodes.
bool HasImageDecompressorFor(const SampleDescription& desc);
bool ToolboxLacks(const SampleDescription& desc);
// Whether a sound sample format can be decoded ('raw ', 'twos', 'sowt',
// 'NONE' and 0 need no decoder and answer true).
bool HasSoundDecompressor(OSType format);
