#include <memory>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "platform/decompress.h"
#include "platform/movie_internal.h"
#include "platform/movies.h"
#include "platform/picture_convert.h"
#include "platform/track_reader.h"

OSStatus DrawMovieFrame(Movie movie, TimeValue movieTime, const PixelBuffer& dest) {
    if (movie == nullptr || movieTime < 0 || !PixelBufferIsValid(dest)) return kStatusParamError;
    Track t = GetMovieIndTrackType(movie, 1, kVideoMediaType,
                                   kMovieTrackMediaType | kMovieTrackEnabledOnly);
    if (t == nullptr || t->streamIndex < 0) return kStatusParamError;
    std::unique_ptr<VideoReader> reader;
    if (OSStatus err = VideoReader::Open(*t, &reader); err != noErr) return err;
    const TimeValue mediaTime = av_rescale(movieTime, t->mediaScale, movie->timeScale);
    const AVFrame* frame = nullptr;
    TimeValue frameTime = 0, next = 0;
    uint64_t serial = 0;
    if (OSStatus err = reader->FrameAt(mediaTime, &frame, &frameTime, &next, &serial);
        err != noErr) {
        return err;
    }
    // Scale the picture to the buffer in the turned orientation, then turn it.
    const bool quarter = t->rotation == 90 || t->rotation == 270;
    const int32_t w = quarter ? dest.height : dest.width;
    const int32_t h = quarter ? dest.width : dest.height;
    const MatrixRecord m =
        FrameMatrix(frame->width, frame->height, w, h, t->rotation, nullptr, nullptr);
    PictureConverter converter;
    return converter.Draw(PlanesOf(frame), dest, m, kCodecHighQuality);
}
