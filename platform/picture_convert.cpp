#include "platform/picture_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr double kEpsilon = 1e-9;

bool Near0(double v) {
    return std::fabs(v) < kEpsilon;
}

void StoreBGRA(const uint8_t* bgra, OSType format, uint8_t* out) {
    const uint8_t b = bgra[0], g = bgra[1], r = bgra[2], a = bgra[3];
    switch (format) {
        case k32BGRAPixelFormat:
            std::memcpy(out, bgra, 4);
            return;
        case k32ARGBPixelFormat:
            out[0] = a;
            out[1] = r;
            out[2] = g;
            out[3] = b;
            return;
        case k16BE565PixelFormat:
        case k16LE565PixelFormat: {
            const uint16_t v = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            const bool be = format == k16BE565PixelFormat;
            out[be ? 0 : 1] = static_cast<uint8_t>(v >> 8);
            out[be ? 1 : 0] = static_cast<uint8_t>(v);
            return;
        }
        case k16BE555PixelFormat: {
            const uint16_t v = static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
            out[0] = static_cast<uint8_t>(v >> 8);
            out[1] = static_cast<uint8_t>(v);
            return;
        }
        default:
            return;
    }
}

// Whether a picture's first plane is its brightness, one byte a pixel.
bool HasBrightnessPlane(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) return false;
    constexpr uint64_t kNotYuv = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL |
                                 AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                                 AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT;
    if ((d->flags & kNotYuv) != 0 || d->nb_components < 1) return false;
    const AVComponentDescriptor& y = d->comp[0];
    return y.plane == 0 && y.depth == 8 && y.step == 1 && y.shift == 0 && y.offset == 0 &&
           (d->nb_components < 3 || (d->flags & AV_PIX_FMT_FLAG_PLANAR) != 0);
}

// Formats whose brightness uses the whole byte; the others run from 16 to 235.
bool FullRangeBrightness(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
        case AV_PIX_FMT_GRAY8:
            return true;
        default:
            return false;
    }
}

// Brightness to 32-bit pixels with equal red, green and blue, opaque; video
// brightness (16..235) is stretched to the whole byte, as turning it into red,
// green and blue and weighing them back would give.
using GreyPixels = std::array<uint32_t, 256>;

GreyPixels MakeGreyPixels(bool videoRange, bool alphaFirst) {
    GreyPixels t{};
    for (int v = 0; v < 256; ++v) {
        const auto g = static_cast<uint8_t>(
            videoRange ? std::clamp((v - 16) * 255.0 / 219.0 + 0.5, 0.0, 255.0) : v);
        const uint8_t bytes[4] = {alphaFirst ? uint8_t(255) : g, g, g,
                                  alphaFirst ? g : uint8_t(255)};
        std::memcpy(&t[v], bytes, 4);
    }
    return t;
}

const GreyPixels& GreyPixelsFor(bool videoRange, bool alphaFirst) {
    static const GreyPixels tables[4] = {MakeGreyPixels(false, false), MakeGreyPixels(false, true),
                                         MakeGreyPixels(true, false), MakeGreyPixels(true, true)};
    return tables[(videoRange ? 2 : 0) + (alphaFirst ? 1 : 0)];
}

void ExpandGrey(const uint8_t* grey, int width, int height, const GreyPixels& pixels,
                uint8_t* out, ptrdiff_t outRowBytes) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = grey + static_cast<ptrdiff_t>(y) * width;
        uint8_t* o = out + y * outRowBytes;
        for (int x = 0; x < width; ++x) std::memcpy(o + 4 * x, &pixels[in[x]], 4);
    }
}

struct Lending {
    std::mutex lock;
    std::set<const void*> records;
};

Lending& Lent() {
    static Lending lending;
    return lending;
}

}  // namespace

void LendPlanes(const PicturePlanes* record) {
    Lending& l = Lent();
    const std::lock_guard<std::mutex> hold(l.lock);
    l.records.insert(record);
}

void EndLending(const PicturePlanes* record) {
    Lending& l = Lent();
    const std::lock_guard<std::mutex> hold(l.lock);
    l.records.erase(record);
}

