// The layout editor's geometry: movie areas, snapping, the size popups'
// filters, default layout sizes and the view mapping.
#include <gtest/gtest.h>

#include "platform/resources.h"
#include "resources/resources.h"
#include "toolkit/layout_model.h"

namespace {

std::vector<std::string> list(ResID id) {
    std::span<const uint8_t> d;
    std::vector<std::string> out;
    EXPECT_EQ(moviepackerResources().get(kResTypeStringList, id, &d), noErr);
    EXPECT_EQ(parseStringList(d, &out), noErr);
    return out;
}

std::vector<std::string> listed(const std::vector<std::string>& entries,
                                const std::vector<int>& which) {
    std::vector<std::string> out;
    for (int i : which) out.push_back(entries[size_t(i)]);
    return out;
}

LayoutDevice device(LayoutSize screen, LayoutSize video, int angle = 0, bool crui = false) {
    LayoutDevice d;
    d.screen = screen;
    d.video = video;
    d.angle = angle;
    d.controlsUpright = crui;
    return d;
}

TEST(LayoutGeometry, ControlStripsLeaveTheMovieArea) {
    const LayoutDevice d = device({320, 320}, {160, 120});
    EXPECT_EQ(movieAreaFor({160, 160}, d, true), (LayoutRect{0, 15, 160, 143}));
    EXPECT_EQ(movieAreaFor({320, 320}, d, true), (LayoutRect{0, 30, 320, 286}));
    EXPECT_EQ(movieAreaFor({320, 480}, d, true), (LayoutRect{0, 45, 320, 429}));
    EXPECT_EQ(movieAreaFor({160, 160}, d, false), (LayoutRect{0, 0, 160, 160}));
    // A square full-screen video has no strips, whatever the flag says.
    EXPECT_EQ(movieAreaFor({320, 320}, device({320, 320}, {320, 320}), true),
              (LayoutRect{0, 0, 320, 320}));

    // Landscape without crui: strips at the sides, the wider one on the left
    // unless the angle is negative.
    EXPECT_EQ(movieAreaFor({480, 320}, device({480, 320}, {240, 180}, 90), true),
              (LayoutRect{45, 0, 429, 320}));
    EXPECT_EQ(movieAreaFor({480, 320}, device({480, 320}, {240, 180}, 0), true),
              (LayoutRect{45, 0, 429, 320}));
    EXPECT_EQ(movieAreaFor({480, 320}, device({480, 320}, {240, 180}, -90), true),
              (LayoutRect{51, 0, 435, 320}));
    // With crui they stay at the top and bottom.
    EXPECT_EQ(movieAreaFor({480, 320}, device({480, 320}, {240, 180}, 90, true), true),
              (LayoutRect{0, 30, 480, 286}));
    // 15/160 and 17/160 truncate toward zero.
    EXPECT_EQ(movieAreaFor({240, 240}, d, true), (LayoutRect{0, 22, 240, 215}));
}

TEST(LayoutGeometry, SnappingLowersTheNearerDimensionAndKeepsTheShape) {
    EXPECT_EQ(snapSize({160, 120}), (LayoutSize{160, 120}));
    // Height is 1 above a multiple, width 2: height drops, width follows.
    EXPECT_EQ(snapSize({162, 121}), (LayoutSize{160, 120}));
    // Width is nearer: 101 -> 100, height 75.7 -> 76.
    EXPECT_EQ(snapSize({101, 76}), (LayoutSize{100, 76}));
    // Width already on a multiple (distance 0): the height is derived from it.
    EXPECT_EQ(snapSize({100, 77}), (LayoutSize{100, 76}));
    // A derived value is rounded, then lowered: 143 x 107 -> 140 x 104.7 -> 104.
    EXPECT_EQ(snapSize({143, 107}), (LayoutSize{140, 104}));
    EXPECT_EQ(snapSize({0, 7}), (LayoutSize{0, 7}));
}

TEST(LayoutGeometry, SizePopupsListWhatTheScreenShows) {
    const auto video = list(kVideoSizeList);
    const auto layout = list(kLayoutSizeList);
    ASSERT_EQ(video.size(), 12u);
    ASSERT_EQ(layout.size(), 5u);

    EXPECT_EQ(listed(layout, layoutSizeEntries(layout, {160, 160})),
              (std::vector<std::string>{"160 x 160"}));
    EXPECT_EQ(listed(layout, layoutSizeEntries(layout, {480, 320})),
              (std::vector<std::string>{"320 x 320", "320 x 480", "480 x 320"}));
    EXPECT_EQ(listed(layout, layoutSizeEntries(layout, {320, 480})),
              (std::vector<std::string>{"320 x 320", "320 x 480", "480 x 320"}));
    EXPECT_EQ(listed(layout, layoutSizeEntries(layout, {320, 320})),
              (std::vector<std::string>{"320 x 320"}));

    EXPECT_EQ(listed(video, videoSizeEntries(video, {160, 160})),
              (std::vector<std::string>{"Default", "-", "80 x 60", "120 x 92", "160 x 120", "-",
                                        "Full 160 x 160"}));
    EXPECT_EQ(listed(video, videoSizeEntries(video, {320, 320})),
              (std::vector<std::string>{"Default", "-", "80 x 60", "120 x 92", "160 x 120",
                                        "240 x 180", "320 x 240", "-", "Full 320 x 320"}));
    // A wide screen takes sizes up to its longer side either way, and the
    // square that matches one side.
    EXPECT_EQ(
        listed(video, videoSizeEntries(video, {480, 320})),
        (std::vector<std::string>{"Default", "-", "80 x 60", "120 x 92", "160 x 120", "240 x 180",
                                  "320 x 240", "440 x 280", "480 x 320", "-", "Full 320 x 320"}));

    EXPECT_EQ(sizeOfText("320 x 480"), (LayoutSize{320, 480}));
    EXPECT_EQ(sizeOfText(customSizeText("Custom", 240, 180)), (LayoutSize{240, 180}));
    EXPECT_EQ(sizeOfText("Best"), (LayoutSize{0, 0}));
}

TEST(LayoutGeometry, DefaultLayoutSizes) {
    const auto entries = list(kLayoutSizeList);
    // Square videos take their own size, unless the layout is already taller.
    EXPECT_EQ(defaultLayoutSize({320, 320}, {320, 320}, {160, 160}, entries),
              (LayoutSize{320, 320}));
    EXPECT_EQ(defaultLayoutSize({320, 320}, {320, 480}, {320, 480}, entries),
              (LayoutSize{320, 480}));
    // A wide video on a screen the list holds takes its own size.
    EXPECT_EQ(defaultLayoutSize({480, 320}, {480, 320}, {160, 160}, entries),
              (LayoutSize{480, 320}));
    // Otherwise the first listed size that holds the video and fits the screen.
    EXPECT_EQ(defaultLayoutSize({160, 120}, {160, 160}, {}, entries), (LayoutSize{160, 160}));
    EXPECT_EQ(defaultLayoutSize({240, 180}, {320, 320}, {}, entries), (LayoutSize{320, 320}));
    EXPECT_EQ(defaultLayoutSize({320, 240}, {480, 320}, {}, entries), (LayoutSize{320, 320}));
    EXPECT_EQ(defaultLayoutSize({440, 280}, {480, 320}, {}, entries), (LayoutSize{480, 320}));
    // No video counts as 160 x 120.
    EXPECT_EQ(defaultLayoutSize({0, 0}, {320, 320}, {}, entries), (LayoutSize{320, 320}));
    EXPECT_EQ(defaultLayoutSize({-1, -1}, {160, 160}, {}, entries), (LayoutSize{160, 160}));
    // Nothing holds it: 160 wide.
    EXPECT_EQ(defaultLayoutSize({320, 240}, {160, 160}, {}, entries), (LayoutSize{160, 160}));
}

TEST(LayoutGeometry, TheViewShowsTheLayoutScaledAndCentred) {
    LayoutEditor e(list(kLayoutSizeList));
    e.setDevice(device({480, 320}, {240, 180}));
    e.setLayoutSize({480, 320});
    EXPECT_EQ(e.layoutInView(), (LayoutRect{0, 27, 160, 133}));
    EXPECT_EQ(e.toView({0, 0, 480, 320}), e.layoutInView());
    int x = 0, y = 0;
    e.toLayout(80, 80, &x, &y);
    EXPECT_EQ(x, 240);
    EXPECT_EQ(y, 160);
    e.setLayoutSize({320, 480});
    EXPECT_EQ(e.layoutInView(), (LayoutRect{27, 0, 133, 160}));
    // A view placed elsewhere in the window.
    e.setViewRect({100, 50, 260, 210});
    e.setLayoutSize({320, 320});
    EXPECT_EQ(e.layoutInView(), (LayoutRect{100, 50, 260, 210}));
    EXPECT_EQ(e.toView({40, 60, 200, 180}), (LayoutRect{120, 80, 200, 140}));
}

TEST(LayoutGeometry, ASquareFullScreenVideoCannotBeEdited) {
    LayoutEditor e(list(kLayoutSizeList));
    e.setDevice(device({320, 320}, {320, 320}));
    e.resetToDefault();
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));
    EXPECT_FALSE(e.showControls());
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 0, 320, 320}));
    ASSERT_NE(e.item(kLayoutItemMovie), nullptr);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{0, 0, 320, 320}));
    const LayoutRect before = e.item(kLayoutItemMovie)->rect;
    EXPECT_FALSE(e.mouseDown(80, 80));
    e.mouseMove(100, 100);
    EXPECT_FALSE(e.mouseUp(100, 100));
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, before);
    EXPECT_FALSE(e.setBackgroundColour({0, 0, 0}));
    EXPECT_EQ(e.backgroundColour(), LayoutColour{});

    // Any full-screen size turns the controls off; a smaller one leaves them.
    LayoutEditor wide(list(kLayoutSizeList));
    wide.setDevice(device({480, 320}, {480, 320}, 90));
    EXPECT_FALSE(wide.showControls());
    EXPECT_TRUE(wide.editable());
    LayoutEditor small(list(kLayoutSizeList));
    small.setDevice(device({320, 320}, {240, 180}));
    EXPECT_TRUE(small.showControls());
}

}  // namespace
