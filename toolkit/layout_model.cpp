#include "toolkit/layout_model.h"

#include <algorithm>
#include <cmath>

namespace {

int floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return int(q);
}

// Scales a size down (never up) to fit a box, keeping its aspect ratio.
LayoutSize fitInto(LayoutSize s, int w, int h) {
    if (s.width <= 0 || s.height <= 0) return {w, h};
    if (s.width <= w && s.height <= h) return s;
    if (int64_t(s.width) * h >= int64_t(s.height) * w)
        return {w, std::max(1, int(int64_t(s.height) * w / s.width))};
    return {std::max(1, int(int64_t(s.width) * h / s.height)), h};
}

LayoutRect centredIn(LayoutSize s, const LayoutRect& area) {
    LayoutRect r;
    r.left = area.left + (area.width() - s.width) / 2;
    r.top = area.top + (area.height() - s.height) / 2;
    r.right = r.left + s.width;
    r.bottom = r.top + s.height;
    return r;
}

// The smallest item: wider than high in a portrait layout, as the movie is.
LayoutSize minimumItemSize(bool portrait) {
    return portrait ? LayoutSize{40, 28} : LayoutSize{28, 40};
}

}  // namespace

LayoutRect movieAreaFor(LayoutSize layout, const LayoutDevice& device, bool showControls) {
    const int w = layout.width, h = layout.height;
    LayoutRect area{0, 0, w, h};
    if (!showControls || (device.hasVideo && isSquareVideoSize(device.video))) return area;
    if (h < w && !device.controlsUpright) {
        const int wide = w * 17 / 160, narrow = w * 15 / 160;
        area.left += device.angle < 0 ? wide : narrow;
        area.right -= device.angle < 0 ? narrow : wide;
    } else {
        area.top += h * 15 / 160;
        area.bottom -= h * 17 / 160;
    }
    return area;
}

int presentationStripHeight(LayoutSize layout) {
    return layout.width >= 320 || layout.height >= 320 ? 30 : 15;
}

LayoutEditor::LayoutEditor(std::vector<std::string> layoutEntries)
    : m_layoutEntries(std::move(layoutEntries)) {
    recompute();
    m_items.push_back({kLayoutItemMovie, placedMovie(), {}});
}

const LayoutItem* LayoutEditor::item(int kind) const {
    for (const LayoutItem& i : m_items)
        if (i.kind == kind) return &i;
    return nullptr;
}

LayoutItem* LayoutEditor::itemOf(int kind) {
    for (LayoutItem& i : m_items)
        if (i.kind == kind) return &i;
    return nullptr;
}

bool LayoutEditor::squareVideo() const {
    return m_device.hasVideo && isSquareVideoSize(m_device.video);
}

void LayoutEditor::setDevice(const LayoutDevice& device) {
    const LayoutSize before = m_device.video;
    m_device = device;
    // A new video size (from the size popup) resizes the movie where it is.
    if (LayoutItem* movie = itemOf(kLayoutItemMovie);
        movie != nullptr && m_device.video != before && m_device.video.width > 0 &&
        m_device.video.height > 0) {
        movie->rect.right = movie->rect.left + m_device.video.width;
        movie->rect.bottom = movie->rect.top + m_device.video.height;
    }
    if (m_device.hasVideo && isFullScreenVideoSize(m_device.video)) m_showControls = false;
    if (!m_device.hasVideo) {
        std::erase_if(m_items, [](const LayoutItem& i) { return i.kind == kLayoutItemMovie; });
    } else if (itemOf(kLayoutItemMovie) == nullptr) {
        recompute();
        m_items.push_back({kLayoutItemMovie, placedMovie(), {}});
    }
    recompute();
}

LayoutRect LayoutEditor::placedMovie() const {
    const LayoutSize v = m_device.video.width > 0 && m_device.video.height > 0
                             ? m_device.video
                             : LayoutSize{160, 120};
    LayoutRect r = centredIn(fitInto(v, m_area.width(), m_area.height()), m_area);
    keepInside(&r);
    return r;
}

// Shrinks an item that no longer fits, then moves it inside the movie area;
// in a portrait layout the left edge sits on a multiple of four.
void LayoutEditor::keepInside(LayoutRect* r) const {
    const LayoutSize s = fitInto({r->width(), r->height()}, m_area.width(), m_area.height());
    r->right = r->left + s.width;
    r->bottom = r->top + s.height;
    auto shift = [](int* lo, int* hi, int min, int max) {
        if (*hi > max) {
            *lo -= *hi - max;
            *hi = max;
        }
        if (*lo < min) {
            *hi += min - *lo;
            *lo = min;
        }
    };
    shift(&r->left, &r->right, m_area.left, m_area.right);
    shift(&r->top, &r->bottom, m_area.top, m_area.bottom);
    if (portrait()) {
        const int drop = r->left - floorDiv(r->left, kLayoutSnap) * kLayoutSnap;
        if (r->left - drop >= m_area.left) {
            r->left -= drop;
            r->right -= drop;
        }
    }
}

