// Export settings: defaults, reading a container in order, the sound
// normalisation, writing it back, picture modes and the frame size.
#include <gtest/gtest.h>

#include "export/settings.h"

namespace {

namespace sa = settings_atoms;

AtomRef parent(AtomContainer& c, FourCC type) {
    AtomRef a;
    EXPECT_EQ(c.findOrInsert(kAtomRoot, type, 1, &a), noErr);
    return a;
}

AtomContainer soundContainer(int32_t codec, unsigned rateWhole, uint16_t rateFrac = 0,
                             int16_t channels = 1, int32_t bitRate = 33000) {
    AtomContainer c;
    AtomRef soun = parent(c, sa::kSound);
    c.writeU32(soun, sa::kSampleRate, 1, (uint32_t(rateWhole) << 16) | rateFrac);
    c.writeI16(soun, sa::kChannels, 1, channels);
    c.writeI32(soun, sa::kSoundCodec, 1, codec);
    c.writeI32(soun, sa::kBitRate, 1, bitRate);
    return c;
}

bool sameRecord(const ExportSettings& a, const ExportSettings& b) {
    auto pres = [](const ExportSettings& s) {
        return s.presentation ? s.presentation->flatten() : std::vector<uint8_t>{};
    };
    return a.frameRate == b.frameRate && a.depth == b.depth && a.width == b.width &&
           a.height == b.height && a.videoDataRate == b.videoDataRate && a.rotation == b.rotation &&
           a.soundCodec == b.soundCodec && a.channels == b.channels &&
           a.sampleRate == b.sampleRate && a.bitRate == b.bitRate && a.boost == b.boost &&
           a.name == b.name && pres(a) == pres(b);
}

std::vector<FourCC> childTypes(const AtomContainer& c, AtomRef p) {
    std::vector<FourCC> types;
    for (int i = 1; i <= c.countChildren(p); ++i) {
        FourCC t;
        c.atomTypeAndID(c.findChildByIndex(p, kAtomAnyType, i), &t, nullptr);
        types.push_back(t);
    }
    return types;
}

TEST(SettingsContainer, DefaultsWrittenInOrderAsBigEndianAtoms) {
    ExportSettings s;
    AtomContainer c;
    ASSERT_EQ(getSettingsAsContainer(s, &c), noErr);
    EXPECT_EQ(childTypes(c, kAtomRoot),
              (std::vector<FourCC>{sa::kColour, sa::kTime, sa::kSize, sa::kSound}));
    AtomRef time = c.findChild(kAtomRoot, sa::kTime, 1);
    AtomRef size = c.findChild(kAtomRoot, sa::kSize, 1);
    AtomRef soun = c.findChild(kAtomRoot, sa::kSound, 1);
    EXPECT_EQ(childTypes(c, size), (std::vector<FourCC>{sa::kVideoSize, sa::kAngle}));
    EXPECT_EQ(childTypes(c, soun),
              (std::vector<FourCC>{sa::kSampleRate, sa::kChannels, sa::kSoundCodec, sa::kBoost,
                                   sa::kBitRate}));
    auto bytes = [&](AtomRef p, FourCC t) {
        auto d = c.leafData(c.findChild(p, t, 1));
        return std::vector<uint8_t>(d.begin(), d.end());
    };
    EXPECT_EQ(bytes(time, sa::kFrameRate), (std::vector<uint8_t>{0, 6, 0, 0}));
    EXPECT_EQ(bytes(time, sa::kVideoRate), (std::vector<uint8_t>{0x01, 0x40}));
    EXPECT_EQ(bytes(size, sa::kVideoSize), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bytes(soun, sa::kSampleRate), (std::vector<uint8_t>{0x20, 0, 0, 0}));
    EXPECT_EQ(bytes(soun, sa::kBitRate), (std::vector<uint8_t>{0, 0, 0x80, 0xE8}));
    EXPECT_EQ(getSettingsAsContainer(s, nullptr), kStatusParamError);
}

TEST(SettingsContainer, FullRecordRoundTripsWithNameAndPresentation) {
    ExportSettings s;
    s.frameRate = fixedFromInt(15) + 0x8000;
    s.depth = kDepthMillionsAlpha;
    s.width = 480;
    s.height = 320;
    s.videoDataRate = 720;
    s.rotation = -90;
    s.soundCodec = kSoundAtrac3;
    s.channels = 2;
    s.sampleRate = ufixedFromInt(44100);
    s.bitRate = 66000;
    s.boost = 3;
    s.name = "Tungsten T3 (Wide)";
    AtomContainer pres;
    AtomRef p, back, vid;
    pres.insertChild(kAtomRoot, sa::kPresentation, 1, {}, &p);
    pres.insertChild(p, sa::kBack, 1, {}, &back);
    pres.insertChild(back, sa::kVideoLayer, 1, {}, &vid);
    pres.writeU32(vid, fourCC("size"), 1, (480u << 16) | 320);
    s.presentation = pres;

    AtomContainer c;
    ASSERT_EQ(getSettingsAsContainer(s, &c), noErr);
    EXPECT_EQ(childTypes(c, kAtomRoot).front(), sa::kPresentation);
    AtomContainer loaded;
    ASSERT_EQ(AtomContainer::load(c.flatten(), &loaded), noErr);
    ExportSettings back2;
    ASSERT_EQ(setSettingsFromContainer(&loaded, &back2), noErr);
    EXPECT_TRUE(sameRecord(s, back2));
    // The name atom is the length byte and the characters, not a 256-byte field.
    EXPECT_EQ(c.leafData(c.findChildByIndex(kAtomRoot, sa::kName, 1)).size(), 19u);
}

TEST(SettingsContainer, OnlyDepthChangesDepthAndDropsThePresentation) {
    ExportSettings s;
    s.presentation = AtomContainer();
    s.name = "kept";
    s.soundCodec = kSoundYamaha;
    s.sampleRate = ufixedFromInt(12345);  // not normalised: no soun atom
    AtomContainer c;
    c.writeI16(parent(c, sa::kColour), sa::kDepth, 1, kDepthMillions);
    ASSERT_EQ(setSettingsFromContainer(&c, &s), noErr);
    ExportSettings want;
    want.depth = kDepthMillions;
    want.name = "kept";
    want.soundCodec = kSoundYamaha;
    want.sampleRate = ufixedFromInt(12345);
    EXPECT_TRUE(sameRecord(s, want));
    EXPECT_FALSE(s.presentation.has_value());
}

TEST(SettingsContainer, BadSizesStopOrWaitAsTheirFieldDemands) {
    {
        // A 4-byte vbtr stops the read: the rate before it is taken, vide after it is not.
        AtomContainer c;
        AtomRef time = parent(c, sa::kTime);
        c.writeU32(time, sa::kFrameRate, 1, uint32_t(fixedFromInt(12)));
        c.writeU32(time, sa::kVideoRate, 1, 400);
        c.writeU32(parent(c, sa::kSize), sa::kVideoSize, 1, (80u << 16) | 60);
        ExportSettings s;
        EXPECT_EQ(setSettingsFromContainer(&c, &s), kStatusParamError);
        EXPECT_EQ(s.frameRate, fixedFromInt(12));
        EXPECT_EQ(s.videoDataRate, 320);
        EXPECT_EQ(s.width, -1);
    }
    {
        // A bad boost is reported, but the codec is still normalised.
        AtomContainer c = soundContainer(kSoundAdpcm2, 12000);
        c.writeU32(c.findChild(kAtomRoot, sa::kSound, 1), sa::kBoost, 1, 2);
        ExportSettings s;
        EXPECT_EQ(setSettingsFromContainer(&c, &s), kStatusParamError);
        EXPECT_EQ(s.sampleRate, ufixedFromInt(8192));
        EXPECT_EQ(s.boost, 0);
    }
    {
        // A name whose length byte claims more than the atom holds.
        AtomContainer c;
        const uint8_t name[] = {200, 'a', 'b'};
        c.insertChild(kAtomRoot, sa::kName, 7, name);
        ExportSettings s;
        ASSERT_EQ(setSettingsFromContainer(&c, &s), noErr);
        EXPECT_EQ(s.name, "ab");
    }
    ExportSettings s;
    AtomContainer c;
    EXPECT_EQ(setSettingsFromContainer(nullptr, &s), kStatusParamError);
    EXPECT_EQ(setSettingsFromContainer(&c, nullptr), kStatusParamError);
}

TEST(SoundNormalisation, EveryBranchOfTheCodecTable) {
    struct Case {
        int32_t codec;
        unsigned rate;
        uint16_t frac;
        int16_t channels;
        int32_t bitRate;
        // expected
        int32_t codecOut;
        UnsignedFixed rateOut;
        int16_t channelsOut;
        int32_t bitRateOut;
    };
    const UnsignedFixed k8192 = ufixedFromInt(8192), k11025 = ufixedFromInt(11025);
    const Case cases[] = {
        {0, 12000, 5, 2, 1, 0, (12000u << 16) | 5, 2, 1},  // no sound: untouched
        {624, 8000, 0, 2, 64000, 624, ufixedFromInt(44100), 2, 33000},
        {624, 8000, 0, 1, 47000, 624, ufixedFromInt(44100), 1, 47000},
        {626, 12000, 0, 2, 47000, 626, k8192, 2, 33000},
        {628, 22050, 0x8000, 1, 1, 628, ufixedFromInt(22050), 1, 33000},  // fraction cleared
        {626, 44100, 0, 2, 1, 626, ufixedFromInt(44100), 2, 33000},
        {629, 44100, 0, 2, 1, 629, ufixedFromInt(8000), 1, 33000},
        {630, 12000, 0, 1, 1, 630, k11025, 2, 33000},
        {630, 4096, 0x100, 1, 1, 630, ufixedFromInt(4096), 2, 33000},
        {627, 22050, 0, 2, 1, 627, k8192, 1, 33000},  // mono PCM refuses 22050
        {627, 16384, 0x10, 2, 1, 627, ufixedFromInt(16384), 1, 33000},
        {625, 11025, 0, 2, 1, 627, k8192, 1, 33000},
        {-1, 4096, 0, 2, 1, 627, ufixedFromInt(4096), 1, 33000},
    };
    for (const Case& k : cases) {
        AtomContainer c = soundContainer(k.codec, k.rate, k.frac, k.channels, k.bitRate);
        ExportSettings s;
        ASSERT_EQ(setSettingsFromContainer(&c, &s), noErr);
        EXPECT_EQ(s.soundCodec, k.codecOut) << k.codec << " " << k.rate;
        EXPECT_EQ(s.sampleRate, k.rateOut) << k.codec << " " << k.rate;
        EXPECT_EQ(s.channels, k.channelsOut) << k.codec << " " << k.rate;
        EXPECT_EQ(s.bitRate, k.bitRateOut) << k.codec << " " << k.rate;
    }
}

TEST(PictureMode, DepthCodes) {
    const std::pair<int16_t, int> cases[] = {{1, 3},     {24, 2}, {32, 7}, {34, 1}, {36, 4},
                                             {32767, 0}, {8, 0},  {16, 0}, {0, 0}};
    for (auto [depth, mode] : cases) EXPECT_EQ(writerPictureMode(depth), mode) << depth;
}

FrameSize frameFor(int16_t preset, int16_t w, int16_t h, int sw, int sh, int16_t angle = 0) {
    ExportSettings s;
    s.sizePreset = preset;
    s.width = w;
    s.height = h;
    s.rotation = angle;
    return computeFrameSize(s, sw, sh);
}

TEST(FrameSize, PresetsSquaresLimitsAndRotation) {
    struct Case {
        int16_t preset, w, h;
        int sw, sh;
        int16_t angle;
        int outW, outH, turnedW, turnedH;
    };
    const Case cases[] = {
        {1, -1, -1, 320, 240, 0, 160, 120, 160, 120},    // limited to 160 x 120
        {1, -1, -1, 100, 80, 0, 100, 80, 100, 80},       // small source unchanged
        {4, -1, -1, 100, 80, 0, 150, 120, 150, 120},     // scaled up, aspect kept
        {6, -1, -1, 640, 480, 0, 320, 240, 320, 240},    // 320 x 240 limit box
        {3, -1, -1, 640, 480, 0, 120, 90, 120, 90},      // 120 x 92 target, aspect wins
        {7, -1, -1, 320, 240, 0, 160, 160, 160, 160},    // square preset
        {1, 240, 240, 640, 480, 0, 240, 240, 240, 240},  // explicit square
        {9, 100, -1, 640, 480, 0, 427, 320, 427, 320},   // half explicit: preset 9 used
        {1, 0, 50, 400, 100, 0, 160, 40, 160, 40},       // free width, source too wide
        {1, 0, 100, 80, 60, 0, 80, 60, 80, 60},          // free width takes the source's
        {1, -1, -1, 641, 481, 0, 160, 120, 160, 120},    // nearest pixel
        {4, -1, -1, 320, 240, 90, 160, 120, 120, 160},
        {4, -1, -1, 320, 240, -90, 160, 120, 120, 160},
        {4, -1, -1, 0, 0, 0, 160, 120, 160, 120},  // no source size
    };
    for (const Case& k : cases) {
        FrameSize f = frameFor(k.preset, k.w, k.h, k.sw, k.sh, k.angle);
        EXPECT_EQ(f.width, k.outW) << k.preset << " " << k.sw << "x" << k.sh;
        EXPECT_EQ(f.height, k.outH) << k.preset << " " << k.sw << "x" << k.sh;
        EXPECT_EQ(f.turnedWidth, k.turnedW) << k.preset << " " << k.sw << "x" << k.sh;
        EXPECT_EQ(f.turnedHeight, k.turnedH) << k.preset << " " << k.sw << "x" << k.sh;
    }
}

TEST(FrameSize, PresentationVideoSizeWinsAndIsTurned) {
    ExportSettings s;
    s.rotation = 90;
    AtomContainer pres;
    AtomRef p, back, vid;
    pres.insertChild(kAtomRoot, sa::kPresentation, 1, {}, &p);
    pres.insertChild(p, sa::kBack, 1, {}, &back);
    pres.insertChild(back, sa::kVideoLayer, 1, {}, &vid);
    pres.writeU32(vid, fourCC("size"), 1, (480u << 16) | 320);
    s.presentation = pres;
    FrameSize f = computeFrameSize(s, 640, 480);
    EXPECT_EQ(f.width, 320);  // the source frame, before turning
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.turnedWidth, 480);  // the writer gets the layout's size
    EXPECT_EQ(f.turnedHeight, 320);
}

TEST(SettingsContainer, SquarePresetReadBackWithoutDimn) {
    AtomContainer c;
    c.writeI16(parent(c, sa::kSize), sa::kSizePreset, 1, 7);
    ExportSettings s;
    ASSERT_EQ(setSettingsFromContainer(&c, &s), noErr);
    FrameSize f = computeFrameSize(s, 320, 240);
    EXPECT_EQ(f.width, 160);
    EXPECT_EQ(f.height, 160);
    AtomContainer out;
    ASSERT_EQ(getSettingsAsContainer(s, &out), noErr);
    AtomRef size = out.findChild(kAtomRoot, sa::kSize, 1);
    uint32_t vide = 0;
    ASSERT_EQ(out.readU32(size, sa::kVideoSize, 1, &vide), noErr);
    EXPECT_EQ(vide, 0xFFFFFFFFu);
    EXPECT_EQ(out.findChild(size, sa::kSizePreset, 1), kAtomNone);
}

}  // namespace
