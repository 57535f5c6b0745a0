#include "platform/movies.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
}

#include "platform/midi_import.h"
#include "platform/movie_internal.h"
#include "platform/mpeg_streams.h"
#include "platform/vfw.h"

namespace {

constexpr TimeScale kMovieTimeScale = 600;
constexpr TimeValue kStillDuration = 1000;
constexpr TimeScale kStillTimeScale = 1000;
constexpr TimeScale kChapterTimeScale = 1000;
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = 8192 * 8192;

bool EndsWith(const char* s, const char* suffix) {
    const size_t n = std::strlen(s), m = std::strlen(suffix);
    return n >= m && std::strcmp(s + n - m, suffix) == 0;
}

// A still picture is a single-image format, or a GIF that holds one frame.
// The clockwise turn a stream's display matrix asks for, in quarter turns
// (0, 90, 180 or 270 degrees); mirrored or skewed matrices count as none.
int32_t DisplayRotation(const AVStream* st) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data == nullptr || size < 9 * sizeof(int32_t)) return 0;
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    const double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise)) return 0;
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int32_t>(((quarters % 4) + 4) % 4) * 90;
}

bool IsStillPicture(MediaSource& src) {
    AVFormatContext* fmt = src.format();
    if (EndsWith(fmt->iformat->name, "_pipe")) return true;
    if (std::strcmp(fmt->iformat->name, "gif") != 0) return false;
    AVPacket* pkt = av_packet_alloc();
    if (pkt == nullptr) return false;
    int frames = 0;
    src.ArmDeadline(kRequestDeadlineSeconds);
    while (frames < 2 && av_read_frame(fmt, pkt) >= 0) {
        frames += 1;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    return frames == 1;
}

void AddUserData(MovieRecord* m, OSType type, const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
    if (e != nullptr && e->value != nullptr && e->value[0] != '\0') {
        m->userData[type].emplace_back(e->value);
    }
}

// The bitmap header an AVI import keeps with its video descriptions.
std::vector<uint8_t> AviStreamFormat(const AVCodecParameters& par) {
    BitmapInfoHeader h;
    h.width = par.width;
    h.height = par.height;
    h.bitCount = uint16_t(par.bits_per_coded_sample);
    h.compression = par.codec_tag;
    std::vector<uint8_t> out(kBitmapInfoHeaderSize);
    WriteBitmapInfoHeader(h, std::span<uint8_t, kBitmapInfoHeaderSize>(out.data(), out.size()));
    if (par.extradata != nullptr && par.extradata_size > 0)
        out.insert(out.end(), par.extradata, par.extradata + par.extradata_size);
    return out;
}

SampleDescription DescribeStream(const AVStream* st, ContainerFamily family) {
    const AVCodecParameters& par = *st->codecpar;
    SampleDescription d;
    d.dataFormat = SampleFormatForStream(par, family);
    if (par.extradata != nullptr && par.extradata_size > 0) {
        d.extension.assign(par.extradata, par.extradata + par.extradata_size);
    }
    switch (par.codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            d.descType = kImageDescriptionType;
            d.width = par.width;
            d.height = par.height;
            d.depth = static_cast<int16_t>(par.bits_per_coded_sample > 0 &&
                                                   par.bits_per_coded_sample <= 32
                                               ? par.bits_per_coded_sample
                                               : 24);
            if (family == ContainerFamily::kRiff) d.strf = AviStreamFormat(par);
            break;
        case AVMEDIA_TYPE_AUDIO: {
            d.descType = kSoundDescriptionType;
            d.channels = static_cast<int16_t>(std::clamp(par.ch_layout.nb_channels, 0, 64));
            int bits = av_get_bits_per_sample(par.codec_id);
            if (bits <= 0 || bits > 64) bits = 16;  // compressed: 16-bit once decoded
            d.sampleSize = static_cast<int16_t>(bits);
            d.sampleRate = par.sample_rate;
            d.bytesPerFrame = d.channels * d.sampleSize / 8;
            break;
        }
        default:
            d.descType = kTextDescriptionType;
            break;
    }
    return d;
}

int64_t MovieOriginMicroseconds(const AVFormatContext* fmt) {
    return fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0;
}

void AddStreamTrack(MovieRecord* m, MediaSource& src, int index, bool mpegAudio = false) {
    AVFormatContext* fmt = src.format();
    const AVStream* st = fmt->streams[index];
    const AVCodecParameters& par = *st->codecpar;
    OSType type = 0;
    if (par.codec_type == AVMEDIA_TYPE_VIDEO) {
        // Cover art of sound files is not a picture track.
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return;
        // Pictures beyond this would only exhaust memory; no source needs them.
        if (par.width <= 0 || par.height <= 0 || par.width > kMaxPictureSide ||
            par.height > kMaxPictureSide ||
            static_cast<int64_t>(par.width) * par.height > kMaxPicturePixels) {
            m->unusablePictures.push_back({par.width, par.height});
            return;
        }
        type = kVideoMediaType;
    } else if (par.codec_type == AVMEDIA_TYPE_AUDIO) {
        if (par.sample_rate <= 0 || par.ch_layout.nb_channels <= 0) return;
        type = mpegAudio ? kMPEGMediaType : kSoundMediaType;
    } else if (par.codec_type == AVMEDIA_TYPE_SUBTITLE) {
        type = kTextMediaType;
    } else {
        return;
    }
    if (st->time_base.num <= 0 || st->time_base.den <= 0) return;
    auto t = std::make_unique<TrackRecord>();
    t->movie = m;
    t->trackID = m->nextTrackID++;
    t->mediaType = type;
    t->bytes = src.bytes();
    t->streamIndex = index;
    t->streamTimeBase = st->time_base;
    t->mediaScale = st->time_base.den;
    t->originPts = av_rescale_q(MovieOriginMicroseconds(fmt), AV_TIME_BASE_Q, st->time_base);
    int64_t duration = 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : t->originPts;
        duration = st->duration + (start - t->originPts);
    } else if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0) {
        duration = av_rescale_q(fmt->duration, AV_TIME_BASE_Q, st->time_base);
    }
    t->mediaDuration = std::max<int64_t>(0, duration) * st->time_base.num;
    if (type == kVideoMediaType) {
        t->width = par.width;
        t->height = par.height;
        const AVRational sar =
            st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par.sample_aspect_ratio;
        if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
            t->width = static_cast<int32_t>(av_rescale(par.width, sar.num, sar.den));
        }
        t->rotation = DisplayRotation(st);
        if (t->rotation == 90 || t->rotation == 270) std::swap(t->width, t->height);
    }
    t->descriptions.push_back(DescribeStream(st, src.family()));
    m->tracks.push_back(std::move(t));
}

