// Drawing pictures through matrices: scaling, flips, quarter turns, clipping
// and the pixel layouts of destination buffers.
#include <gtest/gtest.h>

#include "platform/decompress.h"
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
