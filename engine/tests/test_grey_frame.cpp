#include "engine/grey_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/tests/support/test_picture.h"

namespace {

std::vector<uint8_t> Grey(const TestPicture& picture, int width, int height) {
    std::vector<uint8_t> grey(static_cast<size_t>(width) * height, 0xAA);
    const SourceFrame source{picture.pixels.data(), picture.stride, picture.width, picture.height};
    ConvertToGrey(source, width, height, grey);
    return grey;
}

TEST(GreyFrame, DarknessWeightsBlueGreenRedBytes) {
    TestPicture picture(5, 1);
    picture.Set(0, 0, 255, 255, 255);
    picture.Set(1, 0, 0, 0, 0);
    picture.Set(2, 0, 255, 0, 0);  // red: 306 x 255 / 1024 = 76
    picture.Set(3, 0, 0, 255, 0);  // green: 601 x 255 / 1024 = 149
    picture.Set(4, 0, 0, 0, 255);  // blue: 117 x 255 / 1024 = 29
    const std::vector<uint8_t> grey = Grey(picture, 5, 1);
    EXPECT_EQ(grey, (std::vector<uint8_t>{0, 255, 179, 106, 226}));
}

TEST(GreyFrame, StrideIsHonouredAndMarginsAreWhite) {
    // 158 x 118 is encoded at 160 x 120; the row padding of the source
    // (filled with 0xEE) must never be read as pixels.
    ASSERT_EQ(EncodedFrameDimension(158), 160);
    ASSERT_EQ(EncodedFrameDimension(118), 120);
    TestPicture picture(158, 118, 24);
    picture.Fill(0, 0, 0);
    const std::vector<uint8_t> grey = Grey(picture, 160, 120);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            const bool inside = x < 158 && y < 118;
            ASSERT_EQ(grey[y * 160 + x], inside ? 255 : 0) << x << "," << y;
        }
    }
}

TEST(GreyFrame, EncodedDimensionsAndRowBytes) {
    EXPECT_EQ(EncodedFrameDimension(1), 4);
    EXPECT_EQ(EncodedFrameDimension(4), 4);
    EXPECT_EQ(EncodedFrameDimension(161), 164);
    // Rows are whole 16-bit words.
    EXPECT_EQ(PackedRowBytes(160, 1), 20);
    EXPECT_EQ(PackedRowBytes(164, 1), 22);
    EXPECT_EQ(PackedRowBytes(164, 2), 42);
    EXPECT_EQ(PackedRowBytes(164, 4), 82);
    EXPECT_EQ(PackedRowBytes(12, 2), 4);
}

TEST(GreyFrame, PackingIsMostSignificantFirstWithPaddedRows) {
    DitherTable table{};
    ASSERT_TRUE(BuildDitherTable(2, kDefaultDitherSpread, table));
    // 12 pixels of 2 bits fill three bytes; the fourth byte of the row pads.
    std::vector<uint8_t> grey(12 * 2, 0);
    grey[0] = 255;       // first pixel black
    grey[12 + 11] = 255;  // last pixel of the second row black
    std::vector<uint8_t> packed(4 * 2, 0x77);
    PackGrey(grey, 12, 2, 2, table, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t>{0xC0, 0, 0, 0, 0, 0, 0x03, 0}));

    ASSERT_TRUE(BuildDitherTable(1, kDefaultDitherSpread, table));
    std::vector<uint8_t> black(20, 255);
    std::vector<uint8_t> packed1(4, 0x77);
    PackGrey(black, 20, 1, 1, table, packed1);
    // A partial last byte is filled from its high bits.
    EXPECT_EQ(packed1, (std::vector<uint8_t>{0xFF, 0xFF, 0xF0, 0x00}));

    ASSERT_TRUE(BuildDitherTable(4, kDefaultDitherSpread, table));
    std::vector<uint8_t> ramp = {0, 255, 136, 100};
    std::vector<uint8_t> packed4(2, 0);
    PackGrey(ramp, 4, 1, 4, table, packed4);
    EXPECT_EQ(packed4, (std::vector<uint8_t>{0x0F, 0x86}));
}

TEST(GreyFrame, DitherPositionsFollowTheCell) {
    DitherTable table{};
    ASSERT_TRUE(BuildDitherTable(2, kDefaultDitherSpread, table));
    // Darkness 128 has the cell 2 1 / 1 2: a checker of levels.
    std::vector<uint8_t> grey(4 * 2, 128);
    std::vector<uint8_t> packed(2 * 2, 0);
    PackGrey(grey, 4, 2, 2, table, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t>{0x99, 0x00, 0x66, 0x00}));
}

TEST(GreyFrame, SourceValidity) {
    uint8_t pixel[8] = {};
    EXPECT_TRUE(SourceFrameValid({pixel, 8, 2, 1}));
    EXPECT_FALSE(SourceFrameValid({pixel, 4, 2, 1}));   // stride shorter than a row
    EXPECT_FALSE(SourceFrameValid({nullptr, 8, 2, 1}));
    EXPECT_FALSE(SourceFrameValid({pixel, 8, -2, 1}));
}

}  // namespace
