#include "platform/media_export.h"

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include "platform/aiff_export.h"
#include "platform/movie_internal.h"
#include "platform/picture_convert.h"
#include "platform/track_reader.h"

namespace {

constexpr int32_t kDelegateVersion = 0x00070000;
constexpr int32_t kDefaultSoundRequest = 4096;  // sample frames when the caller names none

struct DelegateStorage;

// The state behind one pair of procedures.
struct DataProcs {
    DelegateStorage* owner = nullptr;
    OSType kind = 0;
    TrackRecord track;  // a copy, for the properties
    TimeScale scale = 0;
    TimeValue start = 0;     // in `scale`
    TimeValue duration = 0;  // in `scale`
    std::unique_ptr<VideoReader> video;
    std::unique_ptr<SoundReader> sound;
    OSStatus openError = noErr;  // reported by the first request
    SampleDescription desc;
    int32_t seed = 0;
    uint64_t packedSerial = 0;
    std::vector<uint8_t> picture;  // turned pictures
    PicturePlanes lent;            // what a video request hands out
    PictureConverter turner;  // for tracks displayed turned
    int turnQuality = kCodecNormalQuality;  // the movie's high-quality hint raises it
    TimeValue soundPosition = 0;
    bool economised = false;  // the reader was told how little it may decode

    DataProcs() { LendPlanes(&lent); }
    ~DataProcs() { EndLending(&lent); }
    DataProcs(const DataProcs&) = delete;
    DataProcs& operator=(const DataProcs&) = delete;
};

struct DelegateStorage {
    SCTemporalSettings temporal;
    SCSpatialSettings spatial;
    bool haveTemporal = false;
    bool haveSpatial = false;
    MovieExportDrawSizeParams drawSize;
    std::set<DataProcs*> procs;  // disposed of at close if the caller forgot
};

// Before the first picture: what the caller said about its requests and its
// drawing lets the reader leave out what no request needs.
void Economise(DataProcs* p) {
    p->economised = true;
    const DelegateStorage* s = p->owner;
    int64_t stepTimes = 0, stepDivisor = 1;
    if (s->haveTemporal && s->temporal.frameRate > 0) {
        // Requests come a frame's time apart, later only after a picture
        // that lasts longer.
        stepTimes = int64_t(p->scale) * 65536;
        stepDivisor = s->temporal.frameRate;
    }
    int32_t w = s->drawSize.width, h = s->drawSize.height;
    // Pictures are turned after decoding; the decoder sees them upright.
    if (p->track.rotation == 90 || p->track.rotation == 270) std::swap(w, h);
    p->video->DecodeLess(stepTimes, stepDivisor, w, h);
}

// Video: the decoded picture as a kDecodedPictureFormat sample, lent, not
// copied: the sample is the record of the decoder's planes.
OSStatus GetVideoData(DataProcs* p, MovieExportGetDataParams* params) {
    if (p->openError != noErr) return p->openError;
    if (!p->economised) Economise(p);
    const TimeValue rel = params->requestedTime;
    if (rel < 0) return kStatusParamError;
    if (p->duration > 0 && rel >= p->duration) return kStatusEndOfData;
    const TimeValue t = p->start + rel;
    const AVFrame* f = nullptr;
    TimeValue frameTime = 0, nextTime = 0;
    uint64_t serial = 0;
    if (OSStatus err = p->video->FrameAt(t, &f, &frameTime, &nextTime, &serial); err != noErr) {
        return err;
    }
    if (serial != p->packedSerial) {
        auto fmt = static_cast<AVPixelFormat>(f->format);
        int width = f->width, height = f->height;
        if (width <= 0 || height <= 0 || av_pix_fmt_desc_get(fmt) == nullptr) {
            return kStatusCantDecodeVideo;
        }
        if (p->track.rotation != 0) {
            // Pictures are handed out the way the file says they are shown.
            const MatrixRecord m =
                FrameMatrix(width, height, width, height, p->track.rotation, &width, &height);
            p->picture.assign(static_cast<size_t>(width) * height * 4, 0);
            const PixelBuffer out{p->picture.data(), width, height, width * 4, k32BGRAPixelFormat};
            if (p->turner.Draw(PlanesOf(f), out, m, p->turnQuality) != noErr) {
                return kStatusCantDecodeVideo;
            }
            fmt = AV_PIX_FMT_BGRA;
            p->lent = PicturePlanes{};
            p->lent.data[0] = p->picture.data();
            p->lent.linesize[0] = width * 4;
            p->lent.width = width;
            p->lent.height = height;
            p->lent.format = fmt;
        } else {
            p->lent = PlanesOf(f);
        }
        if (p->seed == 0 || p->desc.width != width || p->desc.height != height ||
            p->desc.pixelFormat != fmt) {
            p->desc.descType = kImageDescriptionType;
            p->desc.dataFormat = kDecodedPictureFormat;
            p->desc.width = width;
            p->desc.height = height;
            p->desc.pixelFormat = fmt;
            const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(fmt);
            p->desc.depth =
                static_cast<int16_t>(d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) ? 32 : 24);
            p->seed += 1;
        }
        p->packedSerial = serial;
    }
    const TimeValue end = p->duration > 0 ? p->start + p->duration : nextTime;
    params->actualTime = std::max<TimeValue>(0, frameTime - p->start);
    params->durationPerSample = std::max<TimeValue>(1, std::min(nextTime, end) - t);
    params->dataPtr = reinterpret_cast<const uint8_t*>(&p->lent);
    params->dataSize = static_cast<int32_t>(sizeof(p->lent));
    params->desc = &p->desc;
    params->descType = kImageDescriptionType;
    params->descSeed = p->seed;
    params->actualSampleCount = 1;
    params->sampleFlags = 0;
    return noErr;
}

