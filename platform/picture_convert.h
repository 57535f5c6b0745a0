#pragma once
// Platform-private: draws a decoded picture into a pixel buffer through a
// matrix, reusing its scaler between calls.
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "platform/decompress.h"

struct PicturePlanes {
    const uint8_t* data[4] = {};
    int linesize[4] = {};
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
};

class PictureConverter {
  public:
    PictureConverter() = default;
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Checks a matrix once; -50 when it is not a scale, flip or quarter turn.
    static OSStatus CheckMatrix(const MatrixRecord& m);
    // greyOnly: the caller keeps only the brightness of what is drawn, so a
    // picture with a brightness plane of its own is scaled from that plane
    // alone and drawn with equal red, green and blue.
    OSStatus Draw(const PicturePlanes& src, const PixelBuffer& dest, const MatrixRecord& m,
                  int32_t quality, bool greyOnly = false);

  private:
    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_turn;  // scaled picture waiting to be turned or clipped
    std::vector<uint8_t> m_grey;  // scaled brightness, for greyOnly
};

// Decoded pictures lent instead of copied: the export delegate hands out the
// address of a registered PicturePlanes record as a kDecodedPictureFormat
// sample, and a decompression sequence draws from the planes it names. Bytes
// that are not a registered record's address are refused, so sample bytes
// from anywhere else can never be taken for pointers.
void LendPlanes(const PicturePlanes* record);
void EndLending(const PicturePlanes* record);
// The registered record a sample's bytes are the address of, else null.
const PicturePlanes* LentPlanes(const uint8_t* data, int32_t size);

AVPixelFormat AVPixelFormatFor(OSType pixelFormat);
PicturePlanes PlanesOf(const AVFrame* frame);