void AddChapterTrack(MovieRecord* m, const AVFormatContext* fmt) {
    if (fmt->nb_chapters == 0) return;
    auto t = std::make_unique<TrackRecord>();
    t->movie = m;
    t->trackID = m->nextTrackID++;
    t->mediaType = kTextMediaType;
    t->enabled = false;  // chapter lists are not shown as a track of their own
    t->mediaScale = kChapterTimeScale;
    const AVRational ms{1, kChapterTimeScale};
    const int64_t origin = av_rescale_q(MovieOriginMicroseconds(fmt), AV_TIME_BASE_Q, ms);
    for (unsigned i = 0; i < fmt->nb_chapters; ++i) {
        const AVChapter* ch = fmt->chapters[i];
        if (ch->time_base.num <= 0 || ch->time_base.den <= 0) continue;
        TextSample s;
        s.start = std::max<int64_t>(0, av_rescale_q(ch->start, ch->time_base, ms) - origin);
        const int64_t end = av_rescale_q(ch->end, ch->time_base, ms) - origin;
        s.duration = std::max<int64_t>(1, end - s.start);
        const AVDictionaryEntry* e = av_dict_get(ch->metadata, "title", nullptr, 0);
        const std::string title = e != nullptr && e->value != nullptr ? e->value : "";
        const size_t n = std::min<size_t>(title.size(), 0xFFFF);
        s.data.push_back(static_cast<uint8_t>(n >> 8));
        s.data.push_back(static_cast<uint8_t>(n));
        s.data.insert(s.data.end(), title.begin(), title.begin() + static_cast<ptrdiff_t>(n));
        t->textSamples.push_back(std::move(s));
    }
    if (t->textSamples.empty()) return;
    std::stable_sort(t->textSamples.begin(), t->textSamples.end(),
                     [](const TextSample& a, const TextSample& b) { return a.start < b.start; });
    // A track has one sample at a time: chapters that start together follow
    // one another a millisecond apart instead of hiding all but one.
    for (size_t i = 1; i < t->textSamples.size(); ++i) {
        TextSample& s = t->textSamples[i];
        const TextSample& before = t->textSamples[i - 1];
        if (s.start <= before.start) {
            const int64_t end = s.start + s.duration;
            s.start = before.start + 1;
            s.duration = std::max<int64_t>(1, end - s.start);
        }
    }
    t->mediaDuration = t->textSamples.back().start + t->textSamples.back().duration;
    SampleDescription d;
    d.descType = kTextDescriptionType;
    d.dataFormat = kTextFormat;
    t->descriptions.push_back(d);
    TrackRecord* owner = nullptr;
    for (OSType kind : {kVideoMediaType, kSoundMediaType}) {
        for (auto& other : m->tracks) {
            if (owner == nullptr && other->mediaType == kind && other->enabled) owner = other.get();
        }
    }
    if (owner != nullptr) owner->references.emplace(kTrackReferenceChapterList, t.get());
    m->tracks.push_back(std::move(t));
}

