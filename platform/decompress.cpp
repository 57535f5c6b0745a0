#include "platform/decompress.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "platform/codec_component.h"
#include "platform/format_codes.h"
#include "platform/picture_convert.h"
#include "platform/vfw.h"

void SetIdentityMatrix(MatrixRecord* m) {
    if (m != nullptr) *m = MatrixRecord{};
}

void ScaleMatrix(MatrixRecord* m, double sx, double sy) {
    m->a *= sx;
    m->c *= sx;
    m->tx *= sx;
    m->b *= sy;
    m->d *= sy;
    m->ty *= sy;
}

void TranslateMatrix(MatrixRecord* m, double dx, double dy) {
    m->tx += dx;
    m->ty += dy;
}

void RotateMatrix(MatrixRecord* m, double degrees, double x, double y) {
    double turns = std::fmod(degrees, 360.0);
    if (turns < 0) turns += 360.0;
    double cs = std::cos(turns * M_PI / 180.0), sn = std::sin(turns * M_PI / 180.0);
    // Quarter turns exactly, so that they stay recognisable as such.
    if (turns == 0.0) cs = 1, sn = 0;
    if (turns == 90.0) cs = 0, sn = 1;
    if (turns == 180.0) cs = -1, sn = 0;
    if (turns == 270.0) cs = 0, sn = -1;
    TranslateMatrix(m, -x, -y);
    const MatrixRecord o = *m;
    m->a = o.a * cs - o.b * sn;
    m->b = o.a * sn + o.b * cs;
    m->c = o.c * cs - o.d * sn;
    m->d = o.c * sn + o.d * cs;
    m->tx = o.tx * cs - o.ty * sn;
    m->ty = o.tx * sn + o.ty * cs;
    TranslateMatrix(m, x, y);
}

MatrixRecord FrameMatrix(int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH, int32_t degrees,
                         int32_t* outW, int32_t* outH) {
    MatrixRecord m;
    if (srcW > 0 && srcH > 0) {
        ScaleMatrix(&m, static_cast<double>(dstW) / srcW, static_cast<double>(dstH) / srcH);
    }
    RotateMatrix(&m, degrees, 0, 0);
    // Move the turned picture back to the origin.
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? srcW : 0, y = (corner & 2) ? srcH : 0;
        const double px = m.a * x + m.c * y + m.tx, py = m.b * x + m.d * y + m.ty;
        minX = std::min(minX, px);
        minY = std::min(minY, py);
        maxX = std::max(maxX, px);
        maxY = std::max(maxY, py);
    }
    TranslateMatrix(&m, -minX, -minY);
    if (outW != nullptr) *outW = static_cast<int32_t>(std::lround(maxX - minX));
    if (outH != nullptr) *outH = static_cast<int32_t>(std::lround(maxY - minY));
    return m;
}

struct DecompressSequenceRecord {
    SampleDescription desc;
    PixelBuffer dest;
    MatrixRecord matrix;
    int32_t quality = kCodecNormalQuality;
    bool brightnessOnly = false;
    bool lent = false;                          // samples are lent decoded pictures
    AVPixelFormat rawFormat = AV_PIX_FMT_NONE;  // uncompressed samples
    AVCodecContext* codec = nullptr;            // compressed samples
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    PictureConverter converter;
    std::unique_ptr<ComponentFrameDecoder> component;  // formats the toolbox lacks

