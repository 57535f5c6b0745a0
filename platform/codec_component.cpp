#include "platform/codec_component.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The base decompressor keeps its target; multiprocessing is not offered
// here, so its work function is none and bands run on the caller's thread.
struct BaseCodec {
    ComponentInstance target = nullptr;
};

OSStatus baseOpen(BaseCodec*, ComponentInstance self, void*) {
    auto* b = new (std::nothrow) BaseCodec;
    if (b == nullptr) return kStatusOutOfMemory;
    b->target = self;
    SetComponentInstanceStorage(self, b);
    return noErr;
}
OSStatus baseClose(BaseCodec* b, ComponentInstance self, void*) {
    delete b;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}
OSStatus baseCanDo(BaseCodec*, ComponentInstance, void*) {
    return 0;  // answered from the table
}
OSStatus baseVersion(BaseCodec*, ComponentInstance, void*) {
    return 0x00020001;
}
OSStatus baseTarget(BaseCodec* b, ComponentInstance, void* params) {
    b->target = static_cast<ComponentInstance>(params);
    return noErr;
}
OSStatus baseWorkFunction(BaseCodec*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    static_cast<ImageCodecMPWorkParams*>(params)->workFunction = nullptr;
    return noErr;
}

constexpr std::array<SelectorEntry<BaseCodec>, 6> kBaseSelectors{{
    {kComponentOpenSelect, baseOpen},
    {kComponentCloseSelect, baseClose},
    {kComponentCanDoSelect, baseCanDo},
    {kComponentVersionSelect, baseVersion},
    {kComponentTargetSelect, baseTarget},
    {kComponentGetMPWorkFunctionSelect, baseWorkFunction},
}};

OSStatus baseRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kBaseSelectors, self, selector, params);
}

}  // namespace

OSStatus RegisterBaseImageCodec() {
    static bool done = false;
    if (done) return noErr;
    ComponentDescription d{kImageDecompressorType, kBaseCodecSubType, MakeOSType("appl"), 0, 0};
    const OSStatus err = RegisterComponent(d, baseRoutine, "Base image decompressor", nullptr);
    done = err == noErr;
    return err;
}

Component FindImageCodec(OSType format) {
    if (format == 0 || format == kBaseCodecSubType) return nullptr;
    ComponentDescription want{kImageDecompressorType, format, 0, 0, 0};
    return FindNextComponent(nullptr, want);
}

ComponentFrameDecoder::~ComponentFrameDecoder() {
    if (m_codec != nullptr) {
        CallComponent(m_codec, kImageCodecQueueStoppingSelect, nullptr);
        CloseComponent(m_codec);
    }
}

OSStatus ComponentFrameDecoder::Open(const SampleDescription& desc, OSType destFormat,
                                     std::unique_ptr<ComponentFrameDecoder>* out) {
    if (out == nullptr || desc.width <= 0 || desc.height <= 0 || desc.width > 16384 ||
        desc.height > 16384)
        return kStatusParamError;
    Component c = FindImageCodec(desc.dataFormat);
    if (c == nullptr) return kStatusNoCodec;
    if (OSStatus err = RegisterBaseImageCodec(); err != noErr) return err;
    auto d = std::unique_ptr<ComponentFrameDecoder>(new (std::nothrow) ComponentFrameDecoder);
    if (!d) return kStatusOutOfMemory;
    d->m_desc = desc;
    if (OSStatus err = OpenComponent(c, &d->m_codec); err != noErr) {
        d->m_codec = nullptr;
        return err;
    }
    d->m_dest.width = desc.width;
    d->m_dest.height = desc.height;
    d->m_dest.pixelFormat = destFormat;
    d->m_params.image = &d->m_desc;
    *out = std::move(d);
    return noErr;
}

OSStatus ComponentFrameDecoder::Decode(const uint8_t* data, int32_t size, bool syncSample,
                                       bool notDisplayed) {
    if (data == nullptr && size != 0) return kStatusParamError;
    CodecDecompressParams& p = m_params;
    if (!m_preflighted) {
        // The first frame settles the destination: 24BG when the codec lists
        // it and it was asked for, else 32-bit.
        CodecCapabilities caps;
        ImageSubCodecDecompressCapabilities sub;
        ImageCodecPreflightParams pre{&p, &caps, &sub};
        if (OSStatus err = CallComponent(m_codec, kImageCodecPreflightSelect, &pre); err != noErr)
            return err;
        if (OSStatus err = CallComponent(m_codec, kImageCodecInitializeSelect, &sub); err != noErr)
            return err;
        const bool lists24 = std::find(sub.wantedDestinationPixelTypes.begin(),
                                       sub.wantedDestinationPixelTypes.end(),
                                       k24BGPixelFormat) != sub.wantedDestinationPixelTypes.end();
        if (m_dest.pixelFormat != k24BGPixelFormat || !lists24) m_dest.pixelFormat = k32RGBPixelFormat;
        const int32_t bpp = m_dest.pixelFormat == k24BGPixelFormat ? 3 : 4;
        m_dest.rowBytes = m_desc.width * bpp;
        m_pixels.assign(size_t(m_dest.rowBytes) * size_t(m_desc.height), 0);
        m_dest.base = m_pixels.data();
        m_record.assign(size_t(std::clamp(sub.decompressRecordSize, 0, 4096)), 0);
        p.dest = m_dest;
        m_preflighted = true;
    }
    p.data = data;
    p.dataSize = size;
    p.syncSample = syncSample;
    p.notDisplayed = notDisplayed;
    std::fill(m_record.begin(), m_record.end(), uint8_t(0));
    ImageSubCodecDecompressRecord r;
    r.rowBytes = m_dest.rowBytes;
    r.codecData = data;
    r.userDecompressRecord = m_record.empty() ? nullptr : m_record.data();
    ImageCodecBeginBandParams begin{&p, &r, 0};
    OSStatus err = CallComponent(m_codec, kImageCodecBeginBandSelect, &begin);
    if (err == noErr) err = CallComponent(m_codec, kImageCodecDrawBandSelect, &r);
    ImageCodecEndBandParams end{&r, err, 0};
    CallComponent(m_codec, kImageCodecEndBandSelect, &end);
    return err;
}

void ComponentFrameDecoder::Reset() {
    if (m_codec != nullptr) CallComponent(m_codec, kImageCodecQueueStoppingSelect, nullptr);
}
