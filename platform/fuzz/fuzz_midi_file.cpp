// Feeds arbitrary bytes to the MIDI file reader and checks what a song it
// accepts promises its players.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MidiSong song;
    if (ParseMidiFile({data, size}, &song) == noErr) {
        int64_t previous = 0;
        for (const MidiEvent& e : song.events) {
            // Events come in time order, inside the song, with their sysex in the pool.
            if (e.time < previous || e.time > song.duration) std::abort();
            if (e.status == 0xF0 && uint64_t(e.sysexOffset) + e.sysexLength > song.sysex.size())
                std::abort();
            if (e.status < 0x80 || (e.status >= 0xF0 && e.status != 0xF0)) std::abort();
            previous = e.time;
        }
        if (song.duration > kMaxMidiSongMicroseconds) std::abort();
    }
    return 0;
}
