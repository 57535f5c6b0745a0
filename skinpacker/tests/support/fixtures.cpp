#include "skinpacker/tests/support/fixtures.h"

#include <gtest/gtest.h>

namespace skintest {

void writeSmallPicture(const std::string& path) {
    BitmapRecipe recipe;
    recipe.depth = 4;
    recipe.coloursUsed = 5;
    recipe.palette = {{10, 20, 30}, {200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {250, 250, 250}};
    recipe.index = [](int x, int y) { return (x / 40 + y / 40) % 5; };
    writeFile(path, makeBitmap(recipe));
}

void importSmallPicture(skin::Project& project, RecordingReporter& reporter,
                        const std::string& dir) {
    const std::string path = dir + "/small.bmp";
    writeSmallPicture(path);
    ASSERT_TRUE(project.reserveBuffers(reporter));
    ASSERT_TRUE(project.importPicture(path, reporter));
}

skin::ClickResult placeAt(skin::Project& project, int slot, int cx, int cy,
                          RecordingReporter& reporter) {
    const skin::SlotInfo& info = skin::kSlots[static_cast<size_t>(slot)];
    const int x = cx + info.width / 2 + skin::kPictureOrigin;
    const int y = cy + info.height / 2 + skin::kPictureOrigin;
    // Clicks round down to even, so only corners of the right parity can be reached.
    if (x % 2 || y % 2)
        ADD_FAILURE() << "corner (" << cx << ", " << cy << ") unreachable for slot " << slot;
    if (project.selected() != slot) project.selectItem(slot);
    return project.click(x, y, reporter);
}

}  // namespace skintest
