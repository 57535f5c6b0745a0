#include "platform/track_reader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace {

// A stream this broken is not worth waiting through.
constexpr int kMaxBadPackets = 200;
// Requests further ahead than this seek instead of decoding their way there.
constexpr int kSeekAheadSeconds = 5;
// Packets read ahead while skipping pictures: enough to see past the
// reordered pictures of the usual formats to the next picture in time.
constexpr size_t kSkipLookahead = 8;
// Steps ahead of the request being served within which requests are foreseen.
constexpr int64_t kForeseenSteps = 64;
// Packet start times remembered for the same purpose.
constexpr size_t kRecentStarts = 16;
// Requests earlier than promised before a reader stops skipping.
constexpr int kPromisesBroken = 3;

bool FullDecodeForced() {
    const char* v = std::getenv("MOVIEPACKER_FULL_DECODE");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

}  // namespace

TrackDecoder::~TrackDecoder() {
    DropLookahead();
    avcodec_free_context(&m_codec);
    av_packet_free(&m_packet);
}

void TrackDecoder::DropLookahead() {
    for (AVPacket*& p : m_ahead) av_packet_free(&p);
    m_ahead.clear();
}

OSStatus TrackDecoder::OpenDecoder(const TrackRecord& track) {
    m_track = track;
    m_track.references.clear();
    if (track.streamIndex < 0) return kStatusParamError;
    if (OSStatus err = MediaSource::Open(track.bytes, &m_source); err != noErr) return err;
    AVFormatContext* fmt = m_source->format();
    if (static_cast<unsigned>(track.streamIndex) >= fmt->nb_streams) return kStatusNoMovieFound;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        fmt->streams[i]->discard =
            static_cast<int>(i) == track.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVCodecParameters* par = fmt->streams[track.streamIndex]->codecpar;
    m_packet = av_packet_alloc();
    if (m_packet == nullptr) return kStatusOutOfMemory;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && !track.descriptions.empty() &&
        ToolboxLacks(track.descriptions.front())) {
        return ComponentFrameDecoder::Open(track.descriptions.front(), k24BGPixelFormat,
                                           &m_component);
    }
    return OpenCodec(0);
}

OSStatus TrackDecoder::OpenCodec(int lowres) {
    avcodec_free_context(&m_codec);
    const AVStream* stream = m_source->format()->streams[m_track.streamIndex];
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) return kStatusNoCodec;
    m_codec = avcodec_alloc_context3(codec);
    if (m_codec == nullptr) return kStatusOutOfMemory;
    if (avcodec_parameters_to_context(m_codec, par) < 0) return kStatusOutOfMemory;
    m_codec->pkt_timebase = stream->time_base;
    // Our code stays on one thread; only the decoder of a picture track may
    // spread its own work over the cores, which keeps frame extraction at the
    // speed of the command-line tools. Sound decodes are cheap and stay serial.
    m_codec->thread_count = par->codec_type == AVMEDIA_TYPE_VIDEO ? 0 : 1;
    m_codec->lowres = std::clamp(lowres, 0, int(codec->max_lowres));
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return kStatusNoCodec;
    m_sentPacket = false;
    return noErr;
}

bool TrackDecoder::NextPacket() {
    while (m_ahead.size() <= m_lookahead && !m_readEnded) {
        AVPacket* p = av_packet_alloc();
        if (p == nullptr) break;
        if (av_read_frame(m_source->format(), p) < 0) {
            av_packet_free(&p);
            m_readEnded = true;
            break;
        }
        if (p->stream_index != m_track.streamIndex) {
            av_packet_free(&p);
            continue;
        }
        m_ahead.push_back(p);
    }
    if (m_ahead.empty()) return false;
    AVPacket* front = m_ahead.front();
    m_ahead.pop_front();
    av_packet_unref(m_packet);
    av_packet_move_ref(m_packet, front);
    av_packet_free(&front);
    return true;
}

