#pragma once
// The Cinepak ('cvid') compressor behind the image-compression layer.
//
// Produces standard Cinepak frames: a 10-byte frame header, 1 to 3 horizontal strips, each
// with a V4 and a V1 codebook chunk (full on key frames, partial updates on difference
// frames) and a vector chunk choosing per 4x4 block between skip (difference frames only),
// one V1 codeword (the block at half resolution) and four V4 codewords (one per 2x2 block).
// Key frames refer only to codebook entries sent in the same frame, so decoding can start at
// any of them. Frames in grey use the 4-byte entry chunks.
//
// Codebooks are trained on each frame by principal-axis splitting and a Lloyd pass; a
// difference frame keeps the decoder's previous entries available and replaces only the
// least recently used slots. One rate-distortion weight (bytes against squared error) drives
// the codebook sizes and the per-block choices. With a data rate set the weight follows the
// target bytes per frame from frame to frame, and a frame far above its share is re-decided
// at a higher weight before it is written. Without a data rate, or at kMaxQuality (stills),
// the weight comes from the quality alone.
//
// One thread; an encoder holds the decoder state of its own stream, so one instance encodes
// one sequence.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/status.h"

// Quality scale of the compression layer: 0 (least) to 1023 (most).
inline constexpr int kCinepakMaxQuality = 1023;
inline constexpr int kCinepakHighQuality = 0x300;

struct CinepakRate {
    int32_t dataRate = 0;       // target bytes per second; 0 = no rate control
    int32_t dataOverrun = 0;    // bytes above dataRate produced over the last second (< 0: under)
    int32_t frameDuration = 0;  // this frame's duration in milliseconds; 0 = unknown (1/15 s)
};

class CinepakEncoder {
  public:
    CinepakEncoder();
    ~CinepakEncoder();
    CinepakEncoder(const CinepakEncoder&) = delete;
    CinepakEncoder& operator=(const CinepakEncoder&) = delete;

    // Starts a sequence of width x height frames (1..4096 each). quality 0..1023 (larger is
    // clamped); kCinepakMaxQuality codes every frame as well as the format allows and ignores
    // the data rate. keyFrameRate: at most this many frames from one key frame to the next
    // (0 = only the first frame and requested ones). grey: code luma only.
    // -50 for bad sizes, -108 when buffers cannot be allocated. Reopening starts afresh.
    OSStatus open(int width, int height, int quality, int keyFrameRate, bool grey);

    // Data-rate parameters for the next compress() call (they stay until changed).
    void setRate(const CinepakRate& rate);

    // Largest frame compress() can produce for the open sequence; 0 before open().
    size_t maxCompressedSize() const;

    // Compresses one frame of 32-bit pixels in memory order B, G, R, A (alpha ignored),
    // rowBytes apart; pixels must hold (height - 1) * rowBytes + 4 * width bytes. The frame is
    // a key frame when forceKey is set, on the first frame and when keyFrameRate says so.
    // Writes the frame to out (at least maxCompressedSize() bytes are always enough) and its
    // size to *written, whether it is a key frame to *keyFrame. The caller owns all buffers.
    // -50 for a bad call (not open, pixels or out too small; nothing is written and the
    // sequence state is unchanged).
    OSStatus compress(std::span<const uint8_t> pixels, size_t rowBytes, bool forceKey,
                      std::span<uint8_t> out, size_t* written, bool* keyFrame);

    // The last compressed frame as a decoder shows it, as B, G, R, A = 255 pixels rowBytes
    // apart; -50 when nothing was compressed yet or the buffer is too small.
    OSStatus decodedPicture(std::span<uint8_t> pixels, size_t rowBytes) const;

  private:
    struct State;
    std::unique_ptr<State> m;
};
