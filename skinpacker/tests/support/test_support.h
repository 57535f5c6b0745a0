#pragma once

// Helpers shared by the skin builder's tests: bitmap files built in memory,
// a reporter that records, a scratch directory, and a reader that takes a
// skin database apart again.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "skinpacker/report.h"
#include "skinpacker/slots.h"

namespace skintest {

struct Message {
    std::string text;
    skin::Icon icon;
};

class RecordingReporter final : public skin::Reporter {
  public:
    void report(std::string_view text, skin::Icon icon) override {
        messages.push_back({std::string(text), icon});
    }
    std::vector<Message> messages;
};

// An uncompressed bitmap file of `depth` bits. `pixel(x, y)` (y from the top)
// gives the palette index, or for 24 bits the colour.
struct BitmapRecipe {
    int width = 320;
    int height = 320;
    int depth = 8;
    uint32_t coloursUsed = 0;
    uint32_t compression = 0;
    std::vector<skin::Rgb> palette;
    std::function<int(int, int)> index;         // depths 1 to 8
    std::function<skin::Rgb(int, int)> colour;  // depth 24
};
std::vector<uint8_t> makeBitmap(const BitmapRecipe& recipe);

void writeFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> readFile(const std::string& path);

// A fresh directory that the test also makes current; removed afterwards.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    const std::string& dir() const { return m_dir; }

  private:
    std::string m_dir;
    std::string m_previous;
};

// A skin database taken apart.
struct SkinBitmap {
    int width = 0, height = 0, rowBytes = 0, flags = 0, pixelSize = 0, version = 0;
    int nextDepth = 0, transparent = 0, compression = 0;
    std::vector<uint8_t> pixels;  // rowBytes * height
};
struct SkinItem {
    std::vector<uint8_t> descriptor;  // 24 bytes
    std::vector<SkinBitmap> bitmaps;
};
struct SkinFile {
    std::string name;  // the 32-byte field up to its first zero
    std::vector<uint8_t> nameField;
    uint32_t created = 0, modified = 0, type = 0, creator = 0;
    std::vector<uint32_t> offsets;
    std::vector<uint8_t> attributes;
    std::vector<uint8_t> info;
    std::vector<uint8_t> palette;
    std::vector<SkinBitmap> bands;
    std::vector<SkinItem> items;
};
// Fails the current test (and returns false) on any inconsistency: offsets
// that do not follow the record sizes, bitmaps whose header disagrees.
bool readSkin(const std::vector<uint8_t>& file, SkinFile& out);

}  // namespace skintest