void LayoutEditor::recompute() {
    m_area = movieAreaFor(m_layout, m_device, m_showControls);
    for (LayoutItem& i : m_items) keepInside(&i.rect);
}

void LayoutEditor::setLayoutSize(LayoutSize layout) {
    if (layout.width <= 0 || layout.height <= 0) return;
    m_layout = layout;
    m_edited = true;
    recompute();
}

void LayoutEditor::setShowControls(bool show) {
    m_showControls = show;
    m_edited = true;
    recompute();
}

bool LayoutEditor::setBackgroundColour(LayoutColour colour) {
    if (!editable()) return false;
    m_colour = colour;
    m_edited = true;
    return true;
}

void LayoutEditor::setBackgroundPicture(const std::string& path, LayoutSize natural) {
    clearBackgroundPicture();
    LayoutItem i{kLayoutItemBackground, {}, path};
    i.rect = centredIn(fitInto(natural, m_area.width(), m_area.height()), m_area);
    keepInside(&i.rect);
    // Drawn first, under the movie.
    m_items.insert(m_items.begin(), i);
    m_edited = true;
}

void LayoutEditor::clearBackgroundPicture() {
    if (std::erase_if(m_items, [](const LayoutItem& i) { return i.kind == kLayoutItemBackground; }))
        m_edited = true;
}

void LayoutEditor::resetToDefault() {
    if (m_device.hasVideo && isFullScreenVideoSize(m_device.video)) m_showControls = false;
    m_layout = defaultLayoutSize(m_device.hasVideo ? m_device.video : LayoutSize{}, m_device.screen,
                                 m_layout, m_layoutEntries);
    resetItems();
    // The default is what the user asked for: it replaces a stored layout.
    m_edited = true;
}

void LayoutEditor::resetItems() {
    m_items.clear();
    recompute();
    if (m_device.hasVideo) m_items.push_back({kLayoutItemMovie, placedMovie(), {}});
}

void LayoutEditor::resetMoviePlacement() {
    LayoutItem* movie = itemOf(kLayoutItemMovie);
    if (movie == nullptr) return;
    movie->rect = placedMovie();
    m_edited = true;
}

void LayoutEditor::setViewRect(LayoutRect view) {
    if (view.width() > 0 && view.height() > 0) m_view = view;
}

LayoutRect LayoutEditor::layoutInView() const {
    const int vw = m_view.width(), vh = m_view.height();
    const int w = std::max(1, m_layout.width), h = std::max(1, m_layout.height);
    int mw, mh;
    if (int64_t(w) * vh >= int64_t(h) * vw) {
        mw = vw;
        mh = int(int64_t(h) * vw / w);
    } else {
        mh = vh;
        mw = int(int64_t(w) * vh / h);
    }
    LayoutRect r;
    r.left = (m_view.left + m_view.right - mw) / 2;
    r.top = (m_view.top + m_view.bottom - mh) / 2;
    r.right = r.left + mw;
    r.bottom = r.top + mh;
    return r;
}

LayoutRect LayoutEditor::toView(const LayoutRect& r) const {
    const LayoutRect m = layoutInView();
    const int w = std::max(1, m_layout.width), h = std::max(1, m_layout.height);
    return {m.left + floorDiv(int64_t(r.left) * m.width(), w),
            m.top + floorDiv(int64_t(r.top) * m.height(), h),
            m.left + floorDiv(int64_t(r.right) * m.width(), w),
            m.top + floorDiv(int64_t(r.bottom) * m.height(), h)};
}

void LayoutEditor::toLayout(int vx, int vy, int* x, int* y) const {
    const LayoutRect m = layoutInView();
    *x = floorDiv(int64_t(vx - m.left) * m_layout.width, std::max(1, m.width()));
    *y = floorDiv(int64_t(vy - m.top) * m_layout.height, std::max(1, m.height()));
}

std::vector<LayoutRect> LayoutEditor::handlesInView(const LayoutRect& layoutRect) const {
    const LayoutRect v = toView(layoutRect);
    const int s = kLayoutHandleSize;
    return {{v.left, v.top, v.left + s, v.top + s},
            {v.right - s, v.top, v.right, v.top + s},
            {v.left, v.bottom - s, v.left + s, v.bottom},
            {v.right - s, v.bottom - s, v.right, v.bottom}};
}

