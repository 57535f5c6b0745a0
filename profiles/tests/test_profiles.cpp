// Device profiles: the built-in set against its rules, reading values and
// records, the lists, find by name and the popup logic.
#include <gtest/gtest.h>

#include <algorithm>

#include "profiles/popups.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "profiles/profile_names.h"
#include "resources/resources.h"

namespace {

namespace pa = profile_atoms;

const ResourceFile& res() {
    return moviepackerResources();
}

ProfileRecord builtIn(const char* name) {
    AtomContainer c;
    EXPECT_EQ(findProfile(name, false, res(), nullptr, &c), noErr) << name;
    ProfileRecord r;
    profileToRecord(c, res(), &r);
    return r;
}

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

TEST(BuiltInProfiles, EveryProfileKeepsTheRulesOfTheSet) {
    ASSERT_EQ(res().count(kResTypeProfile), 71);
    std::vector<std::string> names;
    std::span<const uint8_t> list;
    ASSERT_EQ(res().get(kResTypeStringList, kProfileNamesList, &list), noErr);
    ASSERT_EQ(parseStringList(list, &names), noErr);
    ASSERT_EQ(names.size(), 71u);
    for (int i = 1; i <= 71; ++i) {
        std::span<const uint8_t> data;
        ResID id;
        ASSERT_EQ(res().getIndexed(kResTypeProfile, i, &data, &id), noErr);
        EXPECT_EQ(id, kFirstBuiltInProfile + i - 1);
        AtomContainer c;
        ASSERT_EQ(AtomContainer::load(data, &c), noErr) << id;
        ProfileRecord r;
        profileToRecord(c, res(), &r);
        std::string resName;
        res().name(kResTypeProfile, id, &resName);
        EXPECT_EQ(r.name, resName);
        EXPECT_EQ(r.name, names[size_t(i - 1)]);

        const std::string& n = r.name;
        SCOPED_TRACE(n);
        const bool upright =
            contains(n, "Tungsten T3") || contains(n, "PEG-UX40/50") || contains(n, "Zodiac");
        EXPECT_EQ(r.controlsUpright, upright ? 1 : 0);
        uint8_t b[2] = {0, 0};
        const bool hidden = profileReadValue(c, pa::kHidden, b) == noErr && b[1] == 1;
        EXPECT_EQ(hidden, n.rfind("Zodiac - ", 0) == 0);
        if (contains(n, "(Wide - CW)")) {
            EXPECT_EQ(r.angle, 90);
        }
        if (contains(n, "(Wide - CCW)")) {
            EXPECT_EQ(r.angle, -90);
        }
        const bool silent = n == "Tungsten W" || n == "SPH-i500";
        if (silent) {
            EXPECT_EQ(r.formatCount, 1);
            EXPECT_EQ(r.formats[0], 0);
            EXPECT_EQ(r.audioCode, 0);
        } else {
            // The default code is offered, and its rate survives the
            // export's normalisation unchanged.
            auto f = r.formats.begin();
            EXPECT_NE(std::find(f, f + r.formatCount, r.audioCode), f + r.formatCount);
            const uint32_t rate = r.sampleRate >> 16;
            if (r.audioCode == 624) {
                EXPECT_EQ(rate, 44100u);
            }
            if (r.audioCode == 629) {
                EXPECT_EQ(rate, 8000u);
            }
            if (r.audioCode == 626 || r.audioCode == 628) {
                const uint32_t ok[] = {4096, 8192, 11025, 16384, 22050, 44100};
                EXPECT_NE(std::find(std::begin(ok), std::end(ok), rate), std::end(ok));
            }
            EXPECT_LE(r.channels, r.maxChannels);
        }
        EXPECT_EQ(profileReadValue(c, pa::kVideoRate, b) == noErr, r.depth == 32);
        uint8_t bitr[4];
        EXPECT_EQ(profileReadValue(c, pa::kBitRate, bitr) == noErr,
                  std::find(r.formats.begin(), r.formats.end(), 624) != r.formats.end());
    }
}

TEST(BuiltInProfiles, TellingRowsHoldExactly) {
    struct Row {
        const char* name;
        int16_t depth;
        int fps, kbps;
        int16_t vw, vh, sw, sh;
        std::vector<int32_t> fmts;
        int32_t code;
        int16_t ch, maxc;
        uint32_t rate;
        int16_t boost;
        uint32_t os;
        int16_t angle;
    };
    const uint32_t os35 = 0x03500000, os4 = 0x04000000, os41 = 0x04100000, os5 = 0x05000000,
                   os52 = 0x05200000;
    const Row rows[] = {
        {"All color Palm OS devices",
         32,
         10,
         240,
         160,
         120,
         160,
         160,
         {626, 628, 627},
         626,
         1,
         1,
         8192,
         2,
         os4,
         0},
        {"All gray Palm OS devices",
         36,
         10,
         320,
         160,
         120,
         160,
         160,
         {626, 628, 627},
         626,
         1,
         1,
         8192,
         2,
         os4,
         0},
        {"All Palm OS 5 devices",
         32,
         15,
         640,
         320,
         240,
         320,
         320,
         {626, 628, 627, 629},
         629,
         1,
         2,
         8000,
         0,
         os5,
         0},
        {"All widescreen devices",
         32,
         8,
         560,
         480,
         320,
         480,
         320,
         {626, 628, 627, 629},
         629,
         1,
         2,
         8000,
         1,
         os5,
         90},
        {"Low bit rate",
         32,
         6,
         240,
         160,
         120,
         480,
         320,
         {626, 628, 627},
         628,
         1,
         1,
         8192,
         1,
         os4,
         0},
        {"Medium bit rate",
         32,
         6,
         320,
         240,
         180,
         480,
         320,
         {626, 628, 627},
         628,
         1,
         1,
         8192,
         1,
         os4,
         0},
        {"High bit rate",
         32,
         8,
         640,
         320,
         240,
         480,
         320,
         {626, 628, 627},
         626,
         1,
         1,
         8192,
         1,
         os4,
         0},
        {"Tungsten T3",
         32,
         15,
         640,
         320,
         240,
         320,
         480,
         {626, 628, 627, 629},
         626,
         2,
         2,
         22050,
         0,
         os52,
         0},
        {"Tungsten T3 (Wide)",
         32,
         15,
         720,
         480,
         320,
         480,
         320,
         {626, 628, 627, 629},
         626,
         2,
         2,
         22050,
         0,
         os52,
         90},
        {"PEG-N700C/N710C", 32, 10, 320, 240, 180, 320, 320, {624}, 624, 2, 2, 44100, 0, os35, 0},
        // A 16-grey 160 x 160 device and a colour high-resolution one.
        {"s10", 36, 10, 320, 160, 120, 160, 160, {626, 628, 627}, 626, 1, 1, 8192, 2, os41, 0},
        {"s50/s60", 32, 10, 320, 320, 240, 320, 320, {626, 628, 627}, 626, 1, 1, 8192, 2, os41, 0},
        {"PEG-NR70/V (Wide - CCW)",
         32,
         10,
         560,
         480,
         320,
         480,
         320,
         {624, 629},
         624,
         2,
         2,
         44100,
         0,
         os41,
         -90},
        {"PEG-T400/T415/T425", 36, 10, 320, 160, 120, 320, 320, {629}, 629, 1, 1, 8000, 0, os41, 0},
        {"Zodiac - Best",
         32,
         24,
         800,
         480,
         320,
         480,
         320,
         {626, 628, 627, 629},
         626,
         2,
         2,
         22050,
         0,
         os52,
         0},
    };
    for (const Row& w : rows) {
        SCOPED_TRACE(w.name);
        ProfileRecord r = builtIn(w.name);
        EXPECT_EQ(r.depth, w.depth);
        EXPECT_EQ(r.frameRate, w.fps << 16);
        EXPECT_EQ(r.videoKbps, w.kbps);  // grey rows read the default 320
        EXPECT_EQ(r.videoWidth, w.vw);
        EXPECT_EQ(r.videoHeight, w.vh);
        EXPECT_EQ(r.screenWidth, w.sw);
        EXPECT_EQ(r.screenHeight, w.sh);
        EXPECT_EQ(std::vector<int32_t>(r.formats.begin(), r.formats.begin() + r.formatCount),
                  w.fmts);
        EXPECT_EQ(r.audioCode, w.code);
        EXPECT_EQ(r.channels, w.ch);
        EXPECT_EQ(r.maxChannels, w.maxc);
        EXPECT_EQ(r.sampleRate, w.rate << 16);
        EXPECT_EQ(r.boost, w.boost);
        EXPECT_EQ(r.osVersion, w.os);
        EXPECT_EQ(r.angle, w.angle);
        if (w.code == 624) {
            EXPECT_EQ(r.bitRate, 33000);
        }
    }
}

TEST(ProfileRecord, MissingAtomsReadAsDefaults) {
    AtomContainer empty;
    ProfileRecord r;
    profileToRecord(empty, res(), &r);
    EXPECT_EQ(r.name, "Custom");
    EXPECT_EQ(r.formatCount, 3);
    EXPECT_EQ(std::vector<int32_t>(r.formats.begin(), r.formats.begin() + 3),
              (std::vector<int32_t>{626, 628, 627}));
    EXPECT_EQ(r.audioCode, 626);
    EXPECT_EQ(r.osVersion, 0x04000000u);
    EXPECT_EQ(r.videoWidth, 160);
    EXPECT_EQ(r.videoHeight, 120);
    EXPECT_EQ(r.screenHeight, 160);
    EXPECT_EQ(r.frameRate, 0);

    // Format codes stop at the first zero; read values stay big-endian.
    AtomContainer c;
    AtomRef soun, fmts;
    c.insertChild(kAtomRoot, pa::kSound, 1, {}, &soun);
    c.insertChild(soun, pa::kFormats, 1, {}, &fmts);
    for (int32_t code : {629, 624, 0, 626})
        c.writeI32(fmts, pa::kAudioCode, c.countChildren(fmts) + 1, code);
    profileToRecord(c, res(), &r);
    EXPECT_EQ(r.formatCount, 2);
    uint8_t raw[16];
    size_t got = 0;
    ASSERT_EQ(profileReadValue(c, pa::kFormats, raw, &got), noErr);
    EXPECT_EQ(got, 16u);
    EXPECT_EQ(raw[2], 0x02);  // 629 = 0x0275
    EXPECT_EQ(raw[3], 0x75);
    uint8_t two[2];
    EXPECT_EQ(profileReadValue(c, fourCC("zzzz"), two), kStatusParamError);
    EXPECT_EQ(profileReadValue(c, pa::kDepth, two), kStatusParamError);
}

TEST(ProfileRecord, WrittenAndReadBackIsTheSameRecord) {
    ProfileRecord r = builtIn("PEG-UX40/50 (Wide)");
    r.baseName = "PEG-UX40/50 (Wide)";
    r.changed = 1;
    r.name = std::string(70, 'x');
    AtomContainer c;
    ASSERT_EQ(profileFromRecord(r, r.name, &c), noErr);
    ProfileRecord back;
    profileToRecord(c, res(), &back);
    EXPECT_EQ(back.name, std::string(63, 'x'));  // names are cut to 63
    back.name = r.name;
    auto same = [](const ProfileRecord& a, const ProfileRecord& b) {
        return a.screenWidth == b.screenWidth && a.screenHeight == b.screenHeight &&
               a.manufacturer == b.manufacturer && a.osVersion == b.osVersion &&
               a.controlsUpright == b.controlsUpright && a.formatCount == b.formatCount &&
               a.formats == b.formats && a.maxChannels == b.maxChannels &&
               a.frameRate == b.frameRate && a.depth == b.depth && a.videoWidth == b.videoWidth &&
               a.videoHeight == b.videoHeight && a.videoKbps == b.videoKbps && a.angle == b.angle &&
               a.audioCode == b.audioCode && a.channels == b.channels &&
               a.sampleRate == b.sampleRate && a.bitRate == b.bitRate && a.boost == b.boost &&
               a.changed == b.changed && a.name == b.name && a.baseName == b.baseName;
    };
    EXPECT_TRUE(same(back, r));
    EXPECT_EQ(back.controlsUpright, 1);

    // The name field is 64 bytes; angl is left out for a non-wide portrait video.
    EXPECT_EQ(c.leafData(c.findChild(kAtomRoot, pa::kName, 1)).size(), 64u);
    ProfileRecord t3 = builtIn("Tungsten T3");
    t3.layoutWidth = 320;
    t3.layoutHeight = 480;
    ASSERT_EQ(profileFromRecord(t3, t3.name, &c), noErr);
    EXPECT_EQ(c.findChild(c.findChild(kAtomRoot, pa::kSize, 1), pa::kAngle, 1), kAtomNone);
    t3.angle = 90;
    t3.layoutWidth = 480;
    t3.layoutHeight = 320;
    ASSERT_EQ(profileFromRecord(t3, t3.name, &c), noErr);
    EXPECT_NE(c.findChild(c.findChild(kAtomRoot, pa::kSize, 1), pa::kAngle, 1), kAtomNone);
    EXPECT_EQ(profileFromRecord(t3, t3.name, nullptr), kStatusParamError);
}

// A layout as the layout editor stores it: turned by `angle`, controls off,
// a background colour and the video layer.
AtomContainer presentationFor(int16_t angle, int16_t layoutW, int16_t layoutH) {
    AtomContainer p;
    AtomRef pres, back, vid;
    const bool quarter = angle == 90 || angle == -90;
    const uint32_t layo = quarter ? (uint32_t(layoutH) << 16 | uint16_t(layoutW))
                                  : (uint32_t(layoutW) << 16 | uint16_t(layoutH));
    EXPECT_EQ(p.insertChild(kAtomRoot, pa::kPresentation, 1, {}, &pres), noErr);
    p.writeU16(pres, fourCC("vers"), 1, 0x0100);
    p.writeI16(pres, pa::kAngle, 1, angle);
    p.writeU32(pres, pa::kSize, 1, layo);
    p.writeU32(pres, pa::kLayout, 1, layo);
    const uint8_t off = 0;
    p.insertChild(pres, pa::kShowControls, 1, {&off, 1});
    p.insertChild(pres, pa::kBack, 1, {}, &back);
    const uint8_t rgb[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    p.insertChild(back, pa::kRgb, 1, rgb);
    p.insertChild(back, fourCC("vid "), 1, {}, &vid);
    p.writeU32(vid, pa::kSize, 1, 160u << 16 | 120u);
    p.writeU32(vid, fourCC("pos "), 1, 8u << 16 | 20u);
    return p;
}

TEST(ProfileRecord, AngleAndLayoutSurviveAContainerForEveryVideoSize) {
    const std::pair<int16_t, int16_t> sizes[] = {{160, 120}, {176, 144}, {240, 180}, {320, 240},
                                                 {160, 160}, {320, 320}, {480, 320}, {320, 480}};
    for (const auto& [w, h] : sizes)
        for (int16_t angle : {int16_t(90), int16_t(-90), int16_t(0)}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " at " +
                         std::to_string(angle));
            ProfileRecord r = builtIn("All color Palm OS devices");
            r.videoWidth = w;
            r.videoHeight = h;
            r.angle = angle;
            r.presentation = presentationFor(angle, 320, 480);
            AtomContainer c;
            ASSERT_EQ(profileFromRecord(r, "Saved", &c), noErr);
            ProfileRecord back;
            profileToRecord(c, res(), &back);
            EXPECT_EQ(back.angle, angle);
            EXPECT_EQ(back.videoWidth, w);
            ASSERT_TRUE(back.presentation.has_value());
            EXPECT_EQ(back.presentation->flatten(), r.presentation->flatten());
            EXPECT_EQ(back.layoutEdited, 1);
            EXPECT_EQ(back.layoutWidth, 320);  // turned back from layo
            EXPECT_EQ(back.layoutHeight, 480);
            EXPECT_EQ(back.showControls, 0);
            EXPECT_EQ(back.background, (std::array<uint16_t, 3>{0x1234, 0x5678, 0x9ABC}));
            // Written again, the container is the same bytes.
            AtomContainer again;
            ASSERT_EQ(profileFromRecord(back, "Saved", &again), noErr);
            EXPECT_EQ(again.flatten(), c.flatten());
        }
    // A record without a layout writes none and reads back without one.
    ProfileRecord plain = builtIn("All color Palm OS devices");
    AtomContainer c;
    ASSERT_EQ(profileFromRecord(plain, plain.name, &c), noErr);
    EXPECT_EQ(c.findChild(kAtomRoot, pa::kPresentation, 1), kAtomNone);
    ProfileRecord back;
    profileToRecord(c, res(), &back);
    EXPECT_FALSE(back.presentation.has_value());
    EXPECT_EQ(back.layoutEdited, 0);
}

TEST(BuiltInProfiles, ContentsAreUnchangedAndSurviveARecordRoundTrip) {
    // FNV-1a over every STNG resource in ID order: the built-in set is data
    // users' presets are derived from, so any change to it must be deliberate
    // (update the value together with the profile table).
    uint64_t hash = 0xcbf29ce484222325ull;
    for (int i = 1; i <= res().count(kResTypeProfile); ++i) {
        std::span<const uint8_t> data;
        ResID id;
        ASSERT_EQ(res().getIndexed(kResTypeProfile, i, &data, &id), noErr);
        for (uint8_t b : data) hash = (hash ^ b) * 0x100000001b3ull;

        AtomContainer c;
        ASSERT_EQ(AtomContainer::load(data, &c), noErr);
        ProfileRecord r, back;
        profileToRecord(c, res(), &r);
        AtomContainer written;
        ASSERT_EQ(profileFromRecord(r, r.name, &written), noErr);
        profileToRecord(written, res(), &back);
        EXPECT_EQ(back.angle, r.angle) << r.name;
        EXPECT_EQ(back.videoWidth, r.videoWidth) << r.name;
        EXPECT_EQ(back.formats, r.formats) << r.name;
    }
    EXPECT_EQ(hash, 0xc5f1b436c288e13cull) << std::hex << hash;
}

TEST(ProfileNames, CaseAndDiacritics) {
    EXPECT_TRUE(namesEqualIgnoringCase("Sony CLI\x83", "sony cli\x8E"));  // É and é
    EXPECT_FALSE(namesEqualIgnoringCase("Sony CLIE", "Sony CLI\x83"));    // diacritics count
    EXPECT_TRUE(
        nameLess("\x83"
                 "cole",
                 "f"));  // É sorts with e
    EXPECT_TRUE(nameLess("apple", "Banana"));
    std::vector<std::string> v = {"b", "A", "\x81x", "a"};  // Å
    sortNames(&v);
    EXPECT_EQ(v, (std::vector<std::string>{"A", "a", "\x81x", "b"}));
}

TEST(ProfileLists, ManufacturersAndTheirProfiles) {
    EXPECT_EQ(manufacturerName(res(), 9), "Sony CLIE");
    EXPECT_EQ(manufacturerName(res(), 12), "");
    EXPECT_EQ(manufacturerId(res(), "Garmin"), 11);
    EXPECT_EQ(manufacturerId(res(), "garmin"), -1);  // exact match only

    std::vector<std::string> tapwave;
    ASSERT_EQ(profileList("tapwave", res(), nullptr, &tapwave), noErr);
    EXPECT_EQ(tapwave, (std::vector<std::string>{"Zodiac", "Zodiac (Wide)"}));
    std::vector<std::string> all;
    size_t listed = 0;
    ASSERT_EQ(profileList(kListManufacturers, res(), nullptr, &all), noErr);
    EXPECT_EQ(all.size(), 12u);
    for (const std::string& m : all) {
        std::vector<std::string> names;
        profileList(m, res(), nullptr, &names);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                                   [](auto& a, auto& b) { return nameLess(a, b); }));
        listed += names.size();
    }
    EXPECT_EQ(listed, 71u - 3);  // the hidden Zodiac qualities nowhere

    AtomContainer c;
    EXPECT_EQ(findProfile("zodiac - best", false, res(), nullptr, &c),
              noErr);  // found, though hidden
    EXPECT_EQ(findProfile("No such device", false, res(), nullptr, &c), kStatusNotFound);
    EXPECT_EQ(findProfile("Zire", true, res(), nullptr, &c), kStatusNotFound);
    EXPECT_EQ(findProfile("Zire", false, res(), nullptr, nullptr), kStatusParamError);
}

