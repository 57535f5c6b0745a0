#pragma once
// Looking at a source movie before an export: its texts, whether video is
// wanted, which tracks hold MP3 sound, and whether every format the export
// will read has a decoder.
#include <array>
#include <cstdint>
#include <string>

#include "export/settings.h"
#include "platform/movies.h"

// A text taken from the source, as the handheld shows it: Mac Roman, at
// most 255 characters, NUL-terminated.
using SourceText = std::array<char, 256>;

// Fills each empty text from the movie's first user-data item of its kind,
// without carriage returns, converted from UTF-8 and cut to 255 characters.
void fillSourceTexts(Movie movie, SourceText* title, SourceText* info, SourceText* copyright);
// Copies a UTF-8 text into a SourceText the same way.
void setSourceText(std::string_view text, SourceText* out);

// The depth code asks for video and the movie has an enabled visual track.
bool videoWanted(const ExportSettings& s, Movie movie);

// The first enabled sound track holding MP3 as stored by AVI import ('ms'
// 0x0055) or '.mp3'; null when there is none.
Track findMp3Track(Movie movie);
// The MP3 track's duration differs from the first enabled video track's by
// more than a tenth of the video's (both non-zero).
bool mp3LengthMismatch(TimeValue mp3Duration, TimeValue videoDuration);

// Every sample description of every enabled video (sound) track has a
// decoder; otherwise kStatusNoCodec with the format in *missing.
OSStatus checkVideoDecoders(Movie movie, OSType* missing);
OSStatus checkSoundDecoders(Movie movie, OSType* missing);

// The -2055 rule: the export succeeded but the movie's audible content is in
// a track kind the export never reads (no sound track, no own sound).
bool audioLeftBehind(Movie movie, bool ownSound);

// Flash tracks would be heard through the delegate: mute them for the export
// and give back their volumes afterwards.
struct SilencedTracks {
    std::array<Track, 16> tracks{};
    std::array<int16_t, 16> volumes{};
    int count = 0;
};
void silenceFlashTracks(Movie movie, SilencedTracks* out);
void restoreFlashTracks(const SilencedTracks& silenced);
