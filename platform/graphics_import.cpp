#include "platform/graphics_import.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "platform/movie_internal.h"
#include "platform/picture_convert.h"
#include "platform/track_reader.h"

struct GraphicsImporterRecord {
    Movie movie = nullptr;
    std::unique_ptr<VideoReader> reader;
    const AVFrame* frame = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    PictureConverter converter;

    ~GraphicsImporterRecord() { DisposeMovie(movie); }
};

namespace {

constexpr std::array<OSType, 8> kPictureTypes{
    MakeOSType("BMP "), MakeOSType("GIF "), MakeOSType("JPEG"), MakeOSType("JPG "),
    MakeOSType("PNG "), MakeOSType("TIF "), MakeOSType("TIFF"), MakeOSType("WEBP"),
};

constexpr std::array<OSType, 32> kMovieTypes{
    MakeOSType("3G2 "), MakeOSType("3GP "), MakeOSType("AAC "), MakeOSType("AIF "),
    MakeOSType("AIFC"), MakeOSType("AIFF"), MakeOSType("AMR "), MakeOSType("ASF "),
    MakeOSType("AU  "), MakeOSType("AVI "), MakeOSType("CAF "), MakeOSType("DIF "),
    MakeOSType("DV  "), MakeOSType("FLAC"), MakeOSType("FLV "), MakeOSType("M1V "),
    MakeOSType("M4A "), MakeOSType("M4V "), MakeOSType("MKV "), MakeOSType("MOV "),
    MakeOSType("MP3 "), MakeOSType("MP4 "), MakeOSType("MPEG"), MakeOSType("MPG "),
    MakeOSType("OGG "), MakeOSType("OGV "), MakeOSType("TS  "), MakeOSType("VOB "),
    MakeOSType("WAV "), MakeOSType("WEBM"), MakeOSType("WMA "), MakeOSType("WMV "),
};

}  // namespace

OSStatus GraphicsImportOpen(const std::string& path, GraphicsImporter* importer) {
    if (importer == nullptr) return kStatusParamError;
    *importer = nullptr;
    auto gi = std::unique_ptr<GraphicsImporterRecord>(new (std::nothrow) GraphicsImporterRecord);
    if (!gi) return kStatusOutOfMemory;
    if (OSStatus err = NewMovieFromStillImage(path, 1000, 1000, &gi->movie); err != noErr) {
        return err;
    }
    Track t = GetMovieIndTrack(gi->movie, 1);
    if (t == nullptr) return kStatusNoMovieFound;
    if (OSStatus err = VideoReader::Open(*t, &gi->reader); err != noErr) return err;
    TimeValue frameTime = 0, next = 0;
    uint64_t serial = 0;
    if (OSStatus err = gi->reader->FrameAt(0, &gi->frame, &frameTime, &next, &serial);
        err != noErr) {
        return err == kStatusEndOfData ? kStatusCantDecodeVideo : err;
    }
    GetTrackDimensions(t, &gi->width, &gi->height);
    *importer = gi.release();
    return noErr;
}

OSStatus GraphicsImportOpen(const DataReference& ref, GraphicsImporter* importer) {
    std::string path;
    if (OSStatus err = ResolveAliasDataReference(ref, &path); err != noErr) return err;
    return GraphicsImportOpen(path, importer);
}

OSStatus GraphicsImportGetNaturalBounds(GraphicsImporter gi, int32_t* width, int32_t* height) {
    if (gi == nullptr) return kStatusParamError;
    if (width != nullptr) *width = gi->width;
    if (height != nullptr) *height = gi->height;
    return noErr;
}

OSStatus GraphicsImportDraw(GraphicsImporter gi, const PixelBuffer& dest,
                            const MatrixRecord* matrix, int32_t quality) {
    if (gi == nullptr || gi->frame == nullptr) return kStatusParamError;
    MatrixRecord m;
    if (matrix != nullptr) {
        m = *matrix;
    } else {
        ScaleMatrix(&m, static_cast<double>(dest.width) / gi->frame->width,
                    static_cast<double>(dest.height) / gi->frame->height);
    }
    return gi->converter.Draw(PlanesOf(gi->frame), dest, m, quality);
}

void GraphicsImportClose(GraphicsImporter gi) {
    delete gi;
}

std::vector<OSType> GraphicsImporterFileTypes() {
    return std::vector<OSType>(kPictureTypes.begin(), kPictureTypes.end());
}

std::vector<OSType> MovieImporterFileTypes() {
    return std::vector<OSType>(kMovieTypes.begin(), kMovieTypes.end());
}
