#pragma once
// Tables behind platform/resources.
#include <array>
#include <cstdint>

namespace resources_tables {

// Unicode code point of each Mac Roman byte 0x80..0xFF (128 entries).
extern const std::array<uint16_t, 128> kMacRomanHigh;

}  // namespace resources_tables
