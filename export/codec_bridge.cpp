#include "export/codec_bridge.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/vfw.h"
#include "resources/resources.h"

namespace {

// One pixel of the 32-bit destination (bytes 0, red, green, blue) as the
// native word that stores it.
uint32_t Argb(uint8_t r, uint8_t g, uint8_t bl) {
    const uint8_t px[4] = {0, r, g, bl};
    uint32_t v;
    std::memcpy(&v, px, 4);
    return v;
}

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

// Kept by the base decompressor for each frame from begin band to draw band.
struct FrameRecord {
    int32_t width = 0;
    int32_t height = 0;
    int32_t dataSize = 0;
    uint8_t keyFrame = 0;
    uint8_t notDisplayed = 0;
};
static_assert(sizeof(FrameRecord) == 16);

struct Bridge {
    ComponentInstance self = nullptr;
    ComponentInstance delegate = nullptr;  // the base decompressor
    ComponentInstance target = nullptr;
    ImageCodecDrawBandProc drawBand = nullptr;
    std::vector<OSType> pixelFormats;  // wanted destinations, 0-terminated
    std::vector<ColorSpec> colourTable;
    bool begun = false;
    HIC driver = nullptr;
    std::vector<uint8_t> frame;  // the driver's bottom-up output
    // Whether `frame` holds the last picture drawn: not once pictures go
    // straight to the destination.
    bool frameHeld = true;
    OSType destFormat = 0;
    BitmapFormat in, out;
    BitmapFormat topDown;  // `out` with its rows top-down: the destination's order
    BitmapFormat topDown32;  // the same picture as 32-bit 0-red-green-blue words
    std::array<uint32_t, 256> tableArgb{};  // 8-bit output: each entry as a 32-bit pixel
    int32_t rowBytes = 0;
    bool preflighted = false;
};

void endDecompression(Bridge* b) {
    if (!b->begun) return;
    ICSendMessage(b->driver, kICMDecompressFlush, nullptr, nullptr);
    ICSendMessage(b->driver, kICMDecompressEnd, nullptr, nullptr);
    b->begun = false;
}

OSStatus doOpen(Bridge*, ComponentInstance self, void*) {
    auto* b = new (std::nothrow) Bridge;
    if (b == nullptr) return kStatusOutOfMemory;
    b->self = b->target = self;
    OSStatus err = RegisterBaseImageCodec();
    if (err == noErr)
        err = OpenDefaultComponent(kImageDecompressorType, kBaseCodecSubType, &b->delegate);
    if (err != noErr) {
        delete b;
        return err;
    }
    CallComponent(b->delegate, kComponentTargetSelect, self);
    b->pixelFormats = {k24BGPixelFormat, 0};
    SetComponentInstanceStorage(self, b);
    return noErr;
}

OSStatus doClose(Bridge* b, ComponentInstance self, void*) {
    if (b == nullptr) return noErr;
    endDecompression(b);
    ICClose(b->driver);
    CloseComponent(b->delegate);
    delete b;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus doCanDo(Bridge*, ComponentInstance, void*) {
    return 0;  // answered by the routine
}

OSStatus doVersion(Bridge*, ComponentInstance, void*) {
    return kCodecBridgeVersion;
}

OSStatus doTarget(Bridge* b, ComponentInstance, void* params) {
    b->target = static_cast<ComponentInstance>(params);
    return noErr;
}

OSStatus drawBand(void* storage, ImageSubCodecDecompressRecord* record);

OSStatus doWorkFunction(Bridge* b, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    auto* p = static_cast<ImageCodecMPWorkParams*>(params);
    b->drawBand = drawBand;
    p->drawBand = drawBand;
    p->storage = b;
    return CallComponent(b->delegate, kComponentGetMPWorkFunctionSelect, p);
}

OSStatus doCodecInfo(Bridge*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    std::span<const uint8_t> info;
    const OSStatus err =
        moviepackerResources().get(kCodecInfoResourceType, kCodecInfoResourceID, &info);
    if (err != noErr) return err;
    if (info.size() != kCodecInfoSize) return kStatusParamError;
    std::memcpy(params, info.data(), kCodecInfoSize);
    return noErr;
}

// The input format from the description: the AVI bitmap header kept by the
// import, whole, else one made from the size and the code.
void inputFormat(const SampleDescription& d, BitmapFormat* in, bool* hasTable) {
    *in = BitmapFormat{};
    *hasTable = false;
    if (ReadBitmapInfoHeader(d.strf, &in->header)) {
        const std::span<const uint8_t> rest(d.strf.data() + kBitmapInfoHeaderSize,
                                            d.strf.size() - kBitmapInfoHeaderSize);
        in->codecData.assign(rest.begin(), rest.end());
        if (in->header.bitCount == 8) {
            const size_t want = in->header.clrUsed == 0 ? 256 : std::min<size_t>(in->header.clrUsed, 256);
            const size_t have = std::min(want, rest.size() / 4);
            for (size_t i = 0; i < have; ++i)
                std::memcpy(in->colours[i].data(), rest.data() + 4 * i, 4);
            *hasTable = have > 0;
        }
        return;
    }
    in->header.width = d.width;
    in->header.height = d.height;
    in->header.planes = 1;
    in->header.bitCount = 0;
    in->header.compression = FourCCFromOSType(d.dataFormat);
}

OSStatus doPreflight(Bridge* b, ComponentInstance, void* params) {
    auto* pre = static_cast<ImageCodecPreflightParams*>(params);
    if (pre == nullptr || pre->params == nullptr || pre->params->image == nullptr ||
        pre->capabilities == nullptr || pre->subCapabilities == nullptr)
        return kStatusParamError;
    const SampleDescription& d = *pre->params->image;
    if (!b->preflighted) {
        if (d.width <= 0 || d.height <= 0 || d.width > 16384 || d.height > 16384)
            return kStatusParamError;
        bool hasTable = false;
        inputFormat(d, &b->in, &hasTable);
        // The header's own size rules over the description's.
        b->in.header.width = d.width;
        b->in.header.height = d.height;
        b->rowBytes = BridgeRowBytes(d.width);
        BitmapInfoHeader& o = b->out.header;
        o = BitmapInfoHeader{};
        o.width = d.width;
        o.height = d.height;
        o.planes = 1;
        const uint16_t bits = b->in.header.bitCount;
        o.bitCount = (bits == 8 || bits == 16 || bits == 24) ? bits : 24;
        o.compression = 0;
        o.sizeImage = uint32_t(d.height) * uint32_t(b->rowBytes);
        b->colourTable.clear();
        if (o.bitCount == 8) {
            if (hasTable) {
                for (const auto& e : b->in.colours)
                    b->colourTable.push_back({uint16_t(e[2] * 257), uint16_t(e[1] * 257),
                                              uint16_t(e[0] * 257)});
            } else {
                b->colourTable = pre->params->colourTable;
                b->colourTable.resize(256);
            }
            for (size_t i = 0; i < 256; ++i) {
                const ColorSpec& c = b->colourTable[i];
                b->out.colours[i] = {uint8_t(c.blue >> 8), uint8_t(c.green >> 8),
                                     uint8_t(c.red >> 8), 0};
            }
        }
        ICClose(b->driver);
        b->driver = ICLocate(kICTypeVideo, d.dataFormat, b->in, &b->out);
        if (b->driver == nullptr) return kStatusNoCodecDriver;
        b->topDown = b->out;
        b->topDown.header.height = -d.height;
        b->topDown32 = ZeroRgb32Format(d.width, -d.height);
        for (size_t i = 0; i < b->colourTable.size(); ++i) {
            const ColorSpec& c = b->colourTable[i];
            b->tableArgb[i] = Argb(uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8));
        }
        b->frame.assign(size_t(d.height) * size_t(b->rowBytes), 0);
        b->frameHeld = true;
        b->preflighted = true;
    }
    pre->capabilities->wantedPixelSize = 32;
    pre->capabilities->bandMin = d.height;
    pre->capabilities->bandInc = d.height;
    pre->subCapabilities->sequenceSensitive = true;
    pre->subCapabilities->wantedDestinationPixelTypes = b->pixelFormats;
    return noErr;
}

OSStatus doInitialize(Bridge*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    auto* cap = static_cast<ImageSubCodecDecompressCapabilities*>(params);
    cap->decompressRecordSize = sizeof(FrameRecord);
    cap->canAsync = false;
    return noErr;
}

OSStatus doBeginBand(Bridge* b, ComponentInstance, void* params) {
    auto* bb = static_cast<ImageCodecBeginBandParams*>(params);
    if (bb == nullptr || bb->params == nullptr || bb->record == nullptr ||
        bb->record->userDecompressRecord == nullptr || !b->preflighted)
        return kStatusParamError;
    const CodecDecompressParams& p = *bb->params;
    if (!b->begun && b->driver != nullptr) {
        if (ICSendMessage(b->driver, kICMDecompressBegin, &b->in, &b->out) == kICErrOK) {
            b->begun = true;
        } else {
            ICClose(b->driver);
            b->driver = nullptr;
        }
    }
    b->destFormat = p.dest.pixelFormat;
    const int32_t pixelBytes = b->destFormat == k24BGPixelFormat ? 3 : 4;
    if (p.dest.base == nullptr || p.dest.width < b->out.header.width ||
        p.dest.height < b->out.header.height || p.dest.rowBytes < p.dest.width * pixelBytes ||
        p.bandTop < 0 || p.bandLeft < 0 || p.bandTop + b->out.header.height > p.dest.height ||
        p.bandLeft + b->out.header.width > p.dest.width)
        return kStatusParamError;
    bb->record->baseAddr = p.dest.base + ptrdiff_t(p.bandTop) * p.dest.rowBytes +
                           ptrdiff_t(p.bandLeft) * pixelBytes;
    bb->record->rowBytes = p.dest.rowBytes;
    bb->record->codecData = p.data;
    FrameRecord f;
    f.width = b->out.header.width;
    f.height = b->out.header.height;
    f.dataSize = p.dataSize;
    f.keyFrame = p.syncSample ? 1 : 0;
    f.notDisplayed = p.notDisplayed ? 1 : 0;
    std::memcpy(bb->record->userDecompressRecord, &f, sizeof f);
    return noErr;
}

// A row of blue-green-red pixels as 0-red-green-blue. Four pixels are three
// words in and four out; the byte order is reversed in each output word.
void RowBgrToArgbWords(const uint8_t* s, uint8_t* d, int32_t w) {
    int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 4 <= w; x += 4, s += 12, d += 16) {
            const uint32_t a = Load32(s), b = Load32(s + 4), c = Load32(s + 8);
            Store32(d, __builtin_bswap32(a) & 0xFFFFFF00u);
            Store32(d + 4, __builtin_bswap32((a >> 24) | (b << 8)) & 0xFFFFFF00u);
            Store32(d + 8, __builtin_bswap32((b >> 16) | (c << 16)) & 0xFFFFFF00u);
            Store32(d + 12, __builtin_bswap32(c >> 8) & 0xFFFFFF00u);
        }
    }
    for (; x < w; ++x, s += 3, d += 4) Store32(d, Argb(s[2], s[1], s[0]));
}

