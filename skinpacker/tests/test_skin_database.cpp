// The skin database: record list, the information record, palette, bands,
// descriptors and state bitmaps, read back and compared with the project.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "skinpacker/item_shapes.h"
#include "skinpacker/messages.h"
#include "skinpacker/skin_database.h"
#include "skinpacker/tests/support/fixtures.h"

using namespace skin;
using namespace skintest;

namespace {

// 2026-01-01 00:00:00 UTC.
constexpr std::time_t kNow = 1767225600;

class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        importSmallPicture(project, reporter, dir.dir());
        project.setTexts({"Title", "Author", "000001"});
    }
    void place(int slot, int x, int y, std::array<int8_t, 3> colours) {
        ASSERT_EQ(placeAt(project, slot, x, y, reporter).outcome, ClickOutcome::Placed);
        project.setColours(slot, colours);
    }
    SkinFile build(const std::string& name = "skin.pdb") {
        std::vector<uint8_t> image = buildSkinDatabase(project, name, handheldDate(kNow));
        SkinFile f;
        EXPECT_TRUE(readSkin(image, f));
        checkAgainstProject(f);
        return f;
    }
    // Everything the reader found must say what the project holds.
    void checkAgainstProject(const SkinFile& f) {
        EXPECT_EQ(f.type, kSkinType);
        EXPECT_EQ(f.creator, kSkinCreator);
        EXPECT_EQ(f.created, f.modified);
        for (uint8_t a : f.attributes) EXPECT_EQ(a, 0x40);
        EXPECT_EQ(std::string(f.info.begin(), f.info.begin() + 5), "Title");
        EXPECT_EQ(std::string(f.info.begin() + 32, f.info.begin() + 38), "Author");
        EXPECT_EQ(std::string(f.info.begin() + 64, f.info.begin() + 70), "000001");
        EXPECT_EQ(f.info[70] << 8 | f.info[71], project.placedItems());
        for (size_t i = 72; i < 96; ++i) EXPECT_EQ(f.info[i], 0);
        for (int i = 0; i < 256; ++i) {
            const Rgb& c = project.palette()[static_cast<size_t>(i)];
            ASSERT_EQ(f.palette[static_cast<size_t>(i) * 3], c.r);
            ASSERT_EQ(f.palette[static_cast<size_t>(i) * 3 + 1], c.g);
            ASSERT_EQ(f.palette[static_cast<size_t>(i) * 3 + 2], c.b);
        }
        ASSERT_EQ(f.bands.size(), 4u);
        for (int b = 0; b < 4; ++b) {
            const SkinBitmap& band = f.bands[static_cast<size_t>(b)];
            EXPECT_EQ(band.width, 320);
            EXPECT_EQ(band.height, 80);
            EXPECT_EQ(band.rowBytes, 320);
            expectVersion2Header(band);
            int wrong = 0;
            for (int y = 0; y < 80; ++y)
                for (int x = 0; x < 320; ++x)
                    wrong += band.pixels[static_cast<size_t>(y * 320 + x)] !=
                             project.pixel(x, b * 80 + y);
            EXPECT_EQ(wrong, 0) << "band " << b;
        }
        std::vector<int> placed;
        for (int s = 1; s <= 30; ++s)
            if (project.slot(s).placed()) placed.push_back(s);
        ASSERT_EQ(f.items.size(), placed.size());
        for (size_t i = 0; i < placed.size(); ++i) {
            const int s = placed[i];
            const SkinItem& item = f.items[i];
            const auto& d = item.descriptor;
            const Slot& slot = project.slot(s);
            EXPECT_EQ(d[0], s);
            EXPECT_EQ(d[1], colourStates(s, slot));
            EXPECT_EQ(d[2] << 8 | d[3], slot.x);
            EXPECT_EQ(d[4] << 8 | d[5], slot.y);
            EXPECT_EQ(d[6] << 8 | d[7], kSlots[static_cast<size_t>(s)].width);
            EXPECT_EQ(d[8] << 8 | d[9], kSlots[static_cast<size_t>(s)].height);
            for (int k = 0; k < 5; ++k) EXPECT_EQ(d[19 + static_cast<size_t>(k)], 0);
            ASSERT_EQ(item.bitmaps.size(), d[1]);
            const ItemBitmapSize size = itemBitmapSize(s);
            const ItemShape& shape = itemShape(s);
            for (size_t k = 0; k < item.bitmaps.size(); ++k) {
                const SkinBitmap& bm = item.bitmaps[k];
                EXPECT_EQ(bm.width, size.width);
                EXPECT_EQ(bm.height, size.height);
                EXPECT_EQ(bm.rowBytes, size.rowBytes);
                expectVersion2Header(bm);
                const uint8_t colour = static_cast<uint8_t>(slot.colours[k] + 1);
                EXPECT_EQ(d[10 + k], colour);
                int wrong = 0;
                for (int y = 0; y < bm.height; ++y)
                    for (int x = 0; x < bm.width; ++x)
                        wrong += bm.pixels[static_cast<size_t>(y * bm.rowBytes + x)] !=
                                 (shape.at(x, y) ? colour : 0);
                EXPECT_EQ(wrong, 0) << "slot " << s << " state " << k + 1;
            }
        }
    }
    static void expectVersion2Header(const SkinBitmap& b) {
        EXPECT_EQ(b.flags, 0x2000);
        EXPECT_EQ(b.pixelSize, 8);
        EXPECT_EQ(b.version, 2);
        EXPECT_EQ(b.nextDepth, 0);
        EXPECT_EQ(b.transparent, 0);
        EXPECT_EQ(b.compression, 0);
    }

    ScratchDir dir;
    RecordingReporter reporter;
    Project project;
};

}  // namespace

