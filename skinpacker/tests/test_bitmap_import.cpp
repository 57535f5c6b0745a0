// Background import: the checks in their order, every depth's conversion,
// and the converted file's bytes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "skinpacker/bitmap_import.h"
#include "skinpacker/colour_reduction.h"
#include "skinpacker/messages.h"
#include "skinpacker/tests/support/test_support.h"

using namespace skin;
using skintest::BitmapRecipe;
using skintest::makeBitmap;
using skintest::RecordingReporter;

namespace {

std::vector<Rgb> greyRamp(int n) {
    std::vector<Rgb> p;
    for (int i = 0; i < n; ++i) {
        auto v = static_cast<uint8_t>(i * 255 / std::max(n - 1, 1));
        p.push_back({v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(i)});
    }
    return p;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::vector<std::string> texts(const RecordingReporter& r) {
    std::vector<std::string> t;
    for (const auto& m : r.messages) t.push_back(m.text);
    return t;
}

bool convert(const std::vector<uint8_t>& file, ConvertedPicture& out, RecordingReporter& r) {
    return convertBitmap(file, r, out);
}

}  // namespace

TEST(BitmapChecks, RefusalsComeInOrderWithTheirTexts) {
    BitmapRecipe recipe;
    recipe.depth = 8;
    recipe.palette = greyRamp(16);
    recipe.coloursUsed = 16;
    recipe.index = [](int, int) { return 0; };
    const std::vector<uint8_t> good = makeBitmap(recipe);
    ConvertedPicture out;

    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::string_view message;
    };
    std::vector<Case> cases;
    auto notBm = good;
    notBm[0] = 'X';
    cases.push_back({"type", notBm, msg::kNotBmp});
    cases.push_back({"shorter than a file header", {'B', 'M', 0}, msg::kNotBmp});
    // Compression is checked before size: a compressed 100 x 100 file reports compression.
    BitmapRecipe compressed = recipe;
    compressed.compression = 1;
    compressed.width = 100;
    cases.push_back({"compressed", makeBitmap(compressed), msg::kCompressed});
    BitmapRecipe small = recipe;
    small.height = 240;
    cases.push_back({"size", makeBitmap(small), msg::kBadSize});
    auto topDown = good;
    topDown[22] = 0xC0;  // height -320
    topDown[23] = 0xFE;
    topDown[24] = 0xFF;
    topDown[25] = 0xFF;
    cases.push_back({"top-down", topDown, msg::kBadSize});
    auto depth16 = good;
    depth16[28] = 16;
    cases.push_back({"16 bits", depth16, msg::kBadDepth});
    auto truncated = good;
    truncated.resize(truncated.size() - 1);
    cases.push_back({"pixels cut short", truncated, msg::kBmpCannotOpen});
    auto farOffset = good;
    farOffset[10] =
        0x00;  // pixel offset 0x0004B000 = 307200: 8-bit pixels would end past the buffer
    farOffset[11] = 0xB0;
    farOffset[12] = 0x04;
    farOffset[13] = 0x00;
    farOffset.resize(kSourceBufferSize + 4096, 0);
    cases.push_back({"offset past the buffer", farOffset, msg::kBmpCannotOpen});
    auto hugeInfo = good;
    hugeInfo[14] = 0xFF;  // information header size 0xFFFFFFFF: palette would start past the end
    hugeInfo[15] = 0xFF;
    hugeInfo[16] = 0xFF;
    hugeInfo[17] = 0xFF;
    cases.push_back({"palette past the end", hugeInfo, msg::kBmpCannotOpen});

    for (const Case& c : cases) {
        RecordingReporter r;
        out.file.assign(7, 7);
        EXPECT_FALSE(convert(c.file, out, r)) << c.what;
        ASSERT_EQ(r.messages.size(), 1u) << c.what;
        EXPECT_EQ(r.messages[0].text, c.message) << c.what;
        EXPECT_EQ(out.file.size(), 7u) << c.what << ": refusal changed the output";
    }
}

