#pragma once
// Video for Windows: the frame decompressor drivers ("vidc" handlers) and
// the AVI file reading the program asks of it.
//
// Platform model. The platform the program was written for decoded AVI
// video through two separate libraries, and the program has roads for each
// case. Here every decoder is FFmpeg's, but the sets are kept apart so that
// each road runs on real files:
//
//  - The movie toolbox (movies.h, decompress.h, the export delegate) decodes
//    every format FFmpeg decodes EXCEPT, in AVI files, the codes of
//    kVfwVideoCodes and kDetectorVideoCodes below, unless an image
//    decompressor component ('imdc' with the code as subtype,
//    codec_component.h) is registered for the code; it then decodes through
//    that component. The same codes in other containers (Windows Media in
//    ASF, say) the toolbox decodes itself.
//  - Video for Windows (this header) decodes exactly kVfwVideoCodes, by the
//    four-character code of the stream, behind the driver messages its
//    callers send: locate, begin, decompress (hurry-up and not-a-key-frame
//    flags honoured), end. Its output is a bottom-up device-independent
//    bitmap of 8 (through the output's colour table), 16 (5-5-5) or 24 bits,
//    or 32 bits as 0, red, green, blue (ZeroRgb32Format).
//  - The media detector (media_detector.h) decodes only what neither of the
//    others does in an AVI: kDetectorVideoCodes.
//  - AVI files with MP3 sound open with that sound imported badly: the track
//    reports the AVI's 'ms' 0x0055 description and the duration the AVI's
//    stream header states, whatever the MP3 frames hold.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/media_types.h"
#include "platform/status.h"

// Codes only Video for Windows decodes: MPEG-4 part 2 (DivX, Xvid), the
// three Microsoft MPEG-4 versions and Windows Media Video 7 and 8.
inline constexpr std::array<OSType, 17> kVfwVideoCodes{
    MakeOSType("DIVX"), MakeOSType("divx"), MakeOSType("DX50"), MakeOSType("dx50"),
    MakeOSType("XVID"), MakeOSType("xvid"), MakeOSType("DIV3"), MakeOSType("div3"),
    MakeOSType("DIV4"), MakeOSType("div4"), MakeOSType("MP42"), MakeOSType("MP43"),
    MakeOSType("mp43"), MakeOSType("MPG4"), MakeOSType("MPG3"), MakeOSType("WMV1"),
    MakeOSType("WMV2")};
// Codes of AVI video only the media detector decodes: H.264, HEVC, VP9.
inline constexpr std::array<OSType, 8> kDetectorVideoCodes{
    MakeOSType("H264"), MakeOSType("h264"), MakeOSType("X264"), MakeOSType("x264"),
    MakeOSType("HEVC"), MakeOSType("H265"), MakeOSType("hevc"), MakeOSType("VP90")};

bool IsVfwVideoCode(OSType code);
bool IsDetectorVideoCode(OSType code);

// A code as AVI stores it (first character in the lowest byte), and back.
constexpr OSType OSTypeFromFourCC(uint32_t fourcc) {
    return ((fourcc & 0xFF) << 24) | (((fourcc >> 8) & 0xFF) << 16) |
           (((fourcc >> 16) & 0xFF) << 8) | (fourcc >> 24);
}
constexpr uint32_t FourCCFromOSType(OSType t) {
    return OSTypeFromFourCC(t);  // the swap is its own inverse
}

// The 40-byte bitmap information header (little-endian on disk).
inline constexpr size_t kBitmapInfoHeaderSize = 40;
struct BitmapInfoHeader {
    uint32_t size = kBitmapInfoHeaderSize;
    int32_t width = 0;
    int32_t height = 0;  // positive: bottom-up rows
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;  // 0: uncompressed, else a FourCC
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};
// false when fewer than 40 bytes are given.
bool ReadBitmapInfoHeader(std::span<const uint8_t> bytes, BitmapInfoHeader* out);
void WriteBitmapInfoHeader(const BitmapInfoHeader& h, std::span<uint8_t, kBitmapInfoHeaderSize> out);