    ~DecompressSequenceRecord() {
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

namespace {

AVPixelFormat RawFormatOf(const SampleDescription& desc) {
    if (desc.dataFormat == kDecodedPictureFormat) {
        const auto f = static_cast<AVPixelFormat>(desc.pixelFormat);
        return av_pix_fmt_desc_get(f) != nullptr ? f : AV_PIX_FMT_NONE;
    }
    if (desc.dataFormat == kBGRAPixelFormat) return AV_PIX_FMT_BGRA;
    if (desc.dataFormat == kRawCodecType) {
        if (desc.depth == 24) return AV_PIX_FMT_RGB24;
        if (desc.depth == 32) return AV_PIX_FMT_ARGB;
    }
    return AV_PIX_FMT_NONE;
}

}  // namespace

OSStatus DecompressSequenceBegin(DecompressSequence* seq, const SampleDescription& desc,
                                 const PixelBuffer& dest, const MatrixRecord* matrix,
                                 int32_t mode, int32_t quality) {
    if (seq == nullptr) return kStatusParamError;
    *seq = nullptr;
    if (!PixelBufferIsValid(dest) || desc.width <= 0 || desc.height <= 0 || desc.width > 16384 ||
        desc.height > 16384) {
        return kStatusParamError;
    }
    const MatrixRecord m = matrix != nullptr ? *matrix : MatrixRecord{};
    if (OSStatus err = PictureConverter::CheckMatrix(m); err != noErr) return err;
    auto s = std::unique_ptr<DecompressSequenceRecord>(new (std::nothrow) DecompressSequenceRecord);
    if (!s) return kStatusOutOfMemory;
    s->desc = desc;
    s->dest = dest;
    s->matrix = m;
    s->quality = quality;
    s->brightnessOnly = (mode & kBrightnessOnlyMode) != 0;
    s->rawFormat = RawFormatOf(desc);
    s->lent = desc.dataFormat == kDecodedPictureFormat;
    if (s->lent && s->rawFormat == AV_PIX_FMT_NONE) return kStatusParamError;
    if (s->rawFormat == AV_PIX_FMT_NONE && ToolboxLacks(desc)) {
        if (OSStatus err = ComponentFrameDecoder::Open(desc, k24BGPixelFormat, &s->component);
            err != noErr)
            return err;
    } else if (s->rawFormat == AV_PIX_FMT_NONE) {
        const AVCodec* codec = avcodec_find_decoder(CodecForVideoFormat(desc.dataFormat));
        if (codec == nullptr) return kStatusNoCodec;
        s->codec = avcodec_alloc_context3(codec);
        s->frame = av_frame_alloc();
        s->packet = av_packet_alloc();
        if (s->codec == nullptr || s->frame == nullptr || s->packet == nullptr) {
            return kStatusOutOfMemory;
        }
        s->codec->width = desc.width;
        s->codec->height = desc.height;
        if (!desc.extension.empty()) {
            const size_t n = desc.extension.size();
            s->codec->extradata =
                static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
            if (s->codec->extradata == nullptr) return kStatusOutOfMemory;
            std::memcpy(s->codec->extradata, desc.extension.data(), n);
            s->codec->extradata_size = static_cast<int>(n);
        }
        if (avcodec_open2(s->codec, codec, nullptr) < 0) return kStatusNoCodec;
    }
    *seq = s.release();
    return noErr;
}

OSStatus DecompressSequenceFrame(DecompressSequence seq, const uint8_t* data, int32_t size) {
    if (seq == nullptr || data == nullptr || size <= 0) return kStatusParamError;
    if (seq->lent) {
        // Drawn straight from the decoder's planes, without a copy.
        const PicturePlanes* p = LentPlanes(data, size);
        if (p == nullptr || p->format != seq->rawFormat || p->width != seq->desc.width ||
            p->height != seq->desc.height) {
            return kStatusParamError;
        }
        return seq->converter.Draw(*p, seq->dest, seq->matrix, seq->quality,
                                   seq->brightnessOnly);
    }
    if (seq->rawFormat != AV_PIX_FMT_NONE) {
        const int need =
            av_image_get_buffer_size(seq->rawFormat, seq->desc.width, seq->desc.height, 1);
        if (need <= 0 || size < need) return kStatusParamError;
        PicturePlanes p;
        uint8_t* planes[4] = {};
        if (av_image_fill_arrays(planes, p.linesize, data, seq->rawFormat, seq->desc.width,
                                 seq->desc.height, 1) < 0) {
            return kStatusParamError;
        }
        for (int i = 0; i < 4; ++i) p.data[i] = planes[i];
        p.width = seq->desc.width;
        p.height = seq->desc.height;
        p.format = seq->rawFormat;
        return seq->converter.Draw(p, seq->dest, seq->matrix, seq->quality, seq->brightnessOnly);
    }
    if (seq->component) {
        ComponentFrameDecoder& c = *seq->component;
        if (OSStatus err = c.Decode(data, size, true, false); err != noErr) return err;
        PicturePlanes p;
        p.data[0] = c.pixels();
        p.linesize[0] = c.rowBytes();
        p.width = seq->desc.width;
        p.height = seq->desc.height;
        p.format = c.destFormat() == k24BGPixelFormat ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_0RGB;
        return seq->converter.Draw(p, seq->dest, seq->matrix, seq->quality, seq->brightnessOnly);
    }
    av_packet_unref(seq->packet);
    if (av_new_packet(seq->packet, size) < 0) return kStatusOutOfMemory;
    std::memcpy(seq->packet->data, data, static_cast<size_t>(size));
    if (avcodec_send_packet(seq->codec, seq->packet) < 0) return kStatusCantDecodeVideo;
    const int rc = avcodec_receive_frame(seq->codec, seq->frame);
    if (rc == AVERROR(EAGAIN)) return noErr;  // the decoder waits for more samples
    if (rc < 0) return kStatusCantDecodeVideo;
    const OSStatus err = seq->converter.Draw(PlanesOf(seq->frame), seq->dest, seq->matrix,
                                             seq->quality, seq->brightnessOnly);
    av_frame_unref(seq->frame);
    return err;
}

void CDSequenceEnd(DecompressSequence seq) {
    delete seq;
}

bool ToolboxLacks(OSType format) {
    return IsVfwVideoCode(format) || IsDetectorVideoCode(format);
}

bool ToolboxLacks(const SampleDescription& desc) {
    return !desc.strf.empty() && ToolboxLacks(desc.dataFormat);
}

bool HasImageDecompressorFor(const SampleDescription& desc) {
    if (!desc.strf.empty() || !ToolboxLacks(desc.dataFormat))
        return HasImageDecompressor(desc.dataFormat);
    const AVCodecID id = CodecForVideoFormat(desc.dataFormat);
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

bool HasImageDecompressor(OSType format) {
    if (format == kDecodedPictureFormat || format == kBGRAPixelFormat) return true;
    if (ToolboxLacks(format)) return FindImageCodec(format) != nullptr;
    const AVCodecID id = CodecForVideoFormat(format);
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

bool HasSoundDecompressor(OSType format) {
    if (format == 0 || format == kRawCodecType || format == kTwosComplementFormat ||
        format == kLittleEndianFormat || format == kSoundNotCompressed) {
        return true;
    }
    const AVCodecID id = CodecForSoundFormat(format);
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}