#if defined(__x86_64__) || defined(__i386__)
// The same with one byte shuffle per four pixels. Each 16-byte load takes
// four bytes past the twelve it uses, so the last pixels go word by word.
__attribute__((target("ssse3"))) void RowBgrToArgbSsse3(const uint8_t* s, uint8_t* d, int32_t w) {
    const __m128i order = _mm_setr_epi8(-1, 2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9);
    int32_t x = 0;
    for (; x + 6 <= w; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x), _mm_shuffle_epi8(v, order));
    }
    RowBgrToArgbWords(s + 3 * x, d + 4 * x, w - x);
}
#endif

void RowBgrToArgb(const uint8_t* s, uint8_t* d, int32_t w) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) return RowBgrToArgbSsse3(s, d, w);
#endif
    RowBgrToArgbWords(s, d, w);
}

// Copies the driver's bottom-up picture top-down into the destination.
void copyFrame(const Bridge& b, uint8_t* dest, int32_t destRowBytes) {
    const int32_t w = b.out.header.width, h = b.out.header.height;
    const int bits = b.out.header.bitCount;
    // 24-bit rows are the buffer's row bytes apart; narrower output keeps
    // the driver's own row length.
    const int32_t srcRow = bits == 24 ? b.rowBytes : DibRowBytes(w, bits);
    const bool to24 = b.destFormat == k24BGPixelFormat;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = b.frame.data() + ptrdiff_t(h - 1 - y) * srcRow;
        uint8_t* d = dest + ptrdiff_t(y) * destRowBytes;
        if (bits == 24) {
            if (to24) {
                std::memcpy(d, s, size_t(w) * 3);
            } else {
                RowBgrToArgb(s, d, w);
            }
        } else if (bits == 16) {
            for (int32_t x = 0; x < w; ++x, s += 2) {
                const uint32_t v = uint32_t(s[0]) | (uint32_t(s[1]) << 8);
                const uint32_t r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
                const uint8_t r = uint8_t((r5 << 3) | (r5 >> 2)), g = uint8_t((g5 << 3) | (g5 >> 2)),
                              bl = uint8_t((b5 << 3) | (b5 >> 2));
                if (to24) {
                    d[0] = bl, d[1] = g, d[2] = r;
                    d += 3;
                } else {
                    Store32(d, Argb(r, g, bl));
                    d += 4;
                }
            }
        } else if (to24) {
            for (int32_t x = 0; x < w; ++x, d += 3) {
                const ColorSpec& c = b.colourTable[s[x]];
                d[0] = uint8_t(c.blue >> 8), d[1] = uint8_t(c.green >> 8), d[2] = uint8_t(c.red >> 8);
            }
        } else {
            for (int32_t x = 0; x < w; ++x, d += 4) Store32(d, b.tableArgb[s[x]]);
        }
    }
}