TEST(BitmapChecks, DownColourNoticeOnlyForManyColours) {
    BitmapRecipe recipe;
    recipe.depth = 8;
    recipe.palette = greyRamp(256);
    recipe.index = [](int x, int) { return x % 256; };
    for (uint32_t used : {0u, 215u, 256u}) {
        recipe.coloursUsed = used;
        RecordingReporter r;
        ConvertedPicture out;
        EXPECT_TRUE(convert(makeBitmap(recipe), out, r)) << used;
        ASSERT_EQ(r.messages.size(), 1u) << used;
        EXPECT_EQ(r.messages[0].text, msg::kDownColour);
        EXPECT_EQ(r.messages[0].icon, Icon::Information);
        EXPECT_EQ(out.colours, 214);
    }
    recipe.coloursUsed = 214;
    recipe.palette = greyRamp(214);
    recipe.index = [](int x, int) { return x % 214; };
    RecordingReporter r;
    ConvertedPicture out;
    EXPECT_TRUE(convert(makeBitmap(recipe), out, r));
    EXPECT_TRUE(r.messages.empty());
}

TEST(BitmapConversion, ConvertedFileHeaderBytes) {
    BitmapRecipe recipe;
    recipe.depth = 4;
    recipe.palette = greyRamp(16);
    recipe.coloursUsed = 5;
    recipe.index = [](int x, int y) { return (x + y) % 5; };
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
    const auto& f = out.file;
    ASSERT_EQ(f.size(), 103310u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(le32(f, 2), 103312u);
    EXPECT_EQ(le32(f, 6), 0u);
    EXPECT_EQ(le32(f, 10), 910u);
    EXPECT_EQ(le32(f, 14), 40u);
    EXPECT_EQ(le32(f, 18), 320u);
    EXPECT_EQ(le32(f, 22), 320u);
    EXPECT_EQ(f[26] | f[27] << 8, 1);
    EXPECT_EQ(f[28] | f[29] << 8, 8);
    EXPECT_EQ(le32(f, 30), 0u);
    EXPECT_EQ(le32(f, 46), 214u);
    EXPECT_EQ(le32(f, 50), 214u);
    EXPECT_EQ(out.colours, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(out.paletteEntry(i), recipe.palette[static_cast<size_t>(i)]);
    for (size_t at = 54 + 5 * 4; at < 910; ++at) ASSERT_EQ(f[at], 0) << "palette tail at " << at;
    EXPECT_EQ(out.index(0, 0), 0);
    EXPECT_EQ(out.index(3, 0), 3);
    EXPECT_EQ(out.index(1, 319), (1 + 319) % 5);
    // Bottom row first in the file.
    EXPECT_EQ(f[910], (0 + 319) % 5);
}

TEST(BitmapConversion, OneBitPaletteIsFixedAndWhiteFirstInverts) {
    auto pattern = [](int x, int y) { return (x / 7 + y / 3) % 2; };
    for (bool whiteFirst : {false, true}) {
        BitmapRecipe recipe;
        recipe.depth = 1;
        recipe.palette = whiteFirst ? std::vector<Rgb>{{255, 255, 255}, {0, 0, 0}}
                                    : std::vector<Rgb>{{10, 0, 0}, {200, 200, 200}};
        recipe.index = pattern;
        RecordingReporter r;
        ConvertedPicture out;
        ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
        EXPECT_EQ(out.colours, 2);
        EXPECT_EQ(out.paletteEntry(0), (Rgb{0, 0, 0}));
        EXPECT_EQ(out.paletteEntry(1), (Rgb{255, 255, 255}));
        int mismatches = 0;
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 320; ++x) {
                int expected = whiteFirst ? 1 - pattern(x, y) : pattern(x, y);
                mismatches += out.index(x, y) != expected;
            }
        EXPECT_EQ(mismatches, 0) << "white first " << whiteFirst;
    }
}

TEST(BitmapConversion, TwoAndFourBitsKeepTheirPalettes) {
    for (int depth : {2, 4}) {
        const int full = 1 << depth;
        BitmapRecipe recipe;
        recipe.depth = depth;
        recipe.palette = greyRamp(full);
        recipe.index = [full](int x, int y) { return (x * 3 + y) % full; };
        RecordingReporter r;
        ConvertedPicture out;
        ASSERT_TRUE(convert(makeBitmap(recipe), out, r)) << depth;
        EXPECT_EQ(out.colours, full);
        for (int i = 0; i < full; ++i)
            EXPECT_EQ(out.paletteEntry(i), recipe.palette[static_cast<size_t>(i)]);
        int mismatches = 0;
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 320; ++x) mismatches += out.index(x, y) != recipe.index(x, y);
        EXPECT_EQ(mismatches, 0) << depth;
    }
}

