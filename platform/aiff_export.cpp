#include "platform/aiff_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "platform/movie_internal.h"
#include "platform/music_synth.h"

namespace {

constexpr int32_t kAiffExporterVersion = 0x00010000;
constexpr int32_t kRenderFrames = 4096;  // frames per write
constexpr uint32_t kHeaderBytes = 54;    // FORM + COMM + SSND headers

struct AiffStorage {
    SampleDescription desc;
    MovieProgressProc progress = nullptr;
    intptr_t progressRef = 0;
};

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v >> 16);
    Put16(p + 2, v);
}
void PutTag(uint8_t* p, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(tag[i]);
}

// An 80-bit IEEE extended number: sign and 15-bit exponent, then a 64-bit
// mantissa with its integer bit explicit.
void PutExtended(uint8_t* p, double v) {
    for (int i = 0; i < 10; ++i) p[i] = 0;
    if (!(v > 0)) return;
    int exp = 0;
    const double m = std::frexp(v, &exp);  // v = m * 2^exp, 0.5 <= m < 1
    const uint64_t mantissa = uint64_t(std::ldexp(m, 64));
    Put16(p, uint32_t(16383 + exp - 1));
    for (int i = 0; i < 8; ++i) p[2 + i] = uint8_t(mantissa >> (56 - 8 * i));
}

Track FindMusicTrack(Movie movie, Track only) {
    if (only != nullptr) return GetTrackMediaType(only) == kMusicMediaType ? only : nullptr;
    return GetMovieIndTrackType(movie, 1, kMusicMediaType,
                                kMovieTrackMediaType | kMovieTrackEnabledOnly);
}

struct Output {
    std::string path;
    FILE* file = nullptr;
    bool keep = false;
    ~Output() {
        if (file != nullptr) std::fclose(file);
        if (!keep && !path.empty()) DeleteFile(path);
    }
};

OSStatus Progress(AiffStorage* s, Movie movie, int16_t message, Fixed fraction) {
    if (s->progress == nullptr) return noErr;
    return s->progress(movie, message, kProgressOpExportMovie, fraction, s->progressRef);
}

OSStatus Render(AiffStorage* s, const MovieExportToFileParams& p, Track track, FILE* file) {
    const SampleDescription& d = s->desc;
    const int bytesPerSample = d.sampleSize / 8;
    const int frameBytes = d.channels * bytesPerSample;
    std::unique_ptr<MusicSynth> synth;
    if (OSStatus err = MusicSynth::Open(*track->music, d.sampleRate, d.channels, &synth);
        err != noErr) {
        return err;
    }
    const TimeScale movieScale = GetMovieTimeScale(p.movie);
    const auto toFrame = [&](TimeValue t) {
        return int64_t(std::llround(double(t) * d.sampleRate / movieScale));
    };
    const int64_t first = std::clamp<int64_t>(toFrame(p.startTime), 0, synth->TotalFrames());
    const int64_t last = p.duration > 0
                             ? std::clamp<int64_t>(toFrame(p.startTime + p.duration), first,
                                                   synth->TotalFrames())
                             : synth->TotalFrames();
    const uint64_t dataBytes = uint64_t(last - first) * uint64_t(frameBytes);
    if (dataBytes + kHeaderBytes + 1 > UINT32_MAX) return kStatusParamError;

    uint8_t h[kHeaderBytes];
    PutTag(h, "FORM");
    Put32(h + 4, uint32_t(kHeaderBytes - 8 + dataBytes + (dataBytes & 1)));
    PutTag(h + 8, "AIFF");
    PutTag(h + 12, "COMM");
    Put32(h + 16, 18);
    Put16(h + 20, uint32_t(d.channels));
    Put32(h + 22, uint32_t(last - first));
    Put16(h + 26, uint32_t(d.sampleSize));
    PutExtended(h + 28, d.sampleRate);
    PutTag(h + 38, "SSND");
    Put32(h + 42, uint32_t(8 + dataBytes));
    Put32(h + 46, 0);  // offset
    Put32(h + 50, 0);  // block size
    if (std::fwrite(h, 1, sizeof h, file) != sizeof h) return kStatusWriteError;

    OSStatus err = Progress(s, p.movie, kMovieProgressOpen, 0);
    std::vector<int16_t> pcm(size_t(kRenderFrames) * d.channels);
    std::vector<uint8_t> bytes(size_t(kRenderFrames) * frameBytes);
    const int64_t total = std::max<int64_t>(1, last);
    while (err == noErr && synth->Position() < last) {
        const int32_t want = int32_t(std::min<int64_t>(kRenderFrames, last - synth->Position()));
        const int64_t at = synth->Position();
        int32_t got = 0;
        if ((err = synth->Render(pcm.data(), want, &got)) != noErr) break;
        if (got <= 0) {
            err = kStatusParamError;
            break;
        }
        // Frames before the start are played (the song's state depends on
        // them) but not kept.
        const int32_t skip = int32_t(std::clamp<int64_t>(first - at, 0, got));
        const size_t samples = size_t(got - skip) * d.channels;
        const int16_t* from = pcm.data() + size_t(skip) * d.channels;
        for (size_t i = 0; i < samples; ++i) {
            if (bytesPerSample == 2) {
                bytes[2 * i] = uint8_t(uint16_t(from[i]) >> 8);
                bytes[2 * i + 1] = uint8_t(from[i]);
            } else {
                // Rounded to the nearest step, kept in range.
                const int v = std::clamp((from[i] + 128) >> 8, -128, 127);
                bytes[i] = uint8_t(int8_t(v));
            }
        }
        const size_t n = samples * size_t(bytesPerSample);
        if (n > 0 && std::fwrite(bytes.data(), 1, n, file) != n) {
            err = kStatusWriteError;
            break;
        }
        err = Progress(s, p.movie, kMovieProgressUpdatePercent,
                       Fixed(double(synth->Position()) / double(total) * 65536.0));
    }
    if (err == noErr && (dataBytes & 1) != 0 && std::fputc(0, file) == EOF) err = kStatusWriteError;
    Progress(s, p.movie, kMovieProgressClose, 0);
    return err;
}

