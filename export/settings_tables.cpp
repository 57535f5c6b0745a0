#include "export/settings_tables.h"

namespace settings_tables {

constexpr std::array<DepthMode, 5> kDepthModes = {{
    {1, 3},   // black and white
    {24, 2},  // millions of colours
    {32, 7},  // millions of colours with alpha
    {34, 1},  // four greys
    {36, 4},  // sixteen greys
}};

constexpr std::array<SizePreset, 10> kSizePresets = {{
    {1, 0, 0, false},
    {2, 80, 60, false},
    {3, 120, 92, false},  // 92 high, not 90, on purpose
    {4, 160, 120, false},
    {5, 240, 180, false},
    {6, 320, 240, false},
    {7, 160, 160, true},
    {8, 320, 320, true},
    {9, 480, 320, false},
    {10, 440, 280, false},
}};

constexpr std::array<uint32_t, 6> kAdpcmRates = {4096, 8192, 11025, 16384, 22050, 44100};
constexpr std::array<uint32_t, 3> kMonoPcmRates = {4096, 8192, 16384};

constexpr std::array<int32_t, 6> kAtrac3BitRates = {11750, 16500, 23500, 33000, 47000, 66000};

}  // namespace settings_tables
