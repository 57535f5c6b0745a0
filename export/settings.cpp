#include "export/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "export/settings_tables.h"

namespace sa = settings_atoms;

namespace {

template <class T, size_t N>
bool contains(const std::array<T, N>& a, T v) {
    return std::find(a.begin(), a.end(), v) != a.end();
}

// Reads a child whose absence is normal: not found leaves *out alone and
// counts as success; a wrong size is the caller's error.
template <class T>
OSStatus readOptional(const AtomContainer& c, AtomRef parent, FourCC type, T* out) {
    if (parent == kAtomNone) return noErr;
    OSStatus err;
    if constexpr (sizeof(T) == 2) {
        int16_t v;
        err = c.readI16(parent, type, 1, &v);
        if (err == noErr) *out = T(v);
    } else {
        uint32_t v;
        err = c.readU32(parent, type, 1, &v);
        if (err == noErr) *out = T(v);
    }
    return err == kStatusNotFound ? noErr : err;
}

}  // namespace

void normaliseSound(ExportSettings* s) {
    using namespace settings_tables;
    const uint32_t whole = s->sampleRate >> 16;
    switch (s->soundCodec) {
        case kSoundNone:
            break;
        case kSoundAtrac3:
            s->sampleRate = ufixedFromInt(44100);
            if (!contains(kAtrac3BitRates, s->bitRate)) s->bitRate = 33000;
            break;
        case kSoundAdpcm2:
        case kSoundAdpcm4:
            s->bitRate = 33000;
            s->sampleRate =
                contains(kAdpcmRates, whole) ? ufixedFromInt(whole) : ufixedFromInt(8192);
            break;
        case kSoundYamaha:
            s->channels = 1;
            s->bitRate = 33000;
            s->sampleRate = ufixedFromInt(8000);
            break;
        case kSoundPcmStereo:
            s->channels = 2;
            s->bitRate = 33000;
            s->sampleRate =
                contains(kAdpcmRates, whole) ? ufixedFromInt(whole) : ufixedFromInt(11025);
            break;
        default:  // 627 and every unknown code: uncompressed mono
            s->channels = 1;
            s->bitRate = 33000;
            s->soundCodec = kSoundPcmMono;
            s->sampleRate =
                contains(kMonoPcmRates, whole) ? ufixedFromInt(whole) : ufixedFromInt(8192);
            break;
    }
}

OSStatus setSettingsFromContainer(const AtomContainer* container, ExportSettings* s) {
    if (!container || !s) return kStatusParamError;
    const AtomContainer& c = *container;

    s->presentation.reset();
    const AtomRef pres = c.findChild(kAtomRoot, sa::kPresentation, 1);
    if (pres != kAtomNone) {
        AtomContainer held;
        if (OSStatus err = c.copyAtom(pres, &held)) return err;
        s->presentation = std::move(held);
    }

    // The name atom carries whatever ID it was given: take the first one.
    const AtomRef name = c.findChildByIndex(kAtomRoot, sa::kName, 1);
    if (name != kAtomNone) {
        std::span<const uint8_t> d = c.leafData(name);
        // A length byte larger than the data is cut to the data present,
        // so the name never holds bytes that were not in the atom.
        const size_t len = d.empty() ? 0 : std::min<size_t>(d[0], d.size() - 1);
        s->name.assign(reinterpret_cast<const char*>(d.data()) + (len ? 1 : 0), len);
    }

    const AtomRef colr = c.findChild(kAtomRoot, sa::kColour, 1);
    const AtomRef time = c.findChild(kAtomRoot, sa::kTime, 1);
    const AtomRef size = c.findChild(kAtomRoot, sa::kSize, 1);
    if (OSStatus err = readOptional(c, colr, sa::kDepth, &s->depth)) return err;
    if (OSStatus err = readOptional(c, time, sa::kFrameRate, &s->frameRate)) return err;
    if (OSStatus err = readOptional(c, time, sa::kVideoRate, &s->videoDataRate)) return err;
    if (OSStatus err = readOptional(c, size, sa::kSizePreset, &s->sizePreset)) return err;
    uint32_t vide;
    bool haveVide = false;
    if (size != kAtomNone) {
        OSStatus err = c.readU32(size, sa::kVideoSize, 1, &vide);
        if (err == noErr)
            haveVide = true;
        else if (err != kStatusNotFound)
            return err;
    }
    if (haveVide) {
        s->width = int16_t(vide >> 16);
        s->height = int16_t(vide & 0xFFFF);
    }
    if (OSStatus err = readOptional(c, size, sa::kAngle, &s->rotation)) return err;

    const AtomRef soun = c.findChild(kAtomRoot, sa::kSound, 1);
    if (soun == kAtomNone) return noErr;
    if (OSStatus err = readOptional(c, soun, sa::kSampleRate, &s->sampleRate)) return err;
    if (OSStatus err = readOptional(c, soun, sa::kChannels, &s->channels)) return err;
    if (OSStatus err = readOptional(c, soun, sa::kSoundCodec, &s->soundCodec)) return err;
    // Boost and bit rate are lesser fields: a bad one must not stop the
    // normalisation, so its error waits until the end.
    OSStatus late = readOptional(c, soun, sa::kBoost, &s->boost);
    if (OSStatus err = readOptional(c, soun, sa::kBitRate, &s->bitRate); err && !late) late = err;
    normaliseSound(s);
    return late;
}

