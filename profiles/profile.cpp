#include "profiles/profile.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pa = profile_atoms;

namespace {

// Where each readable atom lives: its parent atom type (0 = root).
struct ValuePath {
    FourCC type;
    FourCC parent;
    bool shorterOk;
};

constexpr ValuePath kValuePaths[] = {
    {pa::kControlsUpright, 0, false},
    {pa::kChanged, 0, false},
    {pa::kHidden, 0, false},
    {pa::kOsVersion, 0, false},
    {pa::kName, 0, true},
    {pa::kBaseName, 0, true},
    {pa::kDepth, pa::kColour, false},
    {pa::kFrameRate, pa::kTime, false},
    {pa::kVideoRate, pa::kTime, false},
    {pa::kVideoSize, pa::kSize, false},
    {pa::kScreen, pa::kSize, false},
    {pa::kAngle, pa::kSize, false},
    {pa::kSizePreset, pa::kSize, false},
    {pa::kAudioCode, pa::kSound, false},
    {pa::kChannels, pa::kSound, false},
    {pa::kSampleSize, pa::kSound, false},
    {pa::kSampleRate, pa::kSound, false},
    {pa::kMaxChannels, pa::kSound, false},
    {pa::kBoost, pa::kSound, false},
    {pa::kBitRate, pa::kSound, false},
};

uint16_t be16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

template <class T>
void read16(const AtomContainer& c, FourCC type, T* field) {
    uint8_t b[2];
    if (profileReadValue(c, type, b) == noErr) *field = T(be16(b));
}

template <class T>
void read32(const AtomContainer& c, FourCC type, T* field) {
    uint8_t b[4];
    if (profileReadValue(c, type, b) == noErr) *field = T(be32(b));
}

template <class T>
void readPair(const AtomContainer& c, FourCC type, T* a, T* b) {
    uint8_t d[4];
    if (profileReadValue(c, type, d) == noErr) {
        *a = T(be16(d));
        *b = T(be16(d + 2));
    }
}

// The layout as the record keeps it, from PRES; no PRES leaves the defaults.
void readPresentation(const AtomContainer& c, ProfileRecord* r) {
    const AtomRef pres = c.findChild(kAtomRoot, pa::kPresentation, 1);
    if (pres == kAtomNone) return;
    AtomContainer held;
    if (c.copyAtom(pres, &held) != noErr) return;
    r->presentation = std::move(held);
    r->layoutEdited = 1;
    int16_t angle = 0;
    c.readI16(pres, pa::kAngle, 1, &angle);
    uint32_t layout = 0;
    if (c.readU32(pres, pa::kLayout, 1, &layout) == noErr) {
        int16_t w = int16_t(layout >> 16), h = int16_t(layout);
        // layo is the turned layout; a quarter turn either way swaps it back.
        if (angle == 90 || angle == -90 || angle == 270) std::swap(w, h);
        r->layoutWidth = w;
        r->layoutHeight = h;
    }
    uint8_t controls = 1;
    const AtomRef cont = c.findChild(pres, pa::kShowControls, 1);
    if (cont != kAtomNone) c.copyLeafData(cont, {&controls, 1}, true);
    r->showControls = controls != 0;
    const AtomRef back = c.findChild(pres, pa::kBack, 1);
    const AtomRef rgb = c.findChild(back, pa::kRgb, 1);
    uint8_t colour[6];
    if (rgb != kAtomNone && c.copyLeafData(rgb, colour, true) == noErr)
        for (int i = 0; i < 3; ++i) r->background[size_t(i)] = be16(colour + 2 * i);
}

}  // namespace

