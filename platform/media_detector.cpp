#include "platform/media_detector.h"

#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "platform/format_codes.h"
#include "platform/media_source.h"
#include "platform/vfw.h"

namespace {
// Requests further ahead than this seek instead of decoding their way there.
constexpr double kSeekAheadSeconds = 5.0;
}  // namespace

struct MediaDetectorRecord {
    std::unique_ptr<MediaSource> source;
    int stream = -1;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* current = nullptr;
    AVFrame* next = nullptr;
    bool haveCurrent = false, haveNext = false, ended = false;
    double currentTime = 0, nextTime = 0;
    SwsContext* sws = nullptr;
    // AVI keeps no presentation times: pictures are timed by their count
    // from where decoding started, at the stream's frame rate.
    double frameStep = 0;
    double baseTime = 0;
    int64_t counted = -1;  // pictures decoded since the start; -1: base unknown

    void CloseDecoder() {
        avcodec_free_context(&codec);
        av_packet_free(&packet);
        av_frame_free(&current);
        av_frame_free(&next);
        haveCurrent = haveNext = ended = false;
    }
    ~MediaDetectorRecord() {
        CloseDecoder();
        sws_freeContext(sws);
    }
    AVStream* Stream() const { return source->format()->streams[stream]; }
    double StampSeconds(const AVFrame* f) const {
        const int64_t pts = f->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) return currentTime;
        const int64_t start = Stream()->start_time != AV_NOPTS_VALUE ? Stream()->start_time : 0;
        return double(pts - start) * av_q2d(Stream()->time_base);
    }
    double Seconds(const AVFrame* f) {
        if (frameStep <= 0) return StampSeconds(f);
        if (counted < 0) {
            baseTime = StampSeconds(f);
            counted = 0;
        }
        return baseTime + double(counted++) * frameStep;
    }
    bool Decode(AVFrame* f) {
        for (;;) {
            if (source->Expired()) return false;
            const int rc = avcodec_receive_frame(codec, f);
            if (rc == 0) return true;
            if (rc == AVERROR_EOF) return false;
            if (rc != AVERROR(EAGAIN)) continue;
            if (ended) return false;
            if (av_read_frame(source->format(), packet) < 0) {
                avcodec_send_packet(codec, nullptr);
                ended = true;
                continue;
            }
            if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    }
};

OSStatus MediaDetectorCreate(MediaDetector* det) {
    if (det == nullptr) return kStatusParamError;
    *det = new (std::nothrow) MediaDetectorRecord;
    return *det != nullptr ? noErr : kStatusOutOfMemory;
}

void MediaDetectorRelease(MediaDetector det) {
    delete det;
}

OSStatus MediaDetectorSetFilename(MediaDetector det, const std::string& path) {
    if (det == nullptr) return kStatusParamError;
    det->CloseDecoder();
    det->stream = -1;
    det->source.reset();
    return MediaSource::Open(ByteSource{path, nullptr}, &det->source);
}

int32_t MediaDetectorOutputStreams(MediaDetector det) {
    if (det == nullptr || !det->source) return 0;
    return int32_t(det->source->format()->nb_streams);
}

OSStatus MediaDetectorSetCurrentStream(MediaDetector det, int32_t index) {
    if (det == nullptr || index < 0 || index >= MediaDetectorOutputStreams(det))
        return kStatusParamError;
    det->CloseDecoder();
    det->stream = index;
    return noErr;
}

OSType MediaDetectorStreamFormatType(MediaDetector det) {
    if (det == nullptr || det->stream < 0) return 0;
    const AVCodecParameters* par = det->Stream()->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO) return 0;
    const OSType code = SampleFormatForStream(*par, ContainerFamily::kRiff);
    if (!IsDetectorVideoCode(code) || avcodec_find_decoder(par->codec_id) == nullptr) return 0;
    return kVideoInfoFormatType;
}

double MediaDetectorStreamLength(MediaDetector det) {
    if (det == nullptr || det->stream < 0) return 0;
    const AVStream* st = det->Stream();
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        return double(st->duration) * av_q2d(st->time_base);
    const AVFormatContext* fmt = det->source->format();
    return fmt->duration > 0 ? double(fmt->duration) / AV_TIME_BASE : 0;
}

