#include "export/movie_exporter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "engine/movie_writer.h"
#include "export/avi_analysis.h"
#include "export/merge_movies.h"
#include "export/mpeg_own_sound.h"
#include "export/music_sound.h"
#include "export/presentation.h"
#include "export/settings.h"
#include "export/source_analysis.h"
#include "platform/data_handler.h"
#include "platform/decompress.h"
#include "platform/mac_roman.h"
#include "platform/sound_converter.h"
#include "resources/resources.h"

namespace {

constexpr int32_t kVideoKind = 1;
constexpr int32_t kSoundKind = 2;
constexpr int32_t kNoSeed = 666;
constexpr Fixed kVideoProgressCap = 0xE000;  // 0.875
constexpr Fixed kPackingProgressCap = Fixed(0.995 * 65536);
constexpr uint32_t kPieceBytes = 2048;
// The image goes out through a buffer of at most this size: a buffer of the
// whole image would make memory grow with the movie's length (hundreds of
// megabytes for a long movie in colour).
constexpr uint32_t kLargePieceBytes = 1u << 20;

struct SourceRecord {
    int32_t kind = 0;
    MovieExportGetPropertyProc propertyProc = nullptr;
    MovieExportGetDataProc dataProc = nullptr;
    void* refCon = nullptr;
    TimeScale timeScale = 0;
    int32_t sourceWidth = 0, sourceHeight = 0;
    int32_t outputWidth = 0, outputHeight = 0;
    Fixed frameRate = 0;
    int16_t depth = 0;
    int32_t videoDataRate = 0;
    double currentTime = 0;
    int64_t frameCount = 0;
    double timeOffset = 0;
    double remainder = 0;
    int32_t descSeed = kNoSeed;
    DecompressSequence sequence = nullptr;
    std::vector<uint8_t> frame;  // BGRA
    int32_t frameWidth = 0, frameHeight = 0;
    uint32_t currentMs = 0;
    // Sound: the converter's output.
    SoundComponentData output;
    bool halve = false;            // converted at twice the rate, every pair averaged
    std::vector<uint8_t> halving;  // frames waiting for their pair, then the pairs
    uint32_t chunk = 0;
    SoundConverter converter = nullptr;
    std::vector<uint8_t> outBuffer;
    uint32_t inputFrames = 0;
    // Video read straight from an AVI through the media detector.
    DirectAviReader* direct = nullptr;
    TimeValue directDuration = 0;  // the first video track's, in timeScale
    std::vector<uint8_t> directFrame;

