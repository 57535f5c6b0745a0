#pragma once
// Image decompressor components ('imdc'): codecs the movie toolbox finds by
// the format code of a sample description, and the base decompressor
// ('imdc'/'base') that does the band and scheduling work for them.
//
// The toolbox decodes the formats of the vfw.h model itself; for a format it
// lacks, a component registered with that code as subtype takes over. For
// each frame it then calls the component's band operations in order:
// preflight (first frame only; later frames only refill the capabilities),
// initialize, begin band, draw band, end band. Whole frames are drawn in one
// band into a destination of the pixel format the component asks for
// (k24BGPixelFormat when it lists it, else 32-bit 0-red-green-blue).
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/components.h"
#include "platform/decompress.h"
#include "platform/media_types.h"
#include "platform/status.h"

inline constexpr OSType kImageDecompressorType = MakeOSType("imdc");
inline constexpr OSType kBaseCodecSubType = MakeOSType("base");
inline constexpr OSType k24BGPixelFormat = MakeOSType("24BG");  // blue, green, red
inline constexpr OSType k32RGBPixelFormat = 32;  // 0, red, green, blue (classic 32-bit)

inline constexpr int16_t kComponentTargetSelect = -6;             // ComponentInstance
inline constexpr int16_t kComponentGetMPWorkFunctionSelect = -8;  // ImageCodecMPWorkParams
inline constexpr int16_t kImageCodecGetCodecInfoSelect = 0x0000;  // uint8_t[72]
inline constexpr int16_t kImageCodecPreflightSelect = 0x0200;     // ImageCodecPreflightParams
inline constexpr int16_t kImageCodecInitializeSelect = 0x0201;    // ImageSubCodecDecompressCapabilities
inline constexpr int16_t kImageCodecBeginBandSelect = 0x0202;     // ImageCodecBeginBandParams
inline constexpr int16_t kImageCodecDrawBandSelect = 0x0203;      // ImageSubCodecDecompressRecord
inline constexpr int16_t kImageCodecEndBandSelect = 0x0204;       // ImageCodecEndBandParams
inline constexpr int16_t kImageCodecQueueStartingSelect = 0x0205;  // none
inline constexpr int16_t kImageCodecQueueStoppingSelect = 0x0206;  // none
inline constexpr size_t kCodecInfoSize = 72;

// A colour of an 8-bit picture's table: 16-bit components.
struct ColorSpec {
    uint16_t red = 0, green = 0, blue = 0;
};

// What the toolbox asks a codec to decompress: the image description (with
// the AVI 'strf' bytes when the import kept them), its colour table, the
// destination and the current frame.
struct CodecDecompressParams {
    const SampleDescription* image = nullptr;
    std::vector<ColorSpec> colourTable;  // 8-bit images only
    PixelBuffer dest;                     // its pixelFormat is k24BGPixelFormat or k32RGBPixelFormat
    int32_t bandTop = 0, bandLeft = 0;    // where the band starts in the destination
    const uint8_t* data = nullptr;
    int32_t dataSize = 0;
    bool syncSample = true;
    bool notDisplayed = false;  // decode for later frames, do not draw
};

struct CodecCapabilities {
    int16_t wantedPixelSize = 0;
    int32_t bandMin = 0, bandInc = 0;
};

struct ImageSubCodecDecompressCapabilities {
    int32_t decompressRecordSize = 0;
    bool canAsync = false;
    bool sequenceSensitive = false;
    std::vector<OSType> wantedDestinationPixelTypes;  // ends at a 0 entry
};

struct ImageCodecPreflightParams {
    CodecDecompressParams* params = nullptr;
    CodecCapabilities* capabilities = nullptr;
    ImageSubCodecDecompressCapabilities* subCapabilities = nullptr;
};

// One frame between begin band and draw band.
struct ImageSubCodecDecompressRecord {
    uint8_t* baseAddr = nullptr;  // the band's first destination pixel
    int32_t rowBytes = 0;
    const uint8_t* codecData = nullptr;
    void* userDecompressRecord = nullptr;  // decompressRecordSize bytes, zeroed per frame
    OSStatus result = noErr;
};

struct ImageCodecBeginBandParams {
    CodecDecompressParams* params = nullptr;
    ImageSubCodecDecompressRecord* record = nullptr;
    int32_t flags = 0;
};

struct ImageCodecEndBandParams {
    ImageSubCodecDecompressRecord* record = nullptr;
    OSStatus result = noErr;
    int32_t flags = 0;
};

using ImageCodecDrawBandProc = OSStatus (*)(void* storage, ImageSubCodecDecompressRecord* record);
struct ImageCodecMPWorkParams {
    ImageCodecDrawBandProc drawBand = nullptr;  // in: the sub-codec's own
    void* storage = nullptr;                    // in
    void* workFunction = nullptr;               // out: none on this one-threaded platform
};

// Registers the base decompressor once for the process.
OSStatus RegisterBaseImageCodec();

// The image decompressor component registered for a format, or null.
Component FindImageCodec(OSType format);

// Decodes the frames of one image description through the component
// registered for its format, as the toolbox does for formats it lacks.
class ComponentFrameDecoder {
  public:
    ~ComponentFrameDecoder();
    // kStatusNoCodec when no component serves the format.
    static OSStatus Open(const SampleDescription& desc, OSType destFormat,
                         std::unique_ptr<ComponentFrameDecoder>* out);
    // Decodes one sample into the frame buffer (width x height of the
    // description, rowBytes() apart, in destFormat()). A sample not to be
    // displayed is decoded for later frames only.
    OSStatus Decode(const uint8_t* data, int32_t size, bool syncSample, bool notDisplayed);
    // Forget the sequence (after a seek): ends the codec's decompression.
    void Reset();
    const uint8_t* pixels() const { return m_pixels.data(); }
    int32_t rowBytes() const { return m_dest.rowBytes; }
    OSType destFormat() const { return m_dest.pixelFormat; }

  private:
    ComponentFrameDecoder() = default;
    SampleDescription m_desc;
    ComponentInstance m_codec = nullptr;
    CodecDecompressParams m_params;
    PixelBuffer m_dest;
    std::vector<uint8_t> m_pixels;
    std::vector<uint8_t> m_record;
    bool m_preflighted = false;
};
