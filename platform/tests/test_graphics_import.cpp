// Still pictures through graphics importers.
#include <gtest/gtest.h>

#include "platform/graphics_import.h"
#include "platform/tests/support/corpus.h"

namespace {

class PictureFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(PictureFiles, DrawsThePatternScaledAndTurned) {
    GraphicsImporter gi = nullptr;
    ASSERT_EQ(GraphicsImportOpen(CorpusFile(GetParam()), &gi), noErr);
    int32_t w = 0, h = 0;
    ASSERT_EQ(GraphicsImportGetNaturalBounds(gi, &w, &h), noErr);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);

    // Half size into BGRA.
    std::vector<uint8_t> bgra(32 * 24 * 4, 0);
    PixelBuffer pb{bgra.data(), 32, 24, 32 * 4, k32BGRAPixelFormat};
    ASSERT_EQ(GraphicsImportDraw(gi, pb, nullptr, kCodecNormalQuality), noErr);
    const uint8_t* topLeft = bgra.data() + (6 * 32 + 8) * 4;
    const uint8_t* bottomRight = bgra.data() + (18 * 32 + 24) * 4;
    EXPECT_GT(topLeft[2], 200);
    EXPECT_GT(topLeft[1], 200);
    EXPECT_LT(bottomRight[2], 60);
    EXPECT_LT(bottomRight[1], 60);

    // A quarter turn into a 16-bit buffer of the turned size: the top-left
    // (yellow) ends up top-right.
    int32_t tw = 0, th = 0;
    const MatrixRecord m = FrameMatrix(64, 48, 64, 48, 90, &tw, &th);
    ASSERT_EQ(tw, 48);
    ASSERT_EQ(th, 64);
    std::vector<uint8_t> rgb16(static_cast<size_t>(tw) * th * 2, 0);
    PixelBuffer p16{rgb16.data(), tw, th, tw * 2, k16BE565PixelFormat};
    ASSERT_EQ(GraphicsImportDraw(gi, p16, &m, kCodecHighQuality), noErr);
    auto at = [&](int x, int y) {
        const uint8_t* p = rgb16.data() + (static_cast<size_t>(y) * tw + x) * 2;
        return static_cast<uint16_t>((p[0] << 8) | p[1]);
    };
    const uint16_t topRight = at(tw * 3 / 4, th / 4);
    EXPECT_GE(topRight >> 11, 26);                      // red
    EXPECT_GE((topRight >> 5) & 0x3F, 52);              // green
    EXPECT_LE(topRight & 0x1F, 6);                      // blue
    const uint16_t topLeftTurned = at(tw / 4, th / 4);  // was bottom-left: red only
    EXPECT_GE(topLeftTurned >> 11, 26);
    EXPECT_LE((topLeftTurned >> 5) & 0x3F, 12);
    GraphicsImportClose(gi);
}

INSTANTIATE_TEST_SUITE_P(Corpus, PictureFiles,
                         ::testing::Values("pic.png", "pic.jpg", "pic.bmp", "pic.gif"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

TEST(GraphicsImport, MoviesAndOtherFilesAreNotPictures) {
    GraphicsImporter gi = nullptr;
    EXPECT_EQ(GraphicsImportOpen(CorpusFile("h264_aac.mp4"), &gi), kStatusNoMovieFound);
    EXPECT_EQ(gi, nullptr);
    const std::string text = ScratchPath("notes.png");
    WriteWholeFile(text, std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(GraphicsImportOpen(text, &gi), kStatusNoMovieFound);
    EXPECT_EQ(GraphicsImportOpen(ScratchPath("missing.png"), &gi), kStatusFileNotFound);
    DataReference ref;
    ASSERT_EQ(NewAliasDataReference(CorpusFile("pic.png"), &ref), noErr);
    ASSERT_EQ(GraphicsImportOpen(ref, &gi), noErr);
    GraphicsImportClose(gi);
}

TEST(GraphicsImport, FileTypesAreSortedSubtypes) {
    const std::vector<OSType> pictures = GraphicsImporterFileTypes();
    const std::vector<OSType> movies = MovieImporterFileTypes();
    EXPECT_TRUE(std::is_sorted(pictures.begin(), pictures.end()));
    EXPECT_TRUE(std::is_sorted(movies.begin(), movies.end()));
    EXPECT_NE(std::find(pictures.begin(), pictures.end(), MakeOSType("PNG ")), pictures.end());
    EXPECT_NE(std::find(movies.begin(), movies.end(), MakeOSType("MOV ")), movies.end());
}

}  // namespace