    ~SourceRecord() {
        CDSequenceEnd(sequence);
        SoundConverterClose(converter);
    }
};

struct Instance {
    ComponentInstance self = nullptr;
    ComponentInstance delegate = nullptr;
    std::unique_ptr<SourceRecord> video, sound;
    MovieProgressProc progressProc = nullptr;
    intptr_t progressRef = 0;
    Fixed lastProgress = 0;
    bool progressOpen = false;
    ExportSettings settings;
    Movie sourceMovie = nullptr;
    bool ownSound = false;
    OSType ownSoundType = 0;
    SourceText copyright{}, title{}, info{};
    MovieWriter* writer = nullptr;
    std::vector<TimeValue> chapterTimes;
    size_t chapterIndex = 0;
    // Chapters of the last export: in the source, and refused by the writer.
    uint32_t chaptersOffered = 0, chaptersLeftOut = 0;
    OSType missingCodec = 0;
    // MP3 sound that import may have timed badly; the AVI reader rebuilds it.
    Track mp3Track = nullptr;
    bool mp3FixNeeded = false;
    // Set while the export runs: the first non-zero progress answer.
    OSStatus progressAnswer = noErr;
    // MPEG own sound: the shared rate tables and, during an export, the reader.
    const MpegRateTables* mpegTables = nullptr;
    std::unique_ptr<MpegOwnSound> mpegSound;
    // Music own sound and its "blah.aif", for the length of one export.
    std::unique_ptr<MusicSound> music;
    // The AVI roads of this export, and progress opened before the export
    // proper (by the MP3 fix) that it carries on.
    AviSourceState avi;
    bool progressCarried = false;
    VideoRoad lastRoad = VideoRoad::kToolbox;
};

OSStatus sendProgress(Instance* in, int16_t message, Fixed fraction) {
    if (in->progressProc == nullptr) return noErr;
    return in->progressProc(in->sourceMovie, message, kProgressOpExportMovie, fraction,
                            in->progressRef);
}

OSStatus reportProgress(Instance* in, Fixed fraction) {
    if (!in->progressOpen) return noErr;
    if (fraction > in->lastProgress) in->lastProgress = fraction;
    return sendProgress(in, kMovieProgressUpdatePercent, in->lastProgress);
}

// The writer's packing callback takes a 32-bit reference, too small for a
// pointer; exports run one at a time on the one thread, so the instance
// being finished is kept here.
Instance* g_packing = nullptr;

int32_t packingProgress(int32_t percent, int32_t) {
    Instance* in = g_packing;
    if (in == nullptr) return 0;
    Fixed f = Fixed((0.875 + 0.0012 * percent) * 65536);
    f = std::min(f, kPackingProgressCap);
    const OSStatus answer = reportProgress(in, f);
    if (answer != noErr && in->progressAnswer == noErr) in->progressAnswer = answer;
    return 0;
}

// --- Selectors ---------------------------------------------------------------

OSStatus doOpen(Instance*, ComponentInstance self, void*) {
    auto* in = new (std::nothrow) Instance;
    if (in == nullptr) return kStatusOutOfMemory;
    in->self = self;
    OSStatus err = OpenMovieExportDelegate(&in->delegate);
    if (err == noErr && (err = AcquireMpegRateTables(&in->mpegTables)) != noErr)
        CloseComponent(in->delegate);
    if (err != noErr) {
        delete in;
        return err;
    }
    SetComponentInstanceStorage(self, in);
    return noErr;
}

OSStatus doClose(Instance* in, ComponentInstance self, void*) {
    if (in == nullptr) return noErr;
    CloseComponent(in->delegate);
    ReleaseMpegRateTables();
    delete in;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus doCanDo(Instance*, ComponentInstance, void*) {
    return 0;  // answered from the table by the dispatcher
}

OSStatus doVersion(Instance*, ComponentInstance, void*) {
    return kMoviepackerExportVersion;
}

OSStatus exportToDataRef(Instance* in, ComponentInstance self, void* params);

OSStatus doExportToFile(Instance* in, ComponentInstance self, void* params) {
    auto* p = static_cast<MovieExportToFileParams*>(params);
    if (p == nullptr || p->file == nullptr) return kStatusParamError;
    DataReference ref;
    OSStatus err = NewAliasDataReference(*p->file, &ref);
    if (err != noErr) return err;
    MovieExportToDataRefParams d{&ref, p->movie, p->onlyThisTrack, p->startTime, p->duration};
    return exportToDataRef(in, self, &d);
}

OSStatus doGetAuxData(Instance* in, ComponentInstance, void* params) {
    auto* p = static_cast<MovieExportAuxDataParams*>(params);
    if (p == nullptr || p->data == nullptr || p->handleType == nullptr) return kStatusParamError;
    std::vector<uint8_t>& h = *p->data;
    const uint32_t tag = kMissingCodecRequestTag;
    const bool tagged = h.size() == 6 && h[0] == uint8_t(tag >> 24) &&
                        h[1] == uint8_t(tag >> 16) && h[2] == uint8_t(tag >> 8) &&
                        h[3] == uint8_t(tag);
    const int16_t what = tagged ? int16_t((h[4] << 8) | h[5]) : 0;
    if (tagged && what == kChaptersLeftOutRequest) {
        const uint32_t n[2] = {in->chaptersLeftOut, in->chaptersOffered};
        h.clear();
        for (uint32_t v : n)
            h.insert(h.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
        *p->handleType = kChaptersLeftOutHandleType;
        return noErr;
    }
    if (!tagged || what != kStatusNoCodec) return kStatusParamError;
    const OSType c = in->missingCodec;
    h = {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    *p->handleType = kMissingCodecHandleType;
    return noErr;
}

OSStatus doSetProgress(Instance* in, ComponentInstance, void* params) {
    auto* p = static_cast<MovieExportProgressParams*>(params);
    if (p == nullptr) return kStatusParamError;
    in->progressProc = p->proc;
    in->progressRef = p->refcon;
    return noErr;
}

OSStatus doGetSettings(Instance* in, ComponentInstance, void* params) {
    return getSettingsAsContainer(in->settings, static_cast<AtomContainer*>(params));
}

OSStatus doSetSettings(Instance* in, ComponentInstance, void* params) {
    return setSettingsFromContainer(static_cast<const AtomContainer*>(params), &in->settings);
}

OSStatus doUserDialog(Instance* in, ComponentInstance self, void* params) {
    // No dialog: the settings stay as they are; asking for them checks that
    // they can be written.
    AtomContainer c;
    const OSStatus err = doGetSettings(in, self, &c);
    auto* p = static_cast<MovieExportDialogParams*>(params);
    if (p != nullptr && p->cancelled != nullptr) *p->cancelled = false;
    return err;
}

OSStatus doAddDataSource(Instance* in, ComponentInstance, void* params) {
    auto* p = static_cast<MovieExportAddDataSourceParams*>(params);
    if (p == nullptr || p->trackID == nullptr || p->getPropertyProc == nullptr ||
        p->getDataProc == nullptr || p->refCon == nullptr || p->scale <= 0)
        return kStatusParamError;
    std::unique_ptr<SourceRecord>* slot;
    int32_t kind;
    if (p->trackType == kVideoMediaType) {
        slot = &in->video;
        kind = kVideoKind;
    } else if (p->trackType == kSoundMediaType) {
        slot = &in->sound;
        kind = kSoundKind;
    } else {
        return kStatusParamError;
    }
    if (*slot) return kStatusParamError;
    slot->reset(new (std::nothrow) SourceRecord);
    if (!*slot) return kStatusOutOfMemory;
    SourceRecord& r = **slot;
    r.kind = kind;
    r.propertyProc = p->getPropertyProc;
    r.dataProc = p->getDataProc;
    r.refCon = p->refCon;
    r.timeScale = p->scale;
    *p->trackID = kind;
    return noErr;
}

OSStatus doValidate(Instance* in, ComponentInstance, void* params) {
    return CallComponent(in->delegate, kMovieExportValidateSelect, params);
}

OSStatus doGetExtension(Instance*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    *static_cast<OSType*>(params) = MakeOSType("pdb ");
    return noErr;
}

OSStatus doGetShortTypeString(Instance*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    return getIndStringUtf8(moviepackerResources(), 513, 1, static_cast<std::string*>(params));
}

OSStatus doGetSourceMediaType(Instance*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    *static_cast<OSType*>(params) = 0;
    return noErr;
}

OSStatus exportFromProcedures(Instance* in, ComponentInstance self, void* params);

OSStatus doMergeMovies(Instance*, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    return mergeMovieDatabases(*static_cast<const MovieExportMergeParams*>(params));
}

OSStatus doGetVideoRoad(Instance* in, ComponentInstance, void* params) {
    if (params == nullptr) return kStatusParamError;
    *static_cast<VideoRoad*>(params) = in->lastRoad;
    return noErr;
}

constexpr std::array<SelectorEntry<Instance>, 19> kSelectors{{
    {kComponentOpenSelect, doOpen},
    {kComponentCloseSelect, doClose},
    {kComponentCanDoSelect, doCanDo},
    {kComponentVersionSelect, doVersion},
    {kMovieExportToFileSelect, doExportToFile},
    {kMovieExportGetAuxiliaryDataSelect, doGetAuxData},
    {kMovieExportSetProgressProcSelect, doSetProgress},
    {kMovieExportDoUserDialogSelect, doUserDialog},
    {kMovieExportToDataRefSelect, exportToDataRef},
    {kMovieExportFromProceduresToDataRefSelect, exportFromProcedures},
    {kMovieExportAddDataSourceSelect, doAddDataSource},
    {kMovieExportValidateSelect, doValidate},
    {kMovieExportGetSettingsAsAtomContainerSelect, doGetSettings},
    {kMovieExportSetSettingsFromAtomContainerSelect, doSetSettings},
    {kMovieExportGetFileNameExtensionSelect, doGetExtension},
    {kMovieExportGetShortFileTypeStringSelect, doGetShortTypeString},
    {kMovieExportGetSourceMediaTypeSelect, doGetSourceMediaType},
    {kMovieExportMergeMoviesSelect, doMergeMovies},
    {kMovieExportGetVideoRoadSelect, doGetVideoRoad},
}};
// The source-media-type selector sits in a second table only because the
// first one is full; both are searched.
OSStatus exporterRoutine(ComponentInstance self, int16_t selector, void* params) {
    return DispatchSelector(kSelectors, self, selector, params);
}

// --- The export driver --------------------------------------------------------

// Milliseconds as the movie keeps them: past 49 days they stay at the most a
// 32-bit count holds (a damaged header can claim years).
uint32_t toMs(double time, TimeScale scale) {
    if (scale <= 0) return 0;
    const double ms = time * 1000.0 / scale;
    if (!(ms > 0)) return 0;
    return ms >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(ms);
}

OSStatus setUpVideo(Instance* in, SourceRecord& v) {
    FrameSize fs = computeFrameSize(in->settings, v.sourceWidth, v.sourceHeight);
    v.outputWidth = fs.width;
    v.outputHeight = fs.height;
    MovieWriter* w = in->writer;
    OSStatus err = MovieWriterSetFrameSize(w, uint16_t(fs.turnedWidth), uint16_t(fs.turnedHeight));
    if (err != noErr) return err;
    const int mode = writerPictureMode(v.depth);
    if (mode != 0 && (err = MovieWriterSetVideoMode(w, mode)) != noErr) return err;
    if ((err = MovieWriterSetProperty(w, kPropVideoDataRate, v.videoDataRate)) != noErr) return err;
    if ((err = MovieWriterSetProperty(w, kPropVideoTimeScale, v.timeScale)) != noErr) return err;
    if ((err = MovieWriterSetProperty(w, kPropRotation, in->settings.rotation)) != noErr)
        return err;
    v.currentTime = 0;
    return noErr;
}

// Channels of the first description of the first enabled sound track.
int16_t sourceChannels(Movie movie) {
    Track t = GetMovieIndTrackType(movie, 1, kSoundMediaType,
                                   kMovieTrackMediaType | kMovieTrackEnabledOnly);
    SampleDescription d;
    if (t == nullptr || GetMediaSampleDescription(t, 1, &d) != noErr) return 0;
    return d.channels;
}

void putLE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void putLE32(uint8_t* p, uint32_t v) {
    putLE16(p, v);
    putLE16(p + 2, v >> 16);
}

OSStatus setUpSound(Instance* in, SourceRecord& s) {
    const ExportSettings& st = in->settings;
    int16_t channels = st.channels == 2 ? 2 : 1;
    const int16_t sourceCh = in->mpegSound ? in->mpegSound->description().channels
                                           : sourceChannels(in->sourceMovie);
    if (channels == 2 && sourceCh == 1) channels = 1;
    uint32_t rate = st.sampleRate >> 16;
    uint32_t chunk = rate;
    int16_t sampleSize = 16;
    switch (st.soundCodec) {
        case kSoundAtrac3:
            rate = 44100;
            chunk = 7350;
            break;
        case kSoundAdpcm2:
        case kSoundAdpcm4:
            if (rate % 256 != 0) chunk = rate / 5;
            break;
        case kSoundYamaha:
            chunk = rate / 5;
            break;
        case kSoundPcmMono:
            sampleSize = 8;
            break;
        case kSoundPcmStereo:
            if (rate > 8192) chunk = rate / 4;
            break;
        default:
            break;
    }
    if (rate == 0 || chunk == 0) return kStatusParamError;
    s.output.format = (st.soundCodec == kSoundPcmStereo || sampleSize == 16) ? kLittleEndianFormat
                                                                             : kSoundNotCompressed;
    s.output.numChannels = channels;
    s.output.sampleSize = sampleSize;
    s.output.sampleRate = rate;
    s.chunk = chunk;
    MovieWriter* w = in->writer;
    OSStatus err;
    if ((err = MovieWriterSetProperty(w, kPropAudioPreload, 2 * int32_t(rate))) != noErr)
        return err;
    const int32_t interleave[2] = {int32_t(rate), 100};
    if ((err = MovieWriterSetProperty(w, kPropAudioInterleave, intptr_t(interleave))) != noErr)
        return err;
    if ((err = MovieWriterSetProperty(w, kPropAudioChunkLength, int32_t(chunk))) != noErr)
        return err;
    if ((err = MovieWriterSetProperty(w, kPropChannelMode, channels)) != noErr) return err;
    uint8_t wave[kWaveFormatSize] = {};
    const uint32_t block = uint32_t(channels) * uint32_t(sampleSize) / 8;
    putLE16(wave, 1);
    putLE16(wave + 2, uint32_t(channels));
    putLE32(wave + 4, rate);
    putLE32(wave + 8, rate * block);
    putLE16(wave + 12, block);
    putLE16(wave + 14, uint32_t(sampleSize));
    if ((err = MovieWriterSetSoundInput(w, kSoundInputWaveFormat, wave, sizeof wave)) != noErr)
        return err;
    if ((err = MovieWriterSetProperty(w, kPropSoundGain, st.boost)) != noErr) return err;
    if ((err = MovieWriterSetAudioFormat(w, uint32_t(st.soundCodec))) != noErr) return err;
    if ((err = MovieWriterSetProperty(w, kPropAudioBitRate, st.bitRate)) != noErr) return err;
    s.currentTime = 0;
    return noErr;
}

// Text of a chapter sample: 'text' is counted, 'teXt' is the whole sample;
// UTF-8 in the source, Mac Roman on the handheld.
std::string chapterTitle(const std::vector<uint8_t>& data, OSType format) {
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    if (format != MakeOSType("teXt")) {
        if (data.size() < 2) return {};
        text = text.substr(2, std::min<size_t>((data[0] << 8) | data[1], data.size() - 2));
    }
    return utf8ToMacRomanLossy(text);
}

void addChapters(Instance* in) {
    Movie m = in->sourceMovie;
    if (m == nullptr) return;
    Track text = nullptr;
    for (int32_t i = 1; text == nullptr; ++i) {
        Track t = GetMovieIndTrack(m, i);
        if (t == nullptr) return;
        if (GetTrackEnabled(t) && GetTrackReferenceCount(t, kTrackReferenceChapterList) > 0)
            text = GetTrackReference(t, kTrackReferenceChapterList, 1);
    }
    if (text == nullptr) return;
    const TimeScale scale = GetMediaTimeScale(text);
    if (scale <= 0) return;
    TimeValue t = GetMediaNextSampleTime(text, 0, true);
    TimeValue previous = -1;
    while (t >= 0) {
        if (t <= previous) {
            // Did not advance: search again from the next time unit.
            t = GetMediaNextSampleTime(text, previous + 1, true);
            if (t < 0 || t <= previous) break;
        }
        std::vector<uint8_t> data;
        TimeValue start = 0, duration = 0;
        SampleDescription desc;
        if (GetMediaSample(text, t, &data, &start, &duration, &desc) != noErr) break;
        const std::string title = chapterTitle(data, desc.dataFormat);
        const uint32_t ms = uint32_t(t * 1000 / scale);
        ++in->chaptersOffered;
        // A full list refuses the chapter: it is counted for the caller to
        // report, and gets no key frame of its own.
        if (MovieWriterAddChapter(in->writer, ms, title.data(), uint32_t(title.size())) != noErr) {
            ++in->chaptersLeftOut;
        } else if (in->video) {
            in->chapterTimes.push_back(TimeValue(int64_t(ms) * in->video->timeScale / 1000));
        }
        previous = t;
        t = GetMediaNextSampleTime(text, t, false);
    }
    // Frames are keyed by walking the times in order.
    std::sort(in->chapterTimes.begin(), in->chapterTimes.end());
}

OSStatus decodeDelegateFrame(Instance* in, SourceRecord& v, TimeValue* sampleDuration);
OSStatus addVideoFrame(Instance* in, SourceRecord& v, TimeValue sampleDuration);

// One frame from the direct AVI reader, turned as the settings say.
OSStatus drawDirectFrame(Instance* in, SourceRecord& v, TimeValue* sampleDuration) {
    OSStatus err;
    if (v.descSeed == kNoSeed) {
        int32_t tw = 0, th = 0;
        const MatrixRecord m = FrameMatrix(v.outputWidth, v.outputHeight, v.outputWidth,
                                           v.outputHeight, in->settings.rotation, &tw, &th);
        if (tw <= 0 || th <= 0) return kStatusParamError;
        if ((err = DirectAviReaderSetSize(v.direct, v.outputWidth, v.outputHeight, v.frameRate)) !=
            noErr)
            return err;
        v.frameWidth = tw;
        v.frameHeight = th;
        v.frame.assign(size_t(tw) * size_t(th) * 4, 0);
        v.directFrame.assign(size_t(v.outputWidth) * size_t(v.outputHeight) * 4, 0);
        // The reader draws upright; a turn goes through a sequence.
        if (in->settings.rotation != 0) {
            SampleDescription d;
            d.descType = kImageDescriptionType;
            d.dataFormat = kBGRAPixelFormat;
            d.width = v.outputWidth;
            d.height = v.outputHeight;
            d.depth = 32;
            PixelBuffer dest{v.frame.data(), tw, th, tw * 4, k32BGRAPixelFormat};
            if ((err = DecompressSequenceBegin(&v.sequence, d, dest, &m, kDitherCopyMode,
                                               kCodecNormalQuality)) != noErr)
                return err;
        }
        v.descSeed = 1;
    }
    const bool turned = v.sequence != nullptr;
    uint8_t* target = turned ? v.directFrame.data() : v.frame.data();
    PixelBuffer dest{target, v.outputWidth, v.outputHeight, v.outputWidth * 4, k32BGRAPixelFormat};
    if ((err = DirectAviReaderDrawNext(v.direct, dest)) != noErr) return err;
    if (turned && (err = DecompressSequenceFrame(v.sequence, v.directFrame.data(),
                                                 int32_t(v.directFrame.size()))) != noErr)
        return err;
    const double rate = v.frameRate > 0 ? v.frameRate / 65536.0 : 0;
    *sampleDuration = rate > 0 ? TimeValue(std::max(1.0, std::floor(v.timeScale / rate))) : 1;
    return noErr;
}

OSStatus encodeVideoFrame(Instance* in, SourceRecord& v) {
    TimeValue sampleDuration = 0;
    OSStatus err;
    if (v.direct != nullptr) {
        if ((err = drawDirectFrame(in, v, &sampleDuration)) != noErr) return err;
    } else if ((err = decodeDelegateFrame(in, v, &sampleDuration)) != noErr) {
        return err;
    }
    return addVideoFrame(in, v, sampleDuration);
}

OSStatus decodeDelegateFrame(Instance* in, SourceRecord& v, TimeValue* sampleDuration) {
    MovieExportGetDataParams p;
    p.recordSize = kMovieExportGetDataParamsRecordSize;
    p.trackID = v.kind;
    p.requestedTime = TimeValue(v.currentTime);
    p.sourceTimeScale = v.timeScale;
    OSStatus err = v.dataProc(v.refCon, &p);
    if (err != noErr) return err;
    if (p.descType != kVideoMediaType || p.desc == nullptr) return kStatusParamError;
    if (p.descSeed != v.descSeed) {
        CDSequenceEnd(v.sequence);
        v.sequence = nullptr;
        int32_t tw = 0, th = 0;
        const MatrixRecord m = FrameMatrix(p.desc->width, p.desc->height, v.outputWidth,
                                           v.outputHeight, in->settings.rotation, &tw, &th);
        if (tw <= 0 || th <= 0) return kStatusParamError;
        v.frameWidth = tw;
        v.frameHeight = th;
        v.frame.assign(size_t(tw) * size_t(th) * 4, 0);
        PixelBuffer dest{v.frame.data(), tw, th, tw * 4, k32BGRAPixelFormat};
        // Grey and black-and-white movies keep only the pictures' brightness.
        const int writerMode = writerPictureMode(v.depth);
        const bool brightness = writerMode == kVideoModeGrey2 || writerMode == kVideoModeGrey4 ||
                                writerMode == kVideoModeMono1;
        err = DecompressSequenceBegin(&v.sequence, *p.desc, dest, &m,
                                      kDitherCopyMode | (brightness ? kBrightnessOnlyMode : 0),
                                      kCodecNormalQuality);
        if (err != noErr) return err;
        v.descSeed = p.descSeed;
    }
    if ((err = DecompressSequenceFrame(v.sequence, p.dataPtr, p.dataSize)) != noErr) return err;
    *sampleDuration = p.durationPerSample;
    return noErr;
}

OSStatus addVideoFrame(Instance* in, SourceRecord& v, TimeValue sampleDuration) {
    OSStatus err;
    // A slow source keeps its own frame times; a fast one is sampled at the
    // frame rate.
    const double duration = double(std::max<TimeValue>(sampleDuration, 1));
    ++v.frameCount;
    double next;
    if (v.frameRate == 0) {
        next = v.currentTime + duration;
    } else {
        next = double(v.frameCount) * v.timeScale * 65536.0 / v.frameRate + v.timeOffset;
        if (next < v.currentTime + duration) {
            v.timeOffset += v.currentTime + duration - next;
            next = v.currentTime + duration;
        }
    }
    // One key frame serves every chapter that starts while this frame is
    // shown; all of them are passed so the next chapter is one still ahead.
    // Half open: a chapter that starts where this frame ends belongs to the
    // next frame, the one shown at the chapter's time.
    bool chapterStarts = false;
    while (in->chapterIndex < in->chapterTimes.size() &&
           double(in->chapterTimes[in->chapterIndex]) < next) {
        chapterStarts = chapterStarts || double(in->chapterTimes[in->chapterIndex]) >= v.currentTime;
        ++in->chapterIndex;
    }
    if (chapterStarts && (err = MovieWriterForceKeyFrame(in->writer)) != noErr) return err;
    const double span = next - v.currentTime + v.remainder;
    const double whole = std::floor(span);
    v.remainder = span - whole;
    // A damaged source can show one picture for longer than a count holds.
    const int32_t units = whole >= double(INT32_MAX) ? INT32_MAX : whole > 0 ? int32_t(whole) : 0;
    err = MovieWriterAddFrame(in->writer, v.frame.data(), v.frameWidth * 4, units, nullptr);
    if (err != noErr) return err;
    v.currentTime = next;
    v.currentMs = toMs(v.currentTime, v.timeScale);
    return noErr;
}

// Averages each pair of output frames into one, in place; returns the frames left.
uint32_t halveFrames(uint8_t* data, uint32_t frames, const SoundComponentData& f) {
    const uint32_t pairs = frames / 2;
    const int ch = f.numChannels;
    if (f.sampleSize == 16) {
        for (uint32_t i = 0; i < pairs; ++i)
            for (int c = 0; c < ch; ++c) {
                int16_t a, b;
                std::memcpy(&a, data + ((2 * i) * ch + c) * 2, 2);
                std::memcpy(&b, data + ((2 * i + 1) * ch + c) * 2, 2);
                const int16_t avg = int16_t((int32_t(a) + int32_t(b)) / 2);
                std::memcpy(data + (i * ch + c) * 2, &avg, 2);
            }
    } else {
        for (uint32_t i = 0; i < pairs; ++i)
            for (int c = 0; c < ch; ++c)
                data[i * ch + c] =
                    uint8_t((data[(2 * i) * ch + c] + data[(2 * i + 1) * ch + c]) / 2);
    }
    return pairs;
}

OSStatus handOver(Instance* in, SourceRecord& s, uint32_t frames) {
    if (frames == 0) return noErr;
    const uint32_t frameBytes = uint32_t(s.output.numChannels) * uint32_t(s.output.sampleSize / 8);
    if (!s.halve)
        return MovieWriterAddSound(in->writer, s.outBuffer.data(), frames * frameBytes, frames);
    // An odd frame waits for its pair in the next call instead of being lost.
    s.halving.insert(s.halving.end(), s.outBuffer.begin(),
                     s.outBuffer.begin() + long(frames * frameBytes));
    const uint32_t whole = uint32_t(s.halving.size() / frameBytes);
    const uint32_t pairs = halveFrames(s.halving.data(), whole & ~1u, s.output);
    OSStatus err = noErr;
    if (pairs > 0)
        err = MovieWriterAddSound(in->writer, s.halving.data(), pairs * frameBytes, pairs);
    s.halving.erase(s.halving.begin(), s.halving.begin() + long(2 * pairs * frameBytes));
    return err;
}

OSStatus drainConverter(Instance* in, SourceRecord& s) {
    for (;;) {
        uint32_t frames = 0, bytes = 0;
        OSStatus err = SoundConverterEndConversion(s.converter, s.outBuffer.data(),
                                                   uint32_t(s.outBuffer.size()), &frames, &bytes);
        if (err != noErr) return err;
        if (frames == 0) return noErr;
        if ((err = handOver(in, s, frames)) != noErr) return err;
    }
}

OSStatus encodeSoundChunk(Instance* in, SourceRecord& s) {
    MovieExportGetDataParams p;
    p.recordSize = kMovieExportGetDataParamsRecordSize;
    p.trackID = s.kind;
    p.requestedTime = TimeValue(s.currentTime);
    p.sourceTimeScale = s.timeScale;
    p.requestedSampleCount = int32_t(std::max<uint32_t>(s.inputFrames, 1));
    if (s.converter == nullptr) {
        // Before the first description is known, ask for one chunk's worth at the source rate.
        p.requestedSampleCount =
            int32_t(std::max<double>(1, double(s.chunk) * s.timeScale / s.output.sampleRate));
    }
    OSStatus err = s.dataProc(s.refCon, &p);
    if (err == kStatusEndOfData) {
        if (s.converter != nullptr) {
            err = drainConverter(in, s);
            SoundConverterClose(s.converter);
            s.converter = nullptr;
            s.outBuffer.clear();
            if (err != noErr) return err;
        }
        return kStatusEndOfData;
    }
    if (err != noErr) return err;
    if (p.descType != kSoundMediaType || p.desc == nullptr) return kStatusParamError;
    if (s.converter == nullptr || p.descSeed != s.descSeed) {
        if (s.converter != nullptr) {
            if ((err = drainConverter(in, s)) != noErr) return err;
            SoundConverterClose(s.converter);
            s.converter = nullptr;
        }
        const SampleDescription& d = *p.desc;
        SoundComponentData input{d.dataFormat, d.channels, d.sampleSize, d.sampleRate};
        SoundComponentData output = s.output;
        // A 4096 Hz output is made at 8192 Hz and halved, which filters
        // better than converting down in one step.
        s.halve = output.sampleRate == 4096;
        if (s.halve) output.sampleRate = 8192;
        if ((err = SoundConverterOpen(input, output, &s.converter)) != noErr) return err;
        const uint32_t perFrame = uint32_t(std::max(1, d.channels * d.sampleSize / 8));
        const uint32_t target =
            uint32_t(std::max(1.0, double(s.chunk) * d.sampleRate / s.output.sampleRate)) *
            perFrame;
        uint32_t inBytes = 0, outBytes = 0;
        if ((err = SoundConverterGetBufferSizes(s.converter, target, &s.inputFrames, &inBytes,
                                                &outBytes)) != noErr)
            return err;
        s.outBuffer.assign(outBytes, 0);
        if ((err = SoundConverterBeginConversion(s.converter)) != noErr) return err;
        s.descSeed = p.descSeed;
    }
    uint32_t frames = 0, bytes = 0;
    err = SoundConverterConvertBuffer(s.converter, p.dataPtr, uint32_t(p.actualSampleCount),
                                      s.outBuffer.data(), uint32_t(s.outBuffer.size()), &frames,
                                      &bytes);
    if (err != noErr) return err;
    if ((err = handOver(in, s, frames)) != noErr) return err;
    if (p.actualSampleCount <= 0) return kStatusEndOfData;
    s.currentTime += p.actualSampleCount;
    s.currentMs = toMs(s.currentTime, s.timeScale);
    return noErr;
}

uint32_t streamDurationMs(const SourceRecord& r) {
    if (r.direct != nullptr) return toMs(double(r.directDuration), r.timeScale);
    TimeRecord d;
    if (r.propertyProc(r.refCon, r.kind, kMovieExportDuration, &d) != noErr || d.scale <= 0)
        return 0;
    return toMs(double(d.value), d.scale);
}

OSStatus writeImage(Instance* in, DataHandler dh) {
    uint32_t size = 0;
    OSStatus err = MovieWriterGetSize(in->writer, &size);
    if (err != noErr) return err;
    uint32_t pieceBytes = std::clamp<uint32_t>(size, 1, kLargePieceBytes);
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[pieceBytes]);
    if (!piece) {
        pieceBytes = kPieceBytes;
        piece.reset(new (std::nothrow) uint8_t[pieceBytes]);
    }
    if (!piece) return kStatusOutOfMemory;
    for (uint32_t at = 0; at < size;) {
        const uint32_t n = std::min(pieceBytes, size - at);
        if ((err = MovieWriterRead(in->writer, piece.get(), at, n)) != noErr) return err;
        if ((err = DataHandlerWrite(dh, at, {piece.get(), n})) != noErr) return err;
        at += n;
    }
    return noErr;
}

OSStatus runExport(Instance* in, const DataReference& ref, DataHandler* dh) {
    OSStatus err = DataHandlerOpen(ref, dh);
    if (err != noErr) return err;
    if ((err = DataHandlerCreateFile(*dh, kMoviepackerCreator, false)) != noErr) return err;
    if ((err = DataHandlerSetFileType(*dh, kMoviepackerFileType)) != noErr) return err;
    if ((err = DataHandlerOpenForWrite(*dh)) != noErr) return err;

    std::string name;
    if ((err = DataHandlerGetFileName(*dh, &name)) != noErr) return err;
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    // The handheld shows the name in Mac Roman and keeps 31 characters of it.
    name = utf8ToMacRomanLossy(name, kDatabaseNameChars);
    if ((err = MovieWriterCreate(&in->writer)) != noErr) return err;
    if ((err = MovieWriterSetName(in->writer,
                                  name.empty() ? kUntitledDatabaseName : name.c_str())) != noErr)
        return err;
    const std::pair<int32_t, const SourceText*> texts[] = {{kMovieInfoTitle, &in->title},
                                                           {kMovieInfoInformation, &in->info},
                                                           {kMovieInfoRights, &in->copyright}};
    for (const auto& [key, text] : texts)
        if ((*text)[0] != '\0' &&
            (err = MovieWriterSetInfoString(in->writer, key, text->data())) != noErr)
            return err;

    if (in->settings.presentation) layOutPresentation(in->writer, &*in->settings.presentation);

    SourceRecord* v = in->video.get();
    SourceRecord* s = in->sound.get();
    const int streams = (v ? 1 : 0) + (s ? 1 : 0);
    uint32_t totalMs = 0;
    if (streams > 0) {
        MovieExportCompressionParams c;
        c.temporal.frameRate = in->settings.frameRate;
        c.spatial.depth = in->settings.depth;
        CallComponent(in->delegate, kMovieExportSetCompressionSettingsSelect, &c);
        if (v && v->direct != nullptr) {
            v->frameRate = in->settings.frameRate;
            v->depth = in->settings.depth;
            v->videoDataRate = in->settings.videoDataRate;
            int32_t bw = 0, bh = 0;
            if (in->sourceMovie) GetMovieNaturalBounds(in->sourceMovie, &bw, &bh);
            v->sourceWidth = bw;
            v->sourceHeight = bh;
            totalMs = std::max(totalMs, streamDurationMs(*v));
        } else if (v) {
            v->frameRate = in->settings.frameRate;
            v->depth = in->settings.depth;
            v->videoDataRate = in->settings.videoDataRate;
            SCTemporalSettings temporal;
            if (v->propertyProc(v->refCon, v->kind, kSCTemporalSettingsType, &temporal) == noErr)
                v->frameRate = temporal.frameRate;
            SCSpatialSettings spatial;
            if (v->propertyProc(v->refCon, v->kind, kSCSpatialSettingsType, &spatial) == noErr)
                v->depth = spatial.depth;
            Fixed w = 0, h = 0;
            int32_t bw = 0, bh = 0;
            if (in->sourceMovie) GetMovieNaturalBounds(in->sourceMovie, &bw, &bh);
            const bool haveW = v->propertyProc(v->refCon, v->kind, kMovieExportWidth, &w) == noErr;
            const bool haveH = v->propertyProc(v->refCon, v->kind, kMovieExportHeight, &h) == noErr;
            int sw = 0, sh = 0;
            sourceSize(haveW ? FixedToInt(w) : 0, haveH ? FixedToInt(h) : 0, bw, bh, &sw, &sh);
            v->sourceWidth = sw;
            v->sourceHeight = sh;
            totalMs = std::max(totalMs, streamDurationMs(*v));
        }
        if (s) totalMs = std::max(totalMs, streamDurationMs(*s));
        if (totalMs != 0 && in->progressProc != nullptr && !in->progressOpen) {
            in->progressOpen = true;
            if ((err = sendProgress(in, kMovieProgressOpen, 0)) != noErr) return err;
        }
        if (v && (err = setUpVideo(in, *v)) != noErr) return err;
        if (v && v->direct == nullptr) {
            // Pictures are drawn at the output size: the delegate need not
            // decode them larger.
            MovieExportDrawSizeParams d{v->outputWidth, v->outputHeight};
            CallComponent(in->delegate, kMovieExportSetDrawSizeSelect, &d);
        }
        if (s && (err = setUpSound(in, *s)) != noErr) return err;
        addChapters(in);

        if ((err = MovieWriterStart(in->writer)) != noErr) return err;
        bool videoActive = v != nullptr, soundActive = s != nullptr;
        while (videoActive || soundActive) {
            if (videoActive) {
                err = encodeVideoFrame(in, *v);
                if (err == kStatusEndOfData)
                    videoActive = false;
                else if (err != noErr)
                    return err;
            }
            if (soundActive && (!videoActive || v->currentMs >= s->currentMs)) {
                err = encodeSoundChunk(in, *s);
                if (err == kStatusEndOfData)
                    soundActive = false;
                else if (err != noErr)
                    return err;
            }
            if (in->progressOpen && totalMs != 0) {
                const double sum = (v ? v->currentMs : 0) + (s ? s->currentMs : 0);
                double f = 0.875 * (sum / streams) / totalMs;
                Fixed fx = std::min(Fixed(f * 65536), kVideoProgressCap);
                if ((err = reportProgress(in, fx)) != noErr) return err;
            }
        }
    } else {
        if ((err = MovieWriterStart(in->writer)) != noErr) return err;
    }

    if (in->progressOpen) {
        g_packing = in;
        MovieWriterSetProgress(in->writer, packingProgress, 0);
    }
    err = MovieWriterFinish(in->writer);
    g_packing = nullptr;
    if (err != noErr) return err;
    if (in->progressAnswer != noErr) return in->progressAnswer;
    if ((err = writeImage(in, *dh)) != noErr) return err;
    if (in->progressOpen) return reportProgress(in, IntToFixed(1));
    return noErr;
}

OSStatus exportFromProcedures(Instance* in, ComponentInstance, void* params) {
    auto* p = static_cast<MovieExportFromProceduresParams*>(params);
    if (p == nullptr || p->dataRef == nullptr || p->dataRef->type == 0) return kStatusParamError;
    DataHandler dh = nullptr;
    if (!in->progressCarried) {
        in->lastProgress = 0;
        in->progressOpen = false;
    }
    in->progressCarried = false;
    in->progressAnswer = noErr;
    in->chapterTimes.clear();
    in->chapterIndex = 0;
    in->chaptersOffered = in->chaptersLeftOut = 0;
    const OSStatus err = runExport(in, *p->dataRef, &dh);
    // Whatever happened: release what this export made.
    in->video.reset();
    in->sound.reset();
    DataHandlerClose(dh);
    MovieWriterDispose(in->writer);
    in->writer = nullptr;
    in->chapterTimes.clear();
    if (in->progressOpen) {
        sendProgress(in, kMovieProgressClose, 0);
        in->progressOpen = false;
    }
    return err;
}

// Asks the delegate for one kind's procedures and adds them as a source.
OSStatus addDelegateSource(Instance* in, ComponentInstance self,
                           const MovieExportToDataRefParams& p, OSType kind,
                           MovieExportDisposeProcsParams* made, OSStatus (*check)(Movie, OSType*)) {
    TimeScale scale = 0;
    MovieExportNewProcsParams np;
    np.trackType = kind;
    np.scale = &scale;
    np.movie = p.movie;
    np.track = p.onlyThisTrack;
    np.startTime = p.startTime;
    np.duration = p.duration;
    np.propertyProc = &made->propertyProc;
    np.dataProc = &made->dataProc;
    np.refCon = &made->refCon;
    OSStatus err = CallComponent(in->delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &np);
    if (err != noErr) {
        *made = {};
        return err;
    }
    if ((err = check(p.movie, &in->missingCodec)) != noErr) return err;
    int32_t id = 0;
    MovieExportAddDataSourceParams a{kind,           scale,       &id, made->propertyProc,
                                     made->dataProc, made->refCon};
    return CallComponent(self, kMovieExportAddDataSourceSelect, &a);
}

// The delegate serves no sound of an MPEG-1 system stream: read it here.
OSStatus addMpegOwnSound(Instance* in, ComponentInstance self, Movie movie) {
    OSStatus err = MpegOwnSound::prepare(movie, *in->mpegTables, &in->mpegSound, &in->missingCodec);
    if (err != noErr) return err;
    int32_t id = 0;
    MovieExportAddDataSourceParams a{kSoundMediaType,           in->mpegSound->timeScale(),
                                     &id,                       MpegOwnSound::getProperty,
                                     MpegOwnSound::getData,     in->mpegSound.get()};
    if ((err = CallComponent(self, kMovieExportAddDataSourceSelect, &a)) != noErr) return err;
    in->ownSound = true;
    in->ownSoundType = kMPEGMediaType;
    return noErr;
}

// The rendering of "blah.aif" is the first half of the sound's share of
// the progress; the sound stream's own progress takes over from there.
OSStatus forwardMusicProgress(void* context, double fraction) {
    auto* in = static_cast<Instance*>(context);
    const int streams = (in->video ? 1 : 0) + (in->sound ? 1 : 0);
    const double share = 0.875 * 0.5 / std::max(1, streams);
    return reportProgress(in, Fixed(std::clamp(fraction, 0.0, 1.0) * share * 65536));
}

// Own sound from a music track, when the movie has one and nothing else
// supplies sound.
OSStatus addMusicSound(Instance* in, ComponentInstance self, Movie movie) {
    if (GetMovieIndTrackType(movie, 1, kMusicMediaType,
                             kMovieTrackMediaType | kMovieTrackEnabledOnly) == nullptr)
        return noErr;
    OSStatus err = MusicSound::prepare(in->settings, movie, &in->music);
    if (err != noErr) return err;
    in->music->setProgressForward(forwardMusicProgress, in);
    in->ownSound = true;
    in->ownSoundType = kMusicMediaType;
    int32_t id = 0;
    MovieExportAddDataSourceParams a{kSoundMediaType,      in->music->timeScale(), &id,
                                     MusicSound::getProperty, MusicSound::getData,
                                     in->music.get()};
    return CallComponent(self, kMovieExportAddDataSourceSelect, &a);
}

OSStatus exportToDataRef(Instance* in, ComponentInstance self, void* params) {
    auto* p = static_cast<MovieExportToDataRefParams*>(params);
    if (p == nullptr || p->dataRef == nullptr || p->movie == nullptr) return kStatusParamError;
    in->title[0] = in->info[0] = in->copyright[0] = '\0';
    in->missingCodec = 0;
    in->sourceMovie = p->movie;
    in->ownSound = false;
    in->ownSoundType = 0;
    in->video.reset();
    in->sound.reset();
    fillSourceTexts(p->movie, &in->title, &in->info, &in->copyright);

    const bool wantVideo = videoWanted(in->settings, p->movie);
    in->mp3Track = findMp3Track(p->movie);
    in->mp3FixNeeded = false;
    if (in->mp3Track != nullptr) {
        Track firstVideo = GetMovieIndTrackType(p->movie, 1, kVideoMediaType,
                                                kMovieTrackMediaType | kMovieTrackEnabledOnly);
        in->mp3FixNeeded =
            firstVideo != nullptr &&
            mp3LengthMismatch(GetTrackDuration(in->mp3Track), GetTrackDuration(firstVideo));
    }

    MovieExportDisposeProcsParams videoProcs, soundProcs;
    SilencedTracks flash;
    in->avi = AviSourceState{};
    in->progressOpen = in->progressCarried = false;
    in->lastProgress = 0;
    OSStatus err = inspectAviSource(p->movie, &in->mp3FixNeeded, &in->avi);
    in->lastRoad = in->avi.road;
    if (err == noErr && in->mp3FixNeeded) {
        err = applyMp3Fix(
            p->movie, in->mp3Track,
            [in](Fixed f) {
                if (in->progressProc == nullptr) return noErr;
                if (!in->progressOpen) {
                    in->progressOpen = in->progressCarried = true;
                    if (OSStatus e = sendProgress(in, kMovieProgressOpen, 0); e != noErr) return e;
                }
                return reportProgress(in, f);
            },
            &in->avi);
    }
    if (err == noErr && wantVideo && in->avi.reader != nullptr) {
        // Frames come from the AVI reader: no decoder check, no delegate.
        in->video.reset(new (std::nothrow) SourceRecord);
        if (!in->video) {
            err = kStatusOutOfMemory;
        } else {
            SourceRecord& v = *in->video;
            v.kind = kVideoKind;
            v.direct = in->avi.reader;
            v.timeScale = GetMovieTimeScale(p->movie);
            Track first = GetMovieIndTrackType(p->movie, 1, kVideoMediaType,
                                               kMovieTrackMediaType | kMovieTrackEnabledOnly);
            v.directDuration = first != nullptr ? GetTrackDuration(first) : 0;
        }
    } else if (err == noErr && wantVideo) {
        err = checkVideoDecoders(p->movie, &in->missingCodec);
        if (err == noErr)
            err = addDelegateSource(in, self, *p, kVideoMediaType, &videoProcs,
                                    [](Movie, OSType*) { return noErr; });
    }
    if (err == noErr && in->settings.soundCodec != kSoundNone) {
        // When the delegate has no sound to serve, the sound is read here:
        // the audio of an MPEG-1 system stream, else (below) a music track.
        err = addDelegateSource(in, self, *p, kSoundMediaType, &soundProcs, checkSoundDecoders);
        if (err != noErr && soundProcs.refCon == nullptr) {
            err = noErr;
            if (GetMovieIndTrackType(p->movie, 1, kMPEGMediaType,
                                     kMovieTrackMediaType | kMovieTrackEnabledOnly) != nullptr)
                err = addMpegOwnSound(in, self, p->movie);
        }
    }
    if (err == noErr && in->settings.soundCodec != kSoundNone && !in->sound)
        err = addMusicSound(in, self, p->movie);
    if (err == noErr) {
        silenceFlashTracks(p->movie, &flash);
        MovieExportFromProceduresParams fp{p->dataRef};
        err = CallComponent(self, kMovieExportFromProceduresToDataRefSelect, &fp);
        restoreFlashTracks(flash);
    }
    in->video.reset();
    in->sound.reset();
    in->mpegSound.reset();
    in->music.reset();
    if (err == kStatusNoCodec && in->ownSoundType == kMusicMediaType && in->missingCodec == 0)
        in->missingCodec = kMusicMediaType;  // no soundfont: nothing can play the music
    for (auto* procs : {&videoProcs, &soundProcs})
        if (procs->refCon != nullptr)
            CallComponent(in->delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, procs);
    releaseAviSource(&in->avi);
    if (in->progressCarried) {
        // The export proper never ran to close what the MP3 fix opened.
        sendProgress(in, kMovieProgressClose, 0);
        in->progressOpen = in->progressCarried = false;
    }
    if (err == noErr && audioLeftBehind(p->movie, in->ownSound)) err = kStatusExportedWithoutAudio;
    return err;
}

}  // namespace

OSStatus RegisterMoviepackerExporter(Component* out) {
    static Component registered = nullptr;
    if (registered == nullptr) {
        ComponentDescription d{kMovieExportType, kMoviepackerExportSubType,
                               kMoviepackerManufacturer, kMoviepackerExportFlags, 0};
        const OSStatus err =
            RegisterComponent(d, exporterRoutine, kMoviepackerExportName, &registered);
        if (err != noErr) return err;
    }
    if (out != nullptr) *out = registered;
    return noErr;
}

OSStatus OpenMoviepackerExporter(ComponentInstance* instance) {
    Component c = nullptr;
    const OSStatus err = RegisterMoviepackerExporter(&c);
    if (err != noErr) return err;
    return OpenComponent(c, instance);
}

OSType QueryMissingCodec(ComponentInstance exporter) {
    const uint32_t tag = kMissingCodecRequestTag;
    const uint16_t code = uint16_t(int16_t(kStatusNoCodec));
    std::vector<uint8_t> h{uint8_t(tag >> 24), uint8_t(tag >> 16), uint8_t(tag >> 8),
                           uint8_t(tag),       uint8_t(code >> 8), uint8_t(code)};
    OSType type = 0;
    MovieExportAuxDataParams p{&h, &type};
    if (CallComponent(exporter, kMovieExportGetAuxiliaryDataSelect, &p) != noErr || h.size() != 4)
        return 0;
    return (OSType(h[0]) << 24) | (OSType(h[1]) << 16) | (OSType(h[2]) << 8) | h[3];
}

uint32_t QueryChaptersLeftOut(ComponentInstance exporter, uint32_t* total) {
    const uint32_t tag = kMissingCodecRequestTag;
    const uint16_t code = uint16_t(kChaptersLeftOutRequest);
    std::vector<uint8_t> h{uint8_t(tag >> 24), uint8_t(tag >> 16), uint8_t(tag >> 8),
                           uint8_t(tag),       uint8_t(code >> 8), uint8_t(code)};
    OSType type = 0;
    MovieExportAuxDataParams p{&h, &type};
    if (total != nullptr) *total = 0;
    if (CallComponent(exporter, kMovieExportGetAuxiliaryDataSelect, &p) != noErr || h.size() != 8)
        return 0;
    auto be32 = [&](size_t at) {
        return uint32_t(h[at]) << 24 | uint32_t(h[at + 1]) << 16 | uint32_t(h[at + 2]) << 8 | h[at + 3];
    };
    if (total != nullptr) *total = be32(4);
    return be32(0);
}

VideoRoad QueryVideoRoad(ComponentInstance exporter) {
    VideoRoad road = VideoRoad::kToolbox;
    CallComponent(exporter, kMovieExportGetVideoRoadSelect, &road);
    return road;
}
