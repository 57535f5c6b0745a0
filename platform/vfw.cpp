#include "platform/vfw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "platform/media_source.h"
#include "platform/vfw_pixels.h"

namespace {

OSType Upper(OSType t) {
    OSType r = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint8_t c = uint8_t(t >> shift);
        if (c >= 'a' && c <= 'z') c = uint8_t(c - 'a' + 'A');
        r |= OSType(c) << shift;
    }
    return r;
}

template <size_t N>
bool Contains(const std::array<OSType, N>& codes, OSType code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

AVCodecID CodecOfFourCC(uint32_t fourcc) {
    const AVCodecTag* const lists[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_id(lists, fourcc);
}

uint16_t LE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t LE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}

bool SupportedOutput(const BitmapFormat& in, const BitmapFormat& out) {
    const BitmapInfoHeader& o = out.header;
    const bool plain = (o.bitCount == 8 || o.bitCount == 16 || o.bitCount == 24) && o.compression == kBiRgb;
    return (plain || IsZeroRgb32Format(out)) &&
           o.width == in.header.width && std::abs(o.height) == std::abs(in.header.height) &&
           o.width > 0 && o.width <= 16384 && o.height != 0 && std::abs(o.height) <= 16384;
}

int AliveUsers = 0;

}  // namespace

bool IsVfwVideoCode(OSType code) {
    return Contains(kVfwVideoCodes, code);
}

bool IsDetectorVideoCode(OSType code) {
    return Contains(kDetectorVideoCodes, code);
}

bool ReadBitmapInfoHeader(std::span<const uint8_t> b, BitmapInfoHeader* out) {
    if (b.size() < kBitmapInfoHeaderSize || out == nullptr) return false;
    const uint8_t* p = b.data();
    out->size = LE32(p);
    out->width = int32_t(LE32(p + 4));
    out->height = int32_t(LE32(p + 8));
    out->planes = LE16(p + 12);
    out->bitCount = LE16(p + 14);
    out->compression = LE32(p + 16);
    out->sizeImage = LE32(p + 20);
    out->xPelsPerMeter = int32_t(LE32(p + 24));
    out->yPelsPerMeter = int32_t(LE32(p + 28));
    out->clrUsed = LE32(p + 32);
    out->clrImportant = LE32(p + 36);
    return true;
}

void WriteBitmapInfoHeader(const BitmapInfoHeader& h,
                           std::span<uint8_t, kBitmapInfoHeaderSize> out) {
    uint8_t* p = out.data();
    PutLE32(p, h.size);
    PutLE32(p + 4, uint32_t(h.width));
    PutLE32(p + 8, uint32_t(h.height));
    PutLE16(p + 12, h.planes);
    PutLE16(p + 14, h.bitCount);
    PutLE32(p + 16, h.compression);
    PutLE32(p + 20, h.sizeImage);
    PutLE32(p + 24, uint32_t(h.xPelsPerMeter));
    PutLE32(p + 28, uint32_t(h.yPelsPerMeter));
    PutLE32(p + 32, h.clrUsed);
    PutLE32(p + 36, h.clrImportant);
}

int32_t DibRowBytes(int32_t width, int32_t bitCount) {
    return int32_t(((int64_t(width) * bitCount + 31) / 32) * 4);
}

namespace {

// Channel masks of 0, red, green, blue bytes read as little-endian words.
constexpr uint32_t kZeroRgbMasks[3] = {0x0000FF00u, 0x00FF0000u, 0xFF000000u};

}  // namespace

BitmapFormat ZeroRgb32Format(int32_t width, int32_t height) {
    BitmapFormat f;
    f.header.width = width;
    f.header.height = height;
    f.header.bitCount = 32;
    f.header.compression = kBiBitfields;
    f.header.sizeImage = uint32_t(DibRowBytes(width, 32)) * uint32_t(std::abs(height));
    for (size_t i = 0; i < 3; ++i) PutLE32(f.colours[i].data(), kZeroRgbMasks[i]);
    return f;
}

bool IsZeroRgb32Format(const BitmapFormat& f) {
    if (f.header.bitCount != 32 || f.header.compression != kBiBitfields) return false;
    for (size_t i = 0; i < 3; ++i)
        if (LE32(f.colours[i].data()) != kZeroRgbMasks[i]) return false;
    return true;
}

// --- Drivers --------------------------------------------------------------------

struct VfwDriverRecord {
    AVCodecID codecId = AV_CODEC_ID_NONE;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    bool begun = false;
    std::vector<uint8_t> rgb;        // 8-bit output: the picture before mapping
    std::vector<uint8_t> paletteMap;  // 15-bit colour -> nearest entry

