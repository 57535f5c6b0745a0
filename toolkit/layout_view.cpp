#include "toolkit/layout_view.h"

#include <algorithm>

#include "platform/decompress.h"
#include "platform/movies.h"

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Drawing into the view's pixels; rectangles in view coordinates.
class Canvas {
  public:
    Canvas(LayoutPicture& p, int originX, int originY) : m_p(p), m_ox(originX), m_oy(originY) {}

    void fill(const LayoutRect& r, Colour c) {
        const LayoutRect v = clip(r);
        for (int y = v.top; y < v.bottom; ++y)
            for (int x = v.left; x < v.right; ++x) put(x, y, c.b, c.g, c.r);
    }

    void frame(const LayoutRect& r, Colour c) {
        fill({r.left, r.top, r.right, r.top + 1}, c);
        fill({r.left, r.bottom - 1, r.right, r.bottom}, c);
        fill({r.left, r.top, r.left + 1, r.bottom}, c);
        fill({r.right - 1, r.top, r.right, r.bottom}, c);
    }

    // The picture scaled into r (nearest pixel), clipped to the view.
    void scaled(const LayoutPicture& src, const LayoutRect& r) {
        if (src.width <= 0 || src.height <= 0 || r.width() <= 0 || r.height() <= 0) return;
        const LayoutRect v = clip(r);
        for (int y = v.top; y < v.bottom; ++y) {
            const int sy = int(int64_t(y - r.top) * src.height / r.height());
            for (int x = v.left; x < v.right; ++x) {
                const int sx = int(int64_t(x - r.left) * src.width / r.width());
                const uint8_t* s = &src.pixels[(size_t(sy) * size_t(src.width) + size_t(sx)) * 4];
                put(x, y, s[0], s[1], s[2]);
            }
        }
    }

    // The picture at its size, centred in box and clipped to it.
    void centred(const LayoutPicture& src, const LayoutRect& box) {
        if (src.width <= 0 || src.height <= 0) return;
        const int left = box.left + (box.width() - src.width) / 2;
        const int top = box.top + (box.height() - src.height) / 2;
        const LayoutRect v = clip(box);
        for (int y = std::max(v.top, top); y < std::min(v.bottom, top + src.height); ++y)
            for (int x = std::max(v.left, left); x < std::min(v.right, left + src.width); ++x) {
                const uint8_t* s =
                    &src.pixels[(size_t(y - top) * size_t(src.width) + size_t(x - left)) * 4];
                put(x, y, s[0], s[1], s[2]);
            }
    }

  private:
    LayoutRect clip(const LayoutRect& r) const {
        return {std::max(r.left, m_ox), std::max(r.top, m_oy), std::min(r.right, m_ox + m_p.width),
                std::min(r.bottom, m_oy + m_p.height)};
    }
    void put(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* d = &m_p.pixels[(size_t(y - m_oy) * size_t(m_p.width) + size_t(x - m_ox)) * 4];
        d[0] = b;
        d[1] = g;
        d[2] = r;
        d[3] = 255;
    }

    LayoutPicture& m_p;
    int m_ox, m_oy;
};

constexpr Colour kOutline{0, 0, 0};
constexpr Colour kHandleInside{255, 255, 255};
constexpr Colour kMissingPicture{128, 128, 128};

}  // namespace

OSStatus decodePicture(std::span<const uint8_t> bytes, LayoutPicture* out) {
    if (out == nullptr || bytes.empty()) return kStatusParamError;
    Movie m = nullptr;
    if (OSStatus err = NewMovieFromMemory(bytes, &m); err != noErr) return err;
    int32_t w = 0, h = 0;
    GetMovieNaturalBounds(m, &w, &h);
    OSStatus err = kStatusParamError;
    LayoutPicture p;
    if (w > 0 && h > 0 && w <= 4096 && h <= 4096) {
        p.width = w;
        p.height = h;
        p.pixels.assign(size_t(w) * size_t(h) * 4, 0);
        err = DrawMovieFrame(m, 0, {p.pixels.data(), w, h, w * 4, k32BGRAPixelFormat});
    }
    DisposeMovie(m);
    if (err == noErr) *out = std::move(p);
    return err;
}

void loadViewPictures(const ResourceFile& resources, LayoutViewPictures* out) {
    std::span<const uint8_t> d;
    for (size_t i = 0; i < out->strips.size(); ++i)
        if (resources.get(kResTypeStripPicture, ResID(kFirstStripPicture + i), &d) == noErr)
            decodePicture(d, &out->strips[i]);
    if (resources.get(kResTypePicture, kMovieProxyPicture, &d) == noErr)
        decodePicture(d, &out->movie);
}

void renderLayoutView(const LayoutEditor& e, const LayoutViewPictures& pics, LayoutPicture* out,
                      const LayoutViewStyle& style) {
    const LayoutRect view = e.viewRect();
    out->width = view.width();
    out->height = view.height();
    out->pixels.assign(size_t(out->width) * size_t(out->height) * 4, 0);
    Canvas c(*out, view.left, view.top);
    c.fill(view, {style.face[0], style.face[1], style.face[2]});

    const LayoutSize size = e.layoutSize();
    const LayoutRect all = e.layoutInView();
    const LayoutColour bg = e.backgroundColour();
    c.fill(all, {uint8_t(bg.red >> 8), uint8_t(bg.green >> 8), uint8_t(bg.blue >> 8)});

    // The strips: whatever the movie area leaves of the layout.
    const LayoutRect a = e.movieArea();
    const Colour strip{style.strip[0], style.strip[1], style.strip[2]};
    const bool narrow = all.width() < kLayoutViewSize;
    auto drawStrip = [&](const LayoutRect& layoutRect, size_t picture) {
        if (layoutRect.width() <= 0 || layoutRect.height() <= 0) return;
        const LayoutRect v = e.toView(layoutRect);
        c.fill(v, strip);
        c.centred(pics.strips[picture], v);
    };
    drawStrip({0, 0, size.width, a.top}, narrow ? 2 : 0);
    drawStrip({0, a.bottom, size.width, size.height}, narrow ? 3 : 1);
    const bool clockwise = e.device().angle >= 0;
    drawStrip({0, 0, a.left, size.height}, clockwise ? 4 : 7);
    drawStrip({a.right, 0, size.width, size.height}, clockwise ? 6 : 5);

    for (int kind : {kLayoutItemBackground, kLayoutItemMovie}) {
        const LayoutItem* i = e.item(kind);
        if (i == nullptr) continue;
        const LayoutRect v = e.toView(i->rect);
        const LayoutPicture& p = kind == kLayoutItemMovie ? pics.movie : pics.background;
        if (p.width > 0)
            c.scaled(p, v);
        else
            c.fill(v, kMissingPicture);
        if (kind == kLayoutItemMovie) c.frame(v, kOutline);
    }
    if (!e.editable()) return;
    for (int kind : {kLayoutItemBackground, kLayoutItemMovie}) {
        const LayoutItem* i = e.item(kind);
        if (i == nullptr) continue;
        for (const LayoutRect& h : e.handlesInView(i->rect)) {
            c.fill(h, kOutline);
            c.fill({h.left + 1, h.top + 1, h.right - 1, h.bottom - 1}, kHandleInside);
        }
    }
}
