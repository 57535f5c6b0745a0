// Feeds arbitrary bytes to the AIFF header reader of music own sound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "export/music_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AiffInfo info;
    if (parseAiffHeader({data, size}, &info) == noErr) {
        // What it accepts is readable: the sound data starts inside the file's bounds
        // as the header put them, with a frame size we can convert.
        if (info.channels < 1 || (info.sampleSize != 8 && info.sampleSize != 16)) std::abort();
        if (!(info.sampleRate >= 1)) std::abort();
    }
    return 0;
}