    void End() {
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
        begun = false;
    }
    ~VfwDriverRecord() {
        End();
        sws_freeContext(sws);
    }
};

HIC ICLocate(OSType type, OSType handler, const BitmapFormat& in, const BitmapFormat* out) {
    if (type != kICTypeVideo || !IsVfwVideoCode(handler)) return nullptr;
    // The driver of a code takes every input stored under one of its names.
    const AVCodecID id = CodecOfFourCC(FourCCFromOSType(Upper(handler)));
    if (id == AV_CODEC_ID_NONE || avcodec_find_decoder(id) == nullptr) return nullptr;
    if (!IsVfwVideoCode(OSTypeFromFourCC(in.header.compression)) ||
        CodecOfFourCC(in.header.compression) != id)
        return nullptr;
    if (in.header.width <= 0 || in.header.height == 0 || in.header.width > 16384 ||
        std::abs(in.header.height) > 16384)
        return nullptr;
    if (out != nullptr && !SupportedOutput(in, *out)) return nullptr;
    auto* ic = new (std::nothrow) VfwDriverRecord;
    if (ic != nullptr) ic->codecId = id;
    return ic;
}

int32_t ICSendMessage(HIC ic, uint32_t message, const BitmapFormat* in, const BitmapFormat* out) {
    if (ic == nullptr) return kICErrBadParam;
    switch (message) {
        case kICMDecompressBegin: {
            if (in == nullptr || out == nullptr || !SupportedOutput(*in, *out)) return kICErrBadFormat;
            ic->End();
            const AVCodec* c = avcodec_find_decoder(ic->codecId);
            ic->codec = c ? avcodec_alloc_context3(c) : nullptr;
            ic->frame = av_frame_alloc();
            ic->packet = av_packet_alloc();
            if (ic->codec == nullptr || ic->frame == nullptr || ic->packet == nullptr) {
                ic->End();
                return kICErrMemory;
            }
            ic->codec->width = in->header.width;
            ic->codec->height = std::abs(in->header.height);
            ic->codec->codec_tag = in->header.compression;
            // A driver hands back the picture of the frame it was given.
            ic->codec->thread_count = 1;
            ic->codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
            if (!in->codecData.empty()) {
                const size_t n = std::min<size_t>(in->codecData.size(), 1 << 20);
                ic->codec->extradata =
                    static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
                if (ic->codec->extradata == nullptr) {
                    ic->End();
                    return kICErrMemory;
                }
                std::memcpy(ic->codec->extradata, in->codecData.data(), n);
                ic->codec->extradata_size = int(n);
            }
            if (avcodec_open2(ic->codec, c, nullptr) < 0) {
                ic->End();
                return kICErrBadFormat;
            }
            ic->paletteMap.clear();
            ic->begun = true;
            return kICErrOK;
        }
        case kICMDecompressFlush:
            if (ic->begun) avcodec_flush_buffers(ic->codec);
            return kICErrOK;
        case kICMDecompressEnd:
            ic->End();
            return kICErrOK;
        default:
            return kICErrUnsupported;
    }
}

namespace {

// Nearest colour-table entry of every 15-bit colour, made once per sequence.
void BuildPaletteMap(HIC ic, const BitmapFormat& out) {
    ic->paletteMap.resize(32768);
    const uint32_t used = out.header.clrUsed == 0 ? 256 : std::min<uint32_t>(out.header.clrUsed, 256);
    for (int c = 0; c < 32768; ++c) {
        const int r = ((c >> 10) & 31) << 3, g = ((c >> 5) & 31) << 3, b = (c & 31) << 3;
        int best = 0, bestD = 1 << 30;
        for (uint32_t i = 0; i < used; ++i) {
            const auto& e = out.colours[i];
            const int d = (e[2] - r) * (e[2] - r) + (e[1] - g) * (e[1] - g) + (e[0] - b) * (e[0] - b);
            if (d < bestD) bestD = d, best = int(i);
        }
        ic->paletteMap[size_t(c)] = uint8_t(best);
    }
}

}  // namespace

