#include "platform/tests/support/frames.h"

#include <cstdlib>

#include "platform/decompress.h"
#include "platform/media_export.h"

OSStatus ExtractFrame(Movie movie, double seconds, int32_t w, int32_t h, int32_t degrees,
                      ExtractedFrame* out) {
    ComponentInstance delegate = nullptr;
    if (OSStatus err = OpenMovieExportDelegate(&delegate); err != noErr) return err;
    TimeScale scale = 0;
    MovieExportGetPropertyProc prop = nullptr;
    MovieExportGetDataProc data = nullptr;
    void* ref = nullptr;
    MovieExportNewProcsParams np;
    np.trackType = kVideoMediaType;
    np.scale = &scale;
    np.movie = movie;
    np.propertyProc = &prop;
    np.dataProc = &data;
    np.refCon = &ref;
    OSStatus err = CallComponent(delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &np);
    if (err == noErr) {
        MovieExportGetDataParams gp;
        gp.recordSize = kMovieExportGetDataParamsRecordSize;
        gp.trackID = 1;
        gp.sourceTimeScale = scale;
        gp.requestedTime = static_cast<TimeValue>(seconds * scale);
        err = data(ref, &gp);
        if (err == noErr) {
            const MatrixRecord m = FrameMatrix(gp.desc->width, gp.desc->height, w, h, degrees,
                                               &out->width, &out->height);
            out->bgra.assign(static_cast<size_t>(out->width) * out->height * 4, 0);
            PixelBuffer pb{out->bgra.data(), out->width, out->height, out->width * 4,
                           k32BGRAPixelFormat};
            DecompressSequence seq = nullptr;
            err = DecompressSequenceBegin(&seq, *gp.desc, pb, &m, kDitherCopyMode,
                                          kCodecNormalQuality);
            if (err == noErr) err = DecompressSequenceFrame(seq, gp.dataPtr, gp.dataSize);
            CDSequenceEnd(seq);
            out->durationToNext = gp.durationPerSample;
            out->seed = gp.descSeed;
        }
        MovieExportDisposeProcsParams dp{prop, data, ref};
        CallComponent(delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, &dp);
    }
    CloseComponent(delegate);
    return err;
}

Rgb PixelAt(const ExtractedFrame& f, int32_t x, int32_t y) {
    const uint8_t* p = f.bgra.data() + (static_cast<size_t>(y) * f.width + x) * 4;
    return Rgb{p[2], p[1], p[0]};
}

Rgb QuadrantColour(const ExtractedFrame& f, bool right, bool bottom) {
    return PixelAt(f, right ? f.width * 3 / 4 : f.width / 4,
                   bottom ? f.height * 3 / 4 : f.height / 4);
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}
