#pragma once
// Appending big-endian numbers and chunk headers to a block. Failure leaves
// the handle null, as every block append does.
#include <cstdint>

#include "engine/block.h"

inline void appendU8(BlockHandle& block, uint8_t value) {
    BlockAppendByte(block, value);
}

inline void appendU16(BlockHandle& block, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    BlockAppend(block, bytes, 2);
}

inline void appendU32(BlockHandle& block, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    BlockAppend(block, bytes, 4);
}

// Length (whole chunk, header included) and tag.
inline void appendChunkHeader(BlockHandle& block, uint16_t length, uint16_t tag) {
    appendU16(block, length);
    appendU16(block, tag);
}