int32_t ICDecompress(HIC ic, uint32_t flags, const BitmapFormat& in, const uint8_t* data,
                     int32_t size, const BitmapFormat& out, uint8_t* buffer) {
    if (ic == nullptr || buffer == nullptr || size < 0 || (size > 0 && data == nullptr))
        return kICErrBadParam;
    if (!ic->begun) return kICErrError;
    if (!SupportedOutput(in, out)) return kICErrBadFormat;
    if (size == 0) return kICErrOK;  // a dropped frame: the last picture stays
    av_packet_unref(ic->packet);
    if (av_new_packet(ic->packet, size) < 0) return kICErrMemory;
    std::memcpy(ic->packet->data, data, size_t(size));
    if ((flags & kICDecompressNotKeyFrame) == 0) ic->packet->flags |= AV_PKT_FLAG_KEY;
    if (avcodec_send_packet(ic->codec, ic->packet) < 0) return kICErrError;
    const int rc = avcodec_receive_frame(ic->codec, ic->frame);
    if (rc == AVERROR(EAGAIN)) return kICErrOK;
    if (rc < 0) return kICErrError;
    struct Unref {
        AVFrame* f;
        ~Unref() { av_frame_unref(f); }
    } unref{ic->frame};
    if ((flags & kICDecompressHurryUp) != 0) return kICErrOK;

    const int w = out.header.width, h = std::abs(out.header.height);
    const int bits = out.header.bitCount;
    const int32_t rowBytes = DibRowBytes(w, bits);
    uint8_t* target = buffer;
    int32_t targetRow = rowBytes;
    if (bits == 8) {
        ic->rgb.resize(size_t(w) * 3 * size_t(h));
        target = ic->rgb.data();
        targetRow = w * 3;
    }
    // Bottom-up rows unless the height is negative.
    uint8_t* dst[4] = {target, nullptr, nullptr, nullptr};
    int lines[4] = {targetRow, 0, 0, 0};
    if (out.header.height > 0) {
        dst[0] = target + ptrdiff_t(h - 1) * targetRow;
        lines[0] = -targetRow;
    }
    const AVFrame& f = *ic->frame;
    if (f.format == AV_PIX_FMT_YUV420P && f.width == w && f.height == h && bits >= 24) {
        // The usual picture at its own size: written in one pass, with no
        // scaler set up and no intermediate rows.
        const Yuv420Picture picture{{f.data[0], f.data[1], f.data[2]},
                                    {f.linesize[0], f.linesize[1], f.linesize[2]},
                                    w,
                                    h};
        ConvertYuv420Rows(picture, dst[0], lines[0],
                          bits == 24 ? DriverRowFormat::kBgr24 : DriverRowFormat::k0Rgb32);
        return kICErrOK;
    }
    const AVPixelFormat dstFormat = bits == 16   ? AV_PIX_FMT_RGB555LE
                                    : bits == 32 ? AV_PIX_FMT_0RGB
                                                 : AV_PIX_FMT_BGR24;
    ic->sws = sws_getCachedContext(ic->sws, f.width, f.height, AVPixelFormat(f.format), w, h,
                                   dstFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (ic->sws == nullptr) return kICErrError;
    sws_scale(ic->sws, f.data, f.linesize, 0, f.height, dst, lines);
    if (bits == 32) {
        // The scaler fills the unused byte; the format wants it 0.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) target[ptrdiff_t(y) * targetRow + 4 * x] = 0;
    }
    if (bits == 8) {
        if (ic->paletteMap.empty()) BuildPaletteMap(ic, out);
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = ic->rgb.data() + size_t(y) * size_t(w) * 3;
            uint8_t* d = buffer + size_t(y) * size_t(rowBytes);
            for (int x = 0; x < w; ++x, s += 3)
                d[x] = ic->paletteMap[size_t(((s[2] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[0] >> 3))];
        }
    }
    return kICErrOK;
}

void ICClose(HIC ic) {
    delete ic;
}

// --- AVI files --------------------------------------------------------------------

struct VfwAviFileRecord {
    std::shared_ptr<MediaSource> source;
};

struct VfwAviStreamRecord {
    std::shared_ptr<MediaSource> source;
    int index = -1;
    OSType type = 0;
};

struct VfwGetFrameRecord {
    std::shared_ptr<MediaSource> source;
    int index = -1;
    HIC ic = nullptr;
    BitmapFormat in, out;
    std::vector<uint8_t> packed;  // header + bottom-up 24-bit rows
    int32_t nextPosition = 0;
    AVPacket* packet = nullptr;
    ~VfwGetFrameRecord() {
        if (ic != nullptr) {
            ICSendMessage(ic, kICMDecompressEnd, nullptr, nullptr);
            ICClose(ic);
        }
        av_packet_free(&packet);
    }
};

void AVIFileInit() {
    ++AliveUsers;
}

void AVIFileExit() {
    if (AliveUsers > 0) --AliveUsers;
}

OSStatus AVIFileOpenRead(const std::string& path, PAVIFILE* file) {
    if (file == nullptr) return kStatusParamError;
    *file = nullptr;
    std::unique_ptr<MediaSource> src;
    if (OSStatus err = MediaSource::Open(ByteSource{path, nullptr}, &src); err != noErr) return err;
    if (std::strcmp(src->format()->iformat->name, "avi") != 0) return kStatusNoMovieFound;
    auto* f = new (std::nothrow) VfwAviFileRecord;
    if (f == nullptr) return kStatusOutOfMemory;
    f->source = std::move(src);
    *file = f;
    return noErr;
}

void AVIFileRelease(PAVIFILE file) {
    delete file;
}

OSStatus AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, OSType type, int32_t index) {
    if (file == nullptr || stream == nullptr) return kStatusParamError;
    *stream = nullptr;
    const AVMediaType want = type == kStreamTypeVideo   ? AVMEDIA_TYPE_VIDEO
                             : type == kStreamTypeAudio ? AVMEDIA_TYPE_AUDIO
                                                        : AVMEDIA_TYPE_UNKNOWN;
    AVFormatContext* fmt = file->source->format();
    int32_t seen = 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        if (fmt->streams[i]->codecpar->codec_type != want) continue;
        if (seen++ != index) continue;
        auto* s = new (std::nothrow) VfwAviStreamRecord;
        if (s == nullptr) return kStatusOutOfMemory;
        s->source = file->source;
        s->index = int(i);
        s->type = type;
        *stream = s;
        return noErr;
    }
    return kStatusNotFound;
}

