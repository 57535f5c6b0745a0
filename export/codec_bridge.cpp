#include "export/codec_bridge.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/vfw.h"
#include "resources/resources.h"

namespace {

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
    OSType destFormat = 0;
    BitmapFormat in, out;
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
        b->frame.assign(size_t(d.height) * size_t(b->rowBytes), 0);
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
                for (int32_t x = 0; x < w; ++x, s += 3, d += 4) {
                    d[0] = 0;
                    d[1] = s[2];
                    d[2] = s[1];
                    d[3] = s[0];
                }
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
                    d[0] = 0, d[1] = r, d[2] = g, d[3] = bl;
                    d += 4;
                }
            }
        } else {
            for (int32_t x = 0; x < w; ++x) {
                const ColorSpec& c = b.colourTable[s[x]];
                const uint8_t r = uint8_t(c.red >> 8), g = uint8_t(c.green >> 8),
                              bl = uint8_t(c.blue >> 8);
                if (to24) {
                    d[0] = bl, d[1] = g, d[2] = r;
                    d += 3;
                } else {
                    d[0] = 0, d[1] = r, d[2] = g, d[3] = bl;
                    d += 4;
                }
            }
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
    const int32_t rc = ICDecompress(b->driver, flags, b->in, record->codecData, f.dataSize,
                                    b->out, b->frame.data());
    if (rc != kICErrOK) return rc;
    if (!f.notDisplayed) copyFrame(*b, record->baseAddr, record->rowBytes);
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
