#pragma once
// Export settings: everything that decides how one movie becomes a handheld
// movie, as the in-memory record each export holds and as the atom
// container it is exchanged in (set-settings / get-settings).
//
// Atom layout (every atom ID 1; data big-endian):
//   PRES            presentation layout, kept whole as its own container
//   name            a length byte and up to 255 characters
//   colr/dpth       depth code (16-bit)
//   time/fps        frame rate (16.16)      time/vbtr   video kbit/s (16-bit)
//   size/dimn       size preset (16-bit, read only)
//   size/vide       explicit width, height (16-bit each; -1 = not set)
//   size/angl       rotation in degrees (16-bit)
//   soun/ssrt       sample rate (unsigned 16.16)   soun/sscc  channels (16-bit)
//   soun/tvsc       sound codec code (32-bit)      soun/boos  boost (16-bit)
//   soun/bitr       ATRAC3 bit rate (32-bit)
#include <cstdint>
#include <optional>
#include <string>

#include "platform/atoms.h"
#include "platform/status.h"

using Fixed = int32_t;           // signed 16.16
using UnsignedFixed = uint32_t;  // unsigned 16.16: sample rates reach 44100

constexpr Fixed fixedFromInt(int v) {
    return Fixed(uint32_t(v) << 16);
}
constexpr UnsignedFixed ufixedFromInt(unsigned v) {
    return UnsignedFixed(v << 16);
}

namespace settings_atoms {
inline constexpr FourCC kPresentation = fourCC("PRES");
inline constexpr FourCC kName = fourCC("name");
inline constexpr FourCC kColour = fourCC("colr");
inline constexpr FourCC kDepth = fourCC("dpth");
inline constexpr FourCC kTime = fourCC("time");
inline constexpr FourCC kFrameRate = fourCC("fps ");
inline constexpr FourCC kVideoRate = fourCC("vbtr");
inline constexpr FourCC kSize = fourCC("size");
inline constexpr FourCC kSizePreset = fourCC("dimn");
inline constexpr FourCC kVideoSize = fourCC("vide");
inline constexpr FourCC kAngle = fourCC("angl");
inline constexpr FourCC kSound = fourCC("soun");
inline constexpr FourCC kSampleRate = fourCC("ssrt");
inline constexpr FourCC kChannels = fourCC("sscc");
inline constexpr FourCC kSoundCodec = fourCC("tvsc");
inline constexpr FourCC kBoost = fourCC("boos");
inline constexpr FourCC kBitRate = fourCC("bitr");
// Inside PRES: the video layer's size is also the frame size.
inline constexpr FourCC kBack = fourCC("back");
inline constexpr FourCC kVideoLayer = fourCC("vid ");
}  // namespace settings_atoms

// Depth codes (pixel-depth numbers).
inline constexpr int16_t kDepthMono = 1;
inline constexpr int16_t kDepthMillions = 24;
inline constexpr int16_t kDepthMillionsAlpha = 32;
inline constexpr int16_t kDepthGrey4 = 34;   // 2-bit grey, four shades
inline constexpr int16_t kDepthGrey16 = 36;  // 4-bit grey, sixteen shades
inline constexpr int16_t kDepthNoVideo = 32767;

// Sound codec codes (tvsc).
inline constexpr int32_t kSoundNone = 0;
inline constexpr int32_t kSoundAtrac3 = 624;
inline constexpr int32_t kSoundAdpcm2 = 626;
inline constexpr int32_t kSoundPcmMono = 627;
inline constexpr int32_t kSoundAdpcm4 = 628;
inline constexpr int32_t kSoundYamaha = 629;
inline constexpr int32_t kSoundPcmStereo = 630;

// The record, initialised to the defaults an export starts from.
struct ExportSettings {
    Fixed frameRate = fixedFromInt(6);
    int16_t depth = kDepthGrey16;
    int16_t sizePreset = 1;
    int16_t width = -1;  // explicit size; -1 = not set
    int16_t height = -1;
    int16_t videoDataRate = 320;  // kbit/s
    int16_t rotation = 0;         // degrees
    int32_t soundCodec = kSoundNone;
    int16_t channels = 1;
    UnsignedFixed sampleRate = ufixedFromInt(8192);
    int32_t bitRate = 33000;
    int16_t boost = 0;
    // A container whose root holds the PRES atom, or none.
    std::optional<AtomContainer> presentation;
    std::string name;  // Mac Roman, at most 255 bytes
};

// Reads a settings container into s, in a fixed order: the presentation is
// always replaced (by the container's PRES or by none), the name when
// present, then each video atom present, then the sound atoms and their
// normalisation when soun is present. Atoms that are missing keep their
// field. Status: noErr; kStatusParamError for a null container or record;
// the error of the first video or ssrt/sscc/tvsc atom whose data is not
// exactly its size (fields read before it stay changed); otherwise the
// error of boos or bitr, which is remembered and returned at the end.
OSStatus setSettingsFromContainer(const AtomContainer* container, ExportSettings* s);

// Writes the record as a new container into *out, which the caller owns:
// PRES (from the held presentation), name (only when not empty), colr,
// time, size (vide and angl; the size preset is never written), soun.
// Status: noErr; kStatusParamError for a null out; on any other failure
// *out is left empty and the error returned.
OSStatus getSettingsAsContainer(const ExportSettings& s, AtomContainer* out);

// The sound-field normalisation by codec code that set-settings applies.
void normaliseSound(ExportSettings* s);

// The movie writer's picture mode for a depth code, or 0 when the code
// selects none (no video, or an unknown code: the writer keeps its default).
int writerPictureMode(int16_t depth);

// The frame-size target: tw, th (0 = free) and whether the picture is
// fitted into a square.
struct FrameTarget {
    int width = 0;
    int height = 0;
    bool squareFit = false;
};
FrameTarget frameTarget(const ExportSettings& s);

// The frame size of an export.
struct FrameSize {
    int width = 0;  // the output frame before rotation (the video source's size)
    int height = 0;
    int turnedWidth = 0;  // the turned rectangle's size, handed to the writer
    int turnedHeight = 0;
};

// Computes the frame size from the settings and the source size (sw, sh:
// the source's reported size when not zero, else the movie's box; see
// sourceSize). A presentation layout with a video-layer size overrides the
// result.
FrameSize computeFrameSize(const ExportSettings& s, int sourceWidth, int sourceHeight);

// The source's reported size when both halves are non-zero, else the box.
inline void sourceSize(int reportedW, int reportedH, int boxW, int boxH, int* w, int* h) {
    const bool reported = reportedW != 0 && reportedH != 0;
    *w = reported ? reportedW : boxW;
    *h = reported ? reportedH : boxH;
}

// The size of a w x h rectangle turned about the origin by degrees, in
// whole pixels (exact for multiples of 90).
void turnedSize(int w, int h, int degrees, int* tw, int* th);

// PRES/back/vid /size of the held presentation, if it is there and readable.
bool presentationVideoSize(const ExportSettings& s, int* w, int* h);
