#pragma once
// Tables behind export/settings.
#include <array>
#include <cstdint>

namespace settings_tables {

struct DepthMode {
    int16_t depth;
    int mode;  // the movie writer's picture mode
};
// Depth code to writer picture mode (5 entries).
extern const std::array<DepthMode, 5> kDepthModes;

struct SizePreset {
    int16_t preset;
    int16_t width, height;  // 0 x 0 = the source size, limited
    bool squareFit;
};
// Size presets 1..10 (10 entries); any other preset reads as 160 x 120.
extern const std::array<SizePreset, 10> kSizePresets;

// Whole sample rates that keep their value (fraction cleared): ADPCM and
// stereo PCM (6 entries), mono PCM (3 entries).
extern const std::array<uint32_t, 6> kAdpcmRates;
extern const std::array<uint32_t, 3> kMonoPcmRates;

// ATRAC3 bit rates in bits per second (6 entries).
extern const std::array<int32_t, 6> kAtrac3BitRates;

}  // namespace settings_tables
