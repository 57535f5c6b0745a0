#include "platform/image_compression.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "platform/cinepak_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// One compressor's way of turning frames into bytes.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual OSStatus Open(int32_t width, int32_t height, int32_t quality, int32_t keyRate) = 0;
    virtual size_t MaxSize() const = 0;
    virtual void SetRate(const DataRateParams& params) { rate = params; }
    virtual void SetQuality(int32_t q) { quality = q; }
    virtual OSStatus Compress(const uint8_t* pixels, ptrdiff_t rowBytes, bool forceKey,
                              std::span<uint8_t> out, CompressedFrame* result) = 0;

  protected:
    DataRateParams rate;
    int32_t quality = kCompressHighQuality;
    int32_t width = 0, height = 0, keyFrameRate = 0;
};

// libavcodec objects of one encoder.
struct AvEncoder {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~AvEncoder() { Close(); }
    void Close() {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    // Sends the frame and takes back its packet; the encoders here have no delay.
    OSStatus Encode(std::span<uint8_t> out, size_t* size, bool* key) {
        if (avcodec_send_frame(ctx, frame) < 0) return kStatusParamError;
        const int err = avcodec_receive_packet(ctx, packet);
        if (err < 0) return kStatusParamError;
        if (static_cast<size_t>(packet->size) > out.size()) {
            av_packet_unref(packet);
            return kStatusParamError;
        }
        std::memcpy(out.data(), packet->data, static_cast<size_t>(packet->size));
        *size = static_cast<size_t>(packet->size);
        *key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet);
        return noErr;
    }
};

OSStatus AllocFrame(AvEncoder& e, AVPixelFormat format, int32_t w, int32_t h) {
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.frame || !e.packet) return kStatusOutOfMemory;
    e.frame->format = format;
    e.frame->width = w;
    e.frame->height = h;
    return av_frame_get_buffer(e.frame, 0) < 0 ? kStatusOutOfMemory : noErr;
}

// 'rle ' at 32 bits: lossless, so quality and rate do not apply. The encoder
// decides key frames by itself, so a key frame on demand means a fresh
// encoder (its first frame is always one).
class RleBackend final : public Backend {
  public:
    OSStatus Open(int32_t w, int32_t h, int32_t, int32_t keyRate) override {
        width = w;
        height = h;
        keyFrameRate = keyRate;
        return Restart();
    }
    size_t MaxSize() const override {
        // The encoder's own worst case: every pixel in its own run, twice over.
        const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
        return w * h * 8 + h * 2 + w / 127 + 64;
    }
    OSStatus Compress(const uint8_t* pixels, ptrdiff_t rowBytes, bool forceKey,
                      std::span<uint8_t> out, CompressedFrame* result) override {
        if (forceKey || sinceKey + 1 >= keyFrameRate) {
            const OSStatus status = Restart();
            if (status != noErr) return status;
        }
        if (av_frame_make_writable(enc.frame) < 0) return kStatusOutOfMemory;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* s = pixels + y * rowBytes;
            uint8_t* d = enc.frame->data[0] + static_cast<ptrdiff_t>(y) * enc.frame->linesize[0];
            for (int32_t x = 0; x < width; ++x, s += 4, d += 4) {
                d[0] = 0xFF;
                d[1] = s[2];
                d[2] = s[1];
                d[3] = s[0];
            }
        }
        enc.frame->pts = frameNumber++;
        bool key = false;
        const OSStatus status = enc.Encode(out, &result->size, &key);
        if (status != noErr) return status;
        sinceKey = key ? 0 : sinceKey + 1;
        result->similarity = key ? 0 : 128;
        return noErr;
    }

  private:
    OSStatus Restart() {
        enc.Close();
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_QTRLE);
        if (!codec) return kStatusComponentNotFound;
        enc.ctx = avcodec_alloc_context3(codec);
        if (!enc.ctx) return kStatusOutOfMemory;
        enc.ctx->width = width;
        enc.ctx->height = height;
        enc.ctx->pix_fmt = AV_PIX_FMT_ARGB;
        enc.ctx->time_base = AVRational{1, 1000};
        // Key frames come from here (Restart), never from the encoder's count.
        enc.ctx->gop_size = 1 << 30;
        if (avcodec_open2(enc.ctx, codec, nullptr) < 0) return kStatusParamError;
        sinceKey = 0;
        return AllocFrame(enc, AV_PIX_FMT_ARGB, width, height);
    }
    AvEncoder enc;
    int64_t frameNumber = 0;
    int32_t sinceKey = 0;
};

