#include "platform/tests/support/frames.h"

#include <cstdlib>

#include "platform/decompress.h"
#include "platform/media_export.h"

DelegateProcs::DelegateProcs(Movie movie, OSType trackType) {
    m_status = OpenMovieExportDelegate(&m_delegate);
    if (m_status != noErr) return;
    MovieExportNewProcsParams np;
    np.trackType = trackType;
    np.scale = &m_scale;
    np.movie = movie;
    np.propertyProc = &m_prop;
    np.dataProc = &m_data;
    np.refCon = &m_ref;
    m_status = CallComponent(m_delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &np);
}

DelegateProcs::~DelegateProcs() {
    if (m_status == noErr) {
        MovieExportDisposeProcsParams dp{m_prop, m_data, m_ref};
        CallComponent(m_delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, &dp);
    }
    if (m_delegate != nullptr) CloseComponent(m_delegate);
}

OSStatus ExtractFrame(Movie movie, double seconds, int32_t w, int32_t h, int32_t degrees,
                      ExtractedFrame* out) {
    const DelegateProcs procs(movie, kVideoMediaType);
    if (procs.status() != noErr) return procs.status();
    MovieExportGetDataParams gp;
    gp.recordSize = kMovieExportGetDataParamsRecordSize;
    gp.trackID = 1;
    gp.sourceTimeScale = procs.scale();
    gp.requestedTime = static_cast<TimeValue>(seconds * procs.scale());
    OSStatus err = procs.getData(&gp);
    if (err != noErr) return err;
    const MatrixRecord m = FrameMatrix(gp.desc->width, gp.desc->height, w, h, degrees,
                                       &out->width, &out->height);
    out->bgra.assign(static_cast<size_t>(out->width) * out->height * 4, 0);
    PixelBuffer pb{out->bgra.data(), out->width, out->height, out->width * 4,
                   k32BGRAPixelFormat};
    DecompressSequence seq = nullptr;
    err = DecompressSequenceBegin(&seq, *gp.desc, pb, &m, kDitherCopyMode, kCodecNormalQuality);
    if (err == noErr) err = DecompressSequenceFrame(seq, gp.dataPtr, gp.dataSize);
    CDSequenceEnd(seq);
    out->durationToNext = gp.durationPerSample;
    out->seed = gp.descSeed;
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
