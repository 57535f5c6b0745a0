#pragma once
// Standard MIDI files: the reader behind music tracks.
//
// Reads format 0 (one track) and format 1 (simultaneous tracks sharing one
// tempo map) files, bare or wrapped in a RIFF 'RMID' file, with PPQ timing
// (ticks per quarter note, scaled by every tempo change of any track) or
// SMPTE timing (frames per second x ticks per frame; tempo changes do not
// apply). Running status is honoured, also across meta events. Format 2
// files (independent sequences) are refused.
//
// The reader trusts no length: every chunk, variable-length quantity and
// event is checked against the bytes that hold it, the file must contain
// every track its header claims, and a song may last at most
// kMaxMidiSongMicroseconds. Files it refuses give kStatusNoMovieFound.
//
// Ownership: a MidiSong is a plain value; parsing copies what it keeps.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/status.h"

// Longer songs are hostile or broken; nobody converts a day of music.
inline constexpr int64_t kMaxMidiSongMicroseconds = int64_t(12) * 3600 * 1000000;

struct MidiEvent {
    int64_t time = 0;    // microseconds from the start of the song
    uint8_t status = 0;  // 0x80..0xEF: a channel message; 0xF0: system exclusive
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    // System exclusive: the message without its leading 0xF0, in MidiSong::sysex.
    uint32_t sysexOffset = 0;
    uint32_t sysexLength = 0;
};

struct MidiSong {
    uint16_t format = 0;
    uint16_t trackCount = 0;
    int16_t division = 0;     // the header's division word, as stored
    int64_t duration = 0;     // microseconds: the end of the longest track
    std::vector<MidiEvent> events;  // channel messages and sysex, in time order
    std::vector<uint8_t> sysex;
    std::string name;       // the first track's sequence/track name, if any
    std::string copyright;  // the first copyright notice, if any
};

// True when the bytes begin like a MIDI file ('MThd', or RIFF 'RMID').
bool LooksLikeMidiFile(std::span<const uint8_t> head);

// Parses a whole file. kStatusNoMovieFound for anything malformed,
// kStatusOutOfMemory when the events do not fit.
OSStatus ParseMidiFile(std::span<const uint8_t> bytes, MidiSong* song);
