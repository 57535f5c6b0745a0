#include "skinpacker/tests/support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "skinpacker/bytes.h"

namespace skintest {

std::vector<uint8_t> makeBitmap(const BitmapRecipe& recipe) {
    const size_t stride =
        (static_cast<size_t>(recipe.width) * static_cast<size_t>(recipe.depth) + 31) / 32 * 4;
    const size_t paletteBytes = recipe.palette.size() * 4;
    const uint32_t offset = static_cast<uint32_t>(54 + paletteBytes);
    std::vector<uint8_t> out;
    skin::ByteWriter w(out);
    w.u8('B');
    w.u8('M');
    w.le32(static_cast<uint32_t>(offset + stride * static_cast<size_t>(recipe.height)));
    w.le32(0);
    w.le32(offset);
    w.le32(40);
    w.le32(static_cast<uint32_t>(recipe.width));
    w.le32(static_cast<uint32_t>(recipe.height));
    w.le16(1);
    w.le16(static_cast<uint16_t>(recipe.depth));
    w.le32(recipe.compression);
    w.le32(0);
    w.le32(2835);
    w.le32(2835);
    w.le32(recipe.coloursUsed);
    w.le32(0);
    for (const skin::Rgb& c : recipe.palette) {
        w.u8(c.b);
        w.u8(c.g);
        w.u8(c.r);
        w.u8(0);
    }
    for (int y = recipe.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < recipe.width; ++x) {
            if (recipe.depth == 24) {
                skin::Rgb c = recipe.colour(x, y);
                row[static_cast<size_t>(x) * 3] = c.b;
                row[static_cast<size_t>(x) * 3 + 1] = c.g;
                row[static_cast<size_t>(x) * 3 + 2] = c.r;
            } else {
                const int perByte = 8 / recipe.depth;
                const int shift = 8 - recipe.depth * (x % perByte + 1);
                row[static_cast<size_t>(x / perByte)] |=
                    static_cast<uint8_t>(recipe.index(x, y) << shift);
            }
        }
        w.bytes(row);
    }
    return out;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skintest-XXXXXX").string();
    m_dir = mkdtemp(pattern.data());
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

ScratchDir::~ScratchDir() {
    std::filesystem::current_path(m_previous);
    std::filesystem::remove_all(m_dir);
}

namespace {

bool readBitmap(skin::ByteReader& r, SkinBitmap& b) {
    uint16_t w = 0, h = 0, rb = 0, flags = 0, next = 0, reserved = 0;
    uint8_t size = 0, version = 0, transparent = 0, compression = 0;
    if (!r.be16(w) || !r.be16(h) || !r.be16(rb) || !r.be16(flags) || !r.u8(size) ||
        !r.u8(version) || !r.be16(next) || !r.u8(transparent) || !r.u8(compression) ||
        !r.be16(reserved))
        return false;
    b = {w, h, rb, flags, size, version, next, transparent, compression, {}};
    std::span<const uint8_t> px;
    if (!r.bytes(static_cast<size_t>(rb) * h, px)) return false;
    b.pixels.assign(px.begin(), px.end());
    return true;
}

}  // namespace

bool readSkin(const std::vector<uint8_t>& file, SkinFile& out) {
    skin::ByteReader r(file);
    std::span<const uint8_t> name;
    uint16_t attributes = 0, version = 0, count = 0, gap = 0;
    uint32_t skip = 0;
    EXPECT_TRUE(r.bytes(32, name));
    out.nameField.assign(name.begin(), name.end());
    out.name = std::string(reinterpret_cast<const char*>(name.data()),
                           strnlen(reinterpret_cast<const char*>(name.data()), 32));
    if (!r.be16(attributes) || !r.be16(version) || !r.be32(out.created) || !r.be32(out.modified) ||
        !r.be32(skip) || !r.be32(skip) || !r.be32(skip) || !r.be32(skip) || !r.be32(out.type) ||
        !r.be32(out.creator) || !r.be32(skip) || !r.be32(skip) || !r.be16(count)) {
        ADD_FAILURE() << "short header";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        uint32_t offset = 0;
        uint8_t attr = 0, id = 0;
        uint16_t id2 = 0;
        if (!r.be32(offset) || !r.u8(attr) || !r.u8(id) || !r.be16(id2)) return false;
        EXPECT_EQ(id, 0);
        EXPECT_EQ(id2, 0);
        out.offsets.push_back(offset);
        out.attributes.push_back(attr);
    }
    EXPECT_TRUE(r.be16(gap));
    EXPECT_EQ(gap, 0);
    if (count < 6) {
        ADD_FAILURE() << "fewer than six records";
        return false;
    }
    // Walk the records in order; each must start where its entry says.
    size_t record = 0;
    auto at = [&](const char* what) {
        EXPECT_EQ(r.pos(), out.offsets[record]) << what << " record " << record;
        ++record;
    };
    std::span<const uint8_t> bytes;
    at("info");
    if (!r.bytes(96, bytes)) return false;
    out.info.assign(bytes.begin(), bytes.end());
    at("palette");
    if (!r.bytes(768, bytes)) return false;
    out.palette.assign(bytes.begin(), bytes.end());
    for (int b = 0; b < 4; ++b) {
        at("band");
        SkinBitmap bm;
        if (!readBitmap(r, bm)) return false;
        out.bands.push_back(std::move(bm));
    }
    while (record < count) {
        at("descriptor");
        SkinItem item;
        if (!r.bytes(24, bytes)) return false;
        item.descriptor.assign(bytes.begin(), bytes.end());
        for (int k = 0; k < item.descriptor[1]; ++k) {
            if (record >= count) {
                ADD_FAILURE() << "descriptor promises more bitmaps than records";
                return false;
            }
            at("bitmap");
            SkinBitmap bm;
            if (!readBitmap(r, bm)) return false;
            item.bitmaps.push_back(std::move(bm));
        }
        out.items.push_back(std::move(item));
    }
    EXPECT_EQ(r.pos(), file.size()) << "trailing bytes";
    return !::testing::Test::HasFailure();
}

}  // namespace skintest
