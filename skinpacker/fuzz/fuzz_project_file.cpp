// Any bytes as a project file: refused, or decoded into a project whose
// items all lie inside the picture and which encodes again to a file no longer
// than the one read.

#include <cstdlib>

#include "skinpacker/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    skin::ProjectFileContents c;
    if (!skin::decodeProjectFile(std::span(data, size), c)) return 0;
    for (int s = 0; s < skin::kSlotCount; ++s) {
        const skin::Slot& slot = c.slotTable[static_cast<size_t>(s)];
        if (slot.placed() && (slot.x + skin::kSlots[static_cast<size_t>(s)].width > 320 ||
                              slot.y + skin::kSlots[static_cast<size_t>(s)].height > 320))
            std::abort();
    }
    std::vector<uint8_t> again =
        skin::encodeProjectFile(c.picture.file, c.picture.colours, c.placedItems, c.texts, c.slotTable);
    if (again.size() > size) std::abort();
    return 0;
}
