// The movie item's picture (the frame it is taken at, its size and
// contents) and the background picture's file filters.
#include <gtest/gtest.h>

#include "platform/graphics_import.h"
#include "platform/tests/support/corpus.h"
#include "toolkit/layout_picture.h"

namespace {

// A 64 x 48 movie at 4 frames per second, black but for a blue frame at `blueAt` seconds.
std::string movieWithBlueFrame(double seconds, double blueAt, const std::string& name,
                               const char* codec = "-c:v mjpeg -q:v 2") {
    const std::string path = ScratchPath(name);
    char cmd[512];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -nostdin -y -v error -f lavfi -i \"color=black:s=64x48:r=4:d=%g,"
                  "format=rgb24,geq=r=0:g=0:b='255*between(T\\,%g\\,%g)'\" "
                  "%s '%s'",
                  seconds, blueAt - 0.1, blueAt + 0.1, codec, path.c_str());
    EXPECT_EQ(RunCommand(cmd), 0) << cmd;
    return path;
}

int blueAtCentre(const LayoutPicture& p) {
    const size_t at = (size_t(p.height / 2) * size_t(p.width) + size_t(p.width / 2)) * 4;
    return p.pixels[at];
}

TEST(LayoutPicture, TheFrameIsTakenHalfWayOrTenSecondsIn) {
    EXPECT_EQ(moviePictureTime(19 * 600 + 599, 600), (19 * 600 + 599) / 2);
    EXPECT_EQ(moviePictureTime(20 * 600, 600), 10 * 600);
    EXPECT_EQ(moviePictureTime(3600 * 1000, 1000), 10 * 1000);
    EXPECT_EQ(moviePictureTime(0, 600), 0);

    LayoutPicture p;
    const std::string shortMovie = movieWithBlueFrame(4, 2, "short.mov");
    ASSERT_EQ(makeMoviePicture(shortMovie, 160, 160, &p), noErr);
    EXPECT_EQ(p.width, 160);  // 4:3 fitted into the square
    EXPECT_EQ(p.height, 120);
    ASSERT_EQ(p.pixels.size(), 160u * 120 * 4);
    EXPECT_GT(blueAtCentre(p), 200);

    const std::string longMovie = movieWithBlueFrame(22, 10, "long.mov");
    ASSERT_EQ(makeMoviePicture(longMovie, 40, 90, &p), noErr);
    EXPECT_EQ(p.width, 40);
    EXPECT_EQ(p.height, 30);
    EXPECT_GT(blueAtCentre(p), 200);  // 10 s in, not half way (11 s)
}

// AVI files whose video the toolbox cannot draw: through the codec bridge
// when Video for Windows decodes them, else through the direct reader.
TEST(LayoutPicture, AviFramesComeThroughTheirRoads) {
    for (const auto& [name, codec] :
         {std::pair{"bridge.avi", "-c:v mpeg4 -vtag DIVX -q:v 2 -pix_fmt yuv420p"},
          std::pair{"direct.avi", "-c:v libx264 -pix_fmt yuv420p -crf 10"}}) {
        SCOPED_TRACE(name);
        LayoutPicture p;
        ASSERT_EQ(makeMoviePicture(movieWithBlueFrame(4, 2, name, codec), 64, 64, &p), noErr);
        EXPECT_EQ(p.width, 64);
        EXPECT_EQ(p.height, 48);
        EXPECT_GT(blueAtCentre(p), 180);
        EXPECT_LT(p.pixels[(size_t(24) * 64 + 32) * 4 + 2], 60) << "red";
    }
}

TEST(LayoutPicture, MoviesWithoutPicturesAndBadTargetsGiveNone) {
    LayoutPicture p;
    EXPECT_NE(makeMoviePicture(CorpusFile("tone.wav"), 160, 160, &p), noErr);
    EXPECT_NE(makeMoviePicture(ScratchPath("missing.mov"), 160, 160, &p), noErr);
    EXPECT_EQ(makeMoviePicture(CorpusFile("h264_aac.mp4"), 0, 160, &p), kStatusParamError);
    EXPECT_EQ(p.width, 0);

    int w = 0, h = 0;
    ASSERT_EQ(pictureFileSize(CorpusFile("pic.png"), &w, &h), noErr);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    ASSERT_EQ(drawPictureFile(CorpusFile("pic.png"), 32, 24, &p), noErr);
    // Top-left quadrant red and green, bottom-right black.
    EXPECT_GT(p.pixels[(5 * 32 + 5) * 4 + 2], 200);
    EXPECT_GT(p.pixels[(5 * 32 + 5) * 4 + 1], 200);
    EXPECT_LT(p.pixels[(20 * 32 + 28) * 4 + 2], 50);
    EXPECT_NE(pictureFileSize(CorpusFile("tone.wav"), &w, &h), noErr);

    // Chosen as the background: only a picture is taken, at its size.
    LayoutEditor e;
    EXPECT_NE(chooseBackgroundPicture(&e, CorpusFile("tone.wav")), noErr);
    EXPECT_NE(chooseBackgroundPicture(&e, CorpusFile("h264_aac.mp4")), noErr);
    EXPECT_EQ(e.item(kLayoutItemBackground), nullptr);
    ASSERT_EQ(chooseBackgroundPicture(&e, CorpusFile("pic.png")), noErr);
    ASSERT_NE(e.item(kLayoutItemBackground), nullptr);
    EXPECT_EQ(e.item(kLayoutItemBackground)->rect.width(), 64);
    EXPECT_EQ(e.item(kLayoutItemBackground)->rect.height(), 48);
    EXPECT_EQ(e.item(kLayoutItemBackground)->picturePath, CorpusFile("pic.png"));
}

TEST(LayoutPicture, ImageFiltersListEveryImporterOnce) {
    const auto filters = backgroundPictureFilters(
        "Image Files", "All Files",
        {MakeOSType("TIFF"), MakeOSType("BMP "), MakeOSType("PNG "), MakeOSType("BMP ")});
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].name, "Image Files");
    EXPECT_EQ(filters[0].patterns, "*.BMP;*.PNG;*.TIFF;");
    EXPECT_EQ(filters[1].name, "All Files");
    EXPECT_EQ(filters[1].patterns, "*.*");
    // The installed importers: every one a pattern.
    const auto installed = backgroundPictureFilters("", "", GraphicsImporterFileTypes());
    EXPECT_NE(installed[0].patterns.find("*.JPEG;"), std::string::npos);
    EXPECT_NE(installed[0].patterns.find("*.PNG;"), std::string::npos);
}

}  // namespace
