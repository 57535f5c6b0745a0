#include "export/avi_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "export/codec_bridge.h"
#include "platform/data_handler.h"
#include "platform/media_detector.h"
#include "platform/movie_preview.h"
#include "platform/vfw.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
bool isCode(const uint8_t* p, const char (&code)[5]) {
    return std::memcmp(p, code, 4) == 0;
}

// The headers sit at the start; more than this is never read.
constexpr size_t kMaxHeaderBytes = 1 << 20;

}  // namespace

void ParseAviHeaders(std::span<const uint8_t> b, AviHeaderInfo* info) {
    *info = AviHeaderInfo{};
    const size_t n = b.size();
    const uint8_t* p = b.data();
    if (n < 32 || !isCode(p, "RIFF") || !isCode(p + 8, "AVI ") || !isCode(p + 12, "LIST") ||
        !isCode(p + 20, "hdrl") || !isCode(p + 24, "avih"))
        return;
    const uint64_t mainSize = le32(p + 28);
    if (mainSize < 28 || 32 + mainSize > n) return;
    const uint32_t streams = le32(p + 32 + 24);
    uint64_t at = 32 + mainSize + (mainSize & 1);
    bool wantVideo = false, wantAudio = false;
    for (uint32_t s = 0; s < streams; ++s) {
        if (at + 12 > n || !isCode(p + at, "LIST") || !isCode(p + at + 8, "strl")) return;
        const uint64_t listSize = le32(p + at + 4);
        if (listSize < 4) return;
        const uint64_t end = std::min<uint64_t>(at + 8 + listSize, n);
        uint64_t c = at + 12;
        while (c + 8 <= end) {
            const uint64_t size = le32(p + c + 4);
            const uint8_t* payload = p + c + 8;
            const uint64_t have = std::min<uint64_t>(size, end - (c + 8));
            if (isCode(p + c, "strh") && have >= 4) {
                wantVideo = isCode(payload, "vids") && info->videoCode == 0;
                wantAudio = isCode(payload, "auds") && info->audioTag == 0;
            } else if (isCode(p + c, "strf")) {
                // A format shorter than its fields is ignored.
                if (wantVideo && size >= 20 && have >= 20)
                    info->videoCode = OSTypeFromFourCC(le32(payload + 16));
                if (wantAudio && size >= 2 && have >= 2)
                    info->audioTag = uint16_t(payload[0] | (payload[1] << 8));
                wantVideo = wantAudio = false;
            }
            c += 8 + size + (size & 1);
        }
        at += 8 + listSize + (listSize & 1);
    }
}

OSStatus ReadAviHeaders(const FileSpec& file, AviHeaderInfo* info) {
    if (info == nullptr) return kStatusParamError;
    *info = AviHeaderInfo{};
    const std::string path = FileSpecPath(file);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? kStatusFileNotFound : kStatusReadError;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return kStatusReadError;
    }
    std::vector<uint8_t> bytes(std::min<size_t>(size_t(st.st_size), kMaxHeaderBytes));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t r = read(fd, bytes.data() + got, bytes.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += size_t(r);
    }
    close(fd);
    bytes.resize(got);
    ParseAviHeaders(bytes, info);
    return noErr;
}

bool VfwCanDecode(const FileSpec& file) {
    AVIFileInit();
    bool ok = false;
    PAVIFILE f = nullptr;
    if (AVIFileOpenRead(FileSpecPath(file), &f) == noErr) {
        PAVISTREAM s = nullptr;
        if (AVIFileGetStream(f, &s, kStreamTypeVideo, 0) == noErr) {
            if (PGETFRAME g = AVIStreamGetFrameOpen(s)) {
                ok = AVIStreamGetFrame(g, 0) != nullptr;
                AVIStreamGetFrameClose(g);
            }
            AVIStreamRelease(s);
        }
        AVIFileRelease(f);
    }
    AVIFileExit();
    return ok;
}