// One importer for everything: the still-picture path differs only in timing.
OSStatus OpenMovie(const ByteSource& bytes, bool forceStill, TimeValue stillDuration,
                   TimeScale stillScale, Movie* movie) {
    if (movie == nullptr) return kStatusParamError;
    *movie = nullptr;
    if (IsMidiSource(bytes)) return forceStill ? kStatusNoMovieFound : NewMovieFromMidi(bytes, movie);
    std::unique_ptr<MediaSource> src;
    if (OSStatus err = MediaSource::Open(bytes, &src); err != noErr) return err;
    const bool still = IsStillPicture(*src);
    if (forceStill && !still) return kStatusNoMovieFound;
    auto m = std::unique_ptr<MovieRecord>(new (std::nothrow) MovieRecord);
    if (!m) return kStatusOutOfMemory;
    m->bytes = bytes;
    AVFormatContext* fmt = src->format();
    if (still) {
        m->timeScale = stillScale;
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            if (fmt->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
            AddStreamTrack(m.get(), *src, static_cast<int>(i));
            if (m->tracks.empty()) continue;
            TrackRecord& t = *m->tracks.back();
            t.stillImage = true;
            t.mediaScale = stillScale;
            t.mediaDuration = stillDuration;
            break;
        }
    } else {
        m->timeScale = kMovieTimeScale;
        const bool mpegAudio = IsMpeg1SystemStream(*src);  // see mpeg_streams.h
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            AddStreamTrack(m.get(), *src, static_cast<int>(i), mpegAudio);
        }
        // QuickTime files say which tracks are enabled; FFmpeg reports it as
        // the default disposition. Files that mark none keep all enabled.
        if (src->family() == ContainerFamily::kQuickTime) {
            auto isDefault = [fmt](const std::unique_ptr<TrackRecord>& t) {
                return (fmt->streams[t->streamIndex]->disposition & AV_DISPOSITION_DEFAULT) != 0;
            };
            if (std::any_of(m->tracks.begin(), m->tracks.end(), isDefault)) {
                for (auto& t : m->tracks) t->enabled = isDefault(t);
            }
        }
        AddChapterTrack(m.get(), fmt);
    }
    const bool hasMedia = std::any_of(m->tracks.begin(), m->tracks.end(), [](const auto& t) {
        return t->mediaType == kVideoMediaType || t->mediaType == kSoundMediaType ||
               t->mediaType == kMPEGMediaType;
    });
    if (!hasMedia) return kStatusNoMovieFound;
    AddUserData(m.get(), kUserDataTextFullName, fmt->metadata, "title");
    AddUserData(m.get(), kUserDataTextInformation, fmt->metadata, "comment");
    AddUserData(m.get(), kUserDataTextInformation, fmt->metadata, "description");
    AddUserData(m.get(), kUserDataTextCopyright, fmt->metadata, "copyright");
    *movie = m.release();
    return noErr;
}

}  // namespace