TEST(BitmapConversion, IndexBeyondDeclaredColoursStaysInsidePicturePalette) {
    // Declares 3 colours but uses index 7, whose palette entry is nearest entry 2.
    BitmapRecipe recipe;
    recipe.depth = 4;
    recipe.palette = {{0, 0, 0}, {255, 0, 0}, {0, 0, 250}, {}, {}, {}, {}, {0, 0, 255}};
    recipe.coloursUsed = 3;
    recipe.index = [](int x, int) { return x < 10 ? 7 : x % 3; };
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
    EXPECT_EQ(out.colours, 3);
    EXPECT_EQ(out.index(0, 0), 2);
    EXPECT_EQ(out.index(11, 5), 11 % 3);
}

TEST(BitmapConversion, EightBitWith214ColoursIsTakenUnchanged) {
    BitmapRecipe recipe;
    recipe.depth = 8;
    recipe.palette = greyRamp(214);
    recipe.coloursUsed = 214;
    recipe.index = [](int x, int y) { return (x * 7 + y * 13) % 214; };
    const auto file = makeBitmap(recipe);
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(file, out, r));
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(out.colours, 214);
    // Palette entries and rows are byte-identical to the input's.
    EXPECT_TRUE(std::equal(out.file.begin() + 54, out.file.begin() + 910, file.begin() + 54));
    EXPECT_TRUE(std::equal(out.file.begin() + 910, out.file.end(), file.begin() + 54 + 856));
}

TEST(BitmapConversion, TwoHundredOccurringOfTwoHundredFiftySixAreKeptFirst) {
    BitmapRecipe recipe;
    recipe.depth = 8;
    recipe.palette = greyRamp(256);
    recipe.coloursUsed = 256;
    // Indexes 40..239 occur; index 40 + k occurs more often the larger k is.
    std::vector<int> pixels;
    for (int k = 0; k < 200; ++k)
        for (int n = 0; n < 10 + k * 2; ++n) pixels.push_back(40 + k);
    pixels.resize(102400, 239);
    recipe.index = [&](int x, int y) { return pixels[static_cast<size_t>(y * 320 + x)]; };
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
    ASSERT_EQ(out.colours, 214);
    // 239 is the most frequent, then 238 down to 40; then the unused 0..13.
    EXPECT_EQ(out.paletteEntry(0), recipe.palette[239]);
    for (int k = 1; k < 200; ++k)
        ASSERT_EQ(out.paletteEntry(k), recipe.palette[static_cast<size_t>(239 - k)]) << k;
    for (int k = 200; k < 214; ++k)
        ASSERT_EQ(out.paletteEntry(k), recipe.palette[static_cast<size_t>(k - 200)]) << k;
    // Every pixel keeps its own colour: nothing was mapped to a neighbour.
    int changed = 0;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x)
            changed += out.paletteEntry(out.index(x, y)) !=
                       recipe.palette[static_cast<size_t>(recipe.index(x, y))];
    EXPECT_EQ(changed, 0);
}

