// Compression sequences through FFmpeg's decoders: what each compressor
// writes must decode to a picture close to the source, key frames must come
// when asked for and an MPEG-4 stream must be decodable from any key frame.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <vector>

#include "platform/image_compression.h"
#include "platform/tests/cinepak_test_media.h"

namespace {

using cinepak_test::Picture;

// One FFmpeg decoder with its output turned into RGB24.
class VideoDecoder {
  public:
    VideoDecoder(AVCodecID id, int width, int height) : m_width(width), m_height(height) {
        const AVCodec* codec = avcodec_find_decoder(id);
        m_ctx = avcodec_alloc_context3(codec);
        m_ctx->width = width;
        m_ctx->height = height;
        m_ctx->bits_per_coded_sample = id == AV_CODEC_ID_QTRLE ? 32 : 24;
        m_ok = codec && avcodec_open2(m_ctx, codec, nullptr) == 0;
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        m_rgb.resize(static_cast<size_t>(width) * height * 3);
    }
    ~VideoDecoder() {
        sws_freeContext(m_sws);
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_ctx);
    }
    bool Decode(const uint8_t* data, size_t size) {
        if (!m_ok || av_new_packet(m_packet, static_cast<int>(size)) < 0) return false;
        std::memcpy(m_packet->data, data, size);
        const int sent = avcodec_send_packet(m_ctx, m_packet);
        av_packet_unref(m_packet);
        if (sent < 0 || avcodec_receive_frame(m_ctx, m_frame) != 0) return false;
        if (m_frame->width != m_width || m_frame->height != m_height) return false;
        m_sws = sws_getCachedContext(m_sws, m_width, m_height,
                                     static_cast<AVPixelFormat>(m_frame->format), m_width, m_height,
                                     AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* dst[1] = {m_rgb.data()};
        const int stride[1] = {m_width * 3};
        sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, m_height, dst, stride);
        return true;
    }
    const uint8_t* Rgb() const { return m_rgb.data(); }

  private:
    int m_width, m_height;
    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_rgb;
    bool m_ok = false;
};

struct Format {
    OSType type;
    AVCodecID decoder;
    double minPsnr;
};

struct Coded {
    std::vector<uint8_t> bytes;
    bool key;
};

std::vector<Coded> CompressScene(OSType type, int width, int height, int frames,
                                 std::vector<Picture>& sources, const DataRateParams* rate) {
    CompressSequence seq = nullptr;
    EXPECT_EQ(CompressSequenceBegin(&seq, type, width, height, 32, kCompressHighQuality,
                                    kCompressHighQuality, 100),
              noErr);
    std::vector<Coded> out;
    if (!seq) return out;
    std::vector<uint8_t> buffer(CompressSequenceMaxSize(seq));
    for (int t = 0; t < frames; ++t) {
        sources.push_back(cinepak_test::scene(width, height, t));
        if (rate) SetCompressSequenceDataRate(seq, *rate);
        CompressedFrame result;
        EXPECT_EQ(CompressSequenceFrame(seq, sources.back().bgra.data(),
                                        static_cast<ptrdiff_t>(sources.back().rowBytes()),
                                        t % 10 == 0, buffer, &result),
                  noErr);
        out.push_back({{buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(result.size)},
                       result.similarity == 0});
    }
    CompressSequenceEnd(seq);
    return out;
}

