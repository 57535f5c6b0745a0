#include "atrac3/tests/support/ffmpeg_atrac3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "atrac3/atrac3.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace atrac3test {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr uint8_t kScrambleKey[4] = {0x53, 0x7F, 0x61, 0x03};
constexpr int kJointStereoFlag = 0x12;
constexpr int kSingleChannelsFlag = 0x2;
constexpr int kDecoderDelayField = 0x88E;

void PutLe16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutBe16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

int16_t Clip(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

}  // namespace

std::vector<uint8_t> Encode(const Pcm& pcm, int bitRateCode, int channelMode) {
    std::vector<uint8_t> out;
    std::array<uint8_t, kAtrac3StateSize> state{};
    const int32_t st = Atrac3Open(bitRateCode, channelMode, state.data());
    EXPECT_EQ(st, 0) << "rate " << bitRateCode << " mode " << channelMode;
    if (st != 0) return out;
    const int frameBytes = Atrac3FrameBytes(bitRateCode);
    const size_t block = static_cast<size_t>(kAtrac3FrameSamples) * pcm.channels;
    std::vector<int16_t> buffer(block);
    std::vector<uint8_t> frame(512);
    int blocks = 0;
    for (size_t pos = 0; pos < pcm.samples.size(); pos += block, ++blocks) {
        const size_t n = std::min(block, pcm.samples.size() - pos);
        std::fill(buffer.begin(), buffer.end(), int16_t{0});
        std::copy_n(pcm.samples.begin() + static_cast<ptrdiff_t>(pos), n, buffer.begin());
        const int32_t e = Atrac3Encode(buffer.data(), frame.data(), state.data(),
                                       static_cast<int32_t>(block), pcm.channels, blocks);
        uint32_t written = 0;
        std::memcpy(&written, state.data() + kAtrac3ByteCountOffset, sizeof written);
        EXPECT_EQ(e, 0);
        EXPECT_EQ(written, static_cast<uint32_t>(frameBytes));
        if (e != 0 || written != static_cast<uint32_t>(frameBytes)) break;
        out.insert(out.end(), frame.begin(), frame.begin() + frameBytes);
    }
    Atrac3Close(state.data());
    return out;
}

bool WavExtradataFits(int frameBytes, int channels) {
    const int per = frameBytes / channels;
    return frameBytes % channels == 0 && (per == 96 || per == 152 || per == 192);
}

Decoded Decode(const std::vector<uint8_t>& frames, int frameBytes, int channels, bool joint,
               Extradata kind) {
    Decoded result;
    result.channels.resize(static_cast<size_t>(channels));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ATRAC3);
    if (codec == nullptr) {
        ADD_FAILURE() << "no ATRAC3 decoder in libavcodec";
        result.errors = 1;
        return result;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = kRate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->block_align = frameBytes;
    ctx->bit_rate = static_cast<int64_t>(frameBytes) * 8 * kRate / 1024;
    const int extraSize = kind == Extradata::kWav ? 14 : 10;
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
    ctx->extradata_size = extraSize;
    uint8_t* e = ctx->extradata;
    if (kind == Extradata::kWav) {
        PutLe16(e, 1);
        // Bytes 2..5: samples per channel, unused by the decoder.
        PutLe16(e + 6, joint ? 1 : 0);
        PutLe16(e + 8, joint ? 1 : 0);
        PutLe16(e + 10, 1);  // frame factor
        PutLe16(e + 12, 0);
    } else {
        e[3] = 4;  // version, 32-bit big-endian
        PutBe16(e + 4, 1024 * channels);
        PutBe16(e + 6, kDecoderDelayField);
        PutBe16(e + 8, joint ? kJointStereoFlag : kSingleChannelsFlag);
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        ADD_FAILURE() << "decoder refused the stream parameters";
        result.errors = 1;
        avcodec_free_context(&ctx);
        return result;
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            for (int c = 0; c < channels; ++c) {
                const float* p = reinterpret_cast<const float*>(frame->extended_data[c]);
                for (int i = 0; i < frame->nb_samples; ++i)
                    result.channels[c].push_back(p[i] * 32768.0f);
            }
        }
    };
    for (size_t pos = 0; pos + frameBytes <= frames.size(); pos += frameBytes) {
        av_new_packet(pkt, frameBytes);
        std::memcpy(pkt->data, frames.data() + pos, frameBytes);
        if (kind == Extradata::kRealMedia) {
            for (int i = 0; i < frameBytes; ++i) pkt->data[i] ^= kScrambleKey[i % 4];
        }
        if (avcodec_send_packet(ctx, pkt) < 0) ++result.errors;
        av_packet_unref(pkt);
        drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return result;
}