bool TrackDecoder::DecodeThroughComponent(AVFrame* out) {
    for (;;) {
        if (m_source->Expired()) {
            m_failure = kStatusCantDecodeVideo;
            return false;
        }
        if (av_read_frame(m_source->format(), m_packet) < 0) return false;
        if (m_packet->stream_index != m_track.streamIndex) {
            av_packet_unref(m_packet);
            continue;
        }
        const OSStatus err =
            m_component->Decode(m_packet->data, m_packet->size,
                                (m_packet->flags & AV_PKT_FLAG_KEY) != 0, false);
        if (err != noErr) {
            av_packet_unref(m_packet);
            if (++m_badPackets > kMaxBadPackets) {
                m_failure = err;
                return false;
            }
            continue;
        }
        const SampleDescription& d = m_track.descriptions.front();
        out->format =
            m_component->destFormat() == k24BGPixelFormat ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_0RGB;
        out->width = d.width;
        out->height = d.height;
        out->pts = out->best_effort_timestamp = m_packet->pts != AV_NOPTS_VALUE ? m_packet->pts
                                                                                : m_packet->dts;
        out->pkt_duration = m_packet->duration;
        av_packet_unref(m_packet);
        if (av_frame_get_buffer(out, 0) < 0) {
            m_failure = kStatusOutOfMemory;
            return false;
        }
        const size_t rowBytes = size_t(d.width) * (out->format == AV_PIX_FMT_BGR24 ? 3 : 4);
        for (int y = 0; y < d.height; ++y)
            std::memcpy(out->data[0] + ptrdiff_t(y) * out->linesize[0],
                        m_component->pixels() + size_t(y) * size_t(m_component->rowBytes()),
                        rowBytes);
        return true;
    }
}

bool TrackDecoder::DecodeOne(AVFrame* out) {
    if (m_component) return DecodeThroughComponent(out);
    for (;;) {
        if (m_source->Expired()) {
            m_failure = kStatusCantDecodeVideo;
            return false;
        }
        const int rc = avcodec_receive_frame(m_codec, out);
        if (rc == 0) return true;
        if (rc == AVERROR_EOF) return false;
        if (rc != AVERROR(EAGAIN)) {
            // A broken frame: the decoder can usually go on with the next packet.
            if (++m_badPackets > kMaxBadPackets) return false;
            continue;
        }
        if (m_flushed) return false;
        if (!NextPacket()) {
            avcodec_send_packet(m_codec, nullptr);
            m_flushed = true;
            continue;
        }
        const PacketFate fate = Judge(*m_packet);
        if (fate == PacketFate::kDrop) {
            av_packet_unref(m_packet);
            continue;
        }
        m_codec->skip_frame =
            fate == PacketFate::kDecodeIfReference ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        m_sentPacket = true;
        if (avcodec_send_packet(m_codec, m_packet) < 0 && ++m_badPackets > kMaxBadPackets) {
            av_packet_unref(m_packet);
            m_failure = kStatusCantDecodeVideo;
            return false;
        }
        av_packet_unref(m_packet);
    }
}

void TrackDecoder::SeekTo(TimeValue mediaTime) {
    const int64_t ts = MediaToStreamTime(m_track, mediaTime);
    av_seek_frame(m_source->format(), m_track.streamIndex, ts, AVSEEK_FLAG_BACKWARD);
    DropLookahead();
    m_readEnded = false;
    if (m_component) m_component->Reset();
    if (m_codec != nullptr) avcodec_flush_buffers(m_codec);
    m_flushed = false;
}

VideoReader::~VideoReader() {
    av_frame_free(&m_current);
    av_frame_free(&m_next);
}

OSStatus VideoReader::Open(const TrackRecord& track, std::unique_ptr<VideoReader>* out) {
    std::unique_ptr<VideoReader> r(new (std::nothrow) VideoReader);
    if (!r) return kStatusOutOfMemory;
    if (OSStatus err = r->OpenDecoder(track); err != noErr) return err;
    r->m_current = av_frame_alloc();
    r->m_next = av_frame_alloc();
    if (r->m_current == nullptr || r->m_next == nullptr) return kStatusOutOfMemory;
    *out = std::move(r);
    return noErr;
}

bool VideoReader::Decode(AVFrame* f, TimeValue* t) {
    av_frame_unref(f);
    if (!DecodeOne(f)) return false;
    ++m_decoded;
    const int64_t pts = f->best_effort_timestamp;
    // Pictures without a time follow the one before.
    *t = pts != AV_NOPTS_VALUE ? StreamToMediaTime(m_track, pts) : m_lastTime + 1;
    m_lastTime = *t;
    return true;
}