const PicturePlanes* LentPlanes(const uint8_t* data, int32_t size) {
    if (data == nullptr || size != static_cast<int32_t>(sizeof(PicturePlanes))) return nullptr;
    Lending& l = Lent();
    const std::lock_guard<std::mutex> hold(l.lock);
    return l.records.count(data) != 0 ? reinterpret_cast<const PicturePlanes*>(data) : nullptr;
}

AVPixelFormat AVPixelFormatFor(OSType pixelFormat) {
    switch (pixelFormat) {
        case k32BGRAPixelFormat:
            return AV_PIX_FMT_BGRA;
        case k32ARGBPixelFormat:
            return AV_PIX_FMT_ARGB;
        case k16BE565PixelFormat:
            return AV_PIX_FMT_RGB565BE;
        case k16LE565PixelFormat:
            return AV_PIX_FMT_RGB565LE;
        case k16BE555PixelFormat:
            return AV_PIX_FMT_RGB555BE;
        default:
            return AV_PIX_FMT_NONE;
    }
}

PicturePlanes PlanesOf(const AVFrame* frame) {
    PicturePlanes p;
    for (int i = 0; i < 4; ++i) {
        p.data[i] = frame->data[i];
        p.linesize[i] = frame->linesize[i];
    }
    p.width = frame->width;
    p.height = frame->height;
    p.format = static_cast<AVPixelFormat>(frame->format);
    return p;
}

int32_t PixelFormatBytes(OSType pixelFormat) {
    switch (pixelFormat) {
        case k32BGRAPixelFormat:
        case k32ARGBPixelFormat:
            return 4;
        case k16BE565PixelFormat:
        case k16LE565PixelFormat:
        case k16BE555PixelFormat:
            return 2;
        default:
            return 0;
    }
}

bool PixelBufferIsValid(const PixelBuffer& b) {
    const int32_t bpp = PixelFormatBytes(b.pixelFormat);
    return b.base != nullptr && bpp > 0 && b.width > 0 && b.height > 0 && b.width <= 16384 &&
           b.height <= 16384 && b.rowBytes >= b.width * bpp;
}

PictureConverter::~PictureConverter() {
    sws_freeContext(m_sws);
}

OSStatus PictureConverter::CheckMatrix(const MatrixRecord& m) {
    const bool straight = Near0(m.b) && Near0(m.c) && !Near0(m.a) && !Near0(m.d);
    const bool turned = Near0(m.a) && Near0(m.d) && !Near0(m.b) && !Near0(m.c);
    if (!straight && !turned) return kStatusParamError;
    if (!std::isfinite(m.tx) || !std::isfinite(m.ty)) return kStatusParamError;
    return noErr;
}

