#pragma once
// Movies: a source file seen as tracks of timed samples.
//
// A movie is opened from a file (or a byte buffer) by an importer chosen by
// the file's content, with its name's extension as a hint. Still pictures
// are imported as a movie of one video sample that lasts one second in a
// time scale of 1000. Times are TimeValues in the movie's time scale unless
// a function says media time (the track's media time scale).
//
// MPEG-1 system streams keep their audio in 'MPEG' tracks that the export
// delegate does not serve (platform/mpeg_streams.h has the rule).
//
// Chapters, which many containers carry, appear as a text track whose
// samples are the chapter titles ('text' samples: 16-bit big-endian length,
// then the characters) and which the first enabled video (else sound) track
// references as 'chap'.
//
// Ownership: the caller owns a Movie and disposes of it; tracks belong to
// their movie and stay valid until removed or the movie is disposed of.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/data_handler.h"
#include "platform/files.h"
#include "platform/media_types.h"
#include "platform/status.h"

struct MovieRecord;
struct TrackRecord;
using Movie = MovieRecord*;
using Track = TrackRecord*;

// Importer kinds a file can be opened by.
inline constexpr OSType kStillImageImporterSubType = MakeOSType("grip");  // graphics importers
inline constexpr OSType kMovieFileImporterSubType = MakeOSType("MooV");   // everything else

// Which importer opens the file: kStillImageImporterSubType for still
// pictures, kMovieFileImporterSubType for movies and sound files. Files that
// are not media give kStatusNoMovieFound.
OSStatus FindMovieImporter(const std::string& path, OSType* importerSubType);

// Opens a movie. Errors: kStatusFileNotFound, kStatusNoMovieFound for
// anything that is not a readable movie (corrupt, truncated, empty, other
// files), kStatusOutOfMemory.
OSStatus NewMovieFromFile(const std::string& path, Movie* movie);
OSStatus NewMovieFromFile(const FileSpec& spec, Movie* movie);
// As NewMovieFromFile over a copy of the bytes; the name is only a hint.
OSStatus NewMovieFromMemory(std::span<const uint8_t> bytes, Movie* movie);
// A still picture as a movie whose one sample lasts `duration` in `scale`.
OSStatus NewMovieFromStillImage(const std::string& path, TimeValue duration, TimeScale scale,
                                Movie* movie);
// Null is allowed.
void DisposeMovie(Movie movie);

TimeScale GetMovieTimeScale(Movie movie);
TimeValue GetMovieDuration(Movie movie);
// The movie's natural size: its first enabled video track's display size.
void GetMovieNaturalBounds(Movie movie, int32_t* width, int32_t* height);
// Picture streams of the source that are not tracks because their frames are
// too large to decode; the first one's claimed size.
int32_t GetMovieUnusablePictureCount(Movie movie, int32_t* width, int32_t* height);
// The default data reference: an alias of the movie's file; -50 for movies
// made from memory.
OSStatus GetMovieDefaultDataReference(Movie movie, DataReference* ref);

// User-data texts: kUserDataTextFullName, kUserDataTextInformation,
// kUserDataTextCopyright, from the file's metadata (UTF-8 as stored).
// index counts from 1; kStatusUserDataNotFound when there is no such item.
OSStatus GetMovieUserDataText(Movie movie, OSType type, int32_t index, std::string* text);

int32_t GetMovieTrackCount(Movie movie);
Track GetMovieIndTrack(Movie movie, int32_t index);  // index counts from 1; null past the end
// The index-th track with that media type (flags kMovieTrackMediaType) or
// that characteristic (kMovieTrackCharacteristic), optionally enabled only.
inline constexpr uint32_t kMovieTrackMediaType = 1u << 0;
inline constexpr uint32_t kMovieTrackCharacteristic = 1u << 1;
inline constexpr uint32_t kMovieTrackEnabledOnly = 1u << 2;
Track GetMovieIndTrackType(Movie movie, int32_t index, OSType typeOrCharacteristic, uint32_t flags);
Track GetMovieTrack(Movie movie, int32_t trackID);

Movie GetTrackMovie(Track track);
int32_t GetTrackID(Track track);
OSType GetTrackMediaType(Track track);
bool GetTrackEnabled(Track track);
void SetTrackEnabled(Track track, bool enabled);
bool TrackHasCharacteristic(Track track, OSType characteristic);
TimeValue GetTrackDuration(Track track);  // in the movie's time scale
void GetTrackDimensions(Track track, int32_t* width, int32_t* height);
// Volume in 8.8 fixed point; 0x100 is full volume, negative is muted.
int16_t GetTrackVolume(Track track);
void SetTrackVolume(Track track, int16_t volume);

TimeScale GetMediaTimeScale(Track track);
// Changes the media time scale; sample times are kept, expressed in the new scale.
OSStatus SetMediaTimeScale(Track track, TimeScale scale);
TimeValue GetMediaDuration(Track track);  // in the media time scale
int32_t GetMediaSampleDescriptionCount(Track track);
// index counts from 1.
OSStatus GetMediaSampleDescription(Track track, int32_t index, SampleDescription* desc);
// Replaces a description (for example to rename its data format); reading
// the samples is not affected.
OSStatus SetMediaSampleDescription(Track track, int32_t index, const SampleDescription& desc);

// Track references: index counts from 1; null when there is none.
int32_t GetTrackReferenceCount(Track track, OSType referenceType);
Track GetTrackReference(Track track, OSType referenceType, int32_t index);

// Samples of text tracks. The next sample start at or after (includeStart)
// or strictly after `mediaTime`; -1 when there is none.
TimeValue GetMediaNextSampleTime(Track track, TimeValue mediaTime, bool includeStart);
// The sample that covers `mediaTime`: its bytes, start, duration and
// description. Only text tracks serve samples here (-50 for others);
// kStatusEndOfData past the last sample.
OSStatus GetMediaSample(Track track, TimeValue mediaTime, std::vector<uint8_t>* data,
                        TimeValue* sampleTime, TimeValue* sampleDuration, SampleDescription* desc);

struct PixelBuffer;
// Draws the movie's picture at `movieTime` (its first enabled video track,
// turned as the file says), scaled to fill the buffer: thumbnails and
// previews. kStatusEndOfData past the end; -50 for movies without pictures.
OSStatus DrawMovieFrame(Movie movie, TimeValue movieTime, const PixelBuffer& dest);

// Copies a whole track of another movie (or of this one) into `movie`,
// starting at time 0. The source movie may be disposed of afterwards.
OSStatus AddMovieTrackCopy(Movie movie, Track source, Track* newTrack);
// Removes a track from its movie; references to it are dropped.
OSStatus DisposeMovieTrack(Track track);
