// Pressing, dragging and releasing in the layout view: which item a press
// grabs, moves and resizes kept inside the movie area, the minimum sizes
// and the left-edge alignment of portrait layouts.
#include <gtest/gtest.h>

#include "toolkit/layout_profile.h"

namespace {

const std::vector<std::string> kSizes{"160 x 160", "240 x 240", "320 x 320", "320 x 480",
                                      "480 x 320"};

// A 160 x 160 layout with controls (movie area rows 15 to 143) and a
// 80 x 60 movie at (40, 40): view pixels equal layout pixels.
LayoutEditor smallEditor() {
    LayoutEditor e(kSizes);
    LayoutDevice d;
    d.screen = {160, 160};
    d.video = {80, 60};
    e.setDevice(d);
    e.resetToDefault();
    e.setEdited(false);
    e.mouseDown(60, 60);
    e.mouseUp(40, 40);  // moved by (-20, -20) from the centred (40, 49)
    e.setEdited(false);
    return e;
}

LayoutRect movieRect(const LayoutEditor& e) {
    return e.item(kLayoutItemMovie)->rect;
}

void drag(LayoutEditor& e, int fromX, int fromY, int toX, int toY) {
    ASSERT_TRUE(e.mouseDown(fromX, fromY));
    e.mouseMove((fromX + toX) / 2, (fromY + toY) / 2);
    e.mouseUp(toX, toY);
}

TEST(LayoutDrag, APressGrabsHandlesFirstThenInsidesMovieBeforePicture) {
    LayoutEditor e = smallEditor();
    ASSERT_EQ(movieRect(e), (LayoutRect{20, 29, 100, 89}));
    e.setBackgroundPicture("", {160, 120});  // fills the 160 x 128 area's width
    ASSERT_EQ(e.item(kLayoutItemBackground)->rect, (LayoutRect{0, 19, 160, 139}));

    auto hit = [&](int x, int y) { return e.hitTest(x, y); };
    EXPECT_EQ(hit(21, 30).grab, LayoutGrab::TopLeft);
    EXPECT_EQ(hit(99, 30).grab, LayoutGrab::TopRight);
    EXPECT_EQ(hit(21, 88).grab, LayoutGrab::BottomLeft);
    EXPECT_EQ(hit(99, 88).grab, LayoutGrab::BottomRight);
    EXPECT_EQ(hit(21, 30).kind, kLayoutItemMovie);
    EXPECT_EQ(hit(60, 60).kind, kLayoutItemMovie);
    EXPECT_EQ(hit(60, 60).grab, LayoutGrab::Move);
    // Outside the movie, the picture underneath.
    EXPECT_EQ(hit(130, 60).kind, kLayoutItemBackground);
    EXPECT_EQ(hit(130, 60).grab, LayoutGrab::Move);
    EXPECT_EQ(hit(155, 135).grab, LayoutGrab::BottomRight);
    EXPECT_EQ(hit(60, 5).kind, 0);  // the top strip: nothing
    EXPECT_FALSE(e.mouseDown(60, 5));
}

TEST(LayoutDrag, AMoveFollowsTheMouseAndStaysInsideTheMovieArea) {
    LayoutEditor e = smallEditor();
    drag(e, 60, 60, 70, 75);
    // Left 30 would be on 28 in a portrait layout; the size is kept.
    EXPECT_EQ(movieRect(e), (LayoutRect{28, 44, 108, 104}));
    EXPECT_TRUE(e.edited());
    // Far up and left: stopped by the strip and the left edge.
    drag(e, 60, 60, -200, -200);
    EXPECT_EQ(movieRect(e), (LayoutRect{0, 15, 80, 75}));
    drag(e, 40, 40, 400, 400);
    EXPECT_EQ(movieRect(e), (LayoutRect{80, 83, 160, 143}));
    // Moving changes no size.
    EXPECT_EQ(e.device().video, (LayoutSize{80, 60}));
}

TEST(LayoutDrag, AResizeMovesOneCornerWithinTheArea) {
    LayoutEditor e = smallEditor();
    // Bottom-right corner out past the area: stops at its right and bottom.
    ASSERT_TRUE(e.mouseDown(98, 87));
    e.mouseMove(300, 300);
    EXPECT_EQ(movieRect(e), (LayoutRect{20, 29, 160, 143}));
    EXPECT_TRUE(e.mouseUp(300, 300));
    EXPECT_EQ(e.device().video, (LayoutSize{140, 114}));
    EXPECT_TRUE(e.edited());
    // The main window's record takes the new size and the layout fields.
    ProfileRecord record;
    record.depth = 32;
    storeLayout(e, &record);
    EXPECT_EQ(record.videoWidth, 140);
    EXPECT_EQ(record.videoHeight, 114);
    EXPECT_EQ(record.layoutEdited, 1);
    EXPECT_EQ(record.layoutWidth, 160);
    EXPECT_EQ(record.showControls, 1);
    EXPECT_EQ(layoutDeviceOf(record).video, (LayoutSize{140, 114}));
    record.depth = kLayoutNoVideoDepth;
    EXPECT_FALSE(layoutDeviceOf(record).hasVideo);

    // Top-left corner: the left edge lands on a multiple of four, the
    // opposite corner stays.
    LayoutEditor f = smallEditor();
    drag(f, 21, 30, 11, 22);
    EXPECT_EQ(movieRect(f), (LayoutRect{8, 21, 100, 89}));
}

TEST(LayoutDrag, AResizeBelowTheMinimumIsScaledUpToIt) {
    LayoutEditor e = smallEditor();
    // Bottom-right corner dragged to 20 x 15 (4:3): scaled to hold 40 x 28.
    drag(e, 98, 87, 38, 42);
    EXPECT_EQ(movieRect(e), (LayoutRect{20, 29, 60, 59}));
    EXPECT_EQ(e.device().video, (LayoutSize{40, 30}));
    // Past the opposite corner: it collapses there and comes back at the
    // minimum in the shape it had.
    drag(e, 58, 57, -50, -50);
    EXPECT_EQ(movieRect(e), (LayoutRect{20, 29, 60, 59}));
    // Below it one way only: that side stops at the minimum.
    LayoutEditor f = smallEditor();
    drag(f, 98, 87, 118, 35);
    EXPECT_EQ(movieRect(f), (LayoutRect{20, 29, 120, 57}));

    // A landscape layout's minimum stands the other way: 28 x 40.
    LayoutEditor g(kSizes);
    LayoutDevice d;
    d.screen = {480, 320};
    d.video = {240, 180};
    d.controlsUpright = true;
    g.setDevice(d);
    g.setLayoutSize({480, 320});
    g.setShowControls(false);
    g.setViewRect({0, 0, 480, 320});  // one view pixel per layout pixel
    const LayoutRect start = movieRect(g);
    ASSERT_EQ(start, (LayoutRect{0, 30, 160, 150}));
    // Bottom-right corner to 12 x 32: scaled by 28/12 to 28 x 75.
    drag(g, 158, 148, 10, 60);
    EXPECT_EQ(movieRect(g), (LayoutRect{0, 30, 28, 105}));
}

TEST(LayoutDrag, ToggledControlsAndNewSizesKeepItemsInside) {
    LayoutEditor e = smallEditor();
    e.setShowControls(false);
    drag(e, 60, 60, 60, 0);
    EXPECT_EQ(movieRect(e).top, 0);
    e.setShowControls(true);
    EXPECT_EQ(movieRect(e).top, 15);
    // A new video size from the popup resizes the movie in place.
    LayoutDevice d = e.device();
    d.video = {120, 92};
    e.setDevice(d);
    EXPECT_EQ(movieRect(e).width(), 120);
    EXPECT_EQ(movieRect(e).height(), 92);
    // No video: no movie item, and nothing to grab.
    d.hasVideo = false;
    e.setDevice(d);
    EXPECT_EQ(e.item(kLayoutItemMovie), nullptr);
    EXPECT_EQ(e.hitTest(60, 60).kind, 0);
}

}  // namespace
