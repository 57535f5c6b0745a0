#include "export/source_analysis.h"

#include <algorithm>
#include <cstdlib>

#include "platform/decompress.h"
#include "platform/mac_roman.h"

namespace {

template <class F>
void forEachEnabledTrack(Movie movie, OSType mediaType, F&& f) {
    const uint32_t flags = kMovieTrackMediaType | kMovieTrackEnabledOnly;
    for (int32_t i = 1;; ++i) {
        Track t = GetMovieIndTrackType(movie, i, mediaType, flags);
        if (t == nullptr) return;
        if (!f(t)) return;
    }
}

OSStatus checkDecoders(Movie movie, OSType mediaType, bool (*has)(const SampleDescription&),
                       OSType* missing) {
    OSStatus result = noErr;
    forEachEnabledTrack(movie, mediaType, [&](Track t) {
        const int32_t n = GetMediaSampleDescriptionCount(t);
        for (int32_t d = 1; d <= n; ++d) {
            SampleDescription desc;
            if (GetMediaSampleDescription(t, d, &desc) != noErr) continue;
            if (!has(desc)) {
                *missing = desc.dataFormat;
                result = kStatusNoCodec;
                return false;
            }
        }
        return true;
    });
    return result;
}

}  // namespace

void setSourceText(std::string_view text, SourceText* out) {
    std::string kept;
    for (char c : text)
        if (c != '\r') kept.push_back(c);
    // Cut after the conversion, so the cut falls between whole characters.
    const std::string mac = utf8ToMacRomanLossy(kept, out->size() - 1);
    std::copy(mac.begin(), mac.end(), out->begin());
    (*out)[mac.size()] = '\0';
}

void fillSourceTexts(Movie movie, SourceText* title, SourceText* info, SourceText* copyright) {
    const std::pair<OSType, SourceText*> kinds[] = {{kUserDataTextFullName, title},
                                                    {kUserDataTextInformation, info},
                                                    {kUserDataTextCopyright, copyright}};
    for (const auto& [type, text] : kinds) {
        if ((*text)[0] != '\0') continue;
        std::string s;
        if (GetMovieUserDataText(movie, type, 1, &s) == noErr) setSourceText(s, text);
    }
}

bool videoWanted(const ExportSettings& s, Movie movie) {
    return s.depth != kDepthNoVideo &&
           GetMovieIndTrackType(movie, 1, kCharacteristicCanSee,
                                kMovieTrackCharacteristic | kMovieTrackEnabledOnly) != nullptr;
}

Track findMp3Track(Movie movie) {
    Track found = nullptr;
    forEachEnabledTrack(movie, kSoundMediaType, [&](Track t) {
        const int32_t n = GetMediaSampleDescriptionCount(t);
        for (int32_t d = 1; d <= n; ++d) {
            SampleDescription desc;
            if (GetMediaSampleDescription(t, d, &desc) != noErr) continue;
            if (desc.dataFormat == kWaveMP3Format || desc.dataFormat == kMP3Format) {
                found = t;
                return false;
            }
        }
        return true;
    });
    return found;
}

bool mp3LengthMismatch(TimeValue a, TimeValue b) {
    if (a == 0 || b == 0) return false;
    return std::llabs(a - b) > b / 10;
}

OSStatus checkVideoDecoders(Movie movie, OSType* missing) {
    // No image transcoders are installed on this platform, so a format is
    // accepted exactly when a decompressor exists for it.
    return checkDecoders(movie, kVideoMediaType, HasImageDecompressorFor, missing);
}

OSStatus checkSoundDecoders(Movie movie, OSType* missing) {
    return checkDecoders(
        movie, kSoundMediaType,
        [](const SampleDescription& d) { return HasSoundDecompressor(d.dataFormat); }, missing);
}

bool audioLeftBehind(Movie movie, bool ownSound) {
    if (ownSound) return false;
    if (GetMovieIndTrackType(movie, 1, kSoundMediaType, kMovieTrackMediaType) != nullptr)
        return false;
    return GetMovieIndTrackType(movie, 1, kCharacteristicCanHear,
                                kMovieTrackCharacteristic | kMovieTrackEnabledOnly) != nullptr;
}

void silenceFlashTracks(Movie movie, SilencedTracks* out) {
    out->count = 0;
    for (int32_t i = 1; out->count < int(out->tracks.size()); ++i) {
        Track t = GetMovieIndTrackType(movie, i, kFlashMediaType, kMovieTrackMediaType);
        if (t == nullptr) break;
        const int16_t v = GetTrackVolume(t);
        out->tracks[out->count] = t;
        out->volumes[out->count] = v;
        ++out->count;
        if (v > 0) SetTrackVolume(t, int16_t(-v));
    }
}

void restoreFlashTracks(const SilencedTracks& silenced) {
    for (int i = 0; i < silenced.count; ++i)
        SetTrackVolume(silenced.tracks[i], silenced.volumes[i]);
}