OSStatus profileReadValue(const AtomContainer& c, FourCC type, std::span<uint8_t> dest,
                          size_t* copied) {
    if (type == pa::kFormats) {
        const AtomRef soun = c.findChild(kAtomRoot, pa::kSound, 1);
        const AtomRef fmts = c.findChild(soun, pa::kFormats, 1);
        if (fmts == kAtomNone) return kStatusParamError;
        size_t at = 0;
        const int n = c.countChildren(fmts, pa::kAudioCode);
        for (int i = 1; i <= n && dest.size() - at >= 4; ++i) {
            if (c.copyLeafData(c.findChildByIndex(fmts, pa::kAudioCode, i), dest.subspan(at, 4),
                               true) != noErr)
                return kStatusParamError;
            at += 4;
        }
        if (copied) *copied = at;
        return noErr;
    }
    if (type == pa::kManufacturer) {
        const AtomRef manu = c.findChild(kAtomRoot, pa::kManufacturer, 1);
        const AtomRef id = c.findChild(manu, pa::kName, 1);
        if (id == kAtomNone) return kStatusParamError;
        return c.copyLeafData(id, dest, true, copied) ? kStatusParamError : noErr;
    }
    for (const ValuePath& p : kValuePaths) {
        if (p.type != type) continue;
        const AtomRef parent = p.parent ? c.findChild(kAtomRoot, p.parent, 1) : AtomRef(kAtomRoot);
        // name is the first of its type, whatever ID it was given.
        const AtomRef atom =
            p.shorterOk ? c.findChildByIndex(parent, type, 1) : c.findChild(parent, type, 1);
        if (atom == kAtomNone) return kStatusParamError;
        return c.copyLeafData(atom, dest, !p.shorterOk, copied) ? kStatusParamError : noErr;
    }
    return kStatusParamError;
}

OSStatus profileReadName(const AtomContainer& c, FourCC which, std::string* out) {
    if (!out || (which != pa::kName && which != pa::kBaseName)) return kStatusParamError;
    out->clear();
    std::array<uint8_t, 256> field{};
    size_t got = 0;
    if (profileReadValue(c, which, field, &got) != noErr || got == 0) return noErr;
    // The length byte may claim more than the field or the data holds.
    const size_t len = std::min<size_t>({field[0], got - 1, kNameFieldSize - 1});
    out->assign(reinterpret_cast<const char*>(field.data()) + 1, len);
    return noErr;
}

void profileToRecord(const AtomContainer& c, const ResourceFile& strings, ProfileRecord* r) {
    *r = ProfileRecord();
    std::string custom;
    if (getIndString(strings, kSettingsPopupList, 1, &custom) != noErr) custom = "Custom";
    if (c.findChildByIndex(kAtomRoot, pa::kName, 1) != kAtomNone)
        profileReadName(c, pa::kName, &r->name);
    else
        r->name = custom;
    profileReadName(c, pa::kBaseName, &r->baseName);
    readPair(c, pa::kScreen, &r->screenWidth, &r->screenHeight);
    read16(c, pa::kControlsUpright, &r->controlsUpright);

    std::array<uint8_t, 4 * kMaxAudioFormats> fmts{};
    size_t got = 0;
    if (profileReadValue(c, pa::kFormats, fmts, &got) == noErr) {
        r->formats.fill(0);
        size_t count = 0;
        for (size_t i = 0; i < got / 4; ++i) r->formats[i] = int32_t(be32(&fmts[4 * i]));
        while (count < got / 4 && r->formats[count] != 0) ++count;
        // A list that holds only "no audio" is one format, code 0.
        if (count == 0 && got >= 4) count = 1;
        r->formatCount = uint16_t(count);
    }

    uint8_t cstm[2];
    if (profileReadValue(c, pa::kChanged, cstm) == noErr) r->changed = uint8_t(be16(cstm));
    read16(c, pa::kMaxChannels, &r->maxChannels);
    read16(c, pa::kManufacturer, &r->manufacturer);
    read32(c, pa::kOsVersion, &r->osVersion);
    read16(c, pa::kDepth, &r->depth);
    read32(c, pa::kFrameRate, &r->frameRate);
    read16(c, pa::kVideoRate, &r->videoKbps);
    readPair(c, pa::kVideoSize, &r->videoWidth, &r->videoHeight);
    read16(c, pa::kAngle, &r->angle);
    read32(c, pa::kAudioCode, &r->audioCode);
    read16(c, pa::kChannels, &r->channels);
    read32(c, pa::kBitRate, &r->bitRate);
    read32(c, pa::kSampleRate, &r->sampleRate);
    read16(c, pa::kBoost, &r->boost);
    readPresentation(c, r);
}

std::array<uint8_t, kNameFieldSize> nameField(std::string_view name) {
    std::array<uint8_t, kNameFieldSize> f{};
    const size_t len = std::min(name.size(), kNameFieldSize - 1);
    f[0] = uint8_t(len);
    std::memcpy(f.data() + 1, name.data(), len);
    return f;
}

OSStatus setProfileName(AtomContainer* c, std::string_view name) {
    if (!c) return kStatusParamError;
    const auto field = nameField(name);
    const AtomRef atom = c->findChildByIndex(kAtomRoot, pa::kName, 1);
    if (atom != kAtomNone) return c->setLeafData(atom, field);
    return c->insertChild(kAtomRoot, pa::kName, 1, field);
}

