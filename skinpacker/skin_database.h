#pragma once

// The skin database the handheld player loads: header, record list, the
// information record, palette, four background bands and per placed item a
// descriptor with one bitmap per colour state. Big-endian throughout.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "skinpacker/project.h"
#include "skinpacker/report.h"

namespace skin {

inline constexpr uint32_t kSkinType = 0x44617461;     // 'Data'
inline constexpr uint32_t kSkinCreator = 0x56717A72;  // 'Vqzr'
inline constexpr size_t kBandRows = 80;
inline constexpr size_t kBitmapHeaderSize = 16;
inline constexpr size_t kDescriptorSize = 24;
inline constexpr uint16_t kBitmapHasTransparency = 0x2000;

// 0 when the first colour is none, else 1 to 3 by how many are set; the
// title displays never have states.
int colourStates(int slot, const Slot& s);

// Bitmap size and row length of an item's state bitmaps.
struct ItemBitmapSize {
    int width, height, rowBytes;
};
ItemBitmapSize itemBitmapSize(int slot);

// Seconds since 1904 as the handheld counts them for a clock reading `now`
// (seconds since 1970), on the handheld's local time nine hours ahead.
uint32_t handheldDate(std::time_t now);

// The whole file image; `fileName` is the output file's name with its extension.
std::vector<uint8_t> buildSkinDatabase(const Project& project, std::string_view fileName,
                                       uint32_t date);

// Checks the item count, creates `path` afresh, refuses an abnormal clock and
// writes the database. Reports every refusal; true when the file was written.
bool writeSkinDatabase(const Project& project, const std::string& path, std::time_t now,
                       Reporter& reporter);

}  // namespace skin
