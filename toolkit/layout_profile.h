#pragma once
// The layout editor and the main window's profile record: which fields of
// the record the editor reads as its device, and which it hands back.
#include "profiles/profile.h"
#include "toolkit/layout_model.h"

inline constexpr int16_t kLayoutNoVideoDepth = 32767;

inline LayoutDevice layoutDeviceOf(const ProfileRecord& r) {
    LayoutDevice d;
    d.screen = {r.screenWidth, r.screenHeight};
    d.controlsUpright = r.controlsUpright != 0;
    d.angle = r.angle;
    d.video = {r.videoWidth, r.videoHeight};
    d.hasVideo = r.depth != kLayoutNoVideoDepth;
    return d;
}

// The layout fields of the record, and the video size a drag may have set.
inline void storeLayout(const LayoutEditor& e, ProfileRecord* r) {
    r->layoutEdited = e.edited() ? 1 : 0;
    const LayoutColour c = e.backgroundColour();
    r->background = {c.red, c.green, c.blue};
    r->layoutWidth = int16_t(e.layoutSize().width);
    r->layoutHeight = int16_t(e.layoutSize().height);
    r->showControls = e.showControls() ? 1 : 0;
    if (e.device().hasVideo && e.device().video.width > 0 && e.device().video.height > 0) {
        r->videoWidth = int16_t(e.device().video.width);
        r->videoHeight = int16_t(e.device().video.height);
    }
}
