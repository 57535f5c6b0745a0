// Settings containers from the preferences or a profile: their PRES read by
// the layout editor, which must come out with a usable layout either way.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "toolkit/layout_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    AtomContainer c;
    if (AtomContainer::load(std::span(data + 1, size - 1), &c) != noErr) return 0;
    // The first byte picks the device: screen, angle, crui, video.
    const uint8_t pick = data[0];
    LayoutDevice d;
    d.screen = (pick & 1) ? LayoutSize{480, 320} : LayoutSize{320, 320};
    d.angle = (pick & 2) ? ((pick & 4) ? -90 : 90) : 0;
    d.controlsUpright = pick & 8;
    d.video = (pick & 16) ? LayoutSize{320, 320} : LayoutSize{240, 180};
    d.hasVideo = !(pick & 32);
    LayoutEditor e({"160 x 160", "240 x 240", "320 x 320", "320 x 480", "480 x 320"});
    e.setDevice(d);
    e.readPresentation(c);
    const LayoutRect a = e.movieArea();
    for (const LayoutItem& i : e.items()) {
        const LayoutRect& r = i.rect;
        if (r.width() <= 0 || r.height() <= 0 || r.left < a.left || r.top < a.top ||
            r.right > a.right || r.bottom > a.bottom)
            std::abort();
    }
    e.mouseDown(80, 80);
    e.mouseMove(10, 150);
    e.mouseUp(0, 0);
    AtomContainer out;
    e.writePresentation(&out);
    return 0;
}
