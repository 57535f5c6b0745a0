#include "export/presentation.h"

#include "export/settings.h"
#include "platform/cinepak_encoder.h"
#include "platform/decompress.h"
#include "platform/graphics_import.h"

namespace {

constexpr FourCC kPres = fourCC("PRES");
constexpr FourCC kSize = fourCC("size");
constexpr FourCC kControls = fourCC("cont");
constexpr FourCC kAngle = fourCC("angl");
constexpr FourCC kBack = fourCC("back");
constexpr FourCC kColour = fourCC("rgb ");
constexpr FourCC kImage = fourCC("imag");
constexpr FourCC kPosition = fourCC("pos ");
constexpr FourCC kRefType = fourCC("drft");
constexpr FourCC kRef = fourCC("dref");
constexpr FourCC kVideo = fourCC("vid ");

constexpr uint16_t kKindStage = 1, kKindVideo = 2, kKindPicture = 3;

struct LayerRecord {
    int16_t x = 0, y = 0, width = 0, height = 0;
    uint16_t kind = 0, number = 0, state = 0;
    uint16_t flags = 1;
};

uint32_t pair(uint16_t low, uint16_t high) {
    return uint32_t(low) | (uint32_t(high) << 16);
}

void handOver(MovieWriter* w, const LayerRecord& r, const uint8_t* picture) {
    MovieWriterPictureItem item{};
    item.values[0] = pair(uint16_t(r.x), uint16_t(r.y));
    item.values[1] = pair(uint16_t(r.width), uint16_t(r.height));
    item.values[2] = pair(0, r.kind);
    item.values[3] = pair(r.number, r.state);
    item.flags = r.flags;
    item.nestedChunk = nullptr;
    item.pictureData = picture;
    MovieWriterSetProperty(w, kPropPictureItem, intptr_t(&item));
}

// Two signed 16-bit values (first in the high half of the 32-bit read).
bool readPair(const AtomContainer& c, AtomRef parent, FourCC type, int16_t* a, int16_t* b) {
    uint32_t v = 0;
    if (parent == kAtomNone || c.readU32(parent, type, 1, &v) != noErr) return false;
    *a = int16_t(v >> 16);
    *b = int16_t(v & 0xFFFF);
    return true;
}

void put16(std::vector<uint8_t>& o, size_t at, uint32_t v) {
    o[at] = uint8_t(v >> 8);
    o[at + 1] = uint8_t(v);
}

}  // namespace

OSStatus encodeLayerPicture(const DataReference& picture, int width, int height, int degrees,
                            uint8_t encoding, std::vector<uint8_t>* out) {
    if (out == nullptr || width <= 0 || height <= 0) return kStatusParamError;
    int tw = 0, th = 0;
    turnedSize(width, height, degrees, &tw, &th);
    if (tw <= 0 || th <= 0 || tw > 4096 || th > 4096) return kStatusParamError;
    GraphicsImporter gi = nullptr;
    OSStatus err = GraphicsImportOpen(picture, &gi);
    if (err != noErr) return err;
    int32_t nw = 0, nh = 0;
    err = GraphicsImportGetNaturalBounds(gi, &nw, &nh);
    std::vector<uint8_t> pixels(size_t(tw) * size_t(th) * 2, 0);
    if (err == noErr) {
        const MatrixRecord m = FrameMatrix(nw, nh, width, height, degrees, nullptr, nullptr);
        const PixelBuffer dest{pixels.data(), tw, th, tw * 2, k16BE565PixelFormat};
        err = GraphicsImportDraw(gi, dest, &m, kCodecMaxQuality);
    }
    GraphicsImportClose(gi);
    if (err != noErr) return err;

    std::vector<uint8_t> body;
    if (encoding == kPictureEncodingRaw) {
        body = pixels;
    } else {
        // The compressor takes 32-bit pixels; widen the 5-6-5 picture.
        std::vector<uint8_t> bgra(size_t(tw) * size_t(th) * 4);
        for (size_t i = 0; i < size_t(tw) * size_t(th); ++i) {
            const uint16_t p = uint16_t((pixels[2 * i] << 8) | pixels[2 * i + 1]);
            const uint8_t r = uint8_t((p >> 11) << 3), g = uint8_t(((p >> 5) & 63) << 2),
                          b = uint8_t((p & 31) << 3);
            bgra[4 * i] = uint8_t(b | b >> 5);
            bgra[4 * i + 1] = uint8_t(g | g >> 6);
            bgra[4 * i + 2] = uint8_t(r | r >> 5);
            bgra[4 * i + 3] = 255;
        }
        CinepakEncoder enc;
        if ((err = enc.open(tw, th, kCinepakMaxQuality, 0, false)) != noErr) return err;
        body.resize(enc.maxCompressedSize());
        size_t written = 0;
        bool key = false;
        if ((err = enc.compress(bgra, size_t(tw) * 4, true, body, &written, &key)) != noErr)
            return err;
        body.resize(written);
    }
    std::vector<uint8_t>& o = *out;
    o.assign(kPictureHeaderBytes, 0);
    const uint32_t total = uint32_t(kPictureHeaderBytes + body.size());
    put16(o, 0, total >> 16);
    put16(o, 2, total & 0xFFFF);
    put16(o, 4, uint32_t(tw));
    put16(o, 6, uint32_t(th));
    put16(o, 8, uint32_t(2 * tw));
    put16(o, 10, 0x0400);  // direct colour
    o[12] = 16;            // pixel size
    o[13] = 2;             // version
    o[14] = 0x0B;
    o[15] = 0x01;
    o[20] = 5;  // red, green, blue bits
    o[21] = 6;
    o[22] = 5;
    o.insert(o.end(), body.begin(), body.end());
    return noErr;
}

