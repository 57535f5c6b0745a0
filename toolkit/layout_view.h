#pragma once
// The layout view's picture: the layout scaled into the view on the
// dialog's face colour, filled with the background colour, the control
// strips with their pictures, the background picture, the movie and the
// corner handles. Drawn in software into 32-bit pixels, so the window layer
// only shows the result and the drawing is testable without a window.
#include <array>
#include <cstdint>
#include <span>

#include "platform/dialog_resources.h"  // kResTypePicture
#include "platform/resources.h"
#include "toolkit/layout_model.h"
#include "toolkit/layout_picture.h"

inline constexpr FourCC kResTypeStripPicture = fourCC("WIDG");
inline constexpr ResID kFirstStripPicture = 1;  // WIDG 1-8
inline constexpr ResID kMovieProxyPicture = 2003;  // shown when no movie is open

struct LayoutViewPictures {
    LayoutPicture movie;       // a frame of the movie, or the proxy
    LayoutPicture background;  // the background picture
    // Top, bottom, top narrow, bottom narrow, then the side strips: top
    // narrow CW and CCW, bottom narrow CW and CCW (WIDG 1-8).
    std::array<LayoutPicture, 8> strips;
};

// A picture held in memory (PNG and the other still formats), decoded.
OSStatus decodePicture(std::span<const uint8_t> bytes, LayoutPicture* out);
// The strip pictures and the movie proxy from the program's resources;
// missing or broken ones stay empty and are not drawn.
void loadViewPictures(const ResourceFile& resources, LayoutViewPictures* out);

struct LayoutViewStyle {
    uint8_t face[3] = {212, 208, 200};  // around the layout
    uint8_t strip[3] = {40, 48, 56};    // behind the strip pictures
};

// Renders the view, view-sized, with (0, 0) at the view's top-left.
void renderLayoutView(const LayoutEditor& editor, const LayoutViewPictures& pictures,
                      LayoutPicture* out, const LayoutViewStyle& style = {});
