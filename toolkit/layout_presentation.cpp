// The layout as the PRES atom of the settings: the editor's rectangles
// turned by the angle into the player's coordinates, and back.
#include <algorithm>
#include <cmath>

#include "platform/data_handler.h"
#include "platform/decompress.h"
#include "toolkit/layout_model.h"

namespace {

constexpr FourCC kPres = fourCC("PRES");
constexpr FourCC kVersion = fourCC("vers");
constexpr FourCC kAngle = fourCC("angl");
constexpr FourCC kSize = fourCC("size");
constexpr FourCC kLayout = fourCC("layo");
constexpr FourCC kControls = fourCC("cont");
constexpr FourCC kBack = fourCC("back");
constexpr FourCC kColour = fourCC("rgb ");
constexpr FourCC kImage = fourCC("imag");
constexpr FourCC kVideo = fourCC("vid ");
constexpr FourCC kPosition = fourCC("pos ");
constexpr FourCC kRefType = fourCC("drft");
constexpr FourCC kRef = fourCC("dref");
constexpr uint16_t kPresVersion = 0x0100;
// Larger layouts than any handheld screen are not taken from a PRES.
constexpr int kMaxLayoutSide = 2048;

// The matrix that turns a w x h layout by degrees about the origin and
// moves the turned layout to start at (0, 0); *tw, *th get its size.
MatrixRecord turnMatrix(LayoutSize s, int degrees, int* tw, int* th) {
    int32_t w = 0, h = 0;
    const MatrixRecord m = FrameMatrix(s.width, s.height, s.width, s.height, degrees, &w, &h);
    *tw = w;
    *th = h;
    return m;
}

LayoutRect apply(const MatrixRecord& m, const LayoutRect& r) {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? r.right : r.left, y = (corner & 2) ? r.bottom : r.top;
        const double px = m.a * x + m.c * y + m.tx, py = m.b * x + m.d * y + m.ty;
        minX = std::min(minX, px);
        minY = std::min(minY, py);
        maxX = std::max(maxX, px);
        maxY = std::max(maxY, py);
    }
    return {int(std::lround(minX)), int(std::lround(minY)), int(std::lround(maxX)),
            int(std::lround(maxY))};
}

int lowerTo(int v, int n) {
    const int r = ((v % n) + n) % n;
    return v - r;
}

uint32_t pair(int a, int b) {
    return (uint32_t(uint16_t(int16_t(a))) << 16) | uint16_t(int16_t(b));
}

bool readPair(const AtomContainer& c, AtomRef parent, FourCC type, int* a, int* b) {
    uint32_t v = 0;
    if (parent == kAtomNone || c.readU32(parent, type, 1, &v) != noErr) return false;
    *a = int16_t(v >> 16);
    *b = int16_t(v & 0xFFFF);
    return true;
}

}  // namespace

OSStatus LayoutEditor::writePresentation(AtomContainer* settings) const {
    if (settings == nullptr) return kStatusParamError;
    if (!m_edited) return noErr;
    int tw = 0, th = 0;
    const MatrixRecord m = turnMatrix(m_layout, m_device.angle, &tw, &th);
    const LayoutSize turned{tw, th};
    const LayoutRect area = apply(m, m_area);
    const int strip = presentationStripHeight(turned);
    const bool large = strip == 30;

    AtomContainer pres;
    AtomRef p = kAtomNone, back = kAtomNone;
    OSStatus err = pres.insertChild(kAtomRoot, kPres, 1, {}, &p);
    const uint8_t version[2] = {uint8_t(kPresVersion >> 8), uint8_t(kPresVersion)};
    if (err == noErr) err = pres.writeData(p, kVersion, 1, version);
    if (err == noErr) err = pres.writeI16(p, kAngle, 1, int16_t(m_device.angle));
    if (err == noErr) err = pres.writeU32(p, kSize, 1, pair(area.width(), area.height()));
    if (err == noErr) err = pres.writeU32(p, kLayout, 1, pair(tw, th));
    const uint8_t controls[1] = {uint8_t(m_showControls ? 1 : 0)};
    if (err == noErr) err = pres.writeData(p, kControls, 1, controls);
    if (err == noErr) err = pres.insertChild(p, kBack, 1, {}, &back);
    const uint8_t rgb[6] = {uint8_t(m_colour.red >> 8),   uint8_t(m_colour.red),
                            uint8_t(m_colour.green >> 8), uint8_t(m_colour.green),
                            uint8_t(m_colour.blue >> 8),  uint8_t(m_colour.blue)};
    if (err == noErr) err = pres.writeData(back, kColour, 1, rgb);

    // Positions in the player's coordinates: x on a multiple of four, y
    // below the top strip (even in large layouts), sizes on multiples of four.
    auto writeRect = [&](AtomRef layer, const LayoutRect& r) {
        const LayoutRect t = apply(m, r);
        const int x = lowerTo(t.left, kLayoutSnap);
        int y = t.top - (m_showControls ? strip : 0);
        if (large) y = lowerTo(y, 2);
        y = std::max(y, 0);
        const LayoutSize s = snapSize({t.width(), t.height()}, kLayoutSnap);
        OSStatus e = pres.writeU32(layer, kPosition, 1, pair(x, y));
        if (e == noErr) e = pres.writeU32(layer, kSize, 1, pair(s.width, s.height));
        return e;
    };
    for (const LayoutItem& i : m_items) {
        if (err != noErr) break;
        AtomRef layer = kAtomNone;
        if (i.kind == kLayoutItemBackground) {
            err = pres.insertChild(back, kImage, 1, {}, &layer);
            if (err == noErr) err = writeRect(layer, i.rect);
            DataReference ref;
            if (err == noErr && !i.picturePath.empty() &&
                NewAliasDataReference(i.picturePath, &ref) == noErr) {
                err = pres.writeU32(layer, kRefType, 1, kAliasDataReferenceType);
                if (err == noErr) err = pres.writeData(layer, kRef, 1, ref.data);
            }
        } else if (m_device.hasVideo) {
            err = pres.insertChild(back, kVideo, 1, {}, &layer);
            if (err == noErr) err = writeRect(layer, i.rect);
        }
    }
    if (err != noErr) return err;

    AtomContainer out = *settings;
    const AtomRef old = out.findChild(kAtomRoot, kPres, 1);
    if (old != kAtomNone && (err = out.removeAtom(old)) != noErr) return err;
    if ((err = out.insertChildren(kAtomRoot, pres)) != noErr) return err;
    *settings = std::move(out);
    return noErr;
}