TEST(ImageCompression, DecodesCloseToTheSource) {
    const Format formats[] = {{kRleCodecType, AV_CODEC_ID_QTRLE, 99.0},
                              {kCinepakCodecType, AV_CODEC_ID_CINEPAK, 24.0},
                              {kMpeg4CodecType, AV_CODEC_ID_MPEG4, 26.0}};
    for (const Format& f : formats) {
        for (const auto& [width, height] : {std::pair{160, 120}, std::pair{320, 240}}) {
            SCOPED_TRACE(testing::Message() << f.type << " " << width);
            std::vector<Picture> sources;
            const std::vector<Coded> coded =
                CompressScene(f.type, width, height, 20, sources, nullptr);
            ASSERT_EQ(coded.size(), 20u);
            VideoDecoder decoder(f.decoder, width, height);
            double worst = 99.0, sum = 0;
            for (size_t i = 0; i < coded.size(); ++i) {
                // Asked-for key frames come out as key frames; others may lean on the last.
                if (i % 10 == 0) {
                    EXPECT_TRUE(coded[i].key) << i;
                }
                ASSERT_TRUE(decoder.Decode(coded[i].bytes.data(), coded[i].bytes.size())) << i;
                const double psnr =
                    cinepak_test::psnrAgainstRgb(sources[i], decoder.Rgb(), width * 3);
                worst = std::min(worst, psnr);
                sum += psnr;
            }
            EXPECT_GE(worst, f.minPsnr);
            bool anyDifference = false;
            for (const Coded& c : coded) anyDifference = anyDifference || !c.key;
            EXPECT_TRUE(anyDifference);
            std::printf("%c%c%c%c %dx%d: mean PSNR %.2f dB, worst %.2f dB\n",
                        static_cast<char>(f.type >> 24), static_cast<char>(f.type >> 16),
                        static_cast<char>(f.type >> 8), static_cast<char>(f.type), width, height,
                        sum / coded.size(), worst);
        }
    }
}

TEST(ImageCompression, Mpeg4StartsAtAnyKeyFrame) {
    std::vector<Picture> sources;
    const std::vector<Coded> coded = CompressScene(kMpeg4CodecType, 160, 120, 15, sources, nullptr);
    ASSERT_TRUE(coded[10].key);
    // A decoder that never saw the first key frame (nor its stream headers).
    VideoDecoder decoder(AV_CODEC_ID_MPEG4, 160, 120);
    for (size_t i = 10; i < coded.size(); ++i) {
        ASSERT_TRUE(decoder.Decode(coded[i].bytes.data(), coded[i].bytes.size())) << i;
        EXPECT_GE(cinepak_test::psnrAgainstRgb(sources[i], decoder.Rgb(), 160 * 3), 26.0) << i;
    }
}

TEST(ImageCompression, DiscardedFrameMakesTheNextAKeyFrame) {
    for (OSType type : {kRleCodecType, kCinepakCodecType, kMpeg4CodecType}) {
        CompressSequence seq = nullptr;
        ASSERT_EQ(CompressSequenceBegin(&seq, type, 64, 48, 32, kCompressHighQuality,
                                        kCompressHighQuality, 100),
                  noErr);
        std::vector<uint8_t> buffer(CompressSequenceMaxSize(seq));
        CompressedFrame result;
        for (int t = 0; t < 3; ++t) {
            const Picture p = cinepak_test::scene(64, 48, t);
            ASSERT_EQ(CompressSequenceFrame(seq, p.bgra.data(), 256, false, buffer, &result),
                      noErr);
            EXPECT_EQ(result.similarity == 0, t == 0) << type << " " << t;
        }
        CompressSequenceDiscardLast(seq);
        const Picture p = cinepak_test::scene(64, 48, 3);
        ASSERT_EQ(SetCompressSequenceQuality(seq, 0x100, 0x100), noErr);
        ASSERT_EQ(CompressSequenceFrame(seq, p.bgra.data(), 256, false, buffer, &result), noErr);
        EXPECT_EQ(result.similarity, 0) << type;
        // Too small an output buffer is refused.
        EXPECT_EQ(CompressSequenceFrame(seq, p.bgra.data(), 256, false,
                                        std::span(buffer.data(), 10), &result),
                  kStatusParamError);
        CompressSequenceEnd(seq);
    }
}

TEST(ImageCompression, CompressorsBySubtype) {
    std::vector<OSType> types;
    OSType t = 0;
    for (int i = 0; NextImageCompressor(i, &t); ++i) types.push_back(t);
    EXPECT_EQ(types, (std::vector<OSType>{kRleCodecType, kCinepakCodecType, kMpeg4CodecType}));
    EXPECT_FALSE(ImageCompressorInstalled(MakeOSType("ZyG2")));
    CompressSequence seq = nullptr;
    EXPECT_EQ(CompressSequenceBegin(&seq, MakeOSType("ZyG2"), 64, 48, 32, 0x300, 0x300, 100),
              kStatusComponentNotFound);
    EXPECT_EQ(CompressSequenceBegin(&seq, kRleCodecType, 64, 48, 16, 0x300, 0x300, 100),
              kStatusParamError);
    EXPECT_EQ(seq, nullptr);
}

}  // namespace