OSStatus ExportToFile(AiffStorage* s, ComponentInstance, void* raw) {
    auto* p = static_cast<MovieExportToFileParams*>(raw);
    if (p == nullptr || p->file == nullptr || p->movie == nullptr) return kStatusParamError;
    Track track = FindMusicTrack(p->movie, p->onlyThisTrack);
    if (track == nullptr || !track->music) return kStatusParamError;
    Output out;
    out.path = FileSpecPath(*p->file);
    out.file = std::fopen(out.path.c_str(), "wb");
    if (out.file == nullptr) {
        out.path.clear();  // not ours to delete
        return kStatusCreateError;
    }
    OSStatus err = Render(s, *p, track, out.file);
    if (std::fclose(out.file) != 0 && err == noErr) err = kStatusWriteError;
    out.file = nullptr;
    out.keep = err == noErr;
    return err;
}

OSStatus SetSampleDescription(AiffStorage* s, ComponentInstance, void* raw) {
    auto* p = static_cast<MovieExportSampleDescriptionParams*>(raw);
    if (p == nullptr || p->desc == nullptr || p->mediaType != kSoundMediaType)
        return kStatusParamError;
    const SampleDescription& d = *p->desc;
    const bool pcm = d.dataFormat == kTwosComplementFormat ||
                     d.dataFormat == kSoundNotCompressed || d.dataFormat == kRawCodecType;
    if (!pcm || (d.sampleSize != 8 && d.sampleSize != 16) || (d.channels != 1 && d.channels != 2) ||
        !(d.sampleRate >= 1 && d.sampleRate <= 96000))
        return kStatusParamError;
    s->desc = d;
    s->desc.descType = kSoundDescriptionType;
    s->desc.dataFormat = kTwosComplementFormat;  // what AIFF holds
    s->desc.bytesPerFrame = d.channels * d.sampleSize / 8;
    return noErr;
}

OSStatus SetProgress(AiffStorage* s, ComponentInstance, void* raw) {
    auto* p = static_cast<MovieExportProgressParams*>(raw);
    if (p == nullptr) return kStatusParamError;
    s->progress = p->proc;
    s->progressRef = p->refcon;
    return noErr;
}

OSStatus Validate(AiffStorage*, ComponentInstance, void* raw) {
    auto* a = static_cast<MovieExportValidateParams*>(raw);
    if (a == nullptr || a->movie == nullptr || a->valid == nullptr) return kStatusParamError;
    *a->valid = FindMusicTrack(a->movie, a->onlyThisTrack) != nullptr;
    return noErr;
}

OSStatus GetExtension(AiffStorage*, ComponentInstance, void* raw) {
    if (raw == nullptr) return kStatusParamError;
    *static_cast<OSType*>(raw) = MakeOSType("aif ");
    return noErr;
}

OSStatus Open(AiffStorage*, ComponentInstance self, void*) {
    auto* s = new (std::nothrow) AiffStorage;
    if (s == nullptr) return kStatusOutOfMemory;
    s->desc.descType = kSoundDescriptionType;
    s->desc.dataFormat = kTwosComplementFormat;
    s->desc.channels = 2;
    s->desc.sampleSize = 16;
    s->desc.sampleRate = 44100;
    s->desc.bytesPerFrame = 4;
    SetComponentInstanceStorage(self, s);
    return noErr;
}

OSStatus Close(AiffStorage* s, ComponentInstance self, void*) {
    delete s;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus Version(AiffStorage*, ComponentInstance, void*) {
    return kAiffExporterVersion;
}
OSStatus CanDo(AiffStorage*, ComponentInstance, void*) {
    return 0;  // answered by the table
}

constexpr std::array<SelectorEntry<AiffStorage>, 9> kAiffSelectors{{
    {kComponentOpenSelect, Open},
    {kComponentCloseSelect, Close},
    {kComponentCanDoSelect, CanDo},
    {kComponentVersionSelect, Version},
    {kMovieExportToFileSelect, ExportToFile},
    {kMovieExportSetProgressProcSelect, SetProgress},
    {kMovieExportSetSampleDescriptionSelect, SetSampleDescription},
    {kMovieExportValidateSelect, Validate},
    {kMovieExportGetFileNameExtensionSelect, GetExtension},
}};

OSStatus AiffRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kAiffSelectors, self, selector, params);
}

}  // namespace

OSStatus RegisterAiffExporter() {
    static bool registered = false;
    if (registered) return noErr;
    ComponentDescription d;
    d.componentType = kMovieExportType;
    d.componentSubType = kAiffExportSubType;
    d.componentManufacturer = kAppleManufacturer;
    if (OSStatus err = RegisterComponent(d, AiffRoutine, "AIFF", nullptr); err != noErr) return err;
    registered = true;
    return noErr;
}