TEST_F(DatabaseTest, PlayAndTwoColourStopGiveTenRecords) {
    place(1, 0, 1, {-1, -1, -1});
    place(2, 100, 101, {14, 9, -1});
    SkinFile f = build();
    ASSERT_EQ(f.offsets.size(), 10u);
    EXPECT_EQ(f.offsets[0], 80u + 8 * 10);
    EXPECT_EQ(f.offsets[6], 103488u);
    EXPECT_EQ(f.items[0].descriptor[1], 0);
    EXPECT_EQ(f.items[1].descriptor[1], 2);
    for (int i = 10; i < 18; ++i) EXPECT_EQ(f.items[0].descriptor[static_cast<size_t>(i)], 0xFF);
    EXPECT_EQ(f.items[1].descriptor[10], 15);
    EXPECT_EQ(f.items[1].descriptor[11], 10);
    for (int i = 12; i < 18; ++i) EXPECT_EQ(f.items[1].descriptor[static_cast<size_t>(i)], 0xFF);
    EXPECT_EQ(f.items[0].descriptor[18], 0xFF);
}

TEST_F(DatabaseTest, HeaderFieldsAndDates) {
    place(1, 0, 1, {-1, -1, -1});
    std::vector<uint8_t> image = buildSkinDatabase(project, "dir/skin.pdb", handheldDate(kNow));
    EXPECT_EQ(std::string(image.begin(), image.begin() + 9), std::string("skin.pdb\0", 9));
    EXPECT_EQ(handheldDate(kNow), static_cast<uint32_t>(kNow + 2082877200u));
    // Creation and modification date, big-endian, then four zero words.
    const uint32_t date = handheldDate(kNow);
    for (size_t at : {36u, 40u}) {
        EXPECT_EQ(image[at], date >> 24);
        EXPECT_EQ(image[at + 3], date & 0xFF);
    }
    for (size_t at = 32; at < 36; ++at) EXPECT_EQ(image[at], 0);
    for (size_t at = 44; at < 60; ++at) EXPECT_EQ(image[at], 0);
    EXPECT_EQ(std::string(image.begin() + 60, image.begin() + 68), "DataVqzr");
    for (size_t at = 68; at < 76; ++at) EXPECT_EQ(image[at], 0);
}

TEST_F(DatabaseTest, ThirtyCharacterNameIsKeptWhole) {
    place(1, 0, 1, {-1, -1, -1});
    const std::string name = "abcdefghijklmnopqrstuvwxyz.pdb";
    ASSERT_EQ(name.size(), 30u);
    SkinFile f = build(name);
    EXPECT_EQ(f.name, name);
    EXPECT_EQ(f.nameField[30], 0);
    EXPECT_EQ(f.nameField[31], 0);
    // A longer name (only reachable without the create checks) is cut to 31.
    f = build(std::string(40, 'n'));
    EXPECT_EQ(f.name, std::string(31, 'n'));
    EXPECT_EQ(f.nameField[31], 0);
}

TEST_F(DatabaseTest, TitleDisplayWritesTextColourAndNoBitmap) {
    place(1, 0, 1, {-1, -1, -1});
    place(28, 40, 201, {5, -1, -1});
    SkinFile f = build();
    ASSERT_EQ(f.items.size(), 2u);
    const auto& d = f.items[1].descriptor;
    EXPECT_EQ(d[0], 28);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[10], 6);
    for (int i = 11; i < 18; ++i) EXPECT_EQ(d[static_cast<size_t>(i)], 0xFF);
    EXPECT_EQ(d[18], 8);
    EXPECT_TRUE(f.items[1].bitmaps.empty());
    EXPECT_EQ(f.offsets.size(), 6u + 1 + 1);
}

