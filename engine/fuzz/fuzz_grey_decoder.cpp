// Feeds arbitrary frame data to the grey decoder: it must refuse or decode,
// never read or write outside its buffers.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/grey_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Geometry from the first two bytes, kept small so that runs stay fast.
    const int width = 4 * (1 + (data[0] & 0x0F));
    const int height = 4 * (1 + (data[0] >> 4)) - (data[1] & 0x80 ? 1 : 0);
    const int bitsChoice = data[1] & 3;
    const int bits = bitsChoice == 0 ? 1 : bitsChoice == 1 ? 2 : 4;
    GreyDecoder decoder;
    if (decoder.Reset(width, height, bits) != 0) return 0;
    // The rest is a run of frames: a type byte, a length byte, the data.
    std::span<const uint8_t> rest(data + 2, size - 2);
    while (rest.size() >= 2) {
        const uint8_t type = rest[0] % 9;
        const size_t length = rest[1] < rest.size() - 2 ? rest[1] : rest.size() - 2;
        decoder.Decode(type, rest.subspan(2, length));
        rest = rest.subspan(2 + length);
    }
    return 0;
}