bool HasAviExtension(const std::string& path) {
    const std::string name = PathFileName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1, 3);
    if (name.size() - dot - 1 > 3) return false;
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "avi";
}

bool RegisterBridgeForFile(const FileSpec& file, OSType code) {
    if (code == 0 || HasImageDecompressor(code) || !VfwCanDecode(file)) return false;
    return RegisterCodecBridge(code, nullptr) == noErr;
}

// --- The direct reader ---------------------------------------------------------------

struct DirectAviReader {
    MediaDetector detector = nullptr;
    int32_t width = 0, height = 0;
    int32_t rowBytes = 0;
    double length = 0;
    double time = 0;
    double step = 0;
    int64_t steps = 0;  // frames drawn: the time is steps x step, free of drift
    std::vector<uint8_t> bitmap;
    ~DirectAviReader() { MediaDetectorRelease(detector); }
};

DirectAviReader* DirectAviReaderOpen(const FileSpec& file) {
    auto r = std::unique_ptr<DirectAviReader>(new (std::nothrow) DirectAviReader);
    if (!r || MediaDetectorCreate(&r->detector) != noErr) return nullptr;
    if (MediaDetectorSetFilename(r->detector, FileSpecPath(file)) != noErr) return nullptr;
    const int32_t n = MediaDetectorOutputStreams(r->detector);
    for (int32_t i = 0; i < n; ++i) {
        if (MediaDetectorSetCurrentStream(r->detector, i) != noErr) return nullptr;
        if (MediaDetectorStreamFormatType(r->detector) == kVideoInfoFormatType) {
            r->length = MediaDetectorStreamLength(r->detector);
            return r.release();
        }
    }
    return nullptr;
}

OSStatus DirectAviReaderSetSize(DirectAviReader* r, int32_t width, int32_t height,
                                Fixed frameRate) {
    if (r == nullptr || width <= 0 || height <= 0) return kStatusParamError;
    int32_t size = 0;
    OSStatus err = MediaDetectorGetBitmapBits(r->detector, 0, &size, nullptr, width, height);
    if (err != noErr) return err;
    if (size <= int32_t(kBitmapInfoHeaderSize)) return kStatusParamError;
    r->bitmap.assign(size_t(size), 0);
    r->width = width;
    r->height = height;
    r->rowBytes = (size - int32_t(kBitmapInfoHeaderSize)) / height;
    // A frame rate of 0 keeps the stream's own.
    double rate = frameRate > 0 ? frameRate / 65536.0 : MediaDetectorFrameRate(r->detector);
    if (rate <= 0) rate = 10;
    r->step = 1.0 / rate;
    return noErr;
}

OSStatus DirectAviReaderDrawNext(DirectAviReader* r, const PixelBuffer& dest) {
    if (r == nullptr || r->bitmap.empty() || dest.base == nullptr || dest.width != r->width ||
        dest.height != r->height || dest.rowBytes < dest.width * 4)
        return kStatusParamError;
    if (r->time > r->length + 1e-9) return kStatusEndOfData;
    int32_t size = int32_t(r->bitmap.size());
    if (MediaDetectorGetBitmapBits(r->detector, r->time, &size, r->bitmap.data(), r->width,
                                   r->height) != noErr)
        return kStatusNoCodec;
    const bool bgra = dest.pixelFormat == k32BGRAPixelFormat;
    const uint8_t* rows = r->bitmap.data() + kBitmapInfoHeaderSize;
    for (int32_t y = 0; y < r->height; ++y) {
        const uint8_t* s = rows + ptrdiff_t(r->height - 1 - y) * r->rowBytes;
        uint8_t* d = dest.base + ptrdiff_t(y) * dest.rowBytes;
        for (int32_t x = 0; x < r->width; ++x, s += 3, d += 4) {
            if (bgra) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
            } else {
                d[0] = 0, d[1] = s[2], d[2] = s[1], d[3] = s[0];
            }
        }
    }
    r->time = double(++r->steps) * r->step;
    return noErr;
}

