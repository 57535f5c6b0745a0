#include "tools/movie_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/colour_compressor.h"
#include "engine/colour_decoder.h"
#include "engine/grey_decoder.h"
#include "engine/sound_decoder.h"

#include "atrac3/atrac3.h"

#include <zlib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace decode {
namespace {

// The compressor formats the handheld plays, by chunk encoding type.
struct CompressorFormat {
    uint8_t type;
    AVCodecID codec;
    bool deflated;
    bool packed;
};
constexpr CompressorFormat kCompressorFormats[] = {
    {6, AV_CODEC_ID_QTRLE, false, false},
    {7, AV_CODEC_ID_QTRLE, true, false},
    {11, AV_CODEC_ID_CINEPAK, false, true},
    {12, AV_CODEC_ID_MPEG4, false, false},
};

const CompressorFormat* compressorFormat(uint8_t type) {
    for (const CompressorFormat& f : kCompressorFormats)
        if (f.type == type) return &f;
    return nullptr;
}

int greyBits(uint8_t type, uint8_t depthClass) {
    if (type == 8) return 4;
    if (type > 3) return 0;
    return depthClass == 1 ? 1 : depthClass == 2 ? 2 : depthClass == 4 ? 4 : 0;
}

std::string avError(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

// One FFmpeg decoder, opened at the first frame of its format.
struct FfmpegVideo {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    AVPixelFormat swsFormat = AV_PIX_FMT_NONE;
    ~FfmpegVideo() {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
        sws_freeContext(sws);
    }
};

// Inflates a raw deflate stream whose output length is not stored.
OSStatus inflateUnknownLength(std::span<const uint8_t> input, std::vector<uint8_t>& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return kStatusOutOfMemory;
    out.assign(std::max<size_t>(input.size() * 8, 65536), 0);
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    int ret = Z_OK;
    while (ret == Z_OK) {
        if (z.total_out == out.size()) out.resize(out.size() * 2);
        z.next_out = out.data() + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        ret = inflate(&z, Z_NO_FLUSH);
        if (out.size() > (64u << 20)) break;
    }
    out.resize(z.total_out);
    inflateEnd(&z);
    return ret == Z_STREAM_END ? noErr : kStatusBadData;
}

}  // namespace

struct MoviePlayer::Impl {
    const movie::Movie& m;
    GreyDecoder grey;
    int greyBits = 0;
    std::vector<uint8_t> scratch;
    std::unique_ptr<FfmpegVideo> video;
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    ColourDecoder colour;
    bool colourReady = false;
    SoundDecoder sound;
    AVCodecContext* atrac = nullptr;
    AVPacket* atracPacket = nullptr;
    AVFrame* atracFrame = nullptr;
    std::vector<int16_t> atracQueue;  // decoded, interleaved, not yet handed out
    size_t atracSkip = 0;             // samples of codec delay still to drop

    ~Impl() {
        avcodec_free_context(&atrac);
        av_packet_free(&atracPacket);
        av_frame_free(&atracFrame);
    }

    bool openAtrac(int channels, std::string& error);
    size_t atracNext = 0;  // next chunk to feed the decoder
    bool atracFlushed = false;
    bool decodeAtrac(const movie::SoundSample& s, int channels, std::vector<int16_t>& pcm, std::string& error);
    bool feedAtrac(const movie::SoundSample& s, int channels, std::string& error);
    void drainAtrac(int channels);

    explicit Impl(const movie::Movie& movie) : m(movie) {
        sound.format = movie.header.audioFormat;
        sound.channels = movie.header.channels;
    }

    bool decodeGrey(const movie::FrameSample& f, int bits, int width, int height, std::vector<uint8_t>& rgb,
                    std::string& error) {
        if (bits != greyBits) {
            if (grey.Reset(width, height, bits) != 0) {
                error = "cannot set up the grey decoder";
                return false;
            }
            greyBits = bits;
        }
        const OSStatus st = grey.Decode(f.type, f.data);
        if (st != 0) {
            error = "damaged grey frame (status " + std::to_string(st) + ")";
            return false;
        }
        const int top = (1 << bits) - 1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                // Level 0 is white: the levels count darkness.
                const uint8_t shade = static_cast<uint8_t>(255 - grey.Level(x, y) * 255 / top);
                uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
                p[0] = p[1] = p[2] = shade;
            }
        return true;
    }

    // The engine's own colour codec; its picture is Y, Cb, Cr.
    bool decodeColour(const movie::FrameSample& f, int width, int height, std::vector<uint8_t>& rgb,
                      std::string& error) {
        if (width % 4 || height % 4) {
            error = "colour frames need a size in whole blocks";
            return false;
        }
        if (!colourReady) {
            if (colour.Prepare(width, height) != 0) {
                error = "cannot set up the colour decoder";
                return false;
            }
            colourReady = true;
        }
        const OSStatus st = colour.Decode(f.data);
        if (st != 0) {
            error = "damaged colour frame (status " + std::to_string(st) + ")";
            return false;
        }
        const ColourPlanes& pic = colour.Picture();
        const size_t n = size_t(width) * height;
        for (size_t i = 0; i < n; ++i) {
            const double y = 1.164 * (pic.Plane(0)[i] - 16.0);
            const double cb = pic.Plane(1)[i] - 128.0, cr = pic.Plane(2)[i] - 128.0;
            const double c[3] = {y + 1.596 * cr, y - 0.392 * cb - 0.813 * cr, y + 2.017 * cb};
            for (int k = 0; k < 3; ++k)
                rgb[i * 3 + k] = static_cast<uint8_t>(std::clamp(c[k] + 0.5, 0.0, 255.0));
        }
        return true;
    }

