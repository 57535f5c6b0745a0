#include "platform/sound_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

// How source bytes become a sample format the resampler takes.
enum class Unpack { kNone, kSigned8, kSwap16, kSwap24To32, kSwap32, kSwap64 };
// How the resampler's output becomes the wanted bytes.
enum class Pack { kNone, kSigned8, kSwap16 };

struct InputLayout {
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    Unpack unpack = Unpack::kNone;
    int bytes = 0;  // per sample in the source
};

InputLayout InputFor(const SoundComponentData& d) {
    const OSType f = d.format;
    const int bits = d.sampleSize;
    if ((f == kRawCodecType || f == kSoundNotCompressed) && bits == 8) {
        return {AV_SAMPLE_FMT_U8, Unpack::kNone, 1};
    }
    if (f == kTwosComplementFormat && bits == 8) return {AV_SAMPLE_FMT_U8, Unpack::kSigned8, 1};
    if ((f == kTwosComplementFormat || f == kSoundNotCompressed) && bits == 16) {
        return {AV_SAMPLE_FMT_S16, Unpack::kSwap16, 2};
    }
    if (f == kLittleEndianFormat && bits == 16) return {AV_SAMPLE_FMT_S16, Unpack::kNone, 2};
    if (f == k24BitFormat) return {AV_SAMPLE_FMT_S32, Unpack::kSwap24To32, 3};
    if (f == k32BitFormat) return {AV_SAMPLE_FMT_S32, Unpack::kSwap32, 4};
    if (f == kFloat32Format) return {AV_SAMPLE_FMT_FLT, Unpack::kSwap32, 4};
    if (f == kFloat64Format) return {AV_SAMPLE_FMT_DBL, Unpack::kSwap64, 8};
    return {};
}

bool OutputFor(const SoundComponentData& d, AVSampleFormat* format, Pack* pack) {
    const OSType f = d.format;
    if ((f == kRawCodecType || f == kSoundNotCompressed) && d.sampleSize == 8) {
        *format = AV_SAMPLE_FMT_U8;
        *pack = Pack::kNone;
    } else if (f == kTwosComplementFormat && d.sampleSize == 8) {
        *format = AV_SAMPLE_FMT_U8;
        *pack = Pack::kSigned8;
    } else if (f == kLittleEndianFormat && d.sampleSize == 16) {
        *format = AV_SAMPLE_FMT_S16;
        *pack = Pack::kNone;
    } else if ((f == kTwosComplementFormat || f == kSoundNotCompressed) && d.sampleSize == 16) {
        *format = AV_SAMPLE_FMT_S16;
        *pack = Pack::kSwap16;
    } else {
        return false;
    }
    return true;
}

bool RateOk(double r) {
    return std::isfinite(r) && r >= 1 && r <= 768000;
}

