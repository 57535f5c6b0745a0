#include "toolkit/layout_sizes.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

bool isSquareVideoSize(LayoutSize v) {
    return v.width == v.height && (v.width == 160 || v.width == 320);
}

bool isWideVideoSize(LayoutSize v) {
    return (v.width == 480 && v.height == 320) || (v.width == 320 && v.height == 480);
}

bool isFullScreenVideoSize(LayoutSize v) {
    return isSquareVideoSize(v) || isWideVideoSize(v);
}

LayoutSize snapSize(LayoutSize s, int n) {
    if (n <= 0 || s.width <= 0 || s.height <= 0) return s;
    if (s.width % n == 0 && s.height % n == 0) return s;
    const int dw = s.width % n, dh = s.height % n;
    // 16.16 ratio of the derived dimension to the lowered one, then rounded.
    auto derive = [n](int lowered, int other, int base) {
        const int64_t ratio = (int64_t(other) << 16) / base;
        const int v = int((int64_t(lowered) * ratio + 0x8000) >> 16);
        return v - v % n;
    };
    LayoutSize out;
    if (dw <= dh) {
        out.width = s.width - dw;
        out.height = derive(out.width, s.height, s.width);
    } else {
        out.height = s.height - dh;
        out.width = derive(out.height, s.width, s.height);
    }
    return out;
}

LayoutSize sizeOfText(std::string_view text) {
    size_t at = 0;
    auto number = [&]() {
        while (at < text.size() && !std::isdigit(uint8_t(text[at]))) ++at;
        int v = 0;
        while (at < text.size() && std::isdigit(uint8_t(text[at]))) {
            v = std::min(v * 10 + (text[at] - '0'), 99999);
            ++at;
        }
        return v;
    };
    LayoutSize s;
    s.width = number();
    s.height = number();
    return s;
}

std::string customSizeText(std::string_view custom, int width, int height) {
    char tail[32];
    std::snprintf(tail, sizeof tail, " (%d x %d)", width, height);
    return std::string(custom) + tail;
}

std::vector<int> videoSizeEntries(const std::vector<std::string>& entries, LayoutSize screen) {
    const int sw = screen.width, sh = screen.height;
    std::vector<int> listed;
    for (size_t i = 0; i < entries.size(); ++i) {
        const LayoutSize e = sizeOfText(entries[i]);
        bool show;
        if (e.width == 0 && e.height == 0)
            show = true;  // "Default" and the separators
        else if (e.width == e.height)
            show = (e.width == sw && e.height <= sh) || (e.height == sh && e.width <= sw);
        else
            show = (e.width <= sw && e.height <= sh) ||
                   (sw != sh && std::max(e.width, e.height) <= std::max(sw, sh));
        if (show) listed.push_back(int(i));
    }
    return listed;
}

std::vector<int> layoutSizeEntries(const std::vector<std::string>& entries, LayoutSize screen) {
    const int small = std::min(screen.width, screen.height);
    std::vector<int> listed;
    for (size_t i = 0; i < entries.size(); ++i) {
        const LayoutSize e = sizeOfText(entries[i]);
        const bool show = e == screen || (screen.width != screen.height &&
                                          (e.width == small || e.height == small));
        if (show) listed.push_back(int(i));
    }
    return listed;
}

LayoutSize defaultLayoutSize(LayoutSize video, LayoutSize screen, LayoutSize current,
                             const std::vector<std::string>& layoutEntries) {
    const LayoutSize v = video.width > 0 && video.height > 0 ? video : LayoutSize{160, 120};
    if (isSquareVideoSize(v)) return current.height > 320 ? current : v;
    std::vector<LayoutSize> sizes;
    for (int i : layoutSizeEntries(layoutEntries, screen))
        sizes.push_back(sizeOfText(layoutEntries[size_t(i)]));
    const bool wide = isWideVideoSize(v);
    if (wide && std::find(sizes.begin(), sizes.end(), screen) != sizes.end()) return v;
    auto holds = [&](int w, int h) {
        return w >= v.width && h >= v.height && w <= screen.width && h <= screen.height;
    };
    LayoutSize chosen{160, 160};
    for (auto it = sizes.rbegin(); it != sizes.rend(); ++it)
        if (holds(it->width, it->height) || (wide && holds(it->height, it->width))) chosen = *it;
    return chosen;
}
