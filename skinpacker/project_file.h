#pragma once

// The project file (.tpd): picture, item count, texts and slots, big-endian.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "skinpacker/project.h"

namespace skin {

inline constexpr size_t kProjectFileSize =
    12 + kConvertedHeaderSize + kPixelCount + 2 + 32 + 32 + 6 + kSlotCount * 12;  // 103766

struct ProjectFileContents {
    ConvertedPicture picture;  // header block and bottom-first rows as stored
    int placedItems = 0;
    DatabaseTexts texts;
    std::array<Slot, kSlotCount> slotTable{};
};

std::vector<uint8_t> encodeProjectFile(std::span<const uint8_t> convertedFile, int imageColours,
                                       int placedItems, const DatabaseTexts& texts,
                                       std::span<const Slot, kSlotCount> slotTable);

// False for anything that does not fit a project this program could have
// written: other header or picture sizes, more than 214 colours, indexes past
// the palette, items outside the picture, an item count that disagrees.
bool decodeProjectFile(std::span<const uint8_t> file, ProjectFileContents& out);

}  // namespace skin
