#pragma once
// Sizes the layout editor works with: the full-screen video sizes, snapping
// to multiples of four, what the video-size and layout-size popups list for
// a device screen, and the layout size a video gets by default.
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"

struct LayoutSize {
    int width = 0;
    int height = 0;
    bool operator==(const LayoutSize&) const = default;
};

// String lists behind the two size popups.
inline constexpr ResID kVideoSizeList = 516;   // "Default", "-", "80 x 60", ...
inline constexpr ResID kLayoutSizeList = 170;  // "160 x 160", ..., "480 x 320"

// Full-screen video sizes: square 160 x 160 and 320 x 320, wide 480 x 320
// and 320 x 480. A square video fills the screen, so its layout cannot be
// edited; any full-screen video hides the control strips.
bool isSquareVideoSize(LayoutSize video);
bool isWideVideoSize(LayoutSize video);
bool isFullScreenVideoSize(LayoutSize video);

// Lowers a size to multiples of `multiple` keeping its aspect ratio: the
// dimension nearer to its next lower multiple is lowered, the other derived
// from the aspect ratio (16.16 fixed point, to the nearest integer) and
// then lowered too. Sizes already on multiples, or not positive, are kept.
LayoutSize snapSize(LayoutSize size, int multiple = 4);

// A popup entry's size: the first run of digits is the width, the next the
// height; 0 for a missing number ("Best" reads as 0 x 0).
LayoutSize sizeOfText(std::string_view text);

// "Custom (240 x 180)": the video-size popup's first item while the movie
// is dragged.
std::string customSizeText(std::string_view custom, int width, int height);

// Which entries (0-based, in order) of the popups' string lists are listed
// for a device screen.
std::vector<int> videoSizeEntries(const std::vector<std::string>& entries, LayoutSize screen);
std::vector<int> layoutSizeEntries(const std::vector<std::string>& entries, LayoutSize screen);

// The layout a video gets when none is stored. video 0 x 0 means none (it
// counts as 160 x 120); current is the layout size before. layoutEntries
// is the layout-size list; the entries the popup lists are the candidates.
LayoutSize defaultLayoutSize(LayoutSize video, LayoutSize screen, LayoutSize current,
                             const std::vector<std::string>& layoutEntries);
