#include "skinpacker/project_file.h"

#include <cstring>

#include "skinpacker/bytes.h"

namespace skin {

namespace {

std::string fieldText(std::span<const uint8_t> field) {
    const auto* p = reinterpret_cast<const char*>(field.data());
    return std::string(p, strnlen(p, field.size()));
}

}  // namespace

std::vector<uint8_t> encodeProjectFile(std::span<const uint8_t> convertedFile, int imageColours,
                                       int placedItems, const DatabaseTexts& texts,
                                       std::span<const Slot, kSlotCount> slotTable) {
    std::vector<uint8_t> out;
    out.reserve(kProjectFileSize);
    ByteWriter w(out);
    w.be32(kConvertedSize);
    w.be32(kConvertedHeaderSize);
    w.be32(static_cast<uint32_t>(imageColours));
    w.bytes(convertedFile.first(kConvertedSize));
    w.be16(static_cast<uint16_t>(placedItems));
    w.field(texts.title, 32);
    w.field(texts.author, 32);
    w.field(texts.version, 6);
    for (const Slot& s : slotTable) {
        w.be32(static_cast<uint32_t>(s.x));
        w.be32(static_cast<uint32_t>(s.y));
        for (int8_t c : s.colours) w.u8(static_cast<uint8_t>(c));
        w.u8(0);
    }
    return out;
}

bool decodeProjectFile(std::span<const uint8_t> file, ProjectFileContents& out) {
    ByteReader r(file);
    uint32_t pictureSize = 0, headerSize = 0, colours = 0;
    if (!r.be32(pictureSize) || !r.be32(headerSize) || !r.be32(colours)) return false;
    if (headerSize != kConvertedHeaderSize || pictureSize != kConvertedSize ||
        colours > kMaxImageColours)
        return false;
    std::span<const uint8_t> picture;
    if (!r.bytes(kConvertedSize, picture)) return false;
    for (uint8_t index : picture.subspan(kConvertedHeaderSize))
        if (index >= kMaxImageColours) return false;

    ProjectFileContents c;
    c.picture.file.assign(picture.begin(), picture.end());
    c.picture.colours = static_cast<int>(colours);
    uint16_t count = 0;
    std::span<const uint8_t> title, author, version;
    if (!r.be16(count) || !r.bytes(32, title) || !r.bytes(32, author) || !r.bytes(6, version))
        return false;
    c.placedItems = count;
    c.texts = {fieldText(title), fieldText(author), fieldText(version)};
    int placed = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        Slot& s = c.slotTable[static_cast<size_t>(i)];
        uint32_t x = 0, y = 0;
        uint8_t zero = 0;
        if (!r.be32(x) || !r.be32(y)) return false;
        s.x = static_cast<int32_t>(x);
        s.y = static_cast<int32_t>(y);
        for (int8_t& colour : s.colours) {
            uint8_t v = 0;
            if (!r.u8(v)) return false;
            colour = static_cast<int8_t>(v);
            if (colour < kNoColour || colour >= kStandardColours) return false;
        }
        if (!r.u8(zero)) return false;
        if (!s.placed()) {
            s.x = s.y = -1;
            continue;
        }
        const SlotInfo& info = kSlots[static_cast<size_t>(i)];
        if (i == 0 || s.x > kPictureSide - info.width || s.y > kPictureSide - info.height)
            return false;
        ++placed;
    }
    if (placed != c.placedItems) return false;
    out = std::move(c);
    return true;
}

}  // namespace skin