OSStatus profileFromRecord(const ProfileRecord& r, std::string_view name, AtomContainer* out) {
    if (!out) return kStatusParamError;
    AtomContainer c;
    auto pair = [](int16_t a, int16_t b) { return (uint32_t(uint16_t(a)) << 16) | uint16_t(b); };
    auto build = [&]() -> OSStatus {
        AtomRef manu, colr, time, size, soun;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kName, 1, nameField(name))) return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kBaseName, 1, nameField(r.baseName)))
            return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kManufacturer, 1, {}, &manu)) return e;
        if (OSStatus e = c.writeI16(manu, pa::kName, 1, r.manufacturer)) return e;
        if (OSStatus e = c.writeU32(kAtomRoot, pa::kOsVersion, 1, r.osVersion)) return e;
        if (OSStatus e = c.writeI16(kAtomRoot, pa::kChanged, 1, r.changed)) return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kColour, 1, {}, &colr)) return e;
        if (OSStatus e = c.writeI16(colr, pa::kDepth, 1, r.depth)) return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kTime, 1, {}, &time)) return e;
        if (OSStatus e = c.writeI32(time, pa::kFrameRate, 1, r.frameRate)) return e;
        if (OSStatus e = c.writeI16(time, pa::kVideoRate, 1, r.videoKbps)) return e;
        if (OSStatus e = c.writeI16(kAtomRoot, pa::kControlsUpright, 1, r.controlsUpright))
            return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kSize, 1, {}, &size)) return e;
        if (OSStatus e = c.writeU32(size, pa::kVideoSize, 1, pair(r.videoWidth, r.videoHeight)))
            return e;
        if (OSStatus e = c.writeU32(size, pa::kScreen, 1, pair(r.screenWidth, r.screenHeight)))
            return e;
        const bool wideVideo = (r.videoWidth == 480 && r.videoHeight == 320) ||
                               (r.videoWidth == 320 && r.videoHeight == 480);
        // A turned video always keeps its angle; 0 is written only where it
        // always was, so containers of unturned profiles stay as they were.
        if (r.angle != 0 || wideVideo || r.layoutHeight < r.layoutWidth) {
            if (OSStatus e = c.writeI16(size, pa::kAngle, 1, r.angle)) return e;
        }
        // The sound atoms are assembled apart and go in as one step.
        AtomContainer sound;
        AtomRef fmts;
        if (OSStatus e = sound.insertChild(kAtomRoot, pa::kFormats, 1, {}, &fmts)) return e;
        const size_t n = std::min<size_t>(r.formatCount, kMaxAudioFormats);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t code[4] = {uint8_t(r.formats[i] >> 24), uint8_t(r.formats[i] >> 16),
                                     uint8_t(r.formats[i] >> 8), uint8_t(r.formats[i])};
            if (OSStatus e = sound.insertChild(fmts, pa::kAudioCode, kAtomUniqueID, code)) return e;
        }
        if (OSStatus e = sound.writeI16(kAtomRoot, pa::kMaxChannels, 1, r.maxChannels)) return e;
        if (OSStatus e = sound.writeU32(kAtomRoot, pa::kSampleRate, 1, r.sampleRate)) return e;
        if (OSStatus e = sound.writeI16(kAtomRoot, pa::kChannels, 1, r.channels)) return e;
        if (OSStatus e = sound.writeI32(kAtomRoot, pa::kAudioCode, 1, r.audioCode)) return e;
        if (OSStatus e = sound.writeI16(kAtomRoot, pa::kBoost, 1, r.boost)) return e;
        if (OSStatus e = sound.writeI32(kAtomRoot, pa::kBitRate, 1, r.bitRate)) return e;
        if (OSStatus e = c.insertChild(kAtomRoot, pa::kSound, 1, {}, &soun)) return e;
        if (OSStatus e = c.insertChildren(soun, sound)) return e;
        if (r.presentation) {
            const AtomContainer& p = *r.presentation;
            const AtomRef pres = p.findChild(kAtomRoot, pa::kPresentation, 1);
            if (pres == kAtomNone) return kStatusParamError;
            AtomContainer only;
            if (OSStatus e = p.copyAtom(pres, &only)) return e;
            return c.insertChildren(kAtomRoot, only);
        }
        return noErr;
    };
    if (OSStatus e = build()) {
        *out = AtomContainer();
        return e;
    }
    *out = std::move(c);
    return noErr;
}
