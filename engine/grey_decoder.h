#pragma once
// Decoding of the grey frame types (0 to 3 and the 4-bit block codec, 8)
// back into the packed picture the handheld shows. It keeps the last picture,
// on which difference frames build.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/raw_deflate.h"
#include "platform/status.h"

class GreyDecoder {
public:
    // Sets the frame geometry (width and height from 1 on, 1, 2 or 4 bits)
    // and clears the picture to white. 0; -50 for a bad geometry; -108.
    OSStatus Reset(int width, int height, int bits);

    // Decodes one frame's data (the chunk body without pad) of the given
    // encoding type onto the current picture. 0; -8969 when the data is
    // damaged or the type does not fit the geometry, leaving the picture
    // unspecified; -8961 for a type that is not a grey type; -108.
    OSStatus Decode(uint8_t type, std::span<const uint8_t> data);

    // The picture: RowBytes() x height bytes, packed most significant first.
    std::span<const uint8_t> Picture() const { return m_picture; }
    int RowBytes() const { return m_rowBytes; }
    // Level of one pixel of the picture.
    uint8_t Level(int x, int y) const;

private:
    OSStatus DecodeBlocks(std::span<const uint8_t> data);

    int m_width = 0;
    int m_height = 0;
    int m_bits = 0;
    int m_rowBytes = 0;
    std::vector<uint8_t> m_picture;
    std::vector<uint8_t> m_scratch;
    RawInflater m_inflater;
};