TEST(BitmapConversion, RareColoursMapToNearestKept) {
    std::array<Rgb, 256> filePalette{};
    for (int i = 0; i < 256; ++i)
        filePalette[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), 0, 0};
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 214; ++i) pixels.insert(pixels.end(), 3, static_cast<uint8_t>(i * 1));
    pixels.push_back(250);  // rare: nearest kept colour is red 213
    pixels.push_back(214);  // rare: nearest is 213 as well
    std::array<Rgb, 214> palette;
    std::array<uint8_t, 256> map;
    reduceMostFrequent(filePalette, pixels, palette, map);
    EXPECT_EQ(palette[map[250]].r, 213);
    EXPECT_EQ(palette[map[214]].r, 213);
    EXPECT_EQ(palette[map[5]].r, 5);
}

TEST(CubeLevels, LevelsAreOrderedAndReachTheExtremes) {
    std::array<uint32_t, 256> h{};
    for (int v = 0; v < 256; ++v) h[static_cast<size_t>(v)] = 400;
    CubeLevels L = chooseLevels(h);
    EXPECT_TRUE(std::is_sorted(L.begin(), L.end()));
    EXPECT_EQ(L[0], 0);
    EXPECT_EQ(L[5], 255);
    // A uniform channel spreads its levels.
    for (int i = 0; i < 5; ++i)
        EXPECT_GT(L[static_cast<size_t>(i) + 1] - L[static_cast<size_t>(i)], 10);

    std::array<uint32_t, 256> single{};
    single[77] = 102400;
    L = chooseLevels(single);
    EXPECT_TRUE(std::is_sorted(L.begin(), L.end()));
    for (int v : L) EXPECT_TRUE(v >= 0 && v <= 255);
    EXPECT_NE(std::find(L.begin(), L.end(), 77), L.end());
}

TEST(CubeLevels, OnlyColoursOfMoreThanAHundredPixelsStretchTheExtremes) {
    // The refined darkest level lands at 19; black pulls it down only once
    // more than 100 pixels have it.
    for (uint32_t black : {100u, 101u}) {
        std::array<uint32_t, 256> h{};
        h[0] = black;
        h[20] = 10000;
        h[40] = 10000;
        h[100] = 40000;
        h[200] = 40000;
        CubeLevels L = chooseLevels(h);
        EXPECT_EQ(L[0], black > 100 ? 0 : 19) << black;
        EXPECT_EQ(L[5], 200);
    }
    std::array<uint32_t, 256> h{};
    h[10] = 50000;
    h[255] = 101;
    h[60] = 52299;
    EXPECT_EQ(chooseLevels(h)[5], 255);
    h[255] = 100;
    EXPECT_LT(chooseLevels(h)[5], 255);
}

TEST(CubeMerge, TwinLevelsMergeDuplicatesElseNearBlack) {
    CubeLevels distinct = {0, 40, 90, 140, 200, 255};
    Cube c = buildCube(distinct, distinct, distinct);
    // Darkest is cell 0; the next two darkest (0,0,1) and (0,1,0) give way to it.
    EXPECT_EQ(c.dropped[0], 1);
    EXPECT_EQ(c.dropped[1], 6);
    EXPECT_EQ(c.cellIndex[1], c.cellIndex[0]);
    EXPECT_EQ(c.cellIndex[6], c.cellIndex[0]);
    int maxIndex = *std::max_element(c.cellIndex.begin(), c.cellIndex.end());
    EXPECT_EQ(maxIndex, 213);

    CubeLevels twin = {0, 50, 50, 140, 200, 255};
    c = buildCube(distinct, twin, distinct);
    // Green levels 1 and 2 coincide: (0, 2, 0) and (0, 2, 1) stand in for (0, 1, 0) and (0, 1, 1).
    EXPECT_EQ(c.dropped[0], 12);
    EXPECT_EQ(c.dropped[1], 13);
    EXPECT_EQ(c.cellIndex[12], c.cellIndex[6]);
    EXPECT_EQ(c.cellIndex[13], c.cellIndex[7]);
    EXPECT_EQ(c.palette[c.cellIndex[12]], (Rgb{0, 50, 0}));
}