TimeValue StreamToMediaTime(const TrackRecord& t, int64_t pts) {
    if (t.stillImage) return 0;
    return av_rescale_q(pts - t.originPts, t.streamTimeBase, AVRational{1, t.mediaScale});
}

int64_t MediaToStreamTime(const TrackRecord& t, TimeValue mediaTime) {
    return av_rescale_q(mediaTime, AVRational{1, t.mediaScale}, t.streamTimeBase) + t.originPts;
}

TimeValue MediaToMovieTime(const TrackRecord& t, TimeValue mediaTime) {
    return av_rescale(mediaTime, t.movie->timeScale, t.mediaScale);
}

OSStatus FindMovieImporter(const std::string& path, OSType* importerSubType) {
    if (importerSubType == nullptr) return kStatusParamError;
    if (IsMidiSource(ByteSource{path, nullptr})) {
        *importerSubType = kMovieFileImporterSubType;
        return noErr;
    }
    std::unique_ptr<MediaSource> src;
    if (OSStatus err = MediaSource::Open(ByteSource{path, nullptr}, &src); err != noErr) return err;
    *importerSubType =
        IsStillPicture(*src) ? kStillImageImporterSubType : kMovieFileImporterSubType;
    return noErr;
}

OSStatus NewMovieFromFile(const std::string& path, Movie* movie) {
    return OpenMovie(ByteSource{path, nullptr}, false, kStillDuration, kStillTimeScale, movie);
}

OSStatus NewMovieFromFile(const FileSpec& spec, Movie* movie) {
    return NewMovieFromFile(FileSpecPath(spec), movie);
}

