// Mac Roman against UTF-8: the exact conversion both ways, and the lossy one
// that every text bound for the handheld goes through.
#include <gtest/gtest.h>

#include <string>

#include "platform/mac_roman.h"

namespace {

TEST(MacRoman, RoundTripsEveryByteAndRefusesTheRest) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(char(b));
    std::string back;
    ASSERT_TRUE(utf8ToMacRoman(macRomanToUtf8(all), &back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(macRomanToUtf8("CLI\x83 \xC9"), "CLI\xC3\x89 \xE2\x80\xA6");  // É and the ellipsis
    EXPECT_FALSE(utf8ToMacRoman("\xE4\xB8\x80", &back));                    // a CJK character
    EXPECT_FALSE(utf8ToMacRoman("\xC3", &back));                            // cut short
    EXPECT_FALSE(utf8ToMacRoman("\xC0\x80", &back));                        // overlong NUL
    EXPECT_FALSE(utf8ToMacRoman("\xF0\x9F\x98\x80", &back));                // outside the BMP
}

TEST(MacRomanLossy, AccentsStayAndWhatMacRomanLacksIsSpelledOrMarked) {
    // Every character Mac Roman has converts exactly, whatever else is there.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(char(b));
    EXPECT_EQ(utf8ToMacRomanLossy(macRomanToUtf8(all)), all);
    // Accents: "Große Überraschung" is one byte a letter.
    EXPECT_EQ(utf8ToMacRomanLossy("Gro\xC3\x9F" "e \xC3\x9C" "berraschung"),
              "Gro\xA7" "e \x86" "berraschung");
    // Letters Mac Roman lacks take their nearest spelling.
    EXPECT_EQ(utf8ToMacRomanLossy("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "L\x97" "dz");  // Łódź
    EXPECT_EQ(utf8ToMacRomanLossy("\xC5\x9Ar\xC3\xB3" "d\xC5\x82" "o"), "Sr\x97" "dlo");
    EXPECT_EQ(utf8ToMacRomanLossy("\xC3\x9E" "or \xC2\xBD"), "Thor 1\xDA" "2");  // Þor ½
    EXPECT_EQ(utf8ToMacRomanLossy("\xEF\xBC\xA1\xEF\xBC\xA2"), "AB");            // fullwidth
    // A decomposed accent joins its letter; one Mac Roman lacks is dropped.
    EXPECT_EQ(utf8ToMacRomanLossy("Cafe\xCC\x81 s\xCC\x8C"), "Caf\x8E s");
    // CJK: one "?" a character.
    EXPECT_EQ(utf8ToMacRomanLossy("\xE6\x9D\xB1\xE4\xBA\xAC 2"), "?? 2");
    // Emoji, with skin tones, variation selectors and joined families, are one "?" each.
    EXPECT_EQ(utf8ToMacRomanLossy("a\xF0\x9F\x98\x80" "b"), "a?b");
    EXPECT_EQ(utf8ToMacRomanLossy("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!"), "?!");
    EXPECT_EQ(utf8ToMacRomanLossy("\xE2\x9D\xA4\xEF\xB8\x8F"), "?");
    EXPECT_EQ(utf8ToMacRomanLossy("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
                                  "\xF0\x9F\x91\xA7 x"),
              "? x");
    // Bytes that are not UTF-8 read as Latin-1; NUL cannot be stored.
    EXPECT_EQ(utf8ToMacRomanLossy("caf\xE9"), "caf\x8E");
    EXPECT_EQ(utf8ToMacRomanLossy("\xED\xA0\x80"), "\x92\xCA?");  // an encoded surrogate
    EXPECT_EQ(utf8ToMacRomanLossy(std::string("a\0b", 3)), "ab");
}

TEST(MacRomanLossy, TheCutFallsBetweenWholeCharacters) {
    // 40 accented characters, two UTF-8 bytes each: 31 of them are kept, so
    // no character is split as a cut of the UTF-8 bytes would.
    std::string name;
    for (int i = 0; i < 40; ++i) name += "\xC3\xA9";  // é
    const std::string cut = utf8ToMacRomanLossy(name, 31);
    EXPECT_EQ(cut, std::string(31, '\x8E'));
    EXPECT_EQ(macRomanToUtf8(cut), name.substr(0, 62));
    // A spelling of several bytes is kept whole or left out.
    EXPECT_EQ(utf8ToMacRomanLossy("ab\xC2\xBD", 4), "ab");
    EXPECT_EQ(utf8ToMacRomanLossy("ab\xC2\xBD", 5), "ab1\xDA" "2");
    EXPECT_EQ(utf8ToMacRomanLossy("\xE6\x9D\xB1\xE4\xBA\xAC", 1), "?");
}

}  // namespace
