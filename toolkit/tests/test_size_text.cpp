// Size and number texts as the size popups and counted strings hold them.
#include <gtest/gtest.h>

#include <cstdio>

#include "toolkit/size_text.h"

namespace {

std::pair<int, int> size(std::string_view text) {
    int w = -1, h = -1;
    parseSizeText(text, &w, &h);
    return {w, h};
}

TEST(SizeText, PopupEntriesParseToTheirSize) {
    EXPECT_EQ(size("320 x 480"), std::make_pair(320, 480));
    EXPECT_EQ(size("Full 160 x 160"), std::make_pair(160, 160));
    char custom[64];
    std::snprintf(custom, sizeof custom, "%s (%d x %d)", "Custom", 240, 180);
    EXPECT_EQ(size(custom), std::make_pair(240, 180));
    EXPECT_EQ(size("Best"), std::make_pair(0, 0));
    EXPECT_EQ(size(""), std::make_pair(0, 0));
    EXPECT_EQ(size("Default"), std::make_pair(0, 0));
    EXPECT_EQ(size("480"), std::make_pair(480, 0)) << "a missing height is 0";
    // Runs of digits cannot overflow.
    EXPECT_EQ(size("99999999999999999999 x 7"), std::make_pair(65535, 7));
}

TEST(NumberText, DigitsFromTheStartOfACountedString) {
    long n = -1;
    parseNumber(std::string("\x03" "240", 4), &n);
    EXPECT_EQ(n, 240);
    parseNumber(std::string("\x08" "12 kbps!", 9), &n);
    EXPECT_EQ(n, 12);
    parseNumber(std::string("\x04" "Best", 5), &n);
    EXPECT_EQ(n, 0);
    // The length byte bounds the digits read, and a lying length byte is
    // bounded by the view.
    parseNumber(std::string("\x02" "1234", 5), &n);
    EXPECT_EQ(n, 12);
    parseNumber(std::string("\xFF" "77", 3), &n);
    EXPECT_EQ(n, 77);
    parseNumber({}, &n);
    EXPECT_EQ(n, 0);
}

}  // namespace
