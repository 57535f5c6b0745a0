#pragma once
// Shared vocabulary of the media layer: four-character codes, time values,
// 16.16 fixed point and the sample descriptions that tracks and the export
// delegate hand out.
#include <cstdint>
#include <string>
#include <vector>

using OSType = uint32_t;
using TimeValue = int64_t;  // a time in some time scale
using TimeScale = int32_t;  // units per second
using Fixed = int32_t;      // 16.16 fixed point

constexpr OSType MakeOSType(const char (&s)[5]) {
    return (static_cast<OSType>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<OSType>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<OSType>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<OSType>(static_cast<uint8_t>(s[3]));
}
// 'ms' followed by a 16-bit format tag, the way AVI sound formats are named.
constexpr OSType MakeWaveFormatType(uint16_t tag) {
    return (static_cast<OSType>('m') << 24) | (static_cast<OSType>('s') << 16) | tag;
}
constexpr Fixed IntToFixed(int32_t v) {
    return static_cast<Fixed>(static_cast<uint32_t>(v) << 16);
}
constexpr int32_t FixedToInt(Fixed v) {
    return v >> 16;
}
std::string OSTypeToString(OSType t);  // for messages and test output

// Media types of tracks.
inline constexpr OSType kVideoMediaType = MakeOSType("vide");
inline constexpr OSType kSoundMediaType = MakeOSType("soun");
inline constexpr OSType kTextMediaType = MakeOSType("text");
inline constexpr OSType kMPEGMediaType = MakeOSType("MPEG");
inline constexpr OSType kMusicMediaType = MakeOSType("musi");
inline constexpr OSType kFlashMediaType = MakeOSType("flsh");

// Track characteristics.
inline constexpr OSType kCharacteristicCanSee = MakeOSType("eyes");
inline constexpr OSType kCharacteristicCanHear = MakeOSType("ears");

// Track reference kinds.
inline constexpr OSType kTrackReferenceChapterList = MakeOSType("chap");

// User-data text types.
inline constexpr OSType kUserDataTextFullName = 0xA96E616Du;     // (c)nam
inline constexpr OSType kUserDataTextInformation = 0xA9696E66u;  // (c)inf
inline constexpr OSType kUserDataTextCopyright = 0xA9637079u;    // (c)cpy

// Sample data formats.
inline constexpr OSType kRawCodecType = MakeOSType("raw ");  // 8-bit offset sound, or raw pixels
inline constexpr OSType kTwosComplementFormat = MakeOSType("twos");  // signed big-endian
inline constexpr OSType kLittleEndianFormat = MakeOSType("sowt");    // signed little-endian
inline constexpr OSType kSoundNotCompressed = MakeOSType("NONE");    // 8-bit offset binary
inline constexpr OSType kFloat32Format = MakeOSType("fl32");
inline constexpr OSType kFloat64Format = MakeOSType("fl64");
inline constexpr OSType k24BitFormat = MakeOSType("in24");
inline constexpr OSType k32BitFormat = MakeOSType("in32");
inline constexpr OSType kMP3Format = MakeOSType(".mp3");
inline constexpr OSType kWaveMP3Format = MakeWaveFormatType(0x0055);
inline constexpr OSType kMPEG4VisualFormat = MakeOSType("mp4v");
inline constexpr OSType kH264Format = MakeOSType("avc1");
inline constexpr OSType kJPEGFormat = MakeOSType("jpeg");
inline constexpr OSType kTextFormat = MakeOSType("text");
inline constexpr OSType kBGRAPixelFormat = MakeOSType("BGRA");
// Pictures handed out by the export delegate: decoded pixels, laid out as
// the description's pixel format says (see SampleDescription::pixelFormat).
inline constexpr OSType kDecodedPictureFormat = MakeOSType("dpic");

// Description kinds.
inline constexpr OSType kImageDescriptionType = kVideoMediaType;
inline constexpr OSType kSoundDescriptionType = kSoundMediaType;
inline constexpr OSType kTextDescriptionType = kTextMediaType;

// One sample description of a track. Video fields are used by 'vide', sound
// fields by 'soun'. Descriptions are values: whoever holds one owns it.
struct SampleDescription {
    OSType descType = 0;    // kImageDescriptionType, kSoundDescriptionType, ...
    OSType dataFormat = 0;  // the four-character format of the samples
    // Video.
    int32_t width = 0;
    int32_t height = 0;
    int16_t depth = 0;         // bits per pixel when known, else 24
    int32_t pixelFormat = -1;  // layout of kDecodedPictureFormat pictures (platform-private)
    // Sound.
    int16_t channels = 0;
    int16_t sampleSize = 0;     // bits per sample of one channel
    double sampleRate = 0.0;    // sample frames per second
    int32_t bytesPerFrame = 0;  // for PCM: channels * sampleSize / 8
    // Format-specific bytes: the codec's configuration record, if any.
    std::vector<uint8_t> extension;
    // Video of AVI files: the stream's 'strf' bytes as the import keeps them
    // (40-byte bitmap header, then the codec's own bytes); empty elsewhere.
    std::vector<uint8_t> strf;
    // A 'wave' extension for compressed sound; empty for PCM.
    std::vector<uint8_t> waveExtension;
};
