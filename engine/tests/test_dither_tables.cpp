#include "engine/dither_tables.h"

#include <gtest/gtest.h>

namespace {

DitherTable Build(int bits) {
    DitherTable table{};
    EXPECT_TRUE(BuildDitherTable(bits, kDefaultDitherSpread, table));
    return table;
}

// Expected cells below were worked out by hand from the construction: walk
// the four positions feeding half the error forward, sort descending, then
// swap so that equal pairs sit on a diagonal.

TEST(DitherTables, TwoBitCells) {
    const DitherTable t = Build(2);
    EXPECT_EQ(t[0], (DitherCell{0, 0, 0, 0}));
    EXPECT_EQ(t[20], (DitherCell{0, 0, 0, 0}));
    EXPECT_EQ(t[40], (DitherCell{1, 0, 0, 0}));   // one position crosses into level 1
    EXPECT_EQ(t[60], (DitherCell{1, 0, 1, 1}));   // three ones: t0 = t1 swaps t1 and t3
    EXPECT_EQ(t[100], (DitherCell{1, 1, 1, 1}));
    EXPECT_EQ(t[128], (DitherCell{2, 1, 1, 2}));  // pairs on the diagonals
    EXPECT_EQ(t[200], (DitherCell{3, 2, 2, 3}));
    EXPECT_EQ(t[255], (DitherCell{3, 3, 3, 3}));
}

TEST(DitherTables, OneBitUsesReferenceOf85) {
    const DitherTable t = Build(1);
    EXPECT_EQ(t[50], (DitherCell{0, 0, 0, 0}));
    EXPECT_EQ(t[60], (DitherCell{1, 0, 0, 0}));
    // With a reference of 255 for the dark level this would be one dark
    // pixel of four; 85 lets the error stay positive and gives two.
    EXPECT_EQ(t[70], (DitherCell{1, 0, 0, 1}));
    EXPECT_EQ(t[90], (DitherCell{1, 0, 1, 1}));
    EXPECT_EQ(t[100], (DitherCell{1, 0, 1, 1}));
    EXPECT_EQ(t[128], (DitherCell{1, 1, 1, 1}));
    EXPECT_EQ(DitherReference(1, 1), 85);
}

TEST(DitherTables, FourBitCells) {
    const DitherTable t = Build(4);
    EXPECT_EQ(t[8], (DitherCell{1, 0, 0, 0}));
    EXPECT_EQ(t[25], (DitherCell{2, 1, 1, 1}));
    EXPECT_EQ(t[40], (DitherCell{3, 2, 2, 2}));
    // Negative half errors truncate toward zero (-1 each step), not down.
    EXPECT_EQ(t[100], (DitherCell{6, 6, 6, 6}));
    EXPECT_EQ(t[136], (DitherCell{8, 8, 8, 8}));
    EXPECT_EQ(t[255], (DitherCell{15, 15, 15, 15}));
}

TEST(DitherTables, FiveBitCells) {
    const DitherTable t = Build(5);
    EXPECT_EQ(t[0], (DitherCell{0, 0, 0, 0}));
    EXPECT_EQ(t[4], (DitherCell{1, 0, 0, 0}));
    EXPECT_EQ(t[12], (DitherCell{2, 1, 1, 1}));
    EXPECT_EQ(t[100], (DitherCell{13, 12, 12, 12}));
    // The running value passes 255 and is clamped, never wrapped.
    EXPECT_EQ(t[255], (DitherCell{31, 31, 31, 31}));
}

TEST(DitherTables, EveryCellIsInRangeAndCentredOnItsValue) {
    for (int bits : {1, 2, 4, 5}) {
        const DitherTable t = Build(bits);
        const int top = (1 << bits) - 1;
        for (int v = 0; v < 256; ++v) {
            int sum = 0;
            for (uint8_t level : t[v]) {
                ASSERT_LE(level, top) << bits << " bits, value " << v;
                sum += level;
            }
            // Dithering moves levels by at most one step around v's own level.
            const int own = v >> (8 - bits);
            EXPECT_GE(sum, 4 * (own - 1)) << bits << " bits, value " << v;
            EXPECT_LE(sum, 4 * (own + 1)) << bits << " bits, value " << v;
        }
        // Darker values never give a lighter cell.
        for (int v = 1; v < 256; ++v) {
            EXPECT_GE(t[v][0] + t[v][1] + t[v][2] + t[v][3],
                      t[v - 1][0] + t[v - 1][1] + t[v - 1][2] + t[v - 1][3])
                << bits << " bits, value " << v;
        }
    }
}

TEST(DitherTables, RefusesOtherDepths) {
    DitherTable t{};
    t[7][2] = 9;
    EXPECT_FALSE(BuildDitherTable(3, kDefaultDitherSpread, t));
    EXPECT_FALSE(BuildDitherTable(8, kDefaultDitherSpread, t));
    EXPECT_EQ(t[7][2], 9);
}

TEST(DitherTables, PositionFollowsRowAndColumnParity) {
    const DitherTable t = Build(2);
    EXPECT_EQ(DitherLevel(t, 128, 0, 0), t[128][0]);
    EXPECT_EQ(DitherLevel(t, 128, 0, 1), t[128][1]);
    EXPECT_EQ(DitherLevel(t, 128, 3, 4), t[128][2]);
    EXPECT_EQ(DitherLevel(t, 128, 5, 7), t[128][3]);
}

}  // namespace
