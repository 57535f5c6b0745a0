// The layout view's picture: layout, strips, items and handles where the
// model puts them. With MOVIEPACKER_SCREENSHOTS=DIR each picture is also
// written there as a PNG.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>

#include "resources/resources.h"
#include "toolkit/layout_view.h"

namespace {

const std::vector<std::string> kSizes{"160 x 160", "240 x 240", "320 x 320", "320 x 480",
                                      "480 x 320"};

void writePng(const LayoutPicture& p, const std::string& name) {
    const char* dir = std::getenv("MOVIEPACKER_SCREENSHOTS");
    if (dir == nullptr || *dir == 0) return;
    std::vector<uint8_t> raw;
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* s = &p.pixels[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
            raw.insert(raw.end(), {s[2], s[1], s[0]});
        }
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    ASSERT_EQ(compress(packed.data(), &packedSize, raw.data(), uLong(raw.size())), Z_OK);
    packed.resize(packedSize);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    auto be32 = [](std::string& s, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) s += char((v >> shift) & 0xFF);
    };
    auto chunk = [&](const char* tag, const std::string& data) {
        be32(png, uint32_t(data.size()));
        const std::string body = std::string(tag, 4) + data;
        png += body;
        be32(png,
             uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    };
    std::string ihdr;
    be32(ihdr, uint32_t(p.width));
    be32(ihdr, uint32_t(p.height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    chunk("IHDR", ihdr);
    chunk("IDAT", std::string(packed.begin(), packed.end()));
    chunk("IEND", "");
    std::ofstream(std::string(dir) + "/layout_view_" + name + ".png", std::ios::binary) << png;
}

struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
};

Pixel at(const LayoutPicture& p, int x, int y) {
    const uint8_t* s = &p.pixels[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
    return {s[2], s[1], s[0]};
}

LayoutViewPictures pictures() {
    LayoutViewPictures p;
    loadViewPictures(moviepackerResources(), &p);
    return p;
}

LayoutEditor editor(LayoutSize screen, LayoutSize video, int angle, LayoutSize layout) {
    LayoutEditor e(kSizes);
    LayoutDevice d;
    d.screen = screen;
    d.video = video;
    d.angle = angle;
    e.setDevice(d);
    e.setLayoutSize(layout);
    e.resetItems();
    return e;
}

TEST(LayoutView, ResourcesHoldTheStripsAndTheProxy) {
    const LayoutViewPictures p = pictures();
    const int sizes[8][2] = {{160, 15}, {160, 17}, {107, 15}, {107, 17},
                             {15, 107}, {15, 107}, {17, 107}, {17, 107}};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(p.strips[i].width, sizes[i][0]) << i;
        EXPECT_EQ(p.strips[i].height, sizes[i][1]) << i;
    }
    EXPECT_EQ(p.movie.width, 160);
    EXPECT_EQ(p.movie.height, 120);
    LayoutPicture none;
    const std::vector<uint8_t> junk(100, 0x5A);
    EXPECT_NE(decodePicture(junk, &none), noErr);
    EXPECT_EQ(none.width, 0);
}

TEST(LayoutView, ASmallLayoutWithControls) {
    LayoutEditor e = editor({160, 160}, {80, 60}, 0, {160, 160});
    e.setBackgroundColour({0xFFFF, 0x0000, 0x0000});
    LayoutPicture v;
    renderLayoutView(e, pictures(), &v);
    writePng(v, "small");
    ASSERT_EQ(v.width, 160);
    ASSERT_EQ(v.height, 160);
    const Pixel red{255, 0, 0}, black{0, 0, 0}, white{255, 255, 255};
    // Rows 0-14 and 143-159 are strips, the rest the background colour.
    EXPECT_EQ(at(v, 2, 2), (Pixel{40, 48, 56}));
    EXPECT_EQ(at(v, 2, 150), (Pixel{40, 48, 56}));
    EXPECT_EQ(at(v, 2, 15), red);
    EXPECT_EQ(at(v, 2, 142), red);
    // The movie {40, 49, 120, 109}: outline, handles, the proxy inside.
    const LayoutRect m = e.item(kLayoutItemMovie)->rect;
    ASSERT_EQ(m, (LayoutRect{40, 49, 120, 109}));
    EXPECT_EQ(at(v, 60, 49), black);
    EXPECT_EQ(at(v, 40, 49), black);
    EXPECT_EQ(at(v, 43, 52), white);
    EXPECT_EQ(at(v, 116, 105), white);
    EXPECT_NE(at(v, 80, 79), red);
    EXPECT_EQ(at(v, 39, 79), red);
}

TEST(LayoutView, LargeLayoutsAreScaledAndSideStripsDrawn) {
    LayoutEditor e = editor({480, 320}, {240, 180}, 90, {480, 320});
    LayoutPicture v;
    renderLayoutView(e, pictures(), &v);
    writePng(v, "wide_clockwise");
    const Pixel face{212, 208, 200}, white{255, 255, 255};
    // 160 x 106 at row 27; the left strip 15 view pixels, the right 17.
    EXPECT_EQ(at(v, 80, 10), face);
    EXPECT_EQ(at(v, 80, 150), face);
    for (const Pixel side : {at(v, 7, 30), at(v, 152, 30), at(v, 7, 130), at(v, 152, 130)}) {
        EXPECT_NE(side, white);
        EXPECT_NE(side, face);
    }
    EXPECT_EQ(at(v, 16, 30), white);
    EXPECT_EQ(at(v, 20, 30), white);  // the background, outside the movie

    // A square full-screen video: no strips, no handles.
    LayoutEditor s = editor({320, 320}, {320, 320}, 0, {320, 320});
    LayoutViewPictures p = pictures();
    p.movie = LayoutPicture{};  // no picture: grey
    renderLayoutView(s, p, &v);
    writePng(v, "square");
    EXPECT_EQ(at(v, 0, 0), (Pixel{0, 0, 0}));  // the outline only
    EXPECT_EQ(at(v, 3, 3), (Pixel{128, 128, 128}));
}

}  // namespace