OSStatus layOutPresentation(MovieWriter* w, const AtomContainer* holder) {
    if (w == nullptr || holder == nullptr) return noErr;
    const AtomContainer& c = *holder;
    const AtomRef pres = c.findChild(kAtomRoot, kPres, 1);
    if (pres == kAtomNone) return noErr;

    int16_t a = 0, b = 0;
    if (readPair(c, pres, kSize, &a, &b)) {
        const uint16_t size[2] = {uint16_t(a), uint16_t(b)};
        MovieWriterSetProperty(w, kPropDisplaySize, intptr_t(size));
    }
    const AtomRef cont = c.findChild(pres, kControls, 1);
    if (cont != kAtomNone && c.leafData(cont).size() == 1)
        MovieWriterSetProperty(w, kPropFullScreen, c.leafData(cont)[0] == 0 ? 1 : 0);
    int16_t rotation = 0;
    c.readI16(pres, kAngle, 1, &rotation);

    const AtomRef back = c.findChild(pres, kBack, 1);
    const AtomRef image = c.findChild(back, kImage, 1);
    const AtomRef video = c.findChild(back, kVideo, 1);
    if (image != kAtomNone || video != kAtomNone) {
        LayerRecord stage;
        stage.kind = kKindStage;
        stage.number = 1;
        handOver(w, stage, nullptr);
    }
    if (image != kAtomNone) {
        LayerRecord r;
        r.kind = kKindPicture;
        r.number = 2;
        r.state = 1;
        int16_t x = 0, y = 0, pw = 0, ph = 0;
        if (readPair(c, image, kPosition, &x, &y) && readPair(c, image, kSize, &pw, &ph)) {
            r.x = x;
            r.y = y;
            r.width = pw;
            r.height = ph;
        }
        DataReference ref;
        uint32_t refType = 0;
        c.readU32(image, kRefType, 1, &refType);
        ref.type = refType;
        const std::span<const uint8_t> d = c.leafData(c.findChild(image, kRef, 1));
        ref.data.assign(d.begin(), d.end());
        std::vector<uint8_t> picture;
        if (encodeLayerPicture(ref, r.width, r.height, rotation, kPictureEncodingCinepak,
                               &picture) == noErr)
            handOver(w, r, picture.data());
    }
    if (video != kAtomNone) {
        LayerRecord r;
        r.kind = kKindVideo;
        r.number = 3;
        r.state = 1;
        readPair(c, video, kPosition, &r.x, &r.y);
        readPair(c, video, kSize, &r.width, &r.height);
        const int16_t rect[4] = {r.y, r.x, int16_t(r.y + r.height), int16_t(r.x + r.width)};
        MovieWriterSetProperty(w, kPropScreenRect, intptr_t(rect));
        handOver(w, r, nullptr);
    }
    const AtomRef rgb = c.findChild(back, kColour, 1);
    if (rgb != kAtomNone && c.leafData(rgb).size() == 6) {
        const std::span<const uint8_t> d = c.leafData(rgb);
        const uint8_t colour[3] = {d[0], d[2], d[4]};
        MovieWriterSetProperty(w, kPropBackgroundColour, intptr_t(colour));
    }
    return noErr;
}