void LayoutEditor::readPresentation(const AtomContainer& c) {
    m_items.clear();
    m_colour = LayoutColour{};
    m_showControls = true;
    m_edited = false;
    const AtomRef pres = c.findChild(kAtomRoot, kPres, 1);
    bool haveLayout = false;
    AtomRef back = kAtomNone;
    if (pres != kAtomNone) {
        m_edited = true;
        int16_t angle = 0;
        if (c.readI16(pres, kAngle, 1, &angle) == noErr) m_device.angle = angle;
        int lw = 0, lh = 0;
        if (readPair(c, pres, kLayout, &lw, &lh) && lw > 0 && lh > 0 && lw <= kMaxLayoutSide &&
            lh <= kMaxLayoutSide) {
            int32_t w = 0, h = 0;
            FrameMatrix(lw, lh, lw, lh, -m_device.angle, &w, &h);
            m_layout = {w, h};
            haveLayout = true;
        }
        const std::span<const uint8_t> cont = c.leafData(c.findChild(pres, kControls, 1));
        if (cont.size() == 1) m_showControls = cont[0] != 0;
        back = c.findChild(pres, kBack, 1);
        const std::span<const uint8_t> rgb = c.leafData(c.findChild(back, kColour, 1));
        if (rgb.size() == 6)
            m_colour = {uint16_t(rgb[0] << 8 | rgb[1]), uint16_t(rgb[2] << 8 | rgb[3]),
                        uint16_t(rgb[4] << 8 | rgb[5])};
    }
    if (!haveLayout)
        m_layout = defaultLayoutSize(m_device.hasVideo ? m_device.video : LayoutSize{},
                                     m_device.screen, m_layout, m_layoutEntries);

    if (back != kAtomNone) {
        // Back from the player's coordinates: below the top strip, turned back.
        int tw = 0, th = 0;
        turnMatrix(m_layout, m_device.angle, &tw, &th);
        int32_t bw = 0, bh = 0;
        const MatrixRecord inverse = FrameMatrix(tw, th, tw, th, -m_device.angle, &bw, &bh);
        const int strip = m_showControls ? presentationStripHeight({tw, th}) : 0;
        auto layer = [&](AtomRef a, LayoutRect* r) {
            int x = 0, y = 0, w = 0, h = 0;
            if (!readPair(c, a, kPosition, &x, &y) || !readPair(c, a, kSize, &w, &h) || w <= 0 ||
                h <= 0)
                return false;
            *r = apply(inverse, {x, y + strip, x + w, y + strip + h});
            return true;
        };
        const AtomRef image = c.findChild(back, kImage, 1);
        LayoutItem picture{kLayoutItemBackground, {}, {}};
        if (image != kAtomNone && layer(image, &picture.rect)) {
            uint32_t refType = 0;
            DataReference ref;
            if (c.readU32(image, kRefType, 1, &refType) == noErr) ref.type = refType;
            const std::span<const uint8_t> d = c.leafData(c.findChild(image, kRef, 1));
            ref.data.assign(d.begin(), d.end());
            std::string path;
            if (ResolveAliasDataReference(ref, &path) == noErr) picture.picturePath = path;
            m_items.push_back(picture);
        }
        LayoutItem movie{kLayoutItemMovie, {}, {}};
        if (m_device.hasVideo && layer(c.findChild(back, kVideo, 1), &movie.rect))
            m_items.push_back(movie);
    }
    if (m_device.hasVideo && isFullScreenVideoSize(m_device.video)) m_showControls = false;
    recompute();
    if (m_device.hasVideo && item(kLayoutItemMovie) == nullptr)
        m_items.push_back({kLayoutItemMovie, placedMovie(), {}});
}