double MediaDetectorFrameRate(MediaDetector det) {
    if (det == nullptr || det->stream < 0) return 0;
    const AVRational r = det->Stream()->avg_frame_rate.num > 0 ? det->Stream()->avg_frame_rate
                                                               : det->Stream()->r_frame_rate;
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0;
}

OSStatus MediaDetectorGetBitmapBits(MediaDetector det, double seconds, int32_t* size,
                                    uint8_t* buffer, int32_t width, int32_t height) {
    if (det == nullptr || size == nullptr || width <= 0 || height <= 0 || width > 16384 ||
        height > 16384 || MediaDetectorStreamFormatType(det) != kVideoInfoFormatType)
        return kStatusParamError;
    const int32_t rowBytes = DibRowBytes(width, 24);
    const int64_t need = int64_t(kBitmapInfoHeaderSize) + int64_t(rowBytes) * height;
    if (need > INT32_MAX) return kStatusParamError;
    if (buffer == nullptr) {
        *size = int32_t(need);
        return noErr;
    }
    if (*size < need) return kStatusParamError;
    *size = int32_t(need);

    if (det->codec == nullptr) {
        const AVCodecParameters* par = det->Stream()->codecpar;
        const AVCodec* c = avcodec_find_decoder(par->codec_id);
        det->codec = c ? avcodec_alloc_context3(c) : nullptr;
        det->packet = av_packet_alloc();
        det->current = av_frame_alloc();
        det->next = av_frame_alloc();
        if (det->codec == nullptr || det->packet == nullptr || det->current == nullptr ||
            det->next == nullptr)
            return kStatusOutOfMemory;
        if (avcodec_parameters_to_context(det->codec, par) < 0) return kStatusOutOfMemory;
        det->codec->pkt_timebase = det->Stream()->time_base;
        if (avcodec_open2(det->codec, c, nullptr) < 0) return kStatusCantDecodeVideo;
        const double rate = MediaDetectorFrameRate(det);
        det->frameStep = rate > 0 ? 1.0 / rate : 0;
        det->baseTime = 0;
        det->counted = 0;
        AVFormatContext* fmt = det->source->format();
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            fmt->streams[i]->discard = int(i) == det->stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    det->source->ArmDeadline(kRequestDeadlineSeconds);
    const bool back = det->haveCurrent && seconds < det->currentTime;
    const bool far = det->haveNext && seconds - det->nextTime > kSeekAheadSeconds;
    if (back || far) {
        const AVStream* st = det->Stream();
        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        av_seek_frame(det->source->format(), det->stream,
                      start + int64_t(seconds / av_q2d(st->time_base)), AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(det->codec);
        det->haveCurrent = det->haveNext = det->ended = false;
        det->counted = -1;
    }
    if (!det->haveCurrent) {
        if (!det->Decode(det->current)) return kStatusCantDecodeVideo;
        det->haveCurrent = true;
        det->currentTime = det->Seconds(det->current);
    }
    for (;;) {
        if (!det->haveNext) {
            av_frame_unref(det->next);
            if (!det->Decode(det->next)) break;
            det->haveNext = true;
            det->nextTime = det->Seconds(det->next);
        }
        // A request made by adding up frame steps may fall a hair short.
        if (det->nextTime > seconds + 1e-6) break;
        std::swap(det->current, det->next);
        det->currentTime = det->nextTime;
        det->haveNext = false;
    }
    const AVFrame* f = det->current;
    det->sws = sws_getCachedContext(det->sws, f->width, f->height, AVPixelFormat(f->format), width,
                                    height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr,
                                    nullptr);
    if (det->sws == nullptr) return kStatusCantDecodeVideo;
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 24;
    h.sizeImage = uint32_t(rowBytes) * uint32_t(height);
    WriteBitmapInfoHeader(h, std::span<uint8_t, kBitmapInfoHeaderSize>(buffer, kBitmapInfoHeaderSize));
    uint8_t* rows = buffer + kBitmapInfoHeaderSize;
    uint8_t* dst[4] = {rows + ptrdiff_t(height - 1) * rowBytes, nullptr, nullptr, nullptr};
    int lines[4] = {-rowBytes, 0, 0, 0};
    sws_scale(det->sws, f->data, f->linesize, 0, f->height, dst, lines);
    return noErr;
}
