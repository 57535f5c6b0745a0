#pragma once
// Device profiles: an atom container in the export-settings layout plus
// device atoms, and the host-order record the main window edits.
//
//   flag             32-bit 1 in built-in profiles, not interpreted
//   name, bnam       counted string in a 64-byte field (profile, base profile)
//   manu/name        16-bit manufacturer id
//   osvr             Palm OS version: major byte, minor in the next high nibble
//   hidn, crui, cstm 16-bit flags (hidden; strips kept top and bottom in
//                    landscape; changed by the user)
//   colr/dpth  time/fps  time/vbtr  size/vide  size/scrn  size/angl  size/dimn
//   soun/ssss  soun/fmts/tvsc (IDs 1..n)  soun/tvsc  soun/sscc  soun/maxc
//   soun/ssrt  soun/boos  soun/bitr
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/atoms.h"
#include "platform/resources.h"
#include "platform/status.h"

namespace profile_atoms {
inline constexpr FourCC kFlag = fourCC("flag");
inline constexpr FourCC kName = fourCC("name");
inline constexpr FourCC kBaseName = fourCC("bnam");
inline constexpr FourCC kManufacturer = fourCC("manu");
inline constexpr FourCC kOsVersion = fourCC("osvr");
inline constexpr FourCC kHidden = fourCC("hidn");
inline constexpr FourCC kControlsUpright = fourCC("crui");
inline constexpr FourCC kChanged = fourCC("cstm");
inline constexpr FourCC kColour = fourCC("colr");
inline constexpr FourCC kDepth = fourCC("dpth");
inline constexpr FourCC kTime = fourCC("time");
inline constexpr FourCC kFrameRate = fourCC("fps ");
inline constexpr FourCC kVideoRate = fourCC("vbtr");
inline constexpr FourCC kSize = fourCC("size");
inline constexpr FourCC kVideoSize = fourCC("vide");
inline constexpr FourCC kScreen = fourCC("scrn");
inline constexpr FourCC kAngle = fourCC("angl");
inline constexpr FourCC kSizePreset = fourCC("dimn");
inline constexpr FourCC kSound = fourCC("soun");
inline constexpr FourCC kSampleSize = fourCC("ssss");
inline constexpr FourCC kFormats = fourCC("fmts");
inline constexpr FourCC kAudioCode = fourCC("tvsc");
inline constexpr FourCC kChannels = fourCC("sscc");
inline constexpr FourCC kMaxChannels = fourCC("maxc");
inline constexpr FourCC kSampleRate = fourCC("ssrt");
inline constexpr FourCC kBoost = fourCC("boos");
inline constexpr FourCC kBitRate = fourCC("bitr");
inline constexpr FourCC kPresentation = fourCC("PRES");
// Inside PRES, the parts the record keeps (angl is shared with size/angl).
inline constexpr FourCC kLayout = fourCC("layo");
inline constexpr FourCC kShowControls = fourCC("cont");
inline constexpr FourCC kBack = fourCC("back");
inline constexpr FourCC kRgb = fourCC("rgb ");
}  // namespace profile_atoms

inline constexpr FourCC kResTypeProfile = fourCC("STNG");
inline constexpr FourCC kResTypeManufacturers = fourCC("MANU");
inline constexpr ResID kFirstBuiltInProfile = 512;
inline constexpr ResID kManufacturerTableID = 512;
inline constexpr ResID kProfileNamesList = 512;
inline constexpr ResID kSettingsPopupList = 132;  // "Custom", "-"

inline constexpr size_t kMaxAudioFormats = 20;
inline constexpr size_t kNameFieldSize = 64;  // counted name, at most 63 characters

// The host-order form of a profile.
struct ProfileRecord {
    int16_t screenWidth = 160;
    int16_t screenHeight = 160;
    int16_t manufacturer = 0;
    uint32_t osVersion = 0x04000000;  // 4.0
    int16_t controlsUpright = 0;      // crui
    uint16_t formatCount = 3;
    std::array<int32_t, kMaxAudioFormats> formats{626, 628, 627};
    int16_t maxChannels = 1;
    int32_t frameRate = 0;  // 16.16
    int16_t depth = 36;
    int16_t videoWidth = 160;
    int16_t videoHeight = 120;
    int16_t videoKbps = 320;
    int16_t angle = 0;
    int32_t audioCode = 626;
    int16_t channels = 1;
    uint32_t sampleRate = 8192u << 16;  // unsigned 16.16
    int32_t bitRate = 33000;
    int16_t boost = 0;
    // Layout fields: the layout editor's, carried in PRES, not in these atoms.
    // They are read from the presentation; the presentation itself travels
    // whole, so a record written back keeps every layer of its layout.
    std::optional<AtomContainer> presentation;  // a container whose root holds PRES
    uint8_t layoutEdited = 0;
    std::array<uint16_t, 3> background{};
    int16_t layoutWidth = 0;
    int16_t layoutHeight = 0;
    uint8_t showControls = 0;
    uint8_t changed = 0;   // cstm
    std::string name;      // Mac Roman, at most 63 characters
    std::string baseName;  // bnam
};

// Reads one value by atom type into dest, big-endian as stored: crui, cstm,
// hidn, osvr at the root; name and bnam (their data may be shorter than
// dest); manu (manu/name); dpth; fps and vbtr; vide, scrn, angl, dimn;
// tvsc, sscc, ssss, ssrt, maxc, boos, bitr under soun; fmts copies every
// soun/fmts/tvsc, 4 bytes each, as far as dest holds. Other atoms need
// exactly dest.size() bytes. Status: noErr; kStatusParamError for an
// unknown type, a missing atom or a size that does not fit.
OSStatus profileReadValue(const AtomContainer& c, FourCC type, std::span<uint8_t> dest,
                          size_t* copied = nullptr);

// Reads name or bnam as a string of at most 63 characters; empty when
// missing. Status: noErr or kStatusParamError (another type, null out).
OSStatus profileReadName(const AtomContainer& c, FourCC which, std::string* out);

// Container to record, with the defaults for missing atoms; a missing name
// reads as item 1 of STR# 132 from strings ("Custom"). The format count is
// the number of leading non-zero codes, 3 (626, 628, 627) without fmts, and
// 1 for a list holding only code 0 (no audio). A PRES atom is kept as the
// record's presentation and fills the layout fields (layout size turned
// back by its angle, background colour, show-controls flag).
void profileToRecord(const AtomContainer& c, const ResourceFile& strings, ProfileRecord* r);

// Record to a new container named name (cut to 63), replacing *out. angl
// is written for a turned video, and for a 480 x 320 or 320 x 480 video or
// a layout wider than high even when it is 0; the presentation, when the
// record holds one, goes in last. Status: noErr, kStatusParamError (null
// out); on failure *out is left empty.
OSStatus profileFromRecord(const ProfileRecord& r, std::string_view name, AtomContainer* out);

// A counted string in a 64-byte field, as name and bnam store it.
std::array<uint8_t, kNameFieldSize> nameField(std::string_view name);

// Replaces (or adds) the name atom of a profile.
OSStatus setProfileName(AtomContainer* c, std::string_view name);