    bool decodeCompressed(const movie::FrameSample& f, const CompressorFormat& fmt, int width, int height,
                          std::vector<uint8_t>& rgb, std::string& error) {
        std::span<const uint8_t> data = f.data;
        if (fmt.deflated) {
            // The inflated size is not stored with the frame.
            if (inflateUnknownLength(data, scratch) != 0) {
                error = "damaged deflated frame";
                return false;
            }
            data = scratch;
        } else if (fmt.packed) {
            if (UnpackCinepakRuns(data, scratch) != noErr) {
                error = "damaged run-length packing";
                return false;
            }
            data = scratch;
        }
        if (!video || videoCodec != fmt.codec) {
            video = std::make_unique<FfmpegVideo>();
            videoCodec = fmt.codec;
            const AVCodec* codec = avcodec_find_decoder(fmt.codec);
            if (!codec) {
                error = "FFmpeg has no decoder for this format";
                return false;
            }
            video->ctx = avcodec_alloc_context3(codec);
            video->ctx->width = width;
            video->ctx->height = height;
            if (fmt.codec == AV_CODEC_ID_QTRLE) video->ctx->bits_per_coded_sample = 32;
            if (avcodec_open2(video->ctx, codec, nullptr) < 0) {
                error = "cannot open FFmpeg's decoder";
                return false;
            }
            video->frame = av_frame_alloc();
            video->packet = av_packet_alloc();
        }
        std::vector<uint8_t> padded(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), data.data(), data.size());
        video->packet->data = padded.data();
        video->packet->size = static_cast<int>(data.size());
        if (f.key()) video->packet->flags |= AV_PKT_FLAG_KEY;
        int err = avcodec_send_packet(video->ctx, video->packet);
        video->packet->flags = 0;
        if (err >= 0) err = avcodec_receive_frame(video->ctx, video->frame);
        if (err < 0) {
            error = "FFmpeg could not decode the frame: " + avError(err);
            return false;
        }
        AVFrame* fr = video->frame;
        const AVPixelFormat pf = static_cast<AVPixelFormat>(fr->format);
        if (!video->sws || video->swsFormat != pf) {
            sws_freeContext(video->sws);
            video->sws = sws_getContext(fr->width, fr->height, pf, width, height, AV_PIX_FMT_RGB24,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
            video->swsFormat = pf;
        }
        if (!video->sws) {
            error = "cannot convert the decoded picture";
            return false;
        }
        uint8_t* dst[1] = {rgb.data()};
        const int stride[1] = {width * 3};
        sws_scale(video->sws, fr->data, fr->linesize, 0, fr->height, dst, stride);
        av_frame_unref(fr);
        return true;
    }
};


MoviePlayer::MoviePlayer(const movie::Movie& movie) : impl_(std::make_unique<Impl>(movie)) {
    width_ = movie.header.hasFrameSize ? movie.header.width : 0;
    height_ = movie.header.hasFrameSize ? movie.header.height : 0;
}

MoviePlayer::~MoviePlayer() = default;

bool MoviePlayer::decodeFrame(size_t index, std::vector<uint8_t>& rgb, std::string& error) {
    if (index >= impl_->m.frames.size() || !width_ || !height_) {
        error = "no such frame";
        return false;
    }
    const movie::FrameSample& f = impl_->m.frames[index];
    rgb.assign(size_t(width_) * height_ * 3, 255);
    bool ok = false;
    if (const int bits = greyBits(f.type, impl_->m.header.depthClass)) {
        ok = impl_->decodeGrey(f, bits, width_, height_, rgb, error);
    } else if (f.type == 9) {
        ok = impl_->decodeColour(f, width_, height_, rgb, error);
    } else if (const CompressorFormat* fmt = compressorFormat(f.type)) {
        ok = impl_->decodeCompressed(f, *fmt, width_, height_, rgb, error);
    } else {
        error = "frame type " + std::to_string(f.type) + " has no decoder here";
    }
    return ok;
}

// FFmpeg's ATRAC3 decoder takes WAV-style parameters only for 96, 152 and
// 192 bytes per channel; other frame sizes go in the RealMedia form, whose
// frames it expects scrambled with that container's fixed key.
namespace {
constexpr uint8_t kRealMediaKey[4] = {0x53, 0x7F, 0x61, 0x03};
// Samples by which the decoded sound trails the source (encoder and decoder).
constexpr size_t kAtracDelay = 1162;
}  // namespace

