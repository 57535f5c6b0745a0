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
    OSStatus Draw(const PicturePlanes& src, const PixelBuffer& dest, const MatrixRecord& m,
                  int32_t quality);

  private:
    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_turn;  // scaled picture waiting to be turned or clipped
};

AVPixelFormat AVPixelFormatFor(OSType pixelFormat);
PicturePlanes PlanesOf(const AVFrame* frame);