TEST(TrueColour, PhotographLikePictureKeepsItsLook) {
    // Smooth gradients with noise in the narrow ranges of a dim photograph:
    // where an adaptive cube should beat an evenly spaced one clearly.
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 6);
    std::vector<Rgb> pic(102400);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x) {
            auto clampByte = [](double v) {
                return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            };
            double r = 90 + 40 * std::sin(x / 40.0), g = 50 + y * 0.2, b = 140 - (x + y) * 0.1;
            pic[static_cast<size_t>(y * 320 + x)] = {
                clampByte(r + noise(rng)), clampByte(g + noise(rng)), clampByte(b + noise(rng))};
        }
    BitmapRecipe recipe;
    recipe.depth = 24;
    recipe.colour = [&](int x, int y) { return pic[static_cast<size_t>(y * 320 + x)]; };
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
    EXPECT_EQ(texts(r), std::vector<std::string>{std::string(msg::kDownColour)});
    EXPECT_EQ(out.colours, 214);
    // Baseline: the same picture on a fixed, evenly spaced 6 x 6 x 6 cube.
    auto psnr = [&](auto colourAt) {
        double err = 0;
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 320; ++x) {
                Rgb got = colourAt(x, y), want = pic[static_cast<size_t>(y * 320 + x)];
                err += std::pow(got.r - want.r, 2) + std::pow(got.g - want.g, 2) +
                       std::pow(got.b - want.b, 2);
            }
        return 10 * std::log10(255.0 * 255.0 / (err / (102400.0 * 3)));
    };
    int outside = 0;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x) outside += out.index(x, y) >= 214;
    EXPECT_EQ(outside, 0);
    auto even = [](uint8_t v) { return static_cast<uint8_t>((v + 25) / 51 * 51); };
    const double adaptive = psnr([&](int x, int y) { return out.paletteEntry(out.index(x, y)); });
    const double fixed = psnr([&](int x, int y) {
        Rgb c = pic[static_cast<size_t>(y * 320 + x)];
        return Rgb{even(c.r), even(c.g), even(c.b)};
    });
    EXPECT_GT(adaptive, fixed + 3.0)
        << "adaptive " << adaptive << " dB, fixed cube " << fixed << " dB";
    std::printf("PSNR adaptive cube %.2f dB, fixed cube %.2f dB\n", adaptive, fixed);
}

TEST(TrueColour, FlatPictureStillGivesValidIndexes) {
    BitmapRecipe recipe;
    recipe.depth = 24;
    recipe.colour = [](int, int) { return Rgb{12, 200, 90}; };
    RecordingReporter r;
    ConvertedPicture out;
    ASSERT_TRUE(convert(makeBitmap(recipe), out, r));
    Rgb c = out.paletteEntry(out.index(100, 100));
    EXPECT_NEAR(c.r, 12, 1);
    EXPECT_NEAR(c.g, 200, 1);
    EXPECT_NEAR(c.b, 90, 1);
}

TEST(Import, MissingAndUnreadableFiles) {
    skintest::ScratchDir dir;
    std::vector<uint8_t> buffer(kSourceBufferSize);
    ConvertedPicture out;
    RecordingReporter r;
    EXPECT_FALSE(importBitmap(dir.path("none.bmp"), r, buffer, out));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kBmpNotFound);
    EXPECT_EQ(r.messages[0].icon, Icon::Exclamation);
    r.messages.clear();
    EXPECT_FALSE(importBitmap(dir.dir(), r, buffer, out));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kBmpCannotOpen);
    EXPECT_EQ(r.messages[0].icon, Icon::Information);
}