OSStatus drawBand(void* storage, ImageSubCodecDecompressRecord* record) {
    auto* b = static_cast<Bridge*>(storage);
    if (b == nullptr || record == nullptr || record->userDecompressRecord == nullptr)
        return kStatusParamError;
    if (b->driver == nullptr) return kStatusCantDecodeVideo;
    FrameRecord f;
    std::memcpy(&f, record->userDecompressRecord, sizeof f);
    if (f.dataSize < 0 || (f.dataSize > 0 && record->codecData == nullptr))
        return kStatusParamError;
    uint32_t flags = 0;
    if (!f.keyFrame) flags |= kICDecompressNotKeyFrame;
    if (f.notDisplayed) flags |= kICDecompressHurryUp;
    const bool drawn = f.dataSize > 0 && !f.notDisplayed;
    // A 24-bit picture for a destination whose rows are as long as the
    // driver's own: the driver draws it there, top-down, in the
    // destination's pixel format, with no frame buffer or copy between.
    const BitmapFormat* direct = nullptr;
    if (b->out.header.bitCount == 24) {
        if (b->destFormat == k24BGPixelFormat && record->rowBytes == b->rowBytes)
            direct = &b->topDown;
        else if (b->destFormat != k24BGPixelFormat && record->rowBytes == b->out.header.width * 4)
            direct = &b->topDown32;
    }
    if (direct != nullptr) {
        const int32_t rc = ICDecompress(b->driver, flags, b->in, record->codecData, f.dataSize,
                                        *direct, record->baseAddr);
        if (rc != kICErrOK) return rc;
        if (drawn) b->frameHeld = false;
        return noErr;
    }
    const int32_t rc = ICDecompress(b->driver, flags, b->in, record->codecData, f.dataSize,
                                    b->out, b->frame.data());
    if (rc != kICErrOK) return rc;
    if (drawn) b->frameHeld = true;
    // A dropped frame shows the last picture again, when the frame buffer
    // has it; drawn straight to the destination, it is already there.
    if (!f.notDisplayed && (f.dataSize > 0 || b->frameHeld))
        copyFrame(*b, record->baseAddr, record->rowBytes);
    return noErr;
}