OSStatus GetSoundData(DataProcs* p, MovieExportGetDataParams* params) {
    if (p->openError != noErr) return p->openError;
    if (p->duration > 0 && p->soundPosition >= p->duration) return kStatusEndOfData;
    int32_t want =
        params->requestedSampleCount > 0 ? params->requestedSampleCount : kDefaultSoundRequest;
    if (p->duration > 0) {
        want = static_cast<int32_t>(std::min<TimeValue>(want, p->duration - p->soundPosition));
    }
    const uint8_t* data = nullptr;
    int32_t frames = 0;
    bool changed = false;
    if (OSStatus err = p->sound->Read(want, &data, &frames, &p->desc, &changed); err != noErr) {
        return err;
    }
    if (changed) p->seed += 1;
    params->actualTime = p->soundPosition;
    params->dataPtr = data;
    params->dataSize = frames * p->desc.bytesPerFrame;
    params->desc = &p->desc;
    params->descType = kSoundDescriptionType;
    params->descSeed = p->seed;
    params->actualSampleCount = frames;
    params->durationPerSample = 1;
    params->sampleFlags = 0;
    p->soundPosition += frames;
    return noErr;
}

OSStatus GetData(void* refCon, MovieExportGetDataParams* params) {
    auto* p = static_cast<DataProcs*>(refCon);
    if (p == nullptr || params == nullptr) return kStatusParamError;
    return p->kind == kVideoMediaType ? GetVideoData(p, params) : GetSoundData(p, params);
}

OSStatus GetProperty(void* refCon, int32_t /*trackID*/, OSType property, void* value) {
    auto* p = static_cast<DataProcs*>(refCon);
    if (p == nullptr || value == nullptr) return kStatusParamError;
    const DelegateStorage* s = p->owner;
    switch (property) {
        case kMovieExportWidth:
        case kMovieExportHeight:
            if (p->kind != kVideoMediaType) return kStatusParamError;
            *static_cast<Fixed*>(value) =
                IntToFixed(property == kMovieExportWidth ? p->track.width : p->track.height);
            return noErr;
        case kMovieExportDuration:
            *static_cast<TimeRecord*>(value) = TimeRecord{p->duration, p->scale};
            return noErr;
        case kSCTemporalSettingsType:
            if (p->kind != kVideoMediaType || !s->haveTemporal) return kStatusParamError;
            *static_cast<SCTemporalSettings*>(value) = s->temporal;
            return noErr;
        case kSCSpatialSettingsType:
            if (p->kind != kVideoMediaType || !s->haveSpatial) return kStatusParamError;
            *static_cast<SCSpatialSettings*>(value) = s->spatial;
            return noErr;
        default:
            return kStatusParamError;
    }
}