// Bytes wanted for the next frame: its share of the data rate, less a part
// of what the last second overshot.
double TargetBytes(const DataRateParams& rate) {
    const double ms = rate.frameDuration > 0 ? rate.frameDuration : 100;
    const double share = rate.dataRate * ms / 1000.0;
    const double target = share - rate.dataOverrun * std::min(1.0, ms / 500.0);
    return std::max(target, share / 4);
}

// 'mp4v': MPEG-4 part 2 with the stream headers in every key frame (no global
// header), so a player can start at any of them. Rate control is our own: a
// per-frame quantiser chosen from a running estimate of bytes x quantiser for
// key and difference frames apart.
class Mpeg4Backend final : public Backend {
  public:
    ~Mpeg4Backend() override { sws_freeContext(sws); }
    OSStatus Open(int32_t w, int32_t h, int32_t q, int32_t keyRate) override {
        width = w;
        height = h;
        quality = q;
        keyFrameRate = keyRate;
        if ((w & 1) || (h & 1)) return kStatusParamError;
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        if (!codec) return kStatusComponentNotFound;
        enc.ctx = avcodec_alloc_context3(codec);
        if (!enc.ctx) return kStatusOutOfMemory;
        enc.ctx->width = w;
        enc.ctx->height = h;
        enc.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        enc.ctx->time_base = AVRational{1, 1000};
        enc.ctx->gop_size = keyRate > 0 ? keyRate : 1 << 30;
        enc.ctx->max_b_frames = 0;
        enc.ctx->flags |= AV_CODEC_FLAG_QSCALE;
        enc.ctx->thread_count = 1;
        if (avcodec_open2(enc.ctx, codec, nullptr) < 0) return kStatusParamError;
        OSStatus status = AllocFrame(enc, AV_PIX_FMT_YUV420P, w, h);
        if (status != noErr) return status;
        sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                             nullptr, nullptr);
        return sws ? noErr : kStatusOutOfMemory;
    }
    size_t MaxSize() const override { return static_cast<size_t>(width) * height * 3 + 4096; }
    OSStatus Compress(const uint8_t* pixels, ptrdiff_t rowBytes, bool forceKey,
                      std::span<uint8_t> out, CompressedFrame* result) override {
        if (av_frame_make_writable(enc.frame) < 0) return kStatusOutOfMemory;
        const uint8_t* src[1] = {pixels};
        const int stride[1] = {static_cast<int>(rowBytes)};
        sws_scale(sws, src, stride, 0, height, enc.frame->data, enc.frame->linesize);
        const bool key = forceKey || frameNumber == 0 || sinceKey + 1 >= keyFrameRate;
        enc.frame->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        const int qp = ChooseQuantiser(key);
        enc.frame->quality = qp * FF_QP2LAMBDA;
        enc.frame->pts = frameNumber++;
        bool isKey = false;
        const OSStatus status = enc.Encode(out, &result->size, &isKey);
        if (status != noErr) return status;
        double& c = complexity[isKey ? 1 : 0];
        const double seen = static_cast<double>(result->size) * qp;
        c = c > 0 ? 0.5 * c + 0.5 * seen : seen;
        sinceKey = isKey ? 0 : sinceKey + 1;
        result->similarity = isKey ? 0 : 128;
        return noErr;
    }

  private:
    int ChooseQuantiser(bool key) const {
        // The quality sets the finest quantiser allowed: 2 at the most,
        // quantiser 3 at high quality and 7 at normal.
        const int64_t gap = kCompressMaxQuality - std::clamp(quality, 0, 0x3FF);
        const int finest = 2 + static_cast<int>(gap * gap * 29 / (0x3FF * 0x3FF));
        if (rate.dataRate <= 0) return finest;
        double c = complexity[key ? 1 : 0];
        if (c <= 0 && key && complexity[0] > 0) c = complexity[0] * 4;
        if (c <= 0 && !key && complexity[1] > 0) c = complexity[1] / 4;
        if (c <= 0) return std::max(finest, 8);
        // A key frame may spend a few frames' shares; the overrun pays it back.
        const double target = TargetBytes(rate) * (key ? 3.0 : 1.0);
        const int qp = static_cast<int>(std::lround(c / target));
        return std::clamp(qp, finest, 31);
    }
    AvEncoder enc;
    SwsContext* sws = nullptr;
    int64_t frameNumber = 0;
    int32_t sinceKey = 0;
    std::array<double, 2> complexity{};  // bytes x quantiser: difference, key
};

