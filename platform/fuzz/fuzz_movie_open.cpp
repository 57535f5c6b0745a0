// Feeds arbitrary bytes to the movie opener and, when a movie comes of it,
// pulls a few pictures and some sound through the export delegate.
#include <cstddef>
#include <cstdint>

#include "platform/decompress.h"
#include "platform/media_export.h"
#include "platform/movies.h"

namespace {

void Pull(Movie movie, ComponentInstance delegate, OSType kind) {
    TimeScale scale = 0;
    MovieExportGetPropertyProc prop = nullptr;
    MovieExportGetDataProc data = nullptr;
    void* ref = nullptr;
    MovieExportNewProcsParams np;
    np.trackType = kind;
    np.scale = &scale;
    np.movie = movie;
    np.propertyProc = &prop;
    np.dataProc = &data;
    np.refCon = &ref;
    if (CallComponent(delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &np) != noErr) {
        return;
    }
    uint8_t pixels[32 * 24 * 4];
    TimeValue t = 0;
    for (int i = 0; i < 8; ++i) {
        MovieExportGetDataParams p;
        p.recordSize = kMovieExportGetDataParamsRecordSize;
        p.sourceTimeScale = scale;
        p.requestedTime = t;
        p.requestedSampleCount = 2048;
        if (data(ref, &p) != noErr) break;
        if (kind == kVideoMediaType) {
            const MatrixRecord m =
                FrameMatrix(p.desc->width, p.desc->height, 32, 24, 90, nullptr, nullptr);
            PixelBuffer turned{pixels, 24, 32, 24 * 4, k32BGRAPixelFormat};
            DecompressSequence seq = nullptr;
            if (DecompressSequenceBegin(&seq, *p.desc, turned, &m, 0, 0) == noErr) {
                DecompressSequenceFrame(seq, p.dataPtr, p.dataSize);
            }
            CDSequenceEnd(seq);
            t += p.durationPerSample;
        } else {
            t += p.actualSampleCount;
        }
    }
    MovieExportDisposeProcsParams dp{prop, data, ref};
    CallComponent(delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, &dp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Movie movie = nullptr;
    if (NewMovieFromMemory({data, size}, &movie) != noErr) return 0;
    ComponentInstance delegate = nullptr;
    if (OpenMovieExportDelegate(&delegate) == noErr) {
        Pull(movie, delegate, kVideoMediaType);
        Pull(movie, delegate, kSoundMediaType);
        CloseComponent(delegate);
    }
    // Walk the chapter text as an exporter would.
    for (int32_t i = 1; i <= GetMovieTrackCount(movie); ++i) {
        Track t = GetMovieIndTrack(movie, i);
        Track chapters = GetTrackReference(t, kTrackReferenceChapterList, 1);
        for (TimeValue at = GetMediaNextSampleTime(chapters, 0, true); at >= 0;
             at = GetMediaNextSampleTime(chapters, at, false)) {
            std::vector<uint8_t> text;
            GetMediaSample(chapters, at, &text, nullptr, nullptr, nullptr);
        }
    }
    DisposeMovie(movie);
    return 0;
}
