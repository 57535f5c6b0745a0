#pragma once

// The 31 item slots: size, colour dialog and placement group of each.

#include <array>
#include <cstdint>
#include <string_view>

namespace skin {

inline constexpr int kSlotCount = 31;
inline constexpr int kPictureSide = 320;
inline constexpr int kPictureOrigin = 20;  // picture's top-left corner in the window
inline constexpr int kStandardColours = 16;
inline constexpr int kMaxImageColours = 214;
inline constexpr int kFirstImageEntry = 17;  // skin palette entry of image colour 0

enum class ColourDialog : uint8_t { None, Button, TwoColours, ThreeColours, TextColour };

struct SlotInfo {
    int width;
    int height;
    ColourDialog dialog;
    int groupFirst;  // placement group: placing one disables all of first..last
    int groupLast;
    std::string_view label;  // shown in the status field while selected
};

extern const std::array<SlotInfo, kSlotCount> kSlots;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

extern const std::array<Rgb, kStandardColours> kStandardPalette;

inline bool isTitleSlot(int slot) {
    return slot >= 27 && slot <= 29;
}

}  // namespace skin
