#pragma once
// Big-endian reads and writes over bounded byte spans. Every access checks
// that it lies inside the span and reports false instead of touching memory
// outside it.
#include <cstddef>
#include <cstdint>
#include <span>

namespace be {

inline bool put8(std::span<uint8_t> bytes, size_t at, uint8_t value) {
    if (at >= bytes.size()) return false;
    bytes[at] = value;
    return true;
}

inline bool put16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    if (at > bytes.size() || bytes.size() - at < 2) return false;
    bytes[at] = static_cast<uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<uint8_t>(value);
    return true;
}

inline bool put32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    if (at > bytes.size() || bytes.size() - at < 4) return false;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    return true;
}

inline bool get8(std::span<const uint8_t> bytes, size_t at, uint8_t& value) {
    if (at >= bytes.size()) return false;
    value = bytes[at];
    return true;
}

inline bool get16(std::span<const uint8_t> bytes, size_t at, uint16_t& value) {
    if (at > bytes.size() || bytes.size() - at < 2) return false;
    value = static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
    return true;
}

inline bool get32(std::span<const uint8_t> bytes, size_t at, uint32_t& value) {
    if (at > bytes.size() || bytes.size() - at < 4) return false;
    value = uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
            uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    return true;
}

}  // namespace be