OSStatus NewMovieFromMemory(std::span<const uint8_t> bytes, Movie* movie) {
    std::shared_ptr<std::vector<uint8_t>> copy;
    try {
        copy = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return OpenMovie(ByteSource{std::string(), copy}, false, kStillDuration, kStillTimeScale,
                     movie);
}

OSStatus NewMovieFromStillImage(const std::string& path, TimeValue duration, TimeScale scale,
                                Movie* movie) {
    if (duration <= 0 || scale <= 0) return kStatusParamError;
    return OpenMovie(ByteSource{path, nullptr}, true, duration, scale, movie);
}

void DisposeMovie(Movie movie) {
    delete movie;
}

TimeScale GetMovieTimeScale(Movie movie) {
    return movie != nullptr ? movie->timeScale : 0;
}

TimeValue GetMovieDuration(Movie movie) {
    if (movie == nullptr) return 0;
    TimeValue d = 0;
    for (const auto& t : movie->tracks) d = std::max(d, GetTrackDuration(t.get()));
    return d;
}

int32_t GetMovieUnusablePictureCount(Movie movie, int32_t* width, int32_t* height) {
    if (movie == nullptr || movie->unusablePictures.empty()) return 0;
    if (width != nullptr) *width = movie->unusablePictures.front().first;
    if (height != nullptr) *height = movie->unusablePictures.front().second;
    return static_cast<int32_t>(movie->unusablePictures.size());
}

void GetMovieNaturalBounds(Movie movie, int32_t* width, int32_t* height) {
    int32_t w = 0, h = 0;
    if (Track t = GetMovieIndTrackType(movie, 1, kVideoMediaType,
                                       kMovieTrackMediaType | kMovieTrackEnabledOnly)) {
        w = t->width;
        h = t->height;
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
}

OSStatus GetMovieDefaultDataReference(Movie movie, DataReference* ref) {
    if (movie == nullptr || ref == nullptr || movie->bytes.memory) return kStatusParamError;
    return NewAliasDataReference(movie->bytes.path, ref);
}

OSStatus GetMovieUserDataText(Movie movie, OSType type, int32_t index, std::string* text) {
    if (movie == nullptr || text == nullptr || index < 1) return kStatusParamError;
    const auto it = movie->userData.find(type);
    if (it == movie->userData.end() || static_cast<size_t>(index) > it->second.size()) {
        return kStatusUserDataNotFound;
    }
    *text = it->second[static_cast<size_t>(index - 1)];
    return noErr;
}

int32_t GetMovieTrackCount(Movie movie) {
    return movie != nullptr ? static_cast<int32_t>(movie->tracks.size()) : 0;
}

Track GetMovieIndTrack(Movie movie, int32_t index) {
    if (movie == nullptr || index < 1 || static_cast<size_t>(index) > movie->tracks.size()) {
        return nullptr;
    }
    return movie->tracks[static_cast<size_t>(index - 1)].get();
}

Track GetMovieIndTrackType(Movie movie, int32_t index, OSType typeOrCharacteristic,
                           uint32_t flags) {
    if (movie == nullptr || index < 1) return nullptr;
    int32_t seen = 0;
    for (const auto& t : movie->tracks) {
        if ((flags & kMovieTrackEnabledOnly) && !t->enabled) continue;
        const bool match = (flags & kMovieTrackCharacteristic)
                               ? TrackHasCharacteristic(t.get(), typeOrCharacteristic)
                               : t->mediaType == typeOrCharacteristic;
        if (match && ++seen == index) return t.get();
    }
    return nullptr;
}

Track GetMovieTrack(Movie movie, int32_t trackID) {
    if (movie == nullptr) return nullptr;
    for (const auto& t : movie->tracks) {
        if (t->trackID == trackID) return t.get();
    }
    return nullptr;
}

Movie GetTrackMovie(Track track) {
    return track != nullptr ? track->movie : nullptr;
}
int32_t GetTrackID(Track track) {
    return track != nullptr ? track->trackID : 0;
}
OSType GetTrackMediaType(Track track) {
    return track != nullptr ? track->mediaType : 0;
}
bool GetTrackEnabled(Track track) {
    return track != nullptr && track->enabled;
}

void SetTrackEnabled(Track track, bool enabled) {
    if (track != nullptr) track->enabled = enabled;
}

bool TrackHasCharacteristic(Track track, OSType characteristic) {
    if (track == nullptr) return false;
    if (characteristic == kCharacteristicCanSee) return track->mediaType == kVideoMediaType;
    if (characteristic == kCharacteristicCanHear) {
        return track->mediaType == kSoundMediaType || track->mediaType == kMusicMediaType ||
               track->mediaType == kMPEGMediaType;
    }
    return false;
}

TimeValue GetTrackDuration(Track track) {
    return track != nullptr ? MediaToMovieTime(*track, track->mediaDuration) : 0;
}

void GetTrackDimensions(Track track, int32_t* width, int32_t* height) {
    if (width != nullptr) *width = track != nullptr ? track->width : 0;
    if (height != nullptr) *height = track != nullptr ? track->height : 0;
}

int16_t GetTrackVolume(Track track) {
    return track != nullptr ? track->volume : 0;
}

void SetTrackVolume(Track track, int16_t volume) {
    if (track != nullptr) track->volume = volume;
}

TimeScale GetMediaTimeScale(Track track) {
    return track != nullptr ? track->mediaScale : 0;
}

OSStatus SetMediaTimeScale(Track track, TimeScale scale) {
    if (track == nullptr || scale <= 0) return kStatusParamError;
    const TimeScale old = track->mediaScale;
    track->mediaDuration = av_rescale(track->mediaDuration, scale, old);
    for (auto& s : track->textSamples) {
        s.start = av_rescale(s.start, scale, old);
        s.duration = std::max<TimeValue>(1, av_rescale(s.duration, scale, old));
    }
    track->mediaScale = scale;
    return noErr;
}

TimeValue GetMediaDuration(Track track) {
    return track != nullptr ? track->mediaDuration : 0;
}

int32_t GetMediaSampleDescriptionCount(Track track) {
    return track != nullptr ? static_cast<int32_t>(track->descriptions.size()) : 0;
}

OSStatus GetMediaSampleDescription(Track track, int32_t index, SampleDescription* desc) {
    if (track == nullptr || desc == nullptr || index < 1 ||
        static_cast<size_t>(index) > track->descriptions.size()) {
        return kStatusParamError;
    }
    *desc = track->descriptions[static_cast<size_t>(index - 1)];
    return noErr;
}

OSStatus SetMediaSampleDescription(Track track, int32_t index, const SampleDescription& desc) {
    if (track == nullptr || index < 1 || static_cast<size_t>(index) > track->descriptions.size()) {
        return kStatusParamError;
    }
    track->descriptions[static_cast<size_t>(index - 1)] = desc;
    return noErr;
}

int32_t GetTrackReferenceCount(Track track, OSType referenceType) {
    return track != nullptr ? static_cast<int32_t>(track->references.count(referenceType)) : 0;
}

Track GetTrackReference(Track track, OSType referenceType, int32_t index) {
    if (track == nullptr || index < 1) return nullptr;
    auto [first, last] = track->references.equal_range(referenceType);
    for (int32_t i = 1; first != last; ++first, ++i) {
        if (i == index) return first->second;
    }
    return nullptr;
}

TimeValue GetMediaNextSampleTime(Track track, TimeValue mediaTime, bool includeStart) {
    if (track == nullptr) return -1;
    for (const auto& s : track->textSamples) {
        if (s.start > mediaTime || (includeStart && s.start == mediaTime)) return s.start;
    }
    return -1;
}

OSStatus GetMediaSample(Track track, TimeValue mediaTime, std::vector<uint8_t>* data,
                        TimeValue* sampleTime, TimeValue* sampleDuration, SampleDescription* desc) {
    if (track == nullptr || track->streamIndex >= 0 || data == nullptr) return kStatusParamError;
    const TextSample* found = nullptr;
    for (const auto& s : track->textSamples) {
        if (s.start <= mediaTime && mediaTime < s.start + s.duration) found = &s;
    }
    if (found == nullptr) return kStatusEndOfData;
    *data = found->data;
    if (sampleTime != nullptr) *sampleTime = found->start;
    if (sampleDuration != nullptr) *sampleDuration = found->duration;
    if (desc != nullptr && !track->descriptions.empty()) *desc = track->descriptions.front();
    return noErr;
}

OSStatus AddMovieTrackCopy(Movie movie, Track source, Track* newTrack) {
    if (movie == nullptr || source == nullptr) return kStatusParamError;
    auto t = std::unique_ptr<TrackRecord>(new (std::nothrow) TrackRecord(*source));
    if (!t) return kStatusOutOfMemory;
    t->movie = movie;
    t->trackID = movie->nextTrackID++;
    t->references.clear();  // they point into the other movie
    Track result = t.get();
    movie->tracks.push_back(std::move(t));
    if (newTrack != nullptr) *newTrack = result;
    return noErr;
}

OSStatus DisposeMovieTrack(Track track) {
    if (track == nullptr) return kStatusParamError;
    MovieRecord* m = track->movie;
    for (auto& other : m->tracks) {
        for (auto it = other->references.begin(); it != other->references.end();) {
            it = it->second == track ? other->references.erase(it) : std::next(it);
        }
    }
    const auto it = std::find_if(m->tracks.begin(), m->tracks.end(),
                                 [track](const auto& t) { return t.get() == track; });
    if (it == m->tracks.end()) return kStatusParamError;
    m->tracks.erase(it);
    return noErr;
}
