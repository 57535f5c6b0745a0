// The drivers' pixel writing: the vector rows give exactly the bytes of the
// one-pixel arithmetic at every width (ragged ends, odd sizes, both row
// directions), touch nothing past a row's pixels, and stay within a few
// levels of the scaler's own conversion of a real picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

extern "C" {
#include <libswscale/swscale.h>
}

#include "platform/tests/support/corpus.h"
#include "platform/vfw_pixels.h"

namespace {

struct Planes {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;
    int chromaWidth() const { return (width + 1) / 2; }
    Yuv420Picture picture() const {
        return {{y.data(), u.data(), v.data()}, {width, chromaWidth(), chromaWidth()}, width, height};
    }
};

// Noise over the whole range, so every clamp is reached.
Planes Noise(int w, int h, unsigned seed) {
    Planes p;
    p.width = w;
    p.height = h;
    std::mt19937 rng(seed);
    auto fill = [&](std::vector<uint8_t>& plane, size_t n) {
        plane.resize(n);
        for (auto& b : plane) b = uint8_t(rng());
    };
    fill(p.y, size_t(w) * size_t(h));
    fill(p.u, size_t(p.chromaWidth()) * size_t((h + 1) / 2));
    fill(p.v, size_t(p.chromaWidth()) * size_t((h + 1) / 2));
    return p;
}

// The same picture cut to a smaller size (rows and chroma kept aligned).
Planes Crop(const Planes& p, int w, int h) {
    Planes c;
    c.width = w;
    c.height = h;
    for (int row = 0; row < h; ++row)
        c.y.insert(c.y.end(), p.y.begin() + ptrdiff_t(row) * p.width,
                   p.y.begin() + ptrdiff_t(row) * p.width + w);
    for (int row = 0; row < (h + 1) / 2; ++row) {
        const ptrdiff_t at = ptrdiff_t(row) * p.chromaWidth();
        c.u.insert(c.u.end(), p.u.begin() + at, p.u.begin() + at + c.chromaWidth());
        c.v.insert(c.v.end(), p.v.begin() + at, p.v.begin() + at + c.chromaWidth());
    }
    return c;
}

Planes TestPicture(int w, int h) {
    const std::string raw = ScratchPath("pixels" + std::to_string(w) + ".yuv");
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" +
                         std::to_string(w) + "x" + std::to_string(h) +
                         ":rate=1 -frames:v 1 -pix_fmt yuv420p -f rawvideo '" + raw + "'"),
              0);
    const auto bytes = ReadWholeFile(raw);
    Planes p;
    p.width = w;
    p.height = h;
    const size_t luma = size_t(w) * size_t(h), chroma = size_t(p.chromaWidth()) * size_t((h + 1) / 2);
    EXPECT_EQ(bytes.size(), luma + 2 * chroma);
    if (bytes.size() != luma + 2 * chroma) return p;
    p.y.assign(bytes.begin(), bytes.begin() + ptrdiff_t(luma));
    p.u.assign(bytes.begin() + ptrdiff_t(luma), bytes.begin() + ptrdiff_t(luma + chroma));
    p.v.assign(bytes.begin() + ptrdiff_t(luma + chroma), bytes.end());
    return p;
}

constexpr uint8_t kFence = 0xA5;

// Rows written into a buffer with a fenced gap after each row's pixels.
std::vector<uint8_t> Convert(const Planes& p, DriverRowFormat f, bool upwards, ptrdiff_t* stride) {
    const int bpp = f == DriverRowFormat::kBgr24 ? 3 : 4;
    *stride = ptrdiff_t(p.width) * bpp + 7;
    std::vector<uint8_t> out(size_t(*stride) * size_t(p.height), kFence);
    uint8_t* first = upwards ? out.data() + (p.height - 1) * *stride : out.data();
    ConvertYuv420Rows(p.picture(), first, upwards ? -*stride : *stride, f);
    return out;
}

TEST(DriverPixels, VectorRowsMatchTheOnePixelArithmetic) {
    const Planes noise = Noise(333, 9, 7);
    for (const int w : {333, 320, 161, 66, 64, 47, 34, 33, 32, 31, 17, 16, 2, 1}) {
        for (const int h : {9, 4, 1}) {
            const Planes p = Crop(noise, w, h);
            for (const auto f : {DriverRowFormat::kBgr24, DriverRowFormat::k0Rgb32}) {
                for (const bool upwards : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << w << "x" << h << " bpp "
                                                      << (f == DriverRowFormat::kBgr24 ? 3 : 4)
                                                      << (upwards ? " upwards" : ""));
                    ptrdiff_t stride = 0;
                    const auto out = Convert(p, f, upwards, &stride);
                    const int bpp = f == DriverRowFormat::kBgr24 ? 3 : 4;
                    for (int y = 0; y < h; ++y) {
                        const uint8_t* row = out.data() + (upwards ? h - 1 - y : y) * stride;
                        for (int x = 0; x < w; ++x) {
                            const size_t c = size_t(y / 2) * size_t(p.chromaWidth()) + size_t(x / 2);
                            uint8_t r, g, b;
                            ConvertYuvPixel(p.y[size_t(y) * size_t(w) + size_t(x)], p.u[c], p.v[c],
                                            &r, &g, &b);
                            const uint8_t* px = row + x * bpp;
                            if (bpp == 3) {
                                ASSERT_EQ(px[0], b) << x << "," << y;
                                ASSERT_EQ(px[1], g) << x << "," << y;
                                ASSERT_EQ(px[2], r) << x << "," << y;
                            } else {
                                ASSERT_EQ(px[0], 0) << x << "," << y;
                                ASSERT_EQ(px[1], r) << x << "," << y;
                                ASSERT_EQ(px[2], g) << x << "," << y;
                                ASSERT_EQ(px[3], b) << x << "," << y;
                            }
                        }
                        for (ptrdiff_t i = ptrdiff_t(w) * bpp; i < stride; ++i)
                            ASSERT_EQ(row[i], kFence) << "past row " << y;
                    }
                }
            }
        }
    }
}