void VideoReader::DecodeLess(int64_t stepTimes, int64_t stepDivisor, int32_t drawWidth,
                             int32_t drawHeight) {
    if (FullDecodeForced() || m_codec == nullptr || m_track.stillImage) return;
    if (stepTimes > 0 && stepDivisor > 0 && stepTimes <= (int64_t{1} << 48) &&
        stepDivisor <= (int64_t{1} << 40) && stepTimes >= stepDivisor) {
        const AVCodecDescriptor* d = avcodec_descriptor_get(m_codec->codec_id);
        m_skipping = true;
        m_stepNum = stepTimes;
        m_stepDen = stepDivisor;
        m_step = double(stepTimes) / double(stepDivisor);
        m_intraOnly = d != nullptr && (d->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
        m_lookahead = kSkipLookahead;
    }
    const int w = m_codec->width, h = m_codec->height;
    if (m_sentPacket || drawWidth <= 0 || drawHeight <= 0 || w <= 0 || h <= 0) return;
    // The smallest fraction of the size that is still twice the drawing:
    // the decoders' reduced pictures are sharper than a scaler's, and
    // scaling them down by half again keeps the result within 40 dB of
    // scaling the full picture, the only scaling it goes through.
    int level = 0;
    while (level < m_codec->codec->max_lowres &&
           AV_CEIL_RSHIFT(w, level + 1) >= 2 * drawWidth &&
           AV_CEIL_RSHIFT(h, level + 1) >= 2 * drawHeight) {
        ++level;
    }
    if (level > 0 && OpenCodec(level) != noErr) OpenCodec(0);
    // Drawn at no more than half the size, the deblocking of bidirectional
    // pictures (H.264, HEVC) is left out: it smooths block edges that the
    // scaling averages away all the same. Only those: pictures built from
    // undeblocked ones drift, and B pictures are rarely built upon (leaving
    // out all deblocking gave counter clips 32 dB, this 58 dB or more).
    if (m_codec != nullptr && 2 * drawWidth <= w && 2 * drawHeight <= h)
        m_codec->skip_loop_filter = AVDISCARD_BIDIR;
}

TrackDecoder::PacketFate VideoReader::Judge(const AVPacket& packet) {
    if (!m_skipping || packet.pts == AV_NOPTS_VALUE) return PacketFate::kDecode;
    const TimeValue start = StreamToMediaTime(m_track, packet.pts);
    // The picture after this one in time starts no later than any later
    // start among the packets around it (with reordering, the pictures this
    // one lies between are usually decoded before it).
    TimeValue bound = std::numeric_limits<TimeValue>::max();
    for (const TimeValue r : m_recentStarts)
        if (r > start) bound = std::min(bound, r);
    for (const AVPacket* a : m_ahead) {
        if (a->pts == AV_NOPTS_VALUE) continue;
        const TimeValue r = StreamToMediaTime(m_track, a->pts);
        if (r > start) bound = std::min(bound, r);
    }
    m_recentStarts.push_back(start);
    if (m_recentStarts.size() > kRecentStarts) m_recentStarts.pop_front();
    if (bound == std::numeric_limits<TimeValue>::max()) return PacketFate::kDecode;
    bool needed;
    if (start <= m_request) {
        // Reached only now: earlier requests are answered, and the one being
        // served falls on it unless a later picture starts by then.
        needed = bound > m_request;
    } else {
        // Shown only between two requests: the one being served comes before
        // it and the next one no earlier than the picture after it.
        needed = double(bound) > double(m_request) + std::floor(m_step);
    }
    // Further ahead, the requests fall a step apart as long as no picture
    // they fall on lasts longer than a step: the picture is needed if the
    // first of them that may come at its start or later may come before its
    // end. A wrong guess costs a seek back, never a wrong picture. Only as
    // far ahead as the decoder reads: there a handful of steps.
    const double ahead = (double(start) - double(m_request)) / m_step;
    if (needed && start > m_request && ahead <= kForeseenSteps && StepsHoldUntil(start)) {
        int64_t j = std::max<int64_t>(1, int64_t(ahead) - 1);
        TimeValue earliest = 0, latest = 0;
        for (RequestsAt(j, &earliest, &latest); latest < start && j <= kForeseenSteps + 2;
             RequestsAt(j, &earliest, &latest))
            j += 1;
        needed = latest < start || earliest < bound;
    }
    if (needed) return PacketFate::kDecode;
    m_skipped.insert(start);
    return m_intraOnly ? PacketFate::kDrop : PacketFate::kDecodeIfReference;
}

// The earliest and latest time the j-th request after the one being served
// may come at, if none moves off its step. The caller counts its times from
// its first request on, as the frame count times the step in double
// precision, and rounds them down: followed from there, they are known to
// the unit (the quotient is exact when it is whole, and may round up to the
// next whole unit only within its last bit). After a request off the steps
// they are known only to a unit either side.
void VideoReader::RequestsAt(int64_t j, TimeValue* earliest, TimeValue* latest) const {
    // Times past what a TimeValue holds saturate: no picture starts there.
    static constexpr __int128 kLow = std::numeric_limits<TimeValue>::min() / 2;
    static constexpr __int128 kHigh = std::numeric_limits<TimeValue>::max() / 2;
    auto clamp = [](__int128 v) { return TimeValue(std::clamp(v, kLow, kHigh)); };
    const __int128 n = __int128(m_gridCount) + j;
    if (m_gridExact) {
        const __int128 whole = n * m_stepNum;
        const __int128 q = whole / m_stepDen;
        const __int128 r = whole % m_stepDen;
        const bool mayRoundUp =
            r != 0 && double(m_stepDen - r) < 1e-12 * double(m_stepDen) * double(q + 1);
        *earliest = clamp(m_gridStart + q);
        *latest = clamp(m_gridStart + q + (mayRoundUp ? 1 : 0));
        return;
    }
    const double at = std::floor(double(m_gridStart) + double(n) * m_step);
    const double limit = double(kHigh);
    *earliest = TimeValue(std::clamp(at, -limit, limit)) - 1;
    *latest = TimeValue(std::clamp(at, -limit, limit)) + 1;
}

// Follows the requests along their steps (see RequestsAt).
void VideoReader::FollowRequest(TimeValue t) {
    if (m_gridCount >= 0 && t == m_request) return;  // asked again: the same request
    if (m_gridCount >= 0) {
        TimeValue earliest = 0, latest = 0;
        RequestsAt(1, &earliest, &latest);
        if (m_gridExact && t >= earliest && t <= latest) {
            m_gridCount += 1;
            return;
        }
    }
    // The first request, on a whole unit, or one off the steps.
    m_gridExact = m_gridCount < 0;
    m_gridStart = t;
    m_gridCount = 0;
}

// Whether every picture from the one being served to the one starting at
// `start` is known and shorter than a step (by half a unit, for rounding),
// so that no request up to there is moved off its step by a picture that
// outlasts it.
bool VideoReader::StepsHoldUntil(TimeValue start) const {
    std::array<TimeValue, kRecentStarts + kSkipLookahead + 1> known;
    size_t n = 0;
    for (const TimeValue r : m_recentStarts)
        if (n < known.size()) known[n++] = r;
    for (const AVPacket* a : m_ahead)
        if (a->pts != AV_NOPTS_VALUE && n < known.size())
            known[n++] = StreamToMediaTime(m_track, a->pts);
    std::sort(known.begin(), known.begin() + n);
    const auto last = known.begin() + n;
    auto it = std::upper_bound(known.begin(), last, m_request);
    if (it == known.begin()) return false;  // the served picture's start is not known
    for (--it; it + 1 != last && *it < start; ++it) {
        if (double(it[1]) - double(it[0]) > m_step - 0.5) return false;
    }
    return true;
}

void VideoReader::ForgetSkipped() {
    m_skipped.clear();
    m_recentStarts.clear();
}

OSStatus VideoReader::FrameAt(TimeValue t, const AVFrame** frame, TimeValue* frameTime,
                              TimeValue* nextTime, uint64_t* serial) {
    const TimeValue end = m_track.mediaDuration;
    if (t < 0 || (end > 0 && t >= end)) return kStatusEndOfData;
    m_source->ArmDeadline(kRequestDeadlineSeconds);
    if (m_track.stillImage) {
        if (!m_haveCurrent) {
            TimeValue ignored;
            if (!Decode(m_current, &ignored)) return kStatusCantDecodeVideo;
            m_haveCurrent = true;
            m_serial += 1;
        }
        *frame = m_current;
        *frameTime = 0;
        *nextTime = end;
        *serial = m_serial;
        return noErr;
    }
    if (m_skipping) FollowRequest(t);
    m_request = t;
    const TimeValue ahead = static_cast<TimeValue>(kSeekAheadSeconds) * m_track.mediaScale;
    const bool jumpBack = m_haveCurrent && t < m_currentTime;
    const bool jumpAhead = m_haveNext
                               ? t - m_nextTime > ahead
                               : (!m_haveCurrent && t > ahead) ||
                                     (m_haveCurrent && !m_drained && t - m_currentTime > ahead);
    if (jumpBack || jumpAhead) {
        SeekTo(t);
        ForgetSkipped();
        m_haveCurrent = m_haveNext = m_drained = false;
        m_lastTime = -1;
    }
    if (!m_haveCurrent) {
        if (!Decode(m_current, &m_currentTime)) {
            return m_failure != noErr ? m_failure : kStatusEndOfData;
        }
        m_haveCurrent = true;
        m_serial += 1;
    }
    for (;;) {
        if (!m_haveNext && !m_drained) {
            m_haveNext = Decode(m_next, &m_nextTime);
            m_drained = !m_haveNext;
            if (m_drained && m_failure != noErr) return m_failure;
        }
        if (!m_haveNext || m_nextTime > t) break;
        std::swap(m_current, m_next);
        m_currentTime = m_nextTime;
        m_haveNext = false;
        m_serial += 1;
    }
    // Pictures sent to be skipped that were decoded after all are behind us.
    m_skipped.erase(m_skipped.begin(), m_skipped.upper_bound(m_currentTime));
    const TimeValue skippedNext = m_skipped.empty() ? -1 : *m_skipped.begin();
    if (skippedNext >= 0 && skippedNext <= t) {
        // The request falls on a picture that was left out: the caller broke
        // its promise (by a rounding, or for good). Decode everything from
        // here on; a caller that keeps doing it gets no more skipping.
        if (++m_brokenPromises >= kPromisesBroken) {
            m_skipping = false;
            m_lookahead = 0;
        }
        SeekTo(t);
        ForgetSkipped();
        m_haveCurrent = m_haveNext = m_drained = false;
        m_lastTime = -1;
        return FrameAt(t, frame, frameTime, nextTime, serial);
    }
    TimeValue following = m_haveNext ? m_nextTime : end;
    if (skippedNext >= 0 && (!m_haveNext || skippedNext < m_nextTime)) {
        // A skipped picture still ends the one before it.
        following = skippedNext;
    } else if (!m_haveNext && end <= 0) {
        // A track of unknown length ends with its last picture's own duration.
        const int64_t d = m_current->pkt_duration;
        following = m_currentTime +
                    std::max<TimeValue>(1, d > 0 ? av_rescale_q(d, m_track.streamTimeBase,
                                                                AVRational{1, m_track.mediaScale})
                                                 : 1);
        if (t >= following) return kStatusEndOfData;
    }
    *frame = m_current;
    *frameTime = m_currentTime;
    *nextTime = std::max(following, m_currentTime + 1);
    *serial = m_serial;
    return noErr;
}

SoundReader::~SoundReader() {
    av_frame_free(&m_frame);
    swr_free(&m_swr);
}

OSStatus SoundReader::Open(const TrackRecord& track, TimeValue startMediaTime,
                           std::unique_ptr<SoundReader>* out) {
    std::unique_ptr<SoundReader> r(new (std::nothrow) SoundReader);
    if (!r) return kStatusOutOfMemory;
    if (OSStatus err = r->OpenDecoder(track); err != noErr) return err;
    r->m_frame = av_frame_alloc();
    if (r->m_frame == nullptr) return kStatusOutOfMemory;
    if (startMediaTime > 0) r->SeekTo(startMediaTime);
    r->m_fromStart = startMediaTime <= 0;
    *out = std::move(r);
    return noErr;
}

OSStatus SoundReader::Append(const AVFrame* f) {
    const auto inFormat = static_cast<AVSampleFormat>(f->format);
    const int channels = f->ch_layout.nb_channels;
    if (channels <= 0 || channels > 64 || f->sample_rate <= 0) return kStatusParamError;
    if (m_swr == nullptr || inFormat != m_inFormat || channels != m_channels ||
        f->sample_rate != m_rate) {
        const AVSampleFormat outFormat =
            (inFormat == AV_SAMPLE_FMT_U8 || inFormat == AV_SAMPLE_FMT_U8P) ? AV_SAMPLE_FMT_U8
                                                                            : AV_SAMPLE_FMT_S16;
        swr_free(&m_swr);
        AVChannelLayout layout{};
        if (av_channel_layout_copy(&layout, &f->ch_layout) < 0) return kStatusOutOfMemory;
        const int rc = swr_alloc_set_opts2(&m_swr, &layout, outFormat, f->sample_rate, &layout,
                                           inFormat, f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (rc < 0 || swr_init(m_swr) < 0) return kStatusParamError;
        // Samples of the old format that were not handed out yet are dropped
        // with the format; a format change mid-stream is rare and brief.
        if (m_rate != 0) m_pending.clear();
        m_inFormat = inFormat;
        m_outFormat = outFormat;
        m_channels = channels;
        m_rate = f->sample_rate;
        m_changed = true;
    }
    const int bytesPerFrame = av_get_bytes_per_sample(m_outFormat) * m_channels;
    const int maxOut = swr_get_out_samples(m_swr, f->nb_samples);
    if (maxOut < 0) return kStatusParamError;
    const size_t old = m_pending.size();
    m_pending.resize(old + static_cast<size_t>(maxOut) * static_cast<size_t>(bytesPerFrame));
    uint8_t* outPlanes[1] = {m_pending.data() + old};
    const int n = swr_convert(m_swr, outPlanes, maxOut,
                              const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (n < 0) {
        m_pending.resize(old);
        return kStatusParamError;
    }
    m_pending.resize(old + static_cast<size_t>(n) * static_cast<size_t>(bytesPerFrame));
    return noErr;
}

OSStatus SoundReader::Fill(int32_t frames) {
    while (!m_ended) {
        if (m_channels > 0) {
            const size_t bpf =
                static_cast<size_t>(av_get_bytes_per_sample(m_outFormat) * m_channels);
            if (m_pending.size() / bpf >= static_cast<size_t>(frames)) return noErr;
        }
        av_frame_unref(m_frame);
        if (!DecodeOne(m_frame)) {
            m_ended = true;
            break;
        }
        if (OSStatus err = Append(m_frame); err != noErr) return err;
        if (!m_sawFirst) {
            m_sawFirst = true;
            const int64_t pts = m_frame->best_effort_timestamp;
            if (m_fromStart && pts != AV_NOPTS_VALUE && m_track.mediaScale > 0) {
                const TimeValue start = StreamToMediaTime(m_track, pts);
                // An hour at most: a damaged start time must not become
                // endless silence.
                if (start > 0)
                    m_silenceLeft = std::min<int64_t>(
                        av_rescale(start, m_rate, m_track.mediaScale), int64_t(m_rate) * 3600);
            }
        }
    }
    return noErr;
}

OSStatus SoundReader::Read(int32_t maxFrames, const uint8_t** data, int32_t* frames,
                           SampleDescription* desc, bool* formatChanged) {
    if (maxFrames <= 0 || data == nullptr || frames == nullptr || desc == nullptr) {
        return kStatusParamError;
    }
    m_source->ArmDeadline(kRequestDeadlineSeconds);
    if (OSStatus err = Fill(maxFrames); err != noErr) return err;
    if (m_failure != noErr && m_pending.empty()) return m_failure;
    if (m_channels == 0 || (m_pending.empty() && m_silenceLeft == 0)) return kStatusEndOfData;
    const size_t bpf = static_cast<size_t>(av_get_bytes_per_sample(m_outFormat) * m_channels);
    size_t n;
    if (m_silenceLeft > 0) {
        n = static_cast<size_t>(std::min<int64_t>(m_silenceLeft, maxFrames));
        m_out.assign(n * bpf, m_outFormat == AV_SAMPLE_FMT_U8 ? 0x80 : 0);
        m_silenceLeft -= static_cast<int64_t>(n);
    } else {
        n = std::min(m_pending.size() / bpf, static_cast<size_t>(maxFrames));
        m_out.assign(m_pending.begin(), m_pending.begin() + static_cast<ptrdiff_t>(n * bpf));
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<ptrdiff_t>(n * bpf));
    }
    *data = m_out.data();
    *frames = static_cast<int32_t>(n);
    desc->descType = kSoundDescriptionType;
    desc->dataFormat = m_outFormat == AV_SAMPLE_FMT_U8 ? kRawCodecType : kLittleEndianFormat;
    desc->channels = static_cast<int16_t>(m_channels);
    desc->sampleSize = static_cast<int16_t>(av_get_bytes_per_sample(m_outFormat) * 8);
    desc->sampleRate = m_rate;
    desc->bytesPerFrame = static_cast<int32_t>(bpf);
    if (formatChanged != nullptr) *formatChanged = m_changed;
    m_changed = false;
    return noErr;
}