LayoutHit LayoutEditor::hitTest(int vx, int vy) const {
    if (!editable()) return {};
    constexpr LayoutGrab corners[] = {LayoutGrab::TopLeft, LayoutGrab::TopRight,
                                      LayoutGrab::BottomLeft, LayoutGrab::BottomRight};
    for (int kind : {kLayoutItemMovie, kLayoutItemBackground}) {
        const LayoutItem* i = item(kind);
        if (i == nullptr) continue;
        const std::vector<LayoutRect> handles = handlesInView(i->rect);
        for (size_t h = 0; h < handles.size(); ++h)
            if (handles[h].contains(vx, vy)) return {kind, corners[h]};
        if (toView(i->rect).contains(vx, vy)) return {kind, LayoutGrab::Move};
    }
    return {};
}

bool LayoutEditor::mouseDown(int vx, int vy) {
    m_drag = {};
    const LayoutHit hit = hitTest(vx, vy);
    if (hit.kind == 0) return false;
    m_drag.hit = hit;
    toLayout(vx, vy, &m_drag.startX, &m_drag.startY);
    m_drag.start = item(hit.kind)->rect;
    return true;
}

void LayoutEditor::mouseMove(int vx, int vy) {
    if (!dragging()) return;
    int x = 0, y = 0;
    toLayout(vx, vy, &x, &y);
    dragTo(x, y);
}

void LayoutEditor::dragTo(int x, int y) {
    LayoutItem* it = itemOf(m_drag.hit.kind);
    if (it == nullptr) return;
    const int dx = x - m_drag.startX, dy = y - m_drag.startY;
    const LayoutRect s = m_drag.start;
    const LayoutRect& a = m_area;
    LayoutRect r = s;
    if (m_drag.hit.grab == LayoutGrab::Move) {
        r = {s.left + dx, s.top + dy, s.right + dx, s.bottom + dy};
        keepInside(&r);
        it->rect = r;
        return;
    }
    const bool grabLeft =
        m_drag.hit.grab == LayoutGrab::TopLeft || m_drag.hit.grab == LayoutGrab::BottomLeft;
    const bool grabTop =
        m_drag.hit.grab == LayoutGrab::TopLeft || m_drag.hit.grab == LayoutGrab::TopRight;
    // The opposite corner stays; the grabbed one follows the mouse inside the
    // movie area and never passes the opposite one.
    const int anchorX = grabLeft ? s.right : s.left, anchorY = grabTop ? s.bottom : s.top;
    int cx = std::clamp((grabLeft ? s.left : s.right) + dx, a.left, a.right);
    int cy = std::clamp((grabTop ? s.top : s.bottom) + dy, a.top, a.bottom);
    if (grabLeft && portrait()) cx = std::max(a.left, floorDiv(cx, kLayoutSnap) * kLayoutSnap);
    int w = grabLeft ? anchorX - cx : cx - anchorX;
    int h = grabTop ? anchorY - cy : cy - anchorY;
    const LayoutSize min = minimumItemSize(portrait());
    if (w < min.width && h < min.height) {
        // Below the minimum both ways: scale up to it, keeping the shape; a
        // rectangle collapsed onto its opposite corner keeps the shape it had.
        const bool collapsed = w <= 0 || h <= 0;
        const double bw = collapsed ? s.width() : w, bh = collapsed ? s.height() : h;
        const double f = std::max(min.width / bw, min.height / bh);
        w = std::max(min.width, int(std::lround(bw * f)));
        h = std::max(min.height, int(std::lround(bh * f)));
    } else {
        // Below it one way only: that side stops at the minimum.
        w = std::max(w, min.width);
        h = std::max(h, min.height);
    }
    r.left = grabLeft ? anchorX - w : anchorX;
    r.right = r.left + w;
    r.top = grabTop ? anchorY - h : anchorY;
    r.bottom = r.top + h;
    keepInside(&r);
    it->rect = r;
}

bool LayoutEditor::mouseUp(int vx, int vy) {
    if (!dragging()) return false;
    mouseMove(vx, vy);
    const bool movie = m_drag.hit.kind == kLayoutItemMovie;
    if (movie) {
        const LayoutItem* i = item(kLayoutItemMovie);
        m_device.video = {i->rect.width(), i->rect.height()};
    }
    m_edited = true;
    m_drag = {};
    return movie;
}