Decoded DecodeAny(const std::vector<uint8_t>& frames, int frameBytes, int channels, bool joint) {
    return Decode(frames, frameBytes, channels, joint,
                  WavExtradataFits(frameBytes, channels) ? Extradata::kWav : Extradata::kRealMedia);
}

double Snr(const std::vector<float>& reference, const std::vector<float>& decoded, int delay,
           size_t from, size_t to) {
    double signal = 0.0;
    double noise = 0.0;
    for (size_t i = from; i < to && i + delay < decoded.size() && i < reference.size(); ++i) {
        const double r = reference[i];
        const double d = decoded[i + delay] - r;
        signal += r * r;
        noise += d * d;
    }
    if (noise == 0.0) return 200.0;
    return 10.0 * std::log10(signal / noise);
}

std::vector<float> Channel(const Pcm& pcm, int c) {
    std::vector<float> out(pcm.Frames());
    for (size_t i = 0; i < out.size(); ++i) out[i] = pcm.samples[i * pcm.channels + c];
    return out;
}

Pcm Sine(double hz, double amplitude, double seconds) {
    Pcm p;
    p.samples.resize(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < p.samples.size(); ++i)
        p.samples[i] = Clip(amplitude * std::sin(2 * kPi * hz * i / kRate));
    return p;
}

Pcm Square(double hz, double seconds) {
    Pcm p;
    p.samples.resize(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < p.samples.size(); ++i) {
        p.samples[i] = std::fmod(hz * i / kRate, 1.0) < 0.5 ? int16_t{32767} : int16_t{-32768};
    }
    return p;
}

Pcm Silence(int channels, double seconds) {
    Pcm p;
    p.channels = channels;
    p.samples.assign(static_cast<size_t>(seconds * kRate) * channels, 0);
    return p;
}

Pcm MusicLike(int channels, double seconds, uint32_t seed) {
    Pcm p;
    p.channels = channels;
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<double> mix(frames * channels, 0.0);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    // A note every 0.25 s from a pentatonic set over three octaves.
    static constexpr double kScale[] = {1.0, 9.0 / 8, 5.0 / 4, 3.0 / 2, 5.0 / 3};
    for (double start = 0.0; start < seconds; start += 0.25) {
        const double f0 = 110.0 * std::exp2(std::floor(uni(rng) * 3)) * kScale[rng() % 5];
        const double length = 0.3 + uni(rng) * 0.9;
        const double pan = channels == 2 ? uni(rng) : 0.5;
        const double level = 2500.0 + uni(rng) * 2500.0;
        const size_t s0 = static_cast<size_t>(start * kRate);
        const size_t s1 = std::min(frames, s0 + static_cast<size_t>(length * kRate));
        for (size_t i = s0; i < s1; ++i) {
            const double t = static_cast<double>(i - s0) / kRate;
            // Fast attack, exponential decay.
            const double env = std::min(1.0, t / 0.01) * std::exp(-3.0 * t);
            double v = 0.0;
            for (int h = 1; h <= 6; ++h) v += std::sin(2 * kPi * f0 * h * t) / h;
            v *= level * env;
            if (channels == 1) {
                mix[i] += v;
            } else {
                mix[2 * i] += v * (1.0 - pan);
                mix[2 * i + 1] += v * pan;
            }
        }
    }
    std::normal_distribution<double> noise(0.0, 60.0);
    p.samples.resize(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) p.samples[i] = Clip(mix[i] + noise(rng));
    return p;
}

}  // namespace atrac3test
