// Drawing pictures through matrices: scaling, flips, quarter turns, clipping
// and the pixel layouts of destination buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/decompress.h"
#include "platform/picture_convert.h"
#include "platform/tests/support/corpus.h"

namespace {

// A 4 x 2 BGRA picture whose pixels are numbered 1..8 in their red byte.
SampleDescription NumberedPicture(std::vector<uint8_t>* data) {
    data->clear();
    for (int i = 1; i <= 8; ++i)
        data->insert(data->end(), {0, 0, static_cast<uint8_t>(i * 10), 255});
    SampleDescription d;
    d.descType = kImageDescriptionType;
    d.dataFormat = kBGRAPixelFormat;
    d.width = 4;
    d.height = 2;
    d.depth = 32;
    return d;
}

// Red bytes of a BGRA buffer, row after row, as numbers 1..8 (0 for untouched).
std::vector<int> Numbers(const std::vector<uint8_t>& bgra) {
    std::vector<int> n;
    for (size_t i = 0; i < bgra.size(); i += 4) n.push_back(bgra[i + 2] / 10);
    return n;
}

std::vector<int> Draw(int32_t degrees, int32_t* w, int32_t* h) {
    std::vector<uint8_t> src;
    const SampleDescription d = NumberedPicture(&src);
    const MatrixRecord m = FrameMatrix(4, 2, 4, 2, degrees, w, h);
    std::vector<uint8_t> out(static_cast<size_t>(*w) * *h * 4, 0);
    PixelBuffer pb{out.data(), *w, *h, *w * 4, k32BGRAPixelFormat};
    DecompressSequence seq = nullptr;
    EXPECT_EQ(DecompressSequenceBegin(&seq, d, pb, &m, kSrcCopyMode, kCodecNormalQuality), noErr);
    EXPECT_EQ(DecompressSequenceFrame(seq, src.data(), static_cast<int32_t>(src.size())), noErr);
    CDSequenceEnd(seq);
    return Numbers(out);
}

TEST(Decompress, QuarterTurnsMovePixelsClockwise) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(Draw(0, &w, &h), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Draw(90, &w, &h), (std::vector<int>{5, 1, 6, 2, 7, 3, 8, 4}));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(Draw(180, &w, &h), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Draw(270, &w, &h), (std::vector<int>{4, 8, 3, 7, 2, 6, 1, 5}));
    EXPECT_EQ(Draw(-90, &w, &h), (std::vector<int>{4, 8, 3, 7, 2, 6, 1, 5}));
}

TEST(Decompress, ScalesOffsetsAndClipsIntoTheBuffer) {
    std::vector<uint8_t> src;
    const SampleDescription d = NumberedPicture(&src);
    // Doubled and moved right by 2 into a 6 x 4 buffer: the right part is clipped.
    MatrixRecord m;
    ScaleMatrix(&m, 2, 2);
    TranslateMatrix(&m, 2, 0);
    std::vector<uint8_t> out(6 * 4 * 4, 0);
    PixelBuffer pb{out.data(), 6, 4, 24, k32BGRAPixelFormat};
    DecompressSequence seq = nullptr;
    ASSERT_EQ(DecompressSequenceBegin(&seq, d, pb, &m, kSrcCopyMode, kCodecNormalQuality), noErr);
    ASSERT_EQ(DecompressSequenceFrame(seq, src.data(), static_cast<int32_t>(src.size())), noErr);
    CDSequenceEnd(seq);
    const std::vector<int> n = Numbers(out);
    EXPECT_EQ(n[0], 0);  // left of the picture: untouched
    EXPECT_EQ(n[1], 0);
    EXPECT_NE(n[2], 0);
    EXPECT_NE(n[5], 0);
    EXPECT_NE(n[23], 0);
}