Track FindTrack(Movie movie, Track track, OSType kind) {
    if (track != nullptr) return GetTrackMediaType(track) == kind ? track : nullptr;
    return GetMovieIndTrackType(movie, 1, kind, kMovieTrackMediaType | kMovieTrackEnabledOnly);
}

OSStatus NewProcs(DelegateStorage* s, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportNewProcsParams*>(raw);
    if (a == nullptr || a->movie == nullptr || a->scale == nullptr || a->propertyProc == nullptr ||
        a->dataProc == nullptr || a->refCon == nullptr) {
        return kStatusParamError;
    }
    if (a->trackType != kVideoMediaType && a->trackType != kSoundMediaType) {
        return kStatusParamError;
    }
    Track t = FindTrack(a->movie, a->track, a->trackType);
    if (t == nullptr || t->streamIndex < 0) return kStatusParamError;  // nothing of that kind
    auto p = std::unique_ptr<DataProcs>(new (std::nothrow) DataProcs);
    if (!p) return kStatusOutOfMemory;
    p->owner = s;
    p->kind = a->trackType;
    p->track = *t;
    p->track.references.clear();
    if ((GetMoviePlayHints(a->movie) & kHintsHighQuality) != 0) p->turnQuality = kCodecHighQuality;
    const TimeScale movieScale = GetMovieTimeScale(a->movie);
    if (a->trackType == kVideoMediaType) {
        p->scale = t->mediaScale;
    } else {
        const double rate = t->descriptions.empty() ? 0 : t->descriptions.front().sampleRate;
        p->scale = rate >= 1 && rate < 1e7 ? static_cast<TimeScale>(rate) : t->mediaScale;
    }
    const TimeValue trackEnd = av_rescale(t->mediaDuration, p->scale, t->mediaScale);
    p->start = std::clamp<TimeValue>(av_rescale(a->startTime, p->scale, movieScale), 0, trackEnd);
    p->duration =
        a->duration > 0 ? av_rescale(a->duration, p->scale, movieScale) : trackEnd - p->start;
    p->duration = std::min(p->duration, trackEnd - p->start);
    // A track without a decoder still gets procedures; its requests fail, so
    // the caller learns which format is missing from the descriptions.
    if (a->trackType == kVideoMediaType) {
        p->openError = VideoReader::Open(*t, &p->video);
    } else {
        p->openError =
            SoundReader::Open(*t, av_rescale(p->start, t->mediaScale, p->scale), &p->sound);
    }
    *a->scale = p->scale;
    *a->propertyProc = GetProperty;
    *a->dataProc = GetData;
    *a->refCon = p.get();
    s->procs.insert(p.release());
    return noErr;
}

OSStatus DisposeProcs(DelegateStorage* s, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportDisposeProcsParams*>(raw);
    if (a == nullptr) return kStatusParamError;
    auto* p = static_cast<DataProcs*>(a->refCon);
    if (s->procs.erase(p) == 0) return kStatusParamError;
    delete p;
    return noErr;
}

OSStatus Validate(DelegateStorage*, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportValidateParams*>(raw);
    if (a == nullptr || a->movie == nullptr || a->valid == nullptr) return kStatusParamError;
    *a->valid = FindTrack(a->movie, a->onlyThisTrack, kVideoMediaType) != nullptr ||
                FindTrack(a->movie, a->onlyThisTrack, kSoundMediaType) != nullptr;
    return noErr;
}