TEST(Popups, SettingsMenuOrderAndSelection) {
    SettingsMenu m = buildSettingsMenu(res(), false);
    EXPECT_EQ(m.items,
              (std::vector<std::string>{"Custom", "-", "Acer", "Garmin", "HandEra", "Handspring",
                                        "IBM", "Kyocera", "Palm", "Samsung", "Sony CLIE", "Tapwave",
                                        "-", "Generic", "Streaming"}));
    EXPECT_EQ(m.firstManufacturerItem, 3);
    EXPECT_FALSE(m.customEnabled);

    AtomContainer c;
    ASSERT_EQ(findProfile("PEG-SJ33", false, res(), nullptr, &c), noErr);
    SettingsSelection s = selectSettingsItem(m, c, res());
    EXPECT_EQ(s.item, 11);
    EXPECT_EQ(s.keyword, "Sony CLIE");
    ASSERT_EQ(findProfile("All gray Palm OS devices", false, res(), nullptr, &c), noErr);
    EXPECT_EQ(selectSettingsItem(m, c, res()).item, 0);  // Generic: the window's default
    const auto base = nameField("PEG-SJ33");
    c.insertChild(kAtomRoot, pa::kBaseName, 1, base);
    s = selectSettingsItem(m, c, res());
    EXPECT_EQ(s.item, 1);
    EXPECT_EQ(s.keyword, "custom");

    DeviceMenu d = buildDeviceMenu("Garmin", "IQUE 3600 (WIDE - CW)", res(), nullptr);
    EXPECT_EQ(d.items.size(), 3u);
    EXPECT_EQ(d.selected, 3);
    EXPECT_EQ(buildDeviceMenu("Garmin", "Zire", res(), nullptr).selected, 1);
    EXPECT_EQ(buildDeviceMenu("custom", "Zire", res(), nullptr).selected, 0);

    const std::vector<std::string> custom = {"Alpha", "Beta"};
    EXPECT_EQ(selectedProfile(1, 3, 2, false, custom, "ignored").name, "Beta");
    EXPECT_EQ(selectedProfile(1, 3, 3, true, custom, "ignored").name, "Alpha");
    SelectedProfile p = selectedProfile(9, 3, 4, false, custom, "Tungsten C");
    EXPECT_FALSE(p.custom);
    EXPECT_EQ(p.name, "Tungsten C");
}

}  // namespace
