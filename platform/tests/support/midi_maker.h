#pragma once
// Standard MIDI files made in code for tests and benchmarks, and the
// measurements music tests make on rendered sound.
#include <cstdint>
#include <string>
#include <vector>

// One track's events at absolute ticks; written in tick order (events at
// the same tick in the order they were added), with running status.
struct MidiTrackMaker {
    struct Timed {
        uint32_t tick;
        std::vector<uint8_t> bytes;  // status and data, or a whole meta/sysex event
    };
    std::vector<Timed> events;
    uint32_t endTick = 0;  // end of track, at least the last event

    void add(uint32_t tick, std::vector<uint8_t> bytes);
    void note(uint32_t tick, uint32_t length, int channel, int key, int velocity = 100);
    void program(uint32_t tick, int channel, int program);
    void tempo(uint32_t tick, uint32_t microsPerQuarter);
    void name(const std::string& text);
};

std::vector<uint8_t> MakeMidiFile(uint16_t format, int16_t division,
                                  const std::vector<MidiTrackMaker>& tracks,
                                  bool runningStatus = true);
// The variable-length quantity of the file format.
void PutMidiQuantity(std::vector<uint8_t>* out, uint32_t v);

// A song of `seconds` that holds A4 (440 Hz) on a flute, 120 beats per minute.
std::vector<uint8_t> HeldA4Song(double seconds);
// A General MIDI band (piano chords, bass, strings, drums on channel 10)
// playing for about `seconds`, with a tempo change halfway.
std::vector<uint8_t> BandSong(double seconds);

// Measurements of interleaved 16-bit sound.
double Rms(const std::vector<int16_t>& samples);
// The strongest frequency between lo and hi Hz of the first channel of
// `channels`, over frames [from, from + count).
double DominantFrequency(const std::vector<int16_t>& samples, int channels, double rate,
                         size_t from, size_t count, double lo, double hi);