void AVIStreamRelease(PAVISTREAM stream) {
    delete stream;
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream) {
    if (stream == nullptr || stream->type != kStreamTypeVideo) return nullptr;
    const AVCodecParameters* par = stream->source->format()->streams[stream->index]->codecpar;
    auto g = std::unique_ptr<VfwGetFrameRecord>(new (std::nothrow) VfwGetFrameRecord);
    if (!g) return nullptr;
    g->source = stream->source;
    g->index = stream->index;
    g->in.header.width = par->width;
    g->in.header.height = par->height;
    g->in.header.bitCount = uint16_t(par->bits_per_coded_sample);
    g->in.header.compression = par->codec_tag;
    if (par->extradata != nullptr && par->extradata_size > 0)
        g->in.codecData.assign(par->extradata, par->extradata + par->extradata_size);
    g->out.header.width = par->width;
    g->out.header.height = par->height;
    g->out.header.bitCount = 24;
    g->out.header.sizeImage = uint32_t(DibRowBytes(par->width, 24)) * uint32_t(std::max(par->height, 0));
    g->ic = ICLocate(kICTypeVideo, OSTypeFromFourCC(par->codec_tag), g->in, &g->out);
    if (g->ic == nullptr) return nullptr;
    if (ICSendMessage(g->ic, kICMDecompressBegin, &g->in, &g->out) != kICErrOK) return nullptr;
    g->packet = av_packet_alloc();
    if (g->packet == nullptr) return nullptr;
    g->packed.assign(kBitmapInfoHeaderSize + g->out.header.sizeImage, 0);
    WriteBitmapInfoHeader(g->out.header,
                          std::span<uint8_t, kBitmapInfoHeaderSize>(g->packed.data(), kBitmapInfoHeaderSize));
    return g.release();
}

const uint8_t* AVIStreamGetFrame(PGETFRAME g, int32_t position) {
    if (g == nullptr || position < 0) return nullptr;
    AVFormatContext* fmt = g->source->format();
    g->source->ArmDeadline(kRequestDeadlineSeconds);
    if (position < g->nextPosition) {
        if (av_seek_frame(fmt, g->index, 0, AVSEEK_FLAG_BACKWARD) < 0) return nullptr;
        ICSendMessage(g->ic, kICMDecompressFlush, nullptr, nullptr);
        g->nextPosition = 0;
    }
    while (g->nextPosition <= position) {
        av_packet_unref(g->packet);
        if (av_read_frame(fmt, g->packet) < 0) return nullptr;
        if (g->packet->stream_index != g->index) continue;
        uint32_t flags = (g->packet->flags & AV_PKT_FLAG_KEY) ? 0 : kICDecompressNotKeyFrame;
        if (g->nextPosition < position) flags |= kICDecompressHurryUp;
        const int32_t rc = ICDecompress(g->ic, flags, g->in, g->packet->data, g->packet->size,
                                        g->out, g->packed.data() + kBitmapInfoHeaderSize);
        av_packet_unref(g->packet);
        if (rc != kICErrOK) return nullptr;
        ++g->nextPosition;
    }
    return g->packed.data();
}

void AVIStreamGetFrameClose(PGETFRAME frames) {
    delete frames;
}