OSStatus SetCompression(DelegateStorage* s, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportCompressionParams*>(raw);
    if (a == nullptr) return kStatusParamError;
    s->temporal = a->temporal;
    s->spatial = a->spatial;
    s->haveTemporal = a->temporal.frameRate != 0;
    s->haveSpatial = a->spatial.depth != 0;
    return noErr;
}

OSStatus SetDrawSize(DelegateStorage* s, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportDrawSizeParams*>(raw);
    if (a == nullptr || a->width < 0 || a->height < 0) return kStatusParamError;
    s->drawSize = *a;
    return noErr;
}

OSStatus Open(DelegateStorage*, ComponentInstance self, void*) {
    auto* s = new (std::nothrow) DelegateStorage;
    if (s == nullptr) return kStatusOutOfMemory;
    SetComponentInstanceStorage(self, s);
    return noErr;
}

OSStatus Close(DelegateStorage* s, ComponentInstance self, void*) {
    if (s != nullptr) {
        for (DataProcs* p : s->procs) delete p;
        delete s;
    }
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus Version(DelegateStorage*, ComponentInstance, void*) {
    return kDelegateVersion;
}
OSStatus CanDo(DelegateStorage*, ComponentInstance, void*) {
    return 0;
}  // answered by the table

constexpr std::array<SelectorEntry<DelegateStorage>, 9> kDelegateSelectors{{
    {kComponentOpenSelect, Open},
    {kComponentCloseSelect, Close},
    {kComponentCanDoSelect, CanDo},
    {kComponentVersionSelect, Version},
    {kMovieExportValidateSelect, Validate},
    {kMovieExportNewGetDataAndPropertiesProcsSelect, NewProcs},
    {kMovieExportDisposeGetDataAndPropertiesProcsSelect, DisposeProcs},
    {kMovieExportSetCompressionSettingsSelect, SetCompression},
    {kMovieExportSetDrawSizeSelect, SetDrawSize},
}};

OSStatus DelegateRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kDelegateSelectors, self, selector, params);
}

}  // namespace

OSStatus RegisterBuiltInExporters() {
    static bool registered = false;
    if (registered) return noErr;
    ComponentDescription d;
    d.componentType = kMovieExportType;
    d.componentSubType = kQuickTimeMovieSubType;
    d.componentManufacturer = kAppleManufacturer;
    if (OSStatus err = RegisterComponent(d, DelegateRoutine, "Movie exporter", nullptr);
        err != noErr) {
        return err;
    }
    if (OSStatus err = RegisterAiffExporter(); err != noErr) return err;
    registered = true;
    return noErr;
}

OSStatus OpenMovieExportDelegate(ComponentInstance* instance) {
    if (OSStatus err = RegisterBuiltInExporters(); err != noErr) return err;
    ComponentDescription d;
    d.componentType = kMovieExportType;
    d.componentSubType = kQuickTimeMovieSubType;
    d.componentManufacturer = kAppleManufacturer;
    Component c = FindNextComponent(nullptr, d);
    if (c == nullptr) return kStatusComponentNotFound;
    return OpenComponent(c, instance);
}

OSStatus ConvertMovieToFile(Movie movie, Track onlyThisTrack, const FileSpec& output,
                            OSType /*fileType*/, OSType /*creator*/, ComponentInstance exporter,
                            MovieProgressProc progress, intptr_t progressRefcon) {
    if (movie == nullptr || exporter == nullptr) return kStatusParamError;
    if (progress != nullptr) {
        MovieExportProgressParams pp{progress, progressRefcon};
        if (OSStatus err = CallComponent(exporter, kMovieExportSetProgressProcSelect, &pp);
            err != noErr) {
            return err;
        }
    }
    MovieExportToFileParams p;
    p.file = &output;
    p.movie = movie;
    p.onlyThisTrack = onlyThisTrack;
    p.startTime = 0;
    p.duration = GetMovieDuration(movie);
    return CallComponent(exporter, kMovieExportToFileSelect, &p);
}