double DirectAviReaderLength(const DirectAviReader* r) {
    return r != nullptr ? r->length : 0;
}

void DirectAviReaderClose(DirectAviReader* r) {
    delete r;
}

// --- The preview component -----------------------------------------------------------

namespace {

struct PreviewStorage {
    ComponentInstance self = nullptr;
    ComponentInstance delegate = nullptr;
    void* params = nullptr;  // the current call's
};

OSStatus previewOpen(PreviewStorage*, ComponentInstance self, void*) {
    auto* s = new (std::nothrow) PreviewStorage;
    if (s == nullptr) return kStatusOutOfMemory;
    s->self = self;
    RegisterBuiltInPreview();
    ComponentDescription want{kPreviewComponentType, kPreviewMovieSubType, MakeOSType("appl"), 0, 0};
    Component c = FindNextComponent(nullptr, want);
    if (c == nullptr || OpenComponent(c, &s->delegate) != noErr) {
        delete s;
        return kStatusNoPreviewComponent;
    }
    CallComponent(s->delegate, -6, self);  // make this instance its target
    SetComponentInstanceStorage(self, s);
    return noErr;
}

OSStatus previewClose(PreviewStorage* s, ComponentInstance self, void*) {
    if (s == nullptr) return noErr;
    CloseComponent(s->delegate);
    delete s;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus previewCanDo(PreviewStorage*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    const int16_t sel = *static_cast<const int16_t*>(params);
    return (sel >= -4 && sel <= -1) || (sel >= 1 && sel <= 4) ? 1 : 0;
}

OSStatus previewVersion(PreviewStorage*, ComponentInstance, void*) {
    return 0x00020001;
}

OSStatus previewShow(PreviewStorage* s, ComponentInstance, void* params) {
    auto* p = static_cast<PreviewShowDataParams*>(params);
    if (p == nullptr || p->dataType != kAliasDataReferenceType || p->data == nullptr)
        return kStatusParamError;
    s->params = params;
    std::string path;
    FileSpec spec;
    if (ResolveAliasDataReference(*p->data, &path) == noErr && HasAviExtension(path) &&
        FileSpecFromPath(path, &spec) == noErr) {
        AviHeaderInfo info;
        if (ReadAviHeaders(spec, &info) == noErr) RegisterBridgeForFile(spec, info.videoCode);
    }
    const OSStatus err = CallComponent(s->delegate, kPreviewShowDataSelect, params);
    s->params = nullptr;
    return err;
}

template <int16_t Sel>
OSStatus previewPass(PreviewStorage* s, ComponentInstance, void* params) {
    return CallComponent(s->delegate, Sel, params);
}

constexpr std::array<SelectorEntry<PreviewStorage>, 8> kPreviewSelectors{{
    {kComponentOpenSelect, previewOpen},
    {kComponentCloseSelect, previewClose},
    {kComponentCanDoSelect, previewCanDo},
    {kComponentVersionSelect, previewVersion},
    {kPreviewShowDataSelect, previewShow},
    {2, previewPass<2>},
    {3, previewPass<3>},
    {4, previewPass<4>},
}};

OSStatus previewRoutine(ComponentInstance self, int16_t selector, void* params) {
    if (selector == kComponentCanDoSelect)
        return previewCanDo(nullptr, self, params);
    const OSStatus r = DispatchSelector(kPreviewSelectors, self, selector, params);
    return r == kStatusBadSelector ? -4 : r;
}

}  // namespace

OSStatus RegisterAviPreviewComponent(Component* out) {
    static Component registered = nullptr;
    if (registered == nullptr) {
        ComponentDescription d{kPreviewComponentType, kPreviewMovieSubType,
                               kAviPreviewManufacturer, 1, 0};
        const OSStatus err = RegisterComponent(d, previewRoutine, kAviPreviewName, &registered);
        if (err != noErr) return err;
    }
    if (out != nullptr) *out = registered;
    return noErr;
}
