#include "toolkit/layout_picture.h"

#include <algorithm>

#include "export/avi_support.h"
#include "platform/decompress.h"
#include "platform/files.h"
#include "platform/graphics_import.h"

namespace {

// Pictures larger than any screen the editor draws are refused.
constexpr int kMaxPictureSide = 4096;

bool sizeOk(int w, int h) {
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide;
}

// The movie's box scaled to fit the target, keeping its shape; false when
// the box has no width or height.
bool fitMovieBox(Movie movie, int targetWidth, int targetHeight, int* w, int* h) {
    int32_t bw = 0, bh = 0;
    GetMovieNaturalBounds(movie, &bw, &bh);
    if (bw <= 0 || bh <= 0) return false;
    *w = targetWidth;
    *h = targetHeight;
    if (int64_t(bw) * targetHeight >= int64_t(bh) * targetWidth)
        *h = std::max(1, int(int64_t(bh) * targetWidth / bw));
    else
        *w = std::max(1, int(int64_t(bw) * targetHeight / bh));
    return true;
}

}  // namespace

TimeValue moviePictureTime(TimeValue duration, TimeScale scale) {
    if (scale <= 0 || duration <= 0) return 0;
    return duration < TimeValue(20) * scale ? duration / 2 : TimeValue(10) * scale;
}

OSStatus makeMoviePicture(Movie movie, int targetWidth, int targetHeight, LayoutPicture* out) {
    if (movie == nullptr || out == nullptr || !sizeOk(targetWidth, targetHeight))
        return kStatusParamError;
    int w = 0, h = 0;
    if (!fitMovieBox(movie, targetWidth, targetHeight, &w, &h)) return kStatusParamError;
    LayoutPicture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(size_t(w) * size_t(h) * 4, 0);
    for (size_t i = 3; i < p.pixels.size(); i += 4) p.pixels[i] = 255;
    const PixelBuffer dest{p.pixels.data(), w, h, w * 4, k32BGRAPixelFormat};
    const TimeValue at = moviePictureTime(GetMovieDuration(movie), GetMovieTimeScale(movie));
    if (OSStatus err = DrawMovieFrame(movie, at, dest); err != noErr) return err;
    *out = std::move(p);
    return noErr;
}

namespace {

// The frame of an AVI file that Video for Windows cannot decode, grabbed
// by the direct reader: its first step lands on the picture's time.
OSStatus directAviPicture(const FileSpec& spec, Movie movie, int targetWidth, int targetHeight,
                          LayoutPicture* out) {
    int w = 0, h = 0;
    if (!fitMovieBox(movie, targetWidth, targetHeight, &w, &h)) return kStatusParamError;
    const TimeScale scale = GetMovieTimeScale(movie);
    const TimeValue at = moviePictureTime(GetMovieDuration(movie), scale);
    DirectAviReader* reader = DirectAviReaderOpen(spec);
    if (reader == nullptr) return kStatusNoCodec;
    LayoutPicture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(size_t(w) * size_t(h) * 4, 0);
    const PixelBuffer dest{p.pixels.data(), w, h, w * 4, k32BGRAPixelFormat};
    // A step of the picture's time: the first frame drawn is at 0, the second at it.
    const double seconds = scale > 0 ? double(at) / scale : 0;
    const Fixed rate = seconds > 0 ? Fixed(65536.0 / seconds) : 0;
    OSStatus err = DirectAviReaderSetSize(reader, w, h, rate > 0 ? rate : 1);
    if (err == noErr) err = DirectAviReaderDrawNext(reader, dest);
    if (err == noErr && seconds > 0) {
        const OSStatus later = DirectAviReaderDrawNext(reader, dest);
        if (later != kStatusEndOfData) err = later;
    }
    DirectAviReaderClose(reader);
    if (err != noErr) return err;
    for (size_t i = 3; i < p.pixels.size(); i += 4) p.pixels[i] = 255;
    *out = std::move(p);
    return noErr;
}

}  // namespace

OSStatus makeMoviePicture(const std::string& path, int targetWidth, int targetHeight,
                          LayoutPicture* out) {
    if (out == nullptr || !sizeOk(targetWidth, targetHeight)) return kStatusParamError;
    Movie m = nullptr;
    if (OSStatus err = NewMovieFromFile(path, &m); err != noErr) return err;
    // AVI video the toolbox lacks a decompressor for: through the codec
    // bridge when Video for Windows decodes it, else grabbed directly.
    FileSpec spec;
    AviHeaderInfo info;
    bool direct = false;
    if (HasAviExtension(path) && FileSpecFromPath(path, &spec) == noErr &&
        ReadAviHeaders(spec, &info) == noErr && info.videoCode != 0) {
        if (VfwCanDecode(spec))
            RegisterBridgeForFile(spec, info.videoCode);
        else
            direct = true;
    }
    const OSStatus err = direct ? directAviPicture(spec, m, targetWidth, targetHeight, out)
                                : makeMoviePicture(m, targetWidth, targetHeight, out);
    DisposeMovie(m);
    return err;
}

OSStatus pictureFileSize(const std::string& path, int* width, int* height) {
    if (width == nullptr || height == nullptr) return kStatusParamError;
    GraphicsImporter gi = nullptr;
    if (OSStatus err = GraphicsImportOpen(path, &gi); err != noErr) return err;
    int32_t w = 0, h = 0;
    const OSStatus err = GraphicsImportGetNaturalBounds(gi, &w, &h);
    GraphicsImportClose(gi);
    if (err != noErr) return err;
    *width = w;
    *height = h;
    return noErr;
}

OSStatus drawPictureFile(const std::string& path, int width, int height, LayoutPicture* out) {
    if (out == nullptr || !sizeOk(width, height)) return kStatusParamError;
    GraphicsImporter gi = nullptr;
    if (OSStatus err = GraphicsImportOpen(path, &gi); err != noErr) return err;
    LayoutPicture p;
    p.width = width;
    p.height = height;
    p.pixels.assign(size_t(width) * size_t(height) * 4, 0);
    const PixelBuffer dest{p.pixels.data(), width, height, width * 4, k32BGRAPixelFormat};
    const OSStatus err = GraphicsImportDraw(gi, dest, nullptr, kCodecHighQuality);
    GraphicsImportClose(gi);
    if (err != noErr) return err;
    *out = std::move(p);
    return noErr;
}

OSStatus chooseBackgroundPicture(LayoutEditor* editor, const std::string& path) {
    if (editor == nullptr) return kStatusParamError;
    int w = 0, h = 0;
    if (OSStatus err = pictureFileSize(path, &w, &h); err != noErr) return err;
    editor->setBackgroundPicture(path, {w, h});
    return noErr;
}

std::vector<FileFilter> backgroundPictureFilters(std::string_view imageFiles,
                                                 std::string_view allFiles,
                                                 const std::vector<OSType>& importerSubtypes) {
    std::vector<OSType> types = importerSubtypes;
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    std::string patterns;
    for (OSType t : types) {
        std::string ext;
        for (int shift = 24; shift >= 0; shift -= 8) ext += char((t >> shift) & 0xFF);
        while (!ext.empty() && ext.back() == ' ') ext.pop_back();
        if (ext.empty()) continue;
        patterns += "*." + ext + ";";
    }
    return {{std::string(imageFiles), patterns}, {std::string(allFiles), "*.*"}};
}