OSStatus getSettingsAsContainer(const ExportSettings& s, AtomContainer* out) {
    if (!out) return kStatusParamError;
    AtomContainer c;
    auto build = [&]() -> OSStatus {
        if (s.presentation) {
            if (OSStatus err = c.insertChildren(kAtomRoot, *s.presentation)) return err;
        }
        if (!s.name.empty()) {
            std::vector<uint8_t> d;
            const size_t len = std::min<size_t>(s.name.size(), 255);
            d.push_back(uint8_t(len));
            d.insert(d.end(), s.name.begin(), s.name.begin() + long(len));
            if (OSStatus err = c.insertChild(kAtomRoot, sa::kName, kAtomUniqueID, d)) return err;
        }
        AtomRef colr, time, size, soun;
        if (OSStatus err = c.insertChild(kAtomRoot, sa::kColour, 1, {}, &colr)) return err;
        if (OSStatus err = c.writeI16(colr, sa::kDepth, 1, s.depth)) return err;
        if (OSStatus err = c.insertChild(kAtomRoot, sa::kTime, 1, {}, &time)) return err;
        if (OSStatus err = c.writeI32(time, sa::kFrameRate, 1, s.frameRate)) return err;
        if (OSStatus err = c.writeI16(time, sa::kVideoRate, 1, s.videoDataRate)) return err;
        if (OSStatus err = c.insertChild(kAtomRoot, sa::kSize, 1, {}, &size)) return err;
        const uint32_t vide = (uint32_t(uint16_t(s.width)) << 16) | uint16_t(s.height);
        if (OSStatus err = c.writeU32(size, sa::kVideoSize, 1, vide)) return err;
        if (OSStatus err = c.writeI16(size, sa::kAngle, 1, s.rotation)) return err;
        if (OSStatus err = c.insertChild(kAtomRoot, sa::kSound, 1, {}, &soun)) return err;
        if (OSStatus err = c.writeU32(soun, sa::kSampleRate, 1, s.sampleRate)) return err;
        if (OSStatus err = c.writeI16(soun, sa::kChannels, 1, s.channels)) return err;
        if (OSStatus err = c.writeI32(soun, sa::kSoundCodec, 1, s.soundCodec)) return err;
        if (OSStatus err = c.writeI16(soun, sa::kBoost, 1, s.boost)) return err;
        return c.writeI32(soun, sa::kBitRate, 1, s.bitRate);
    };
    if (OSStatus err = build()) {
        *out = AtomContainer();
        return err;
    }
    *out = std::move(c);
    return noErr;
}