// A bitmap format as exchanged with drivers: the header, a colour table
// (blue, green, red, reserved per entry) and any codec bytes that followed
// the header in the stream format.
struct BitmapFormat {
    BitmapInfoHeader header;
    std::array<std::array<uint8_t, 4>, 256> colours{};
    std::vector<uint8_t> codecData;
};
// Bytes per row of an uncompressed bitmap: whole 32-bit words.
int32_t DibRowBytes(int32_t width, int32_t bitCount);

// Uncompressed output: plain rows (BI_RGB), or 32-bit words laid out by
// the three channel masks (red, green, blue) kept in the first three
// colour entries (BI_BITFIELDS).
inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiBitfields = 3;
// A 32-bit output whose pixels are the bytes 0, red, green, blue: what a
// classic 32-bit destination holds, so a driver can draw into it directly.
// Height as given (negative: top-down rows).
BitmapFormat ZeroRgb32Format(int32_t width, int32_t height);
bool IsZeroRgb32Format(const BitmapFormat& f);

// Driver handles and messages.
struct VfwDriverRecord;
using HIC = VfwDriverRecord*;
inline constexpr OSType kICTypeVideo = MakeOSType("vidc");
inline constexpr uint32_t kICMDecompressBegin = 0x400C;
inline constexpr uint32_t kICMDecompress = 0x400D;
inline constexpr uint32_t kICMDecompressEnd = 0x400E;
// Sent before every end: forget the reference pictures of the sequence.
inline constexpr uint32_t kICMDecompressFlush = 0x4025;
inline constexpr uint32_t kICDecompressHurryUp = 0x80000000u;
inline constexpr uint32_t kICDecompressNotKeyFrame = 0x08000000u;
inline constexpr int32_t kICErrOK = 0;
inline constexpr int32_t kICErrUnsupported = -1;
inline constexpr int32_t kICErrBadFormat = -2;
inline constexpr int32_t kICErrMemory = -3;
inline constexpr int32_t kICErrBadParam = -6;
inline constexpr int32_t kICErrError = -100;

// A decompressor of `handler` (a code in kVfwVideoCodes, case ignored as
// drivers do) for that input and output, or null. out may be null: any
// output the driver offers.
HIC ICLocate(OSType type, OSType handler, const BitmapFormat& in, const BitmapFormat* out);
// Begin (both formats), end and flush messages; kICErrUnsupported otherwise.
int32_t ICSendMessage(HIC ic, uint32_t message, const BitmapFormat* in, const BitmapFormat* out);
// Decodes one frame into `buffer` (out.header.height rows of
// DibRowBytes(width, out bitCount), bottom-up). A hurried frame is decoded
// for later frames but not written; an empty frame repeats the last one.
int32_t ICDecompress(HIC ic, uint32_t flags, const BitmapFormat& in, const uint8_t* data,
                     int32_t size, const BitmapFormat& out, uint8_t* buffer);
void ICClose(HIC ic);

// AVI file reading: open a file, take a stream of a type, get frames.
struct VfwAviFileRecord;
struct VfwAviStreamRecord;
struct VfwGetFrameRecord;
using PAVIFILE = VfwAviFileRecord*;
using PAVISTREAM = VfwAviStreamRecord*;
using PGETFRAME = VfwGetFrameRecord*;
inline constexpr OSType kStreamTypeVideo = MakeOSType("vids");
inline constexpr OSType kStreamTypeAudio = MakeOSType("auds");

// Balanced pairs; the library counts its users.
void AVIFileInit();
void AVIFileExit();
// kStatusFileNotFound, kStatusNoMovieFound for anything that is not AVI.
OSStatus AVIFileOpenRead(const std::string& path, PAVIFILE* file);
void AVIFileRelease(PAVIFILE file);
// The index-th stream (from 0) of that type; kStatusNotFound when none.
OSStatus AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, OSType type, int32_t index);
void AVIStreamRelease(PAVISTREAM stream);
// A frame getter over a video stream through its driver; null when no
// driver decodes the stream.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream);
// The decoded frame of sample `position` as a packed bitmap (header then
// bottom-up 24-bit rows), valid until the next call; null on failure.
const uint8_t* AVIStreamGetFrame(PGETFRAME frames, int32_t position);
void AVIStreamGetFrameClose(PGETFRAME frames);