TEST(Decompress, SixteenBitDestinations) {
    std::vector<uint8_t> src;
    SampleDescription d = NumberedPicture(&src);
    for (size_t i = 0; i < src.size(); i += 4) {
        src[i] = 0;        // blue
        src[i + 1] = 255;  // green
        src[i + 2] = 255;  // red
    }
    for (OSType format : {k16BE565PixelFormat, k16LE565PixelFormat}) {
        for (int32_t degrees : {0, 90}) {
            int32_t w = 0, h = 0;
            const MatrixRecord m = FrameMatrix(4, 2, 4, 2, degrees, &w, &h);
            std::vector<uint8_t> out(static_cast<size_t>(w) * h * 2, 0);
            PixelBuffer pb{out.data(), w, h, w * 2, format};
            DecompressSequence seq = nullptr;
            ASSERT_EQ(DecompressSequenceBegin(&seq, d, pb, &m, kSrcCopyMode, kCodecNormalQuality),
                      noErr);
            ASSERT_EQ(DecompressSequenceFrame(seq, src.data(), static_cast<int32_t>(src.size())),
                      noErr);
            CDSequenceEnd(seq);
            const uint16_t v =
                format == k16BE565PixelFormat ? (out[0] << 8) | out[1] : (out[1] << 8) | out[0];
            EXPECT_EQ(v, 0xFFE0) << OSTypeToString(format) << " " << degrees;  // yellow
        }
    }
}

TEST(Decompress, RefusesWhatItCannotDraw) {
    std::vector<uint8_t> src;
    const SampleDescription d = NumberedPicture(&src);
    std::vector<uint8_t> out(16 * 4);
    PixelBuffer pb{out.data(), 4, 4, 16, k32BGRAPixelFormat};
    DecompressSequence seq = nullptr;
    MatrixRecord tilt;
    RotateMatrix(&tilt, 30, 0, 0);
    EXPECT_EQ(DecompressSequenceBegin(&seq, d, pb, &tilt, 0, 0), kStatusParamError);
    PixelBuffer narrow{out.data(), 4, 4, 8, k32BGRAPixelFormat};
    EXPECT_EQ(DecompressSequenceBegin(&seq, d, narrow, nullptr, 0, 0), kStatusParamError);
    SampleDescription unknown = d;
    unknown.dataFormat = MakeOSType("zzzz");
    EXPECT_EQ(DecompressSequenceBegin(&seq, unknown, pb, nullptr, 0, 0), kStatusNoCodec);
    EXPECT_EQ(seq, nullptr);
    ASSERT_EQ(DecompressSequenceBegin(&seq, d, pb, nullptr, 0, 0), noErr);
    EXPECT_EQ(DecompressSequenceFrame(seq, src.data(), 31), kStatusParamError);  // short sample
    CDSequenceEnd(seq);
}

TEST(Decompress, CompressedSamplesAreDecoded) {
    const std::vector<uint8_t> jpeg = ReadWholeFile(CorpusFile("pic.jpg"));
    ASSERT_FALSE(jpeg.empty());
    SampleDescription d;
    d.descType = kImageDescriptionType;
    d.dataFormat = kJPEGFormat;
    d.width = 64;
    d.height = 48;
    std::vector<uint8_t> out(32 * 24 * 4, 0);
    PixelBuffer pb{out.data(), 32, 24, 32 * 4, k32BGRAPixelFormat};
    const MatrixRecord m = FrameMatrix(64, 48, 32, 24, 0, nullptr, nullptr);
    DecompressSequence seq = nullptr;
    ASSERT_EQ(DecompressSequenceBegin(&seq, d, pb, &m, 0, kCodecHighQuality), noErr);
    ASSERT_EQ(DecompressSequenceFrame(seq, jpeg.data(), static_cast<int32_t>(jpeg.size())), noErr);
    CDSequenceEnd(seq);
    const uint8_t* topLeft = out.data() + (6 * 32 + 8) * 4;
    EXPECT_GT(topLeft[2], 200);  // red
    EXPECT_GT(topLeft[1], 200);  // green
    EXPECT_LT(topLeft[0], 60);   // blue
}

TEST(Decompress, DecoderQueries) {
    EXPECT_TRUE(HasImageDecompressor(kH264Format));
    EXPECT_TRUE(HasImageDecompressor(kMPEG4VisualFormat));
    EXPECT_TRUE(HasImageDecompressor(MakeOSType("mpg4")));
    EXPECT_TRUE(HasImageDecompressor(MakeOSType("FMP4")));  // a RIFF tag
    // The AVI-only codes wait for a registered codec.
    EXPECT_FALSE(HasImageDecompressor(MakeOSType("XVID")));
    EXPECT_FALSE(HasImageDecompressor(MakeOSType("H264")));
    EXPECT_TRUE(HasImageDecompressor(kJPEGFormat));
    EXPECT_FALSE(HasImageDecompressor(MakeOSType("zzzz")));
    EXPECT_TRUE(HasSoundDecompressor(kTwosComplementFormat));
    EXPECT_TRUE(HasSoundDecompressor(0));
    EXPECT_TRUE(HasSoundDecompressor(kWaveMP3Format));
    EXPECT_TRUE(HasSoundDecompressor(kMP3Format));
    EXPECT_TRUE(HasSoundDecompressor(MakeOSType("mp4a")));
    EXPECT_FALSE(HasSoundDecompressor(MakeOSType("zzzz")));
}

}  // namespace

