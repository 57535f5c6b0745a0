// A layout placed in the layout editor, saved with the settings, converted
// and inspected from the command line: the database shows what was placed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "export/settings.h"
#include "toolkit/layout_model.h"
#include "platform/tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

// The command line's output without blanks and line breaks.
std::string run(const std::string& args, int* status) {
    CommandOutput r =
        CaptureCommand(std::string("'") + MOVIEPACKER_CLI + "' " + args + " 2>/dev/null");
    *status = r.status;
    std::erase_if(r.out, [](char c) { return c == ' ' || c == '\n'; });
    return r.out;
}

TEST(LayoutCli, APlacedMovieAndPictureReachTheDatabase) {
    const fs::path dir = fs::temp_directory_path() / ("layout-cli-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path clip = dir / "clip.mp4", picture = dir / "back.png";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "testsrc=size=96x72:rate=10:duration=1 -c:v libx264 -pix_fmt yuv420p '" +
                           clip.string() +
                           "' && ffmpeg -nostdin -v error -y -f lavfi -i "
                           "testsrc=size=64x48 -frames:v 1 '" +
                           picture.string() + "'")
                              .c_str()),
              0);

    // A 320 x 480 layout with controls: the movie and the picture dragged
    // into place (one view pixel per layout pixel).
    LayoutEditor e({"160 x 160", "240 x 240", "320 x 320", "320 x 480", "480 x 320"});
    LayoutDevice d;
    d.screen = {320, 480};
    d.video = {240, 180};
    e.setDevice(d);
    e.setLayoutSize({320, 480});
    e.resetItems();
    e.setViewRect({0, 0, 320, 480});
    ASSERT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{40, 147, 280, 327}));
    ASSERT_TRUE(e.mouseDown(160, 237));
    e.mouseUp(140, 337);  // to (20, 247)
    e.setBackgroundPicture(picture.string(), {64, 48});
    ASSERT_EQ(e.item(kLayoutItemBackground)->rect, (LayoutRect{128, 213, 192, 261}));
    ASSERT_TRUE(e.mouseDown(150, 220));
    e.mouseUp(150, 60);  // to (128, 53)

    ExportSettings s;
    s.depth = kDepthGrey16;
    s.frameRate = fixedFromInt(5);
    AtomContainer settings;
    ASSERT_EQ(getSettingsAsContainer(s, &settings), noErr);
    ASSERT_EQ(e.writePresentation(&settings), noErr);
    const std::vector<uint8_t> bytes = settings.flatten();
    std::ofstream(dir / "settings.atoms", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    int status = -1;
    const fs::path out = dir / "out.pdb";
    run("convert --settings '" + (dir / "settings.atoms").string() + "' -o '" + out.string() +
            "' '" + clip.string() + "'",
        &status);
    ASSERT_EQ(status, 0);
    const std::string json = run("inspect --json '" + out.string() + "'", &status);
    EXPECT_EQ(status, 0) << json;
    // y less the 30-row strip, lowered to even: the movie at (20, 216), the
    // picture at (128, 22).
    EXPECT_NE(json.find("\"screenRect\":[216,20,396,260]"), std::string::npos) << json;
    EXPECT_NE(json.find("\"width\":240,\"height\":180"), std::string::npos) << json;
    EXPECT_NE(json.find("\"fullScreen\":0"), std::string::npos) << json;
    EXPECT_NE(json.find("\"background\":[255,255,255]"), std::string::npos) << json;
    // Stage, picture, video.
    EXPECT_NE(json.find("{\"values\":[" + std::to_string(128 | (22 << 16)) + "," +
                        std::to_string(64 | (48 << 16)) + ","),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"values\":[" + std::to_string(20 | (216 << 16)) + "," +
                        std::to_string(240 | (180 << 16)) + ","),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"violations\":[]"), std::string::npos) << json;
    fs::remove_all(dir);
}

}  // namespace