int writerPictureMode(int16_t depth) {
    for (const auto& m : settings_tables::kDepthModes)
        if (m.depth == depth) return m.mode;
    return 0;
}

FrameTarget frameTarget(const ExportSettings& s) {
    FrameTarget t;
    if (s.width != -1 && s.height != -1) {
        t.width = s.width;
        t.height = s.height;
        // A 0 x 0 explicit size means "free" in both directions, not a
        // square of nothing.
        t.squareFit = s.width == s.height && s.width > 0;
        return t;
    }
    t.width = 160;
    t.height = 120;
    for (const auto& p : settings_tables::kSizePresets) {
        if (p.preset == s.sizePreset) {
            t.width = p.width;
            t.height = p.height;
            t.squareFit = p.squareFit;
        }
    }
    return t;
}

void turnedSize(int w, int h, int degrees, int* tw, int* th) {
    int d = degrees % 360;
    if (d < 0) d += 360;
    if (d % 90 == 0) {
        const bool swap = d == 90 || d == 270;
        *tw = swap ? h : w;
        *th = swap ? w : h;
        return;
    }
    const double r = d * 3.14159265358979323846 / 180.0;
    const double c = std::fabs(std::cos(r)), sn = std::fabs(std::sin(r));
    *tw = int(std::lround(w * c + h * sn));
    *th = int(std::lround(w * sn + h * c));
}

bool presentationVideoSize(const ExportSettings& s, int* w, int* h) {
    if (!s.presentation) return false;
    const AtomContainer& p = *s.presentation;
    const AtomRef pres = p.findChild(kAtomRoot, sa::kPresentation, 1);
    const AtomRef back = p.findChild(pres, sa::kBack, 1);
    const AtomRef vid = p.findChild(back, sa::kVideoLayer, 1);
    uint32_t v;
    if (vid == kAtomNone || p.readU32(vid, sa::kSize, 1, &v) != noErr) return false;
    *w = int16_t(v >> 16);
    *h = int16_t(v & 0xFFFF);
    return true;
}

FrameSize computeFrameSize(const ExportSettings& s, int sw, int sh) {
    const FrameTarget t = frameTarget(s);
    int tw = std::max(t.width, 0), th = std::max(t.height, 0);
    const bool large = tw > 160 || th > 120;
    const int limW = large ? 320 : 160, limH = large ? 240 : 120;
    int w, h;
    if (t.squareFit) {
        w = tw;
        h = th;
    } else if (sw <= 0 || sh <= 0) {
        // No source size to scale from: the target, free sides filled from
        // the limit box, rather than a division by zero.
        w = tw ? tw : limW;
        h = th ? th : limH;
    } else {
        const bool exceeds = sw > limW || sh > limH;
        bool done = false;
        if (exceeds) {
            if (!tw) tw = std::min(sw, limW);
        } else if (!tw && !th) {
            w = sw;
            h = sh;
            done = true;
        } else if (!tw) {
            tw = sw;
        }
        if (!done) {
            if (!th) th = std::min(sh, limH);
            const int64_t scaleW = (int64_t(tw) << 16) / sw;
            const int64_t scaleH = (int64_t(th) << 16) / sh;
            const int64_t scale = std::min(scaleW, scaleH);
            // Nearest pixel: truncating would turn 641 x 481 at 1/4 into 159 x 119.
            w = int((int64_t(sw) * scale + 0x8000) >> 16);
            h = int((int64_t(sh) * scale + 0x8000) >> 16);
        }
    }
    int pw, ph;
    if (presentationVideoSize(s, &pw, &ph)) turnedSize(pw, ph, s.rotation, &w, &h);
    FrameSize r;
    r.width = w;
    r.height = h;
    turnedSize(w, h, s.rotation, &r.turnedWidth, &r.turnedHeight);
    return r;
}