// A 4:2:0 picture lent the way the export delegate lends its decoded ones:
// brightness rising to the right, coloured (within what red, green and blue
// can show, so the colour drawing clips nothing), as a registered record.
class LentPicture {
  public:
    LentPicture(int w, int h, AVPixelFormat format) {
        m_y.resize(size_t(w) * size_t(h));
        m_u.assign(size_t(w / 2) * size_t(h / 2), 110);
        m_v.assign(size_t(w / 2) * size_t(h / 2), 150);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) m_y[size_t(y) * size_t(w) + size_t(x)] = uint8_t(60 + x * 2);
        m_planes.data[0] = m_y.data();
        m_planes.data[1] = m_u.data();
        m_planes.data[2] = m_v.data();
        m_planes.linesize[0] = w;
        m_planes.linesize[1] = m_planes.linesize[2] = w / 2;
        m_planes.width = w;
        m_planes.height = h;
        m_planes.format = format;
        LendPlanes(&m_planes);
        m_desc.descType = kImageDescriptionType;
        m_desc.dataFormat = kDecodedPictureFormat;
        m_desc.width = w;
        m_desc.height = h;
        m_desc.pixelFormat = format;
    }
    ~LentPicture() { EndLending(&m_planes); }
    const SampleDescription& desc() const { return m_desc; }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(&m_planes); }
    int32_t size() const { return int32_t(sizeof(m_planes)); }
    uint8_t luma(int x, int y) const { return m_y[size_t(y) * size_t(m_planes.width) + size_t(x)]; }

  private:
    std::vector<uint8_t> m_y, m_u, m_v;
    PicturePlanes m_planes;
    SampleDescription m_desc;
};

// Draws a lent picture scaled to w x h (turned by degrees) into 32-bit pixels.
std::vector<uint8_t> DrawLent(const LentPicture& pic, int32_t w, int32_t h, int32_t degrees,
                              int32_t mode, OSType format = k32BGRAPixelFormat) {
    int32_t tw = 0, th = 0;
    const MatrixRecord m =
        FrameMatrix(pic.desc().width, pic.desc().height, w, h, degrees, &tw, &th);
    std::vector<uint8_t> out(size_t(tw) * size_t(th) * 4, 0);
    PixelBuffer pb{out.data(), tw, th, tw * 4, format};
    DecompressSequence seq = nullptr;
    EXPECT_EQ(DecompressSequenceBegin(&seq, pic.desc(), pb, &m, mode, kCodecNormalQuality), noErr);
    EXPECT_EQ(DecompressSequenceFrame(seq, pic.data(), pic.size()), noErr);
    CDSequenceEnd(seq);
    return out;
}

// The brightness a grey movie keeps of a BGRA pixel.
int Weighed(const uint8_t* bgra) {
    return (306 * bgra[2] + 601 * bgra[1] + 117 * bgra[0]) >> 10;
}

TEST(Decompress, BrightnessOnlyDrawingKeepsTheBrightnessOfTheColourDrawing) {
    const LentPicture pic(64, 48, AV_PIX_FMT_YUV420P);
    for (int32_t degrees : {0, 90, 180}) {
        SCOPED_TRACE(degrees);
        const auto colour = DrawLent(pic, 16, 12, degrees, kDitherCopyMode);
        const auto grey = DrawLent(pic, 16, 12, degrees, kDitherCopyMode | kBrightnessOnlyMode);
        ASSERT_EQ(colour.size(), grey.size());
        int worst = 0;
        for (size_t i = 0; i < grey.size(); i += 4) {
            EXPECT_EQ(grey[i], grey[i + 1]);
            EXPECT_EQ(grey[i + 1], grey[i + 2]);
            EXPECT_EQ(grey[i + 3], 255);
            worst = std::max(worst, std::abs(Weighed(&grey[i]) - Weighed(&colour[i])));
        }
        // The colour drawing rounds through red, green and blue on the way.
        EXPECT_LE(worst, 4);
    }
    // Left to right after a half turn becomes right to left.
    const auto turned = DrawLent(pic, 16, 12, 180, kBrightnessOnlyMode);
    EXPECT_GT(turned[0], turned[15 * 4]);
}