uint16_t Load16BE(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

struct SoundConverterRecord {
    SoundComponentData in, out;
    InputLayout layout;
    AVSampleFormat outFormat = AV_SAMPLE_FMT_NONE;
    Pack pack = Pack::kNone;
    SwrContext* swr = nullptr;
    std::vector<uint8_t> unpacked;
    bool begun = false;

    ~SoundConverterRecord() { swr_free(&swr); }
    int inBytesPerFrame() const { return layout.bytes * in.numChannels; }
    int outBytesPerFrame() const { return av_get_bytes_per_sample(outFormat) * out.numChannels; }
};

namespace {

const uint8_t* UnpackInput(SoundConverterRecord* c, const uint8_t* src, uint32_t frames) {
    if (c->layout.unpack == Unpack::kNone) return src;
    const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(c->in.numChannels);
    const size_t outBytes = static_cast<size_t>(av_get_bytes_per_sample(c->layout.format));
    c->unpacked.resize(samples * outBytes);
    uint8_t* dst = c->unpacked.data();
    for (size_t i = 0; i < samples; ++i) {
        switch (c->layout.unpack) {
            case Unpack::kSigned8:
                dst[i] = static_cast<uint8_t>(src[i] ^ 0x80);
                break;
            case Unpack::kSwap16: {
                const int16_t v = static_cast<int16_t>(Load16BE(src + 2 * i));
                std::memcpy(dst + 2 * i, &v, 2);
                break;
            }
            case Unpack::kSwap24To32: {
                const uint8_t* p = src + 3 * i;
                const uint32_t u = (static_cast<uint32_t>(p[0]) << 24) |
                                   (static_cast<uint32_t>(p[1]) << 16) |
                                   (static_cast<uint32_t>(p[2]) << 8);
                std::memcpy(dst + 4 * i, &u, 4);
                break;
            }
            case Unpack::kSwap32: {
                const uint8_t* p = src + 4 * i;
                const uint32_t u = (static_cast<uint32_t>(p[0]) << 24) |
                                   (static_cast<uint32_t>(p[1]) << 16) |
                                   (static_cast<uint32_t>(p[2]) << 8) | p[3];
                std::memcpy(dst + 4 * i, &u, 4);
                break;
            }
            case Unpack::kSwap64: {
                const uint8_t* p = src + 8 * i;
                uint64_t u = 0;
                for (int k = 0; k < 8; ++k) u = (u << 8) | p[k];
                std::memcpy(dst + 8 * i, &u, 8);
                break;
            }
            case Unpack::kNone:
                break;
        }
    }
    return dst;
}

void PackOutput(const SoundConverterRecord* c, uint8_t* data, uint32_t frames) {
    const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(c->out.numChannels);
    if (c->pack == Pack::kSigned8) {
        for (size_t i = 0; i < samples; ++i) data[i] ^= 0x80;
    } else if (c->pack == Pack::kSwap16) {
        for (size_t i = 0; i < samples; ++i) {
            int16_t v;
            std::memcpy(&v, data + 2 * i, 2);
            const auto u = static_cast<uint16_t>(v);
            data[2 * i] = static_cast<uint8_t>(u >> 8);
            data[2 * i + 1] = static_cast<uint8_t>(u);
        }
    }
}

OSStatus Run(SoundConverterRecord* c, const uint8_t* input, uint32_t inputFrames, void* output,
             uint32_t capacity, uint32_t* outputFrames, uint32_t* outputBytes) {
    if (outputFrames == nullptr || outputBytes == nullptr || (output == nullptr && capacity > 0)) {
        return kStatusParamError;
    }
    *outputFrames = *outputBytes = 0;
    if (!c->begun) return kStatusParamError;
    const int bpf = c->outBytesPerFrame();
    const int capFrames = static_cast<int>(capacity / static_cast<uint32_t>(bpf));
    uint8_t* outPlanes[1] = {static_cast<uint8_t*>(output)};
    const uint8_t* inPlanes[1] = {input};
    const int n = swr_convert(c->swr, capFrames > 0 ? outPlanes : nullptr, capFrames,
                              input != nullptr ? inPlanes : nullptr, static_cast<int>(inputFrames));
    if (n < 0) return kStatusParamError;
    PackOutput(c, static_cast<uint8_t*>(output), static_cast<uint32_t>(n));
    *outputFrames = static_cast<uint32_t>(n);
    *outputBytes = static_cast<uint32_t>(n * bpf);
    return noErr;
}

}  // namespace

OSStatus SoundConverterOpen(const SoundComponentData& input, const SoundComponentData& output,
                            SoundConverter* converter) {
    if (converter == nullptr) return kStatusParamError;
    *converter = nullptr;
    if (input.numChannels < 1 || input.numChannels > 8 || output.numChannels < 1 ||
        output.numChannels > 8 || !RateOk(input.sampleRate) || !RateOk(output.sampleRate)) {
        return kStatusParamError;
    }
    auto c = std::unique_ptr<SoundConverterRecord>(new (std::nothrow) SoundConverterRecord);
    if (!c) return kStatusOutOfMemory;
    c->in = input;
    c->out = output;
    c->layout = InputFor(input);
    if (c->layout.format == AV_SAMPLE_FMT_NONE) return kStatusParamError;
    if (!OutputFor(output, &c->outFormat, &c->pack)) return kStatusParamError;
    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, input.numChannels);
    av_channel_layout_default(&outLayout, output.numChannels);
    const int rc = swr_alloc_set_opts2(
        &c->swr, &outLayout, c->outFormat, static_cast<int>(std::lround(output.sampleRate)),
        &inLayout, c->layout.format, static_cast<int>(std::lround(input.sampleRate)), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0) return kStatusParamError;
    *converter = c.release();
    return noErr;
}

OSStatus SoundConverterGetBufferSizes(SoundConverter c, uint32_t inputBytesTarget,
                                      uint32_t* inputFrames, uint32_t* inputBytes,
                                      uint32_t* outputBytes) {
    if (c == nullptr || inputFrames == nullptr || inputBytes == nullptr || outputBytes == nullptr) {
        return kStatusParamError;
    }
    const uint32_t inBpf = static_cast<uint32_t>(c->inBytesPerFrame());
    const uint32_t frames = std::max<uint32_t>(1, inputBytesTarget / inBpf);
    // Room for the ratio's share plus what the resampler's filter holds back.
    const double ratio = c->out.sampleRate / c->in.sampleRate;
    const double outFrames = std::ceil(frames * ratio) + 64 + std::ceil(64 * ratio);
    *inputFrames = frames;
    *inputBytes = frames * inBpf;
    *outputBytes = static_cast<uint32_t>(outFrames) * static_cast<uint32_t>(c->outBytesPerFrame());
    return noErr;
}

OSStatus SoundConverterBeginConversion(SoundConverter c) {
    if (c == nullptr) return kStatusParamError;
    if (c->begun) swr_close(c->swr);
    if (swr_init(c->swr) < 0) return kStatusParamError;
    c->begun = true;
    return noErr;
}

OSStatus SoundConverterConvertBuffer(SoundConverter c, const void* input, uint32_t inputFrames,
                                     void* output, uint32_t outputCapacity, uint32_t* outputFrames,
                                     uint32_t* outputBytes) {
    if (c == nullptr || (input == nullptr && inputFrames > 0) || inputFrames > (1u << 24)) {
        return kStatusParamError;
    }
    const uint8_t* in =
        inputFrames > 0 ? UnpackInput(c, static_cast<const uint8_t*>(input), inputFrames) : nullptr;
    // No input must not be taken as the end: swr treats a null input as a flush.
    if (in == nullptr) {
        static const uint8_t kNothing[8] = {};
        in = kNothing;
    }
    return Run(c, in, inputFrames, output, outputCapacity, outputFrames, outputBytes);
}

OSStatus SoundConverterEndConversion(SoundConverter c, void* output, uint32_t outputCapacity,
                                     uint32_t* outputFrames, uint32_t* outputBytes) {
    if (c == nullptr) return kStatusParamError;
    return Run(c, nullptr, 0, output, outputCapacity, outputFrames, outputBytes);
}

OSStatus SoundConverterClose(SoundConverter c) {
    delete c;
    return noErr;
}