bool MoviePlayer::Impl::openAtrac(int channels, std::string& error) {
    const int frameBytes = Atrac3FrameBytes(m.header.bitRateCode);
    const bool joint = m.header.channelMode == kAtrac3JointStereo;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ATRAC3);
    if (!codec || frameBytes == 0) {
        error = "no ATRAC3 decoder for bit-rate code " + std::to_string(m.header.bitRateCode);
        return false;
    }
    atrac = avcodec_alloc_context3(codec);
    atrac->sample_rate = static_cast<int>(m.header.sampleRate);
    av_channel_layout_default(&atrac->ch_layout, channels);
    atrac->block_align = frameBytes;
    const int per = frameBytes / channels;
    const bool wav = frameBytes % channels == 0 && (per == 96 || per == 152 || per == 192);
    const int extraSize = wav ? 14 : 10;
    atrac->extradata = static_cast<uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
    atrac->extradata_size = extraSize;
    uint8_t* e = atrac->extradata;
    if (wav) {
        e[0] = 1;
        e[6] = e[8] = joint ? 1 : 0;
        e[10] = 1;
    } else {
        e[3] = 4;
        e[4] = uint8_t((1024 * channels) >> 8);
        e[5] = uint8_t(1024 * channels);
        e[6] = 0x08;
        e[7] = 0x8E;
        e[9] = joint ? 0x12 : 0x02;
    }
    if (avcodec_open2(atrac, codec, nullptr) < 0) {
        error = "FFmpeg's ATRAC3 decoder refused the stream";
        return false;
    }
    atracPacket = av_packet_alloc();
    atracFrame = av_frame_alloc();
    atracSkip = kAtracDelay * channels;
    return true;
}

bool MoviePlayer::Impl::feedAtrac(const movie::SoundSample& s, int channels, std::string& error) {
    const int frameBytes = atrac->block_align;
    const bool scrambled = atrac->extradata_size == 10;
    for (size_t at = 0; at + frameBytes <= s.data.size(); at += frameBytes) {
        if (av_new_packet(atracPacket, frameBytes) < 0) {
            error = "out of memory";
            return false;
        }
        std::memcpy(atracPacket->data, s.data.data() + at, frameBytes);
        if (scrambled)
            for (int i = 0; i < frameBytes; ++i) atracPacket->data[i] ^= kRealMediaKey[i % 4];
        const int err = avcodec_send_packet(atrac, atracPacket);
        av_packet_unref(atracPacket);
        if (err < 0) {
            error = "FFmpeg could not decode an ATRAC3 frame";
            return false;
        }
        drainAtrac(channels);
    }
    return true;
}

void MoviePlayer::Impl::drainAtrac(int channels) {
    while (avcodec_receive_frame(atrac, atracFrame) == 0) {
        for (int i = 0; i < atracFrame->nb_samples; ++i)
            for (int c = 0; c < channels; ++c) {
                const float v = reinterpret_cast<const float*>(atracFrame->extended_data[c])[i];
                const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
                if (atracSkip) {
                    --atracSkip;
                    continue;
                }
                atracQueue.push_back(static_cast<int16_t>(std::lrint(scaled)));
            }
    }
}

bool MoviePlayer::Impl::decodeAtrac(const movie::SoundSample& s, int channels, std::vector<int16_t>& pcm,
                                    std::string& error) {
    if (!atrac && !openAtrac(channels, error)) return false;
    // The decoded sound trails the stream by the codec delay, so a chunk's
    // frames come partly out of the chunks after it: decode ahead.
    const size_t want = size_t(s.frames) * channels;
    while (atracQueue.size() < want && atracNext < m.sounds.size())
        if (!feedAtrac(m.sounds[atracNext++], channels, error)) return false;
    if (atracQueue.size() < want && atracNext == m.sounds.size() && !atracFlushed) {
        avcodec_send_packet(atrac, nullptr);
        drainAtrac(channels);
        atracFlushed = true;
    }
    const size_t have = std::min(want, atracQueue.size());
    std::copy_n(atracQueue.begin(), have, pcm.begin());
    atracQueue.erase(atracQueue.begin(), atracQueue.begin() + static_cast<ptrdiff_t>(have));
    return true;
}

bool MoviePlayer::decodeSound(size_t index, std::vector<int16_t>& pcm, std::string& error) {
    if (index >= impl_->m.sounds.size()) {
        error = "no such sound chunk";
        return false;
    }
    const movie::SoundSample& s = impl_->m.sounds[index];
    const uint16_t channels = impl_->m.header.channels ? impl_->m.header.channels : 1;
    pcm.assign(size_t(s.frames) * channels, 0);
    if (impl_->m.header.audioFormat == 624) return impl_->decodeAtrac(s, channels, pcm, error);
    const OSStatus st = SoundDecodeChunk(impl_->sound, s.data, s.frames, pcm);
    if (st != 0) {
        error = "sound chunk " + std::to_string(index + 1) + " does not decode (status " + std::to_string(st) + ")";
        return false;
    }
    return true;
}

}  // namespace decode
