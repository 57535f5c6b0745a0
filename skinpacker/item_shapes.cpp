#include "skinpacker/item_shapes.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace skin {

namespace {

// Shapes are drawn once on first use rather than shipped as data.
class Canvas {
  public:
    Canvas(int w, int h) : m_w(w), m_h(h), m_px(static_cast<size_t>(w) * static_cast<size_t>(h)) {}

    void fill(int x, int y, int w, int h, uint8_t v = 1) {
        for (int yy = std::max(y, 0); yy < std::min(y + h, m_h); ++yy)
            for (int xx = std::max(x, 0); xx < std::min(x + w, m_w); ++xx) set(xx, yy, v);
    }
    void set(int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < m_w && y < m_h)
            m_px[static_cast<size_t>(y) * static_cast<size_t>(m_w) + static_cast<size_t>(x)] = v;
    }
    // Rectangle outline with its corner pixels cut, the frame of every button.
    void frame(uint8_t v) {
        fill(1, 0, m_w - 2, 1, v);
        fill(1, m_h - 1, m_w - 2, 1, v);
        fill(0, 1, 1, m_h - 2, v);
        fill(m_w - 1, 1, 1, m_h - 2, v);
    }
    // Triangle pointing right (dir 1) or left (dir -1), its flat side at x.
    void triangle(int x, int cy, int length, int dir) {
        for (int i = 0; i < length; ++i) {
            int half = (length - i) * 2 / 3;
            fill(x + dir * i, cy - half, 1, 2 * half + 1, 2);
        }
    }
    ItemShape pack() const {
        ItemShape s{m_w, m_h, std::vector<uint8_t>((m_px.size() + 1) / 2)};
        for (size_t i = 0; i < m_px.size(); ++i)
            s.nibbles[i / 2] |= static_cast<uint8_t>(i % 2 ? m_px[i] & 0x0F : m_px[i] << 4);
        return s;
    }

  private:
    int m_w, m_h;
    std::vector<uint8_t> m_px;
};

ItemShape button(int slot) {
    Canvas c(36, 30);
    c.frame(1);
    const int cy = 15;
    switch (slot) {
        case 1:
            c.triangle(13, cy, 12, 1);
            break;  // play
        case 2:
            c.fill(12, 9, 12, 12, 2);
            break;  // stop
        case 3:
            c.fill(9, 8, 3, 15, 2);
            c.triangle(25, cy, 12, -1);
            break;  // back to start
        case 4:
            c.triangle(11, cy, 12, 1);
            c.fill(24, 8, 3, 15, 2);
            break;  // next track
        case 5:
            c.triangle(17, cy, 9, -1);
            c.triangle(27, cy, 9, -1);
            break;  // rewind
        case 6:
            c.triangle(9, cy, 9, 1);
            c.triangle(19, cy, 9, 1);
            break;  // fast forward
        case 7:
            c.fill(10, 14, 16, 3, 2);
            c.fill(16, 8, 4, 15, 2);
            break;  // volume up
        case 8:
            c.fill(10, 14, 16, 3, 2);
            break;  // volume down
        default:    // replay: a ring and its arrow head
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 36; ++x) {
                    int dx = x - 18, dy = y - 15, d2 = dx * dx + dy * dy;
                    if (d2 >= 36 && d2 <= 64 && !(dx > 0 && dy < 0 && dx > -dy)) c.set(x, y, 2);
                }
            c.triangle(23, 9, 5, 1);
            break;
    }
    return c.pack();
}

// Bars run along the long side; dotted variants break them into segments.
ItemShape levelBars(int w, int h, int bars, bool horizontal, bool dotted) {
    Canvas c(w, h);
    const int across = horizontal ? h : w, along = horizontal ? w : h;
    const int band = across / bars, thick = bars == 1 ? across : band * 3 / 4;
    for (int b = 0; b < bars; ++b) {
        const int start = b * band + (band - thick) / 2;
        const int seg = dotted ? std::max(along / 16, 3) : along;
        for (int p = 0; p < along; p += seg) {
            const int len = dotted ? seg - std::max(seg / 3, 1) : along;
            if (horizontal)
                c.fill(p, start, len, thick);
            else
                c.fill(start, h - p - len, thick, len);
        }
    }
    return c.pack();
}

// Seven-segment digits 0-9 and a colon, one 30 x 36 cell each; `size` 0 is
// the largest of the three display faces.
ItemShape glyphStrip(int size) {
    Canvas c(330, 36);
    const int gw = 26 - size * 6, gh = 34 - size * 8, t = 4 - size;
    static constexpr std::array<uint8_t, 10> segments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    for (int g = 0; g < 11; ++g) {
        const int x0 = g * 30 + (30 - gw) / 2, y0 = 36 - gh - 1, mid = y0 + gh / 2 - t / 2;
        if (g == 10) {
            c.fill(g * 30 + 13, y0 + gh / 4, t, t);
            c.fill(g * 30 + 13, y0 + gh * 3 / 4 - t, t, t);
            continue;
        }
        const uint8_t s = segments[static_cast<size_t>(g)];
        if (s & 0x01) c.fill(x0, y0, gw, t);                             // top
        if (s & 0x02) c.fill(x0 + gw - t, y0, t, gh / 2);                // upper right
        if (s & 0x04) c.fill(x0 + gw - t, mid, t, gh - gh / 2 + t / 2);  // lower right
        if (s & 0x08) c.fill(x0, y0 + gh - t, gw, t);                    // bottom
        if (s & 0x10) c.fill(x0, mid, t, gh - gh / 2 + t / 2);           // lower left
        if (s & 0x20) c.fill(x0, y0, t, gh / 2);                         // upper left
        if (s & 0x40) c.fill(x0, mid, gw, t);                            // middle
    }
    return c.pack();
}

std::array<ItemShape, 31> drawAll() {
    std::array<ItemShape, 31> s;
    for (int b : {1, 2, 3, 4, 5, 6, 7, 8, 30}) s[static_cast<size_t>(b)] = button(b);
    s[9] = levelBars(64, 6, 1, true, false);
    s[10] = levelBars(6, 64, 1, false, false);
    s[11] = levelBars(64, 6, 1, true, true);
    s[12] = levelBars(6, 64, 1, false, true);
    s[13] = levelBars(128, 160, 10, true, false);
    s[14] = levelBars(160, 128, 10, false, false);
    s[15] = levelBars(128, 160, 10, true, true);
    s[16] = levelBars(160, 128, 10, false, true);
    s[17] = levelBars(128, 40, 2, true, false);
    s[18] = levelBars(40, 128, 2, false, false);
    s[19] = levelBars(128, 40, 2, true, true);
    s[20] = levelBars(40, 128, 2, false, true);
    for (int i = 0; i < 3; ++i) {
        s[static_cast<size_t>(21 + i)] = glyphStrip(i);
        s[static_cast<size_t>(24 + i)] = s[static_cast<size_t>(21 + i)];
    }
    return s;
}

}  // namespace

const ItemShape& itemShape(int slot) {
    static const std::array<ItemShape, 31> shapes = drawAll();
    static const ItemShape none;
    return slot >= 0 && slot < 31 ? shapes[static_cast<size_t>(slot)] : none;
}

}  // namespace skin
