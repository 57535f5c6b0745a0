#pragma once

// The built-in shape of each item kind, four bits a pixel, two pixels a byte
// (left pixel in the high nibble), rows top to bottom without padding. A zero
// nibble is transparent.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skin {

struct ItemShape {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> nibbles;  // (width * height + 1) / 2 bytes

    int at(int x, int y) const {
        size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        uint8_t b = nibbles[i / 2];
        return i % 2 ? b & 0x0F : b >> 4;
    }
};

// The shape drawn for `slot` (1 to 26 and 30); an empty shape for the title
// displays and slot 0, which have none.
const ItemShape& itemShape(int slot);

}  // namespace skin