// 'cvid' over our own compressor, which has rate control of its own.
class CinepakBackend final : public Backend {
  public:
    OSStatus Open(int32_t w, int32_t h, int32_t q, int32_t keyRate) override {
        width = w;
        height = h;
        quality = q;
        keyFrameRate = keyRate;
        return encoder.open(w, h, q, keyRate, false);
    }
    size_t MaxSize() const override { return encoder.maxCompressedSize(); }
    void SetRate(const DataRateParams& params) override {
        rate = params;
        encoder.setRate(CinepakRate{params.dataRate, params.dataOverrun, params.frameDuration});
    }
    void SetQuality(int32_t q) override {
        // The compressor takes its quality only when opened; the next frame is
        // a key frame of the new sequence.
        if (q == quality) return;
        quality = q;
        if (encoder.open(width, height, q, keyFrameRate, false) == noErr) SetRate(rate);
    }
    OSStatus Compress(const uint8_t* pixels, ptrdiff_t rowBytes, bool forceKey,
                      std::span<uint8_t> out, CompressedFrame* result) override {
        const size_t bytes = static_cast<size_t>(height - 1) * static_cast<size_t>(rowBytes) +
                             4 * static_cast<size_t>(width);
        bool key = false;
        const OSStatus status =
            encoder.compress(std::span<const uint8_t>(pixels, bytes), static_cast<size_t>(rowBytes),
                             forceKey, out, &result->size, &key);
        if (status != noErr) return status;
        result->similarity = key ? 0 : 128;
        return noErr;
    }

  private:
    CinepakEncoder encoder;
};

struct CompressorEntry {
    OSType subtype;
    Backend* (*make)();
};

template <typename T>
Backend* Make() {
    return new (std::nothrow) T();
}

constexpr std::array<CompressorEntry, 3> kCompressors = {{
    {kRleCodecType, Make<RleBackend>},
    {kCinepakCodecType, Make<CinepakBackend>},
    {kMpeg4CodecType, Make<Mpeg4Backend>},
}};

}  // namespace

struct CompressSequenceRecord {
    std::unique_ptr<Backend> backend;
    bool discarded = false;
};

bool NextImageCompressor(int index, OSType* subtype) {
    if (index < 0 || static_cast<size_t>(index) >= kCompressors.size()) return false;
    if (subtype) *subtype = kCompressors[static_cast<size_t>(index)].subtype;
    return true;
}

bool ImageCompressorInstalled(OSType subtype) {
    OSType t = 0;
    for (int i = 0; NextImageCompressor(i, &t); ++i) {
        if (t == subtype) return true;
    }
    return false;
}

OSStatus CompressSequenceBegin(CompressSequence* out, OSType subtype, int32_t width, int32_t height,
                               int32_t depth, int32_t spatialQuality, int32_t,
                               int32_t keyFrameRate) {
    if (!out) return kStatusParamError;
    *out = nullptr;
    if (depth != 32 || width < 1 || height < 1 || width > 4096 || height > 4096) {
        return kStatusParamError;
    }
    const CompressorEntry* entry = nullptr;
    for (const CompressorEntry& e : kCompressors) {
        if (e.subtype == subtype) entry = &e;
    }
    if (!entry) return kStatusComponentNotFound;
    auto seq = std::unique_ptr<CompressSequenceRecord>(new (std::nothrow) CompressSequenceRecord);
    if (!seq) return kStatusOutOfMemory;
    seq->backend.reset(entry->make());
    if (!seq->backend) return kStatusOutOfMemory;
    const OSStatus status = seq->backend->Open(width, height, spatialQuality, keyFrameRate);
    if (status != noErr) return status;
    *out = seq.release();
    return noErr;
}

void CompressSequenceEnd(CompressSequence seq) {
    delete seq;
}

size_t CompressSequenceMaxSize(CompressSequence seq) {
    return seq ? seq->backend->MaxSize() : 0;
}

OSStatus SetCompressSequenceDataRate(CompressSequence seq, const DataRateParams& params) {
    if (!seq) return kStatusParamError;
    seq->backend->SetRate(params);
    return noErr;
}

OSStatus SetCompressSequenceQuality(CompressSequence seq, int32_t spatialQuality, int32_t) {
    if (!seq) return kStatusParamError;
    seq->backend->SetQuality(std::clamp(spatialQuality, kCompressMinQuality, kCompressMaxQuality));
    return noErr;
}

OSStatus CompressSequenceFrame(CompressSequence seq, const uint8_t* pixels, ptrdiff_t rowBytes,
                               bool forceKey, std::span<uint8_t> out, CompressedFrame* result) {
    if (!seq || !pixels || !result || out.size() < seq->backend->MaxSize()) {
        return kStatusParamError;
    }
    const OSStatus status =
        seq->backend->Compress(pixels, rowBytes, forceKey || seq->discarded, out, result);
    if (status == noErr) seq->discarded = false;
    return status;
}

void CompressSequenceDiscardLast(CompressSequence seq) {
    if (seq) seq->discarded = true;
}