OSStatus doDrawBand(Bridge* b, ComponentInstance, void* params) {
    return drawBand(b, static_cast<ImageSubCodecDecompressRecord*>(params));
}

OSStatus doEndBand(Bridge* b, ComponentInstance, void* params) {
    auto* e = static_cast<ImageCodecEndBandParams*>(params);
    if (e == nullptr) return kStatusParamError;
    if (e->result != noErr) endDecompression(b);
    return noErr;
}

OSStatus doQueueStarting(Bridge*, ComponentInstance, void*) {
    return noErr;
}

OSStatus doQueueStopping(Bridge* b, ComponentInstance, void*) {
    endDecompression(b);
    return noErr;
}

constexpr std::array<SelectorEntry<Bridge>, 14> kSelectors{{
    {kComponentOpenSelect, doOpen},
    {kComponentCloseSelect, doClose},
    {kComponentCanDoSelect, doCanDo},
    {kComponentVersionSelect, doVersion},
    {kComponentTargetSelect, doTarget},
    {kComponentGetMPWorkFunctionSelect, doWorkFunction},
    {kImageCodecGetCodecInfoSelect, doCodecInfo},
    {kImageCodecPreflightSelect, doPreflight},
    {kImageCodecInitializeSelect, doInitialize},
    {kImageCodecBeginBandSelect, doBeginBand},
    {kImageCodecDrawBandSelect, doDrawBand},
    {kImageCodecEndBandSelect, doEndBand},
    {kImageCodecQueueStartingSelect, doQueueStarting},
    {kImageCodecQueueStoppingSelect, doQueueStopping},
}};

OSStatus bridgeRoutine(ComponentInstance self, int16_t selector, void* params) {
    if (selector == kComponentCanDoSelect) {
        if (params == nullptr) return kStatusParamError;
        const int16_t asked = *static_cast<const int16_t*>(params);
        if (SelectorTableHas(kSelectors, asked)) return 1;
        auto* b = static_cast<Bridge*>(GetComponentInstanceStorage(self));
        return b != nullptr ? CallComponent(b->delegate, kComponentCanDoSelect, params) : 0;
    }
    return DispatchSelector(kSelectors, self, selector, params);
}

}  // namespace

int32_t BridgeRowBytes(int32_t width) {
    return ((width + 1) * 3) & ~3;
}

OSStatus RegisterCodecBridge(OSType code, Component* out) {
    ComponentDescription d{kImageDecompressorType, code, kCodecBridgeManufacturer,
                           kCodecBridgeFlags, 0};
    return RegisterComponent(d, bridgeRoutine, kCodecBridgeName, out);
}
