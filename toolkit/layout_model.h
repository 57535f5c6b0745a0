#pragma once
// The layout editor's model: the handheld screen as the Layout tab shows
// it, with the movie rectangle and an optional background picture placed on
// a background colour, the control strips the player keeps, the mapping to
// the 160 x 160 view, and what mouse presses, drags and releases do. The
// view only draws this state and forwards mouse events in view pixels.
//
// Coordinates: layout pixels (the handheld screen area the player uses)
// unless a name says view; rectangles are half-open, left/top inclusive.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/atoms.h"
#include "platform/status.h"
#include "toolkit/layout_sizes.h"

struct LayoutRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const LayoutRect&) const = default;
};

struct LayoutColour {
    uint16_t red = 65535, green = 65535, blue = 65535;
    bool operator==(const LayoutColour&) const = default;
};

inline constexpr int kLayoutItemBackground = 1;  // the background picture
inline constexpr int kLayoutItemMovie = 2;

struct LayoutItem {
    int kind = kLayoutItemMovie;
    LayoutRect rect;
    std::string picturePath;  // the background picture's file; empty for the movie
};

// What a press in the view grabbed.
enum class LayoutGrab { None, Move, TopLeft, TopRight, BottomLeft, BottomRight };

struct LayoutHit {
    int kind = 0;  // kLayoutItemMovie or kLayoutItemBackground; 0 for none
    LayoutGrab grab = LayoutGrab::None;
};

// The device and settings the layout belongs to (the profile record's
// screen, crui, angle, video size and depth).
struct LayoutDevice {
    LayoutSize screen{160, 160};
    bool controlsUpright = false;  // crui: strips top and bottom even in landscape
    int angle = 0;                 // degrees
    LayoutSize video{160, 120};
    bool hasVideo = true;  // false for the no-video depth
};

inline constexpr int kLayoutViewSize = 160;  // the view's user item
inline constexpr int kLayoutHandleSize = 8;  // corner handles, view pixels
inline constexpr int kLayoutSnap = 4;        // positions and sizes on multiples of four

// The movie area: the layout less the player's control strips (none when
// the controls are hidden or the video is square). Landscape layouts on a
// device without crui have them at the sides, the wider one on the left
// unless the angle is negative; otherwise 15/160 of the height at the top
// and 17/160 at the bottom.
LayoutRect movieAreaFor(LayoutSize layout, const LayoutDevice& device, bool showControls);

// The height PRES positions are moved by when controls are shown: 30 in a
// layout of 320 or more in either dimension, else 15.
int presentationStripHeight(LayoutSize layout);

class LayoutEditor {
  public:
    // layoutEntries: the layout-size popup's list (STR# 170), for default sizes.
    explicit LayoutEditor(std::vector<std::string> layoutEntries = {});

    // A new device or settings (the profile changed). Keeps the layout and
    // items; full-screen videos turn the controls off; the movie item comes
    // or goes with the video.
    void setDevice(const LayoutDevice& device);
    const LayoutDevice& device() const { return m_device; }

    LayoutSize layoutSize() const { return m_layout; }
    bool showControls() const { return m_showControls; }
    LayoutColour backgroundColour() const { return m_colour; }
    bool edited() const { return m_edited; }
    void setEdited(bool edited) { m_edited = edited; }
    const LayoutRect& movieArea() const { return m_area; }
    const std::vector<LayoutItem>& items() const { return m_items; }
    const LayoutItem* item(int kind) const;

    bool squareVideo() const;
    // Dragging, resizing and colour changes are refused with a square video.
    bool editable() const { return !squareVideo(); }

    // User edits; each sets the edited flag and keeps the items inside.
    void setLayoutSize(LayoutSize layout);
    void setShowControls(bool show);
    bool setBackgroundColour(LayoutColour colour);  // false: not offered
    // The chosen picture, fitted into the movie area and centred;
    // naturalSize 0 x 0 fills the area.
    void setBackgroundPicture(const std::string& path, LayoutSize naturalSize);
    void clearBackgroundPicture();
    // Controls off for full-screen videos, the default layout size, the
    // movie centred at its size (or fitted), no background picture.
    void resetToDefault();
    // No background picture, the movie centred at its size (or fitted).
    void resetItems();
    // The movie centred at its size (or fitted); the picture stays.
    void resetMoviePlacement();

    // --- View ----------------------------------------------------------------
    // The view's rectangle in window pixels (default 0, 0, 160, 160).
    void setViewRect(LayoutRect view);
    LayoutRect viewRect() const { return m_view; }
    // The layout scaled to fit the view and centred in it.
    LayoutRect layoutInView() const;
    LayoutRect toView(const LayoutRect& r) const;
    void toLayout(int viewX, int viewY, int* x, int* y) const;
    // The four corner handles of a rectangle, in view pixels: top-left,
    // top-right, bottom-left, bottom-right.
    std::vector<LayoutRect> handlesInView(const LayoutRect& layoutRect) const;

    // --- Mouse ---------------------------------------------------------------
    LayoutHit hitTest(int viewX, int viewY) const;
    // True when the press grabbed an item; the drag runs until mouseUp.
    bool mouseDown(int viewX, int viewY);
    void mouseMove(int viewX, int viewY);
    // Ends a drag: the edited flag is set and a dragged movie's size
    // becomes the video size. True when the movie was dragged (the main
    // window then refreshes its size popup).
    bool mouseUp(int viewX, int viewY);
    bool dragging() const { return m_drag.hit.kind != 0; }
    LayoutHit dragHit() const { return m_drag.hit; }

    // --- PRES (layout_presentation.cpp) ------------------------------------
    // Replaces PRES (ID 1) of the settings with this layout. Does nothing
    // unless the edited flag is set. Status: noErr or the container's error
    // (the settings are then left as they were).
    OSStatus writePresentation(AtomContainer* settings) const;
    // Takes the layout from the settings' PRES, or the default layout when
    // there is none. Malformed values are clamped or left out.
    void readPresentation(const AtomContainer& settings);

  private:
    void recompute();
    void keepInside(LayoutRect* r) const;
    LayoutRect placedMovie() const;
    LayoutItem* itemOf(int kind);
    bool portrait() const { return m_layout.height >= m_layout.width; }
    void dragTo(int x, int y);

    std::vector<std::string> m_layoutEntries;
    LayoutDevice m_device;
    LayoutSize m_layout{160, 160};
    LayoutColour m_colour;
    bool m_showControls = true;
    bool m_edited = false;
    LayoutRect m_area{0, 0, 160, 160};
    std::vector<LayoutItem> m_items;
    LayoutRect m_view{0, 0, kLayoutViewSize, kLayoutViewSize};

    struct Drag {
        LayoutHit hit;
        int startX = 0, startY = 0;
        LayoutRect start;
    } m_drag;
};
