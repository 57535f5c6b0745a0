#include "skinpacker/skin_database.h"

#include <unistd.h>

#include "skinpacker/bytes.h"
#include "skinpacker/item_shapes.h"
#include "skinpacker/messages.h"
#include "skinpacker/temp_file.h"

namespace skin {

namespace {

constexpr uint32_t kSecondsTo1970 = 2082844800;
constexpr uint32_t kHandheldZone = 9 * 3600;
constexpr uint8_t kRecordAttributes = 0x40;

void bitmapHeader(ByteWriter& w, int width, int height, int rowBytes) {
    w.be16(static_cast<uint16_t>(width));
    w.be16(static_cast<uint16_t>(height));
    w.be16(static_cast<uint16_t>(rowBytes));
    w.be16(kBitmapHasTransparency);
    w.u8(8);    // pixel size
    w.u8(2);    // version
    w.be16(0);  // next-depth offset
    w.u8(0);    // transparent index
    w.u8(0);    // compression type
    w.be16(0);  // reserved
}

struct PlacedSlot {
    int slot;
    int states;
};

std::vector<PlacedSlot> placedSlots(const Project& project) {
    std::vector<PlacedSlot> placed;
    for (int s = 1; s < kSlotCount; ++s)
        if (project.slot(s).placed()) placed.push_back({s, colourStates(s, project.slot(s))});
    return placed;
}

std::string_view baseName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

int colourStates(int slot, const Slot& s) {
    if (isTitleSlot(slot) || s.colours[0] == kNoColour) return 0;
    if (s.colours[1] == kNoColour && s.colours[2] == kNoColour) return 1;
    return s.colours[2] == kNoColour ? 2 : 3;
}

ItemBitmapSize itemBitmapSize(int slot) {
    if (slot >= 21 && slot <= 26) return {330, 36, 330};
    const SlotInfo& info = kSlots[static_cast<size_t>(slot)];
    return {info.width, info.height, (info.width + 1) & ~1};
}

uint32_t handheldDate(std::time_t now) {
    return static_cast<uint32_t>(static_cast<uint64_t>(now) + kSecondsTo1970 + kHandheldZone);
}

std::vector<uint8_t> buildSkinDatabase(const Project& project, std::string_view fileName,
                                       uint32_t date) {
    const std::vector<PlacedSlot> placed = placedSlots(project);
    size_t records = 6;
    for (const PlacedSlot& p : placed) records += 1 + static_cast<size_t>(p.states);

    std::vector<uint32_t> sizes = {96, 768};
    for (size_t b = 0; b < 4; ++b) sizes.push_back(kBitmapHeaderSize + kBandRows * kPictureSide);
    for (const PlacedSlot& p : placed) {
        sizes.push_back(kDescriptorSize);
        const ItemBitmapSize bs = itemBitmapSize(p.slot);
        for (int k = 0; k < p.states; ++k)
            sizes.push_back(static_cast<uint32_t>(kBitmapHeaderSize) +
                            static_cast<uint32_t>(bs.rowBytes * bs.height));
    }

    std::vector<uint8_t> out;
    ByteWriter w(out);
    std::string_view name = baseName(fileName);
    w.field(name.substr(0, 31), 32);
    w.be16(0);  // attributes
    w.be16(0);  // version
    w.be32(date);
    w.be32(date);
    w.be32(0);  // last backup
    w.be32(0);  // modification number
    w.be32(0);  // application info
    w.be32(0);  // sort info
    w.be32(kSkinType);
    w.be32(kSkinCreator);
    w.be32(0);  // unique ID seed
    w.be32(0);  // next record list
    w.be16(static_cast<uint16_t>(records));
    uint32_t offset = 80 + 8 * static_cast<uint32_t>(records);
    for (uint32_t size : sizes) {
        w.be32(offset);
        w.u8(kRecordAttributes);
        w.u8(0);
        w.be16(0);
        offset += size;
    }
    w.be16(0);

    const DatabaseTexts& texts = project.texts();
    w.field(texts.title, 32);
    w.field(texts.author, 32);
    w.field(texts.version, 6);
    w.be16(static_cast<uint16_t>(project.placedItems()));
    w.zeros(24);

    for (const Rgb& c : project.palette()) {
        w.u8(c.r);
        w.u8(c.g);
        w.u8(c.b);
    }
    for (int band = 0; band < 4; ++band) {
        bitmapHeader(w, kPictureSide, kBandRows, kPictureSide);
        for (int y = band * static_cast<int>(kBandRows);
             y < (band + 1) * static_cast<int>(kBandRows); ++y)
            for (int x = 0; x < kPictureSide; ++x) w.u8(project.pixel(x, y));
    }

    for (const PlacedSlot& p : placed) {
        const Slot& s = project.slot(p.slot);
        const SlotInfo& info = kSlots[static_cast<size_t>(p.slot)];
        w.u8(static_cast<uint8_t>(p.slot));
        w.u8(static_cast<uint8_t>(p.states));
        w.be16(static_cast<uint16_t>(s.x));
        w.be16(static_cast<uint16_t>(s.y));
        w.be16(static_cast<uint16_t>(info.width));
        w.be16(static_cast<uint16_t>(info.height));
        const int shown = isTitleSlot(p.slot) ? 1 : p.states;
        for (int i = 0; i < 8; ++i)
            w.u8(i < shown ? static_cast<uint8_t>(s.colours[static_cast<size_t>(i)] + 1) : 0xFF);
        w.u8(p.slot == 27 ? 10 : p.slot == 28 ? 8 : p.slot == 29 ? 2 : 0xFF);
        w.zeros(5);

        const ItemBitmapSize bs = itemBitmapSize(p.slot);
        const ItemShape& shape = itemShape(p.slot);
        for (int k = 0; k < p.states; ++k) {
            const uint8_t colour = static_cast<uint8_t>(s.colours[static_cast<size_t>(k)] + 1);
            bitmapHeader(w, bs.width, bs.height, bs.rowBytes);
            for (int y = 0; y < bs.height; ++y) {
                for (int x = 0; x < bs.width; ++x) w.u8(shape.at(x, y) ? colour : 0);
                w.zeros(static_cast<size_t>(bs.rowBytes - bs.width));
            }
        }
    }
    return out;
}

bool writeSkinDatabase(const Project& project, const std::string& path, std::time_t now,
                       Reporter& reporter) {
    if (placedSlots(project).size() != static_cast<size_t>(project.placedItems())) {
        reporter.report(msg::kItemCount, Icon::Exclamation);
        return false;
    }
    int fd = createFreshFile(path);
    if (fd < 0) {
        reporter.report(msg::kPdbCannotMake, Icon::Exclamation);
        return false;
    }
    struct tm local {};
    if (!localtime_r(&now, &local) ||
        (local.tm_year + 1900 >= 1951 && local.tm_year + 1900 <= 1997)) {
        ::close(fd);
        reporter.report(msg::kAbnormalDate, Icon::Information);
        return false;
    }
    const std::vector<uint8_t> image = buildSkinDatabase(project, path, handheldDate(now));
    bool ok = writeAll(fd, image);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        // A half-written skin would load as garbage on the handheld.
        ::unlink(path.c_str());
        reporter.report(msg::kPdbCannotMake, Icon::Exclamation);
    }
    return ok;
}

}  // namespace skin