TEST_F(DatabaseTest, TitleSizesMarkByte18) {
    for (auto [slot, mark] : {std::pair{27, 10}, std::pair{29, 2}}) {
        Project p;
        importSmallPicture(p, reporter, dir.dir());
        ASSERT_EQ(placeAt(p, slot, 40, slot == 27 ? 250 : 251, reporter).outcome,
                  ClickOutcome::Placed);
        auto image = buildSkinDatabase(p, "x.pdb", 0);
        SkinFile f;
        ASSERT_TRUE(readSkin(image, f));
        ASSERT_EQ(f.items.size(), 1u);
        EXPECT_EQ(f.items[0].descriptor[18], mark);
        EXPECT_EQ(f.items[0].descriptor[10], 0) << "no text colour chosen";
    }
}

TEST_F(DatabaseTest, ThreeColourLevelMeterHasThreeBitmaps) {
    place(1, 0, 1, {-1, -1, -1});
    place(2, 40, 1, {0, 15, -1});
    place(19, 100, 100, {3, 7, 11});
    SkinFile f = build();
    ASSERT_EQ(f.items.size(), 3u);
    const SkinItem& meter = f.items[2];
    ASSERT_EQ(meter.bitmaps.size(), 3u);
    const std::array<uint8_t, 3> expected = {4, 8, 12};
    for (size_t k = 0; k < 3; ++k) {
        std::set<uint8_t> values(meter.bitmaps[k].pixels.begin(), meter.bitmaps[k].pixels.end());
        EXPECT_EQ(values, (std::set<uint8_t>{0, expected[k]})) << k;
    }
    EXPECT_EQ(meter.descriptor[13], 0xFF);
}

TEST_F(DatabaseTest, DisplaysUseTheWideGlyphStrip) {
    place(1, 0, 1, {-1, -1, -1});
    place(2, 40, 1, {0, 1, -1});
    place(22, 1, 100, {4, -1, -1});
    place(26, 200, 100, {12, -1, -1});
    place(30, 260, 1, {1, 2, -1});
    place(12, 301, 200, {1, 2, -1});
    place(14, 0, 190, {6, 7, -1});
    SkinFile f = build();
    ASSERT_EQ(f.items.size(), 7u);
    for (const SkinItem& item : f.items) {
        if (item.descriptor[0] == 22 || item.descriptor[0] == 26) {
            ASSERT_EQ(item.bitmaps.size(), 1u);
            EXPECT_EQ(item.bitmaps[0].width, 330);
            EXPECT_EQ(item.bitmaps[0].rowBytes, 330);
            EXPECT_EQ(item.bitmaps[0].height, 36);
            EXPECT_EQ(item.descriptor[6] << 8 | item.descriptor[7],
                      item.descriptor[0] == 22 ? 150 : 60);
        }
    }
}

TEST(ItemShapes, EverySlotHasItsSizeAndSomePixels) {
    for (int s = 1; s <= 30; ++s) {
        const ItemShape& shape = itemShape(s);
        if (isTitleSlot(s)) {
            EXPECT_EQ(shape.width, 0) << s;
            continue;
        }
        const ItemBitmapSize size = itemBitmapSize(s);
        EXPECT_EQ(shape.width, size.width) << s;
        EXPECT_EQ(shape.height, size.height) << s;
        ASSERT_EQ(shape.nibbles.size(), static_cast<size_t>(size.width * size.height + 1) / 2) << s;
        int set = 0;
        for (int y = 0; y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x) set += shape.at(x, y) != 0;
        EXPECT_GT(set, 0) << s;
        if (s <= 8 || s == 30) {
            EXPECT_LT(set, shape.width * shape.height / 2) << s;
        }
    }
    // Time and track displays share their faces; the three faces differ.
    EXPECT_EQ(itemShape(21).nibbles, itemShape(24).nibbles);
    EXPECT_NE(itemShape(21).nibbles, itemShape(22).nibbles);
    EXPECT_NE(itemShape(1).nibbles, itemShape(2).nibbles);
}

TEST_F(DatabaseTest, WritingChecksCountThenCreatesThenDate) {
    place(1, 0, 1, {-1, -1, -1});
    place(2, 40, 1, {14, 9, -1});
    const std::string out = dir.path("skin.pdb");

    // A clock in 1990 (local time, whatever the zone) is abnormal: the file is left empty.
    EXPECT_FALSE(writeSkinDatabase(project, out, 646790400, reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kAbnormalDate);
    EXPECT_EQ(reporter.messages[0].icon, Icon::Information);
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
    // 1950 and 1998 are fine.
    reporter.messages.clear();
    EXPECT_TRUE(writeSkinDatabase(project, out, -631152000 + 86400 * 180, reporter));
    EXPECT_TRUE(writeSkinDatabase(project, out, 883612800 + 86400 * 180, reporter));
    EXPECT_TRUE(reporter.messages.empty());

    EXPECT_TRUE(writeSkinDatabase(project, out, kNow, reporter));
    SkinFile f;
    ASSERT_TRUE(readSkin(readFile(out), f));
    EXPECT_EQ(f.created, handheldDate(kNow));

    EXPECT_FALSE(writeSkinDatabase(project, dir.path("none/skin.pdb"), kNow, reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kPdbCannotMake);
}
