#pragma once
// Platform-private: the movie importer for standard MIDI files.
//
// A MIDI file (.mid, .midi, .kar, RIFF .rmi; recognised by its content)
// opens as a movie in time scale 600 holding one enabled track of media
// type 'musi': its media time scale is 1000, its duration the song's length
// (the end of the longest track, rounded up to the next millisecond), and
// its one sample description is descType 'musi', format 'midi'. The parsed
// song travels with the track (TrackRecord::music), so copies of the track
// into other movies keep their music. The sequence name becomes the movie's
// full-name text and the copyright notice its copyright text.
//
// Music is not sound: the export delegate hands out no sound procedures for
// a music track. It is heard through an exporter that renders it (the AIFF
// exporter, platform/aiff_export.h).
//
// Refused (kStatusNoMovieFound): anything ParseMidiFile refuses, files over
// kMaxMidiFileBytes, and songs that last no time at all.
#include <cstdint>
#include <span>

#include "platform/media_source.h"
#include "platform/movies.h"

inline constexpr size_t kMaxMidiFileBytes = size_t(64) << 20;
inline constexpr OSType kMidiDataFormat = MakeOSType("midi");

// True when the source's first bytes are those of a MIDI file; a file that
// cannot be read is not one.
bool IsMidiSource(const ByteSource& bytes);
OSStatus NewMovieFromMidi(const ByteSource& bytes, Movie* movie);