TEST(Decompress, BrightnessOnlyDrawingUsesTheWholeByte) {
    // Video brightness runs from 16 to 235; drawn unscaled, each pixel is
    // stretched to 0..255 exactly, and full-range pictures keep theirs.
    const LentPicture video(32, 16, AV_PIX_FMT_YUV420P);
    const LentPicture full(32, 16, AV_PIX_FMT_YUVJ420P);
    const auto v = DrawLent(video, 32, 16, 0, kBrightnessOnlyMode);
    const auto f = DrawLent(full, 32, 16, 0, kBrightnessOnlyMode, k32ARGBPixelFormat);
    for (int x = 0; x < 32; ++x) {
        const int y = video.luma(x, 5);
        const int expected = std::clamp(int((y - 16) * 255.0 / 219.0 + 0.5), 0, 255);
        EXPECT_EQ(v[(5 * 32 + x) * 4 + 1], expected) << x;
        EXPECT_EQ(f[(5 * 32 + x) * 4], 255) << x;  // alpha comes first
        EXPECT_EQ(f[(5 * 32 + x) * 4 + 1], full.luma(x, 5)) << x;
    }
}

TEST(Decompress, BrightnessOnlyColourPicturesAreDrawnAsBefore) {
    std::vector<uint8_t> src;
    const SampleDescription d = NumberedPicture(&src);
    auto draw = [&](int32_t mode) {
        std::vector<uint8_t> out(8 * 4, 0);
        PixelBuffer pb{out.data(), 4, 2, 16, k32BGRAPixelFormat};
        DecompressSequence seq = nullptr;
        EXPECT_EQ(DecompressSequenceBegin(&seq, d, pb, nullptr, mode, kCodecNormalQuality), noErr);
        EXPECT_EQ(DecompressSequenceFrame(seq, src.data(), int32_t(src.size())), noErr);
        CDSequenceEnd(seq);
        return out;
    };
    EXPECT_EQ(draw(kBrightnessOnlyMode), draw(kSrcCopyMode));
}

TEST(Decompress, LentPicturesMustBeRegisteredAndMatchTheirDescription) {
    std::vector<uint8_t> out(16 * 12 * 4);
    PixelBuffer pb{out.data(), 16, 12, 16 * 4, k32BGRAPixelFormat};
    auto frame = [&](const SampleDescription& d, const uint8_t* data, int32_t size) {
        DecompressSequence seq = nullptr;
        OSStatus err = DecompressSequenceBegin(&seq, d, pb, nullptr, 0, kCodecNormalQuality);
        if (err == noErr) err = DecompressSequenceFrame(seq, data, size);
        CDSequenceEnd(seq);
        return err;
    };
    std::optional<LentPicture> pic(std::in_place, 16, 12, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(frame(pic->desc(), pic->data(), pic->size()), noErr);
    // Bytes of the record's size that are not a lent record: never read as pointers.
    std::vector<uint8_t> forged(size_t(pic->size()), 0xAB);
    EXPECT_EQ(frame(pic->desc(), forged.data(), pic->size()), kStatusParamError);
    EXPECT_EQ(frame(pic->desc(), pic->data(), pic->size() - 1), kStatusParamError);
    SampleDescription other = pic->desc();
    other.width = 8;
    EXPECT_EQ(frame(other, pic->data(), pic->size()), kStatusParamError);
    other = pic->desc();
    other.pixelFormat = AV_PIX_FMT_NV12;
    EXPECT_EQ(frame(other, pic->data(), pic->size()), kStatusParamError);
    // A description of decoded pictures without a pixel layout, as a file could hold.
    other.pixelFormat = -1;
    DecompressSequence seq = nullptr;
    EXPECT_EQ(DecompressSequenceBegin(&seq, other, pb, nullptr, 0, 0), kStatusParamError);
    const SampleDescription d = pic->desc();
    const uint8_t* stale = pic->data();
    pic.reset();  // lending ends
    EXPECT_EQ(frame(d, stale, int32_t(sizeof(PicturePlanes))), kStatusParamError);
}