OSStatus PictureConverter::Draw(const PicturePlanes& src, const PixelBuffer& dest,
                                const MatrixRecord& m, int32_t quality, bool greyOnly) {
    if (!PixelBufferIsValid(dest) || src.width <= 0 || src.height <= 0) return kStatusParamError;
    if (OSStatus err = CheckMatrix(m); err != noErr) return err;
    const bool turned = Near0(m.a);
    // The scaled picture, still in the source's orientation.
    const double sx = turned ? std::fabs(m.b) : std::fabs(m.a);
    const double sy = turned ? std::fabs(m.c) : std::fabs(m.d);
    const double swd = std::round(sx * src.width), shd = std::round(sy * src.height);
    if (swd < 1 || shd < 1 || swd > 16384 || shd > 16384) return kStatusParamError;
    const int sw = static_cast<int>(swd), sh = static_cast<int>(shd);
    // Where the picture's bounds land.
    double minX = 1e300, minY = 1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? src.width : 0, y = (corner & 2) ? src.height : 0;
        minX = std::min(minX, m.a * x + m.c * y + m.tx);
        minY = std::min(minY, m.b * x + m.d * y + m.ty);
    }
    if (std::fabs(minX) > 1e6 || std::fabs(minY) > 1e6) return kStatusParamError;
    const int ox = static_cast<int>(std::lround(minX)), oy = static_cast<int>(std::lround(minY));
    const int flags = quality >= kCodecHighQuality ? SWS_BICUBIC : SWS_BILINEAR;
    const int bpp = PixelFormatBytes(dest.pixelFormat);

    const bool direct = !turned && m.a > 0 && m.d > 0 && ox >= 0 && oy >= 0 &&
                        ox + sw <= dest.width && oy + sh <= dest.height;
    const size_t turnRow = static_cast<size_t>(sw) * 4;
    auto turnBuffer = [&]() -> OSStatus {
        try {
            m_turn.resize(turnRow * static_cast<size_t>(sh));
        } catch (const std::bad_alloc&) {
            return kStatusOutOfMemory;
        }
        return noErr;
    };
    if (greyOnly && bpp == 4 && HasBrightnessPlane(src.format)) {
        // Only the brightness plane is scaled: the colour planes would be
        // weighed away again by the caller.
        m_sws = sws_getCachedContext(m_sws, src.width, src.height, AV_PIX_FMT_GRAY8, sw, sh,
                                     AV_PIX_FMT_GRAY8, flags, nullptr, nullptr, nullptr);
        if (m_sws == nullptr) return kStatusParamError;
        try {
            m_grey.resize(static_cast<size_t>(sw) * static_cast<size_t>(sh));
        } catch (const std::bad_alloc&) {
            return kStatusOutOfMemory;
        }
        const uint8_t* const in[4] = {src.data[0]};
        const int inLines[4] = {src.linesize[0]};
        uint8_t* const out[4] = {m_grey.data()};
        const int outLines[4] = {sw};
        sws_scale(m_sws, in, inLines, 0, src.height, out, outLines);
        const bool videoRange = !FullRangeBrightness(src.format);
        if (direct) {
            ExpandGrey(m_grey.data(), sw, sh,
                       GreyPixelsFor(videoRange, dest.pixelFormat == k32ARGBPixelFormat),
                       dest.base + static_cast<ptrdiff_t>(oy) * dest.rowBytes + ox * bpp,
                       dest.rowBytes);
            return noErr;
        }
        if (OSStatus err = turnBuffer(); err != noErr) return err;
        ExpandGrey(m_grey.data(), sw, sh, GreyPixelsFor(videoRange, false), m_turn.data(),
                   static_cast<ptrdiff_t>(turnRow));
    } else {
        const AVPixelFormat outFormat =
            direct ? AVPixelFormatFor(dest.pixelFormat) : AV_PIX_FMT_BGRA;
        m_sws = sws_getCachedContext(m_sws, src.width, src.height, src.format, sw, sh, outFormat,
                                     flags, nullptr, nullptr, nullptr);
        if (m_sws == nullptr) return kStatusParamError;
        if (direct) {
            uint8_t* out[4] = {dest.base + static_cast<ptrdiff_t>(oy) * dest.rowBytes + ox * bpp};
            const int outLines[4] = {dest.rowBytes};
            sws_scale(m_sws, src.data, src.linesize, 0, src.height, out, outLines);
            return noErr;
        }
        if (OSStatus err = turnBuffer(); err != noErr) return err;
        uint8_t* out[4] = {m_turn.data()};
        const int outLines[4] = {static_cast<int>(turnRow)};
        sws_scale(m_sws, src.data, src.linesize, 0, src.height, out, outLines);
    }
    for (int ys = 0; ys < sh; ++ys) {
        const uint8_t* row = m_turn.data() + static_cast<size_t>(ys) * turnRow;
        for (int xs = 0; xs < sw; ++xs) {
            int x, y;
            if (!turned) {
                x = (m.a > 0 ? xs : sw - 1 - xs) + ox;
                y = (m.d > 0 ? ys : sh - 1 - ys) + oy;
            } else {
                x = (m.c > 0 ? ys : sh - 1 - ys) + ox;
                y = (m.b > 0 ? xs : sw - 1 - xs) + oy;
            }
            if (x < 0 || y < 0 || x >= dest.width || y >= dest.height) continue;
            StoreBGRA(row + static_cast<size_t>(xs) * 4, dest.pixelFormat,
                      dest.base + static_cast<ptrdiff_t>(y) * dest.rowBytes + x * bpp);
        }
    }
    return noErr;
}