// Every y with every v and every fifth u (0 and 255 among them), in both
// formats: the vector rows fold constants into their arithmetic that hold
// only byte by byte, and saturate only at the ends of the range.
TEST(DriverPixels, VectorRowsMatchForEveryColour) {
    // For one u: chroma column c holds v = c, and the 2 x 2 pixels of chroma
    // row r hold y = 4r .. 4r + 3.
    Planes p;
    p.width = 512;
    p.height = 128;
    p.y.resize(512 * 128);
    for (int row = 0; row < 128; ++row)
        for (int x = 0; x < 512; ++x)
            p.y[size_t(row * 512 + x)] = uint8_t(4 * (row / 2) + 2 * (row % 2) + x % 2);
    p.v.resize(256 * 64);
    for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = uint8_t(i % 256);
    std::vector<uint8_t> bgr(512 * 128 * 3), zrgb(512 * 128 * 4);
    for (int u = 0; u < 256; u += 5) {
        p.u.assign(256 * 64, uint8_t(u));
        ConvertYuv420Rows(p.picture(), bgr.data(), 512 * 3, DriverRowFormat::kBgr24);
        ConvertYuv420Rows(p.picture(), zrgb.data(), 512 * 4, DriverRowFormat::k0Rgb32);
        for (size_t i = 0; i < p.y.size(); ++i) {
            const uint8_t y = p.y[i], v = uint8_t(i % 512 / 2);
            uint8_t rgb[3];
            ConvertYuvPixel(y, uint8_t(u), v, &rgb[0], &rgb[1], &rgb[2]);
            const uint8_t want3[3] = {rgb[2], rgb[1], rgb[0]}, want4[4] = {0, rgb[0], rgb[1], rgb[2]};
            if (std::memcmp(&bgr[3 * i], want3, 3) != 0 || std::memcmp(&zrgb[4 * i], want4, 4) != 0)
                FAIL() << "y " << int(y) << " u " << u << " v " << int(v);
        }
    }
}

TEST(DriverPixels, ColoursOfLimitedRangeBt601) {
    uint8_t r, g, b;
    ConvertYuvPixel(16, 128, 128, &r, &g, &b);  // video black
    EXPECT_EQ(r + g + b, 0);
    ConvertYuvPixel(235, 128, 128, &r, &g, &b);  // video white
    EXPECT_EQ(r + g + b, 3 * 255);
    // Everywhere within one level of the exact colours, clamped, never
    // wrapped.
    auto exact = [](double v) { return int(std::lround(std::clamp(v, 0.0, 255.0))); };
    for (int y = 0; y < 256; y += 3)
        for (int u = 0; u < 256; u += 5)
            for (int v = 0; v < 256; v += 5) {
                ConvertYuvPixel(uint8_t(y), uint8_t(u), uint8_t(v), &r, &g, &b);
                const double l = 1.164383 * (y - 16);
                ASSERT_NEAR(r, exact(l + 1.596027 * (v - 128)), 1) << y << " " << u << " " << v;
                ASSERT_NEAR(g, exact(l - 0.391762 * (u - 128) - 0.812968 * (v - 128)), 1)
                    << y << " " << u << " " << v;
                ASSERT_NEAR(b, exact(l + 2.017232 * (u - 128)), 1) << y << " " << u << " " << v;
            }
}

// The conversion the scaler did before, on a real picture: the same colours
// within a few levels (the two round their fixed-point terms differently).
TEST(DriverPixels, CloseToTheScalersConversion) {
    const Planes p = TestPicture(320, 240);
    ASSERT_EQ(p.y.size(), 320u * 240u);
    ptrdiff_t stride = 0;
    const auto own = Convert(p, DriverRowFormat::kBgr24, false, &stride);
    std::vector<uint8_t> ref(320 * 240 * 3);
    SwsContext* sws = sws_getContext(320, 240, AV_PIX_FMT_YUV420P, 320, 240, AV_PIX_FMT_BGR24,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr);
    ASSERT_NE(sws, nullptr);
    const Yuv420Picture pic = p.picture();
    const uint8_t* src[4] = {pic.planes[0], pic.planes[1], pic.planes[2], nullptr};
    const int srcStride[4] = {320, 160, 160, 0};
    uint8_t* dst[4] = {ref.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {320 * 3, 0, 0, 0};
    sws_scale(sws, src, srcStride, 0, 240, dst, dstStride);
    sws_freeContext(sws);
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < 240; ++y)
        for (int i = 0; i < 320 * 3; ++i) {
            const int d = std::abs(own[size_t(y * stride + i)] - ref[size_t(y * 320 * 3 + i)]);
            worst = std::max(worst, d);
            sum += d;
        }
    EXPECT_LE(worst, 3);
    EXPECT_LT(sum / double(ref.size()), 1.0);
}

}  // namespace
