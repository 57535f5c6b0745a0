#pragma once
// AVI sources: reading the stream headers, asking Video for Windows whether
// it decodes the video, and reading frames through the media detector when
// nothing else can.
#include <cstdint>
#include <span>

#include "platform/components.h"
#include "platform/decompress.h"
#include "platform/files.h"
#include "platform/media_types.h"

struct AviHeaderInfo {
    OSType videoCode = 0;   // the first video stream's compression code
    uint16_t audioTag = 0;  // the first audio stream's format tag
};

// Reads the headers of an AVI file. A file that is not RIFF AVI, or whose
// headers end early, leaves what was not found 0; only failing to read the
// file is an error.
OSStatus ReadAviHeaders(const FileSpec& file, AviHeaderInfo* info);
// The same over bytes already in memory: the start of a file of fileSize
// bytes (bytes may be shorter than the file).
void ParseAviHeaders(std::span<const uint8_t> bytes, AviHeaderInfo* info);

// Video for Windows opens the file, finds a video stream, has a driver for
// it and decodes the frame at time 0.
bool VfwCanDecode(const FileSpec& file);

// The direct AVI reader: frames grabbed by time through the media detector.
struct DirectAviReader;
// Null when the detector cannot open the file or has no video of it.
DirectAviReader* DirectAviReaderOpen(const FileSpec& file);
// The output size, and the time step of the export's frame rate (16.16;
// 0: the stream's own rate).
OSStatus DirectAviReaderSetSize(DirectAviReader* r, int32_t width, int32_t height, Fixed frameRate);
// Draws the next frame into dest (k32BGRAPixelFormat, or 32-bit 0-red-green-
// blue), of the output size. kStatusEndOfData past the stream's length,
// kStatusNoCodec when the detector fails.
OSStatus DirectAviReaderDrawNext(DirectAviReader* r, const PixelBuffer& dest);
double DirectAviReaderLength(const DirectAviReader* r);  // seconds
void DirectAviReaderClose(DirectAviReader* r);           // null allowed

// The preview component that makes the bridge available when a preview of
// an AVI file is shown. Registered once per process.
inline constexpr OSType kPreviewComponentType = MakeOSType("pnot");
inline constexpr OSType kPreviewMovieSubType = MakeOSType("moov");
inline constexpr OSType kAviPreviewManufacturer = MakeOSType("TVLA");
inline constexpr const char* kAviPreviewName = "Vezada ZER";
inline constexpr int16_t kPreviewShowDataSelect = 1;
inline constexpr OSStatus kStatusNoPreviewComponent = -2070;
OSStatus RegisterAviPreviewComponent(Component* out);

// Registers the bridge for a code the toolbox lacks and Video for Windows
// decodes in this file; true when it did.
bool RegisterBridgeForFile(const FileSpec& file, OSType code);

// "avi" after the last dot, case ignored.
bool HasAviExtension(const std::string& path);
