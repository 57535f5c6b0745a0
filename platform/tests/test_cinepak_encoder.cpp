#include "platform/cinepak_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/tests/cinepak_test_media.h"

namespace {

using cinepak_test::Picture;

uint32_t be16(const uint8_t* p) {
    return (p[0] << 8) | p[1];
}
uint32_t be24(const uint8_t* p) {
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

// Walks a frame the way small decoders do and checks the layout they rely on: the sizes add
// up, at most 3 strips, each strip a key or difference strip holding a V4 codebook, a V1
// codebook and then its vectors. Returns the chunk ids per strip.
std::vector<std::vector<uint8_t>> frameLayout(const uint8_t* data, size_t size, int width,
                                              int height, bool key) {
    std::vector<std::vector<uint8_t>> strips;
    EXPECT_GE(size, 10u);
    if (size < 10) return strips;
    EXPECT_EQ(data[0], key ? 0x00 : 0x01);
    EXPECT_EQ(be24(data + 1), size);
    EXPECT_EQ(be16(data + 4), static_cast<uint32_t>(width));
    EXPECT_EQ(be16(data + 6), static_cast<uint32_t>(height));
    const uint32_t count = be16(data + 8);
    EXPECT_GE(count, 1u);
    EXPECT_LE(count, 3u);
    size_t at = 10;
    uint32_t rows = 0;
    for (uint32_t i = 0; i < count && at + 12 <= size; ++i) {
        const uint8_t* strip = data + at;
        const size_t stripSize = be24(strip + 1);
        EXPECT_EQ(strip[0], key ? 0x10 : 0x11);
        EXPECT_LE(at + stripSize, size);
        rows += be16(strip + 8);
        std::vector<uint8_t> ids;
        size_t c = 12;
        while (c + 4 <= stripSize) {
            ids.push_back(strip[c]);
            const size_t chunk = be24(strip + c + 1);
            EXPECT_GE(chunk, 4u);
            if (chunk < 4) break;
            c += chunk;
        }
        EXPECT_EQ(c, stripSize);
        EXPECT_EQ(ids.size(), 3u);
        strips.push_back(ids);
        at += stripSize;
    }
    EXPECT_EQ(at, size);
    EXPECT_EQ(rows, static_cast<uint32_t>((height + 3) / 4 * 4));
    return strips;
}

struct Outcome {
    double psnr = 0;  // of the whole sequence, from the mean squared error
    size_t bytes = 0;
    std::vector<bool> keys;
    std::vector<size_t> sizes;
    std::vector<double> framePsnr;
};

// Encodes the pictures, decodes each frame with FFmpeg's decoder and checks that it shows
// exactly what the encoder believes the decoder shows.
Outcome encodeAndDecode(CinepakEncoder& enc, const std::vector<Picture>& pictures,
                        const std::vector<int>& forceKeys = {}) {
    Outcome run;
    const int w = pictures[0].width;
    const int h = pictures[0].height;
    std::vector<uint8_t> out(enc.maxCompressedSize());
    std::vector<uint8_t> shown(static_cast<size_t>(w) * h * 4);
    cinepak_test::Decoder decoder(w, h);
    EXPECT_TRUE(decoder.ok());
    double mse = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const bool force = std::find(forceKeys.begin(), forceKeys.end(), i) != forceKeys.end();
        size_t size = 0;
        bool key = false;
        EXPECT_EQ(enc.compress(pictures[i].bgra, pictures[i].rowBytes(), force, out, &size, &key),
                  noErr);
        frameLayout(out.data(), size, w, h, key);
        run.bytes += size;
        run.keys.push_back(key);
        run.sizes.push_back(size);
        EXPECT_TRUE(decoder.decode(out.data(), size)) << "frame " << i;
        EXPECT_EQ(enc.decodedPicture(shown, static_cast<size_t>(w) * 4), noErr);
        int mismatches = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    mismatches += decoder.rgb()[y * decoder.stride() + x * 3 + c] !=
                                  shown[(static_cast<size_t>(y) * w + x) * 4 + 2 - c];
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << "frame " << i;
        const double p = cinepak_test::psnrAgainstRgb(pictures[i], decoder.rgb(), decoder.stride());
        mse += 255.0 * 255.0 / std::pow(10.0, p / 10.0);
        run.framePsnr.push_back(p);
    }
    run.psnr = cinepak_test::psnrToDb(mse / pictures.size());
    return run;
}

std::vector<Picture> moving(int w, int h, int frames) {
    std::vector<Picture> v;
    for (int i = 0; i < frames; ++i) v.push_back(cinepak_test::scene(w, h, i * 2.0));
    return v;
}

TEST(CinepakEncoder, MovingAndStillPicturesDecodeCloseToTheSource) {
    struct Case {
        int w, h, frames;
    };
    for (const Case c : {Case{160, 120, 14}, Case{240, 180, 6}, Case{320, 240, 4}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        CinepakEncoder enc;
        ASSERT_EQ(enc.open(c.w, c.h, kCinepakHighQuality, 5, false), noErr);
        const Outcome run = encodeAndDecode(enc, moving(c.w, c.h, c.frames), {3});
        EXPECT_GT(run.psnr, 29.0);
        // First frame, a forced one, then by the key frame rate counted from it.
        for (int i = 0; i < c.frames; ++i) {
            EXPECT_EQ(run.keys[i], i == 0 || i == 3 || i == 8 || i == 13) << "frame " << i;
        }

        // A held picture costs little after its key frame and only gets better.
        CinepakEncoder held;
        ASSERT_EQ(held.open(c.w, c.h, kCinepakHighQuality, 0, false), noErr);
        const std::vector<Picture> same(4, cinepak_test::scene(c.w, c.h, 5));
        const Outcome still = encodeAndDecode(held, same);
        for (int i = 1; i < 4; ++i) {
            EXPECT_LT(still.sizes[i], still.sizes[0] / 3) << "frame " << i;
            EXPECT_GE(still.framePsnr[i], still.framePsnr[i - 1] - 0.01) << "frame " << i;
        }

        // The top quality, for stills compressed once and seen for long, is not worse.
        CinepakEncoder top;
        ASSERT_EQ(top.open(c.w, c.h, kCinepakMaxQuality, 0, false), noErr);
        const Outcome best = encodeAndDecode(top, {same[0]});
        EXPECT_GE(best.psnr, still.framePsnr[0]);
        EXPECT_GT(best.psnr, 28.5);
    }
}

TEST(CinepakEncoder, KeyFramesDecodeWithoutWhatCameBefore) {
    const int w = 160, h = 120;
    CinepakEncoder enc;
    ASSERT_EQ(enc.open(w, h, kCinepakHighQuality, 4, false), noErr);
    std::vector<uint8_t> out(enc.maxCompressedSize());
    cinepak_test::Decoder throughout(w, h);
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 6; ++i) {
        const Picture p = cinepak_test::scene(w, h, i * 3.0);
        size_t size = 0;
        bool key = false;
        ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &size, &key), noErr);
        ASSERT_EQ(key, i == 0 || i == 4);
        frames.emplace_back(out.begin(), out.begin() + size);
        ASSERT_TRUE(throughout.decode(frames.back().data(), size));
    }
    // A decoder that starts at frame 4 must show the same frames 4 and 5.
    cinepak_test::Decoder late(w, h);
    for (int i = 4; i < 6; ++i) ASSERT_TRUE(late.decode(frames[i].data(), frames[i].size()));
    EXPECT_EQ(std::memcmp(late.rgb(), throughout.rgb(), static_cast<size_t>(h) * w * 3), 0);
}

TEST(CinepakEncoder, RateControlLandsNearTheTargetOverTenSeconds) {
    struct Case {
        int w, h;
        int32_t rate;  // bytes per second
    };
    const int fps = 15;
    const int frames = 10 * fps;
    std::vector<Picture> pictures;
    for (int i = 0; i < frames; ++i) pictures.push_back(cinepak_test::scene(160, 120, i * 1.5));
    // 240 and 640 kbit/s.
    for (const Case c : {Case{160, 120, 30000}, Case{160, 120, 80000}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.rate);
        const int32_t ms = 1000 / fps;
        CinepakEncoder enc;
        ASSERT_EQ(enc.open(c.w, c.h, kCinepakHighQuality, 100, false), noErr);
        std::vector<uint8_t> out(enc.maxCompressedSize());
        cinepak_test::RateHistory history(c.rate);
        size_t total = 0;
        for (const Picture& p : pictures) {
            enc.setRate({c.rate, history.overrun(c.rate), ms});
            size_t size = 0;
            bool key = false;
            ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &size, &key), noErr);
            history.add(ms, size);
            total += size;
        }
        const double target = static_cast<double>(c.rate) * frames * ms / 1000.0;
        std::printf("%dx%d at %d bytes/s: %.3f of the target\n", c.w, c.h, c.rate, total / target);
        EXPECT_NEAR(total / target, 1.0, 0.15);
    }
}

TEST(CinepakEncoder, StripLayoutFollowsTheRateAtKeyFrames) {
    // A generous rate wants three strips, a starved one a single strip; the layout may only
    // change at key frames, and the decoder must follow every change.
    const int w = 160, h = 120;
    CinepakEncoder enc;
    ASSERT_EQ(enc.open(w, h, kCinepakHighQuality, 8, false), noErr);
    std::vector<uint8_t> out(enc.maxCompressedSize());
    std::vector<uint8_t> shown(static_cast<size_t>(w) * h * 4);
    cinepak_test::Decoder decoder(w, h);
    std::vector<size_t> stripCounts;
    for (int i = 0; i < 28; ++i) {
        const int32_t rate = i < 16 ? 90000 : 4000;
        enc.setRate({rate, 0, 67});
        const Picture p = cinepak_test::scene(w, h, i * 2.0);
        size_t size = 0;
        bool key = false;
        ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &size, &key), noErr);
        const size_t strips = frameLayout(out.data(), size, w, h, key).size();
        if (!key && !stripCounts.empty()) {
            EXPECT_EQ(strips, stripCounts.back()) << i;
        }
        stripCounts.push_back(strips);
        ASSERT_TRUE(decoder.decode(out.data(), size));
        ASSERT_EQ(enc.decodedPicture(shown, static_cast<size_t>(w) * 4), noErr);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(decoder.rgb()[y * decoder.stride() + x * 3 + c],
                              shown[(static_cast<size_t>(y) * w + x) * 4 + 2 - c])
                        << "frame " << i;
                }
            }
        }
    }
    EXPECT_EQ(stripCounts[8], 3u);
    EXPECT_LT(stripCounts.back(), stripCounts[8]);
}

TEST(CinepakEncoder, MaximumQualityIgnoresTheRate) {
    const Picture p = cinepak_test::scene(160, 120, 0);
    size_t sizes[2] = {};
    for (int i = 0; i < 2; ++i) {
        CinepakEncoder enc;
        ASSERT_EQ(enc.open(160, 120, kCinepakMaxQuality, 0, false), noErr);
        if (i == 1) enc.setRate({2000, 5000, 67});
        std::vector<uint8_t> out(enc.maxCompressedSize());
        bool key = false;
        ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &sizes[i], &key), noErr);
        EXPECT_TRUE(key);
    }
    EXPECT_EQ(sizes[0], sizes[1]);
    EXPECT_GT(sizes[0], 2000u);
}

TEST(CinepakEncoder, GreyUsesLumaOnlyCodebooks) {
    const int w = 160, h = 120;
    CinepakEncoder enc;
    ASSERT_EQ(enc.open(w, h, kCinepakHighQuality, 0, true), noErr);
    std::vector<uint8_t> out(enc.maxCompressedSize());
    cinepak_test::Decoder decoder(w, h);
    double mse = 0;
    for (int i = 0; i < 3; ++i) {
        const Picture p = cinepak_test::scene(w, h, i * 2.0);
        size_t size = 0;
        bool key = false;
        ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &size, &key), noErr);
        for (const auto& ids : frameLayout(out.data(), size, w, h, key)) {
            EXPECT_EQ(ids[0], key ? 0x24 : 0x25);
            EXPECT_EQ(ids[1], key ? 0x26 : 0x27);
        }
        ASSERT_TRUE(decoder.decode(out.data(), size));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* d = decoder.rgb() + y * decoder.stride() + x * 3;
                ASSERT_TRUE(d[0] == d[1] && d[1] == d[2]);
                const uint8_t* s = &p.bgra[(static_cast<size_t>(y) * w + x) * 4];
                const double luma = 0.299 * s[2] + 0.587 * s[1] + 0.114 * s[0];
                mse += (luma - d[0]) * (luma - d[0]);
            }
        }
    }
    EXPECT_GT(cinepak_test::psnrToDb(mse / (3.0 * w * h)), 30.0);
}

TEST(CinepakEncoder, SizesThatAreNotMultiplesOfFour) {
    // Decoders fill whole 4x4 blocks; what lies beyond the picture must not disturb it.
    for (auto [w, h] : {std::pair{30, 22}, std::pair{5, 3}, std::pair{1, 1}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        CinepakEncoder enc;
        ASSERT_EQ(enc.open(w, h, kCinepakHighQuality, 0, false), noErr);
        const Outcome run = encodeAndDecode(enc, moving(w, h, 3));
        if (w == 30) {
            EXPECT_GT(run.psnr, 24.0);
        }
    }
}

TEST(CinepakEncoder, FlatPictureNeedsNoV4AndNoFlagWords) {
    Picture p;
    p.width = 64;
    p.height = 32;
    for (int i = 0; i < 64 * 32; ++i) p.bgra.insert(p.bgra.end(), {200, 100, 50, 255});
    CinepakEncoder enc;
    ASSERT_EQ(enc.open(p.width, p.height, kCinepakHighQuality, 0, false), noErr);
    std::vector<uint8_t> out(enc.maxCompressedSize());
    size_t size = 0;
    bool key = false;
    ASSERT_EQ(enc.compress(p.bgra, p.rowBytes(), false, out, &size, &key), noErr);
    const auto strips = frameLayout(out.data(), size, p.width, p.height, true);
    ASSERT_FALSE(strips.empty());
    for (const auto& ids : strips) EXPECT_EQ(ids[2], 0x32);
    // One entry and one index byte per block: nothing else but headers.
    const size_t blocks = 16 * 8;
    EXPECT_EQ(size, 10 + strips.size() * (12 + 4 + 4 + 4) + blocks + strips.size() * 6);
    CinepakEncoder again;
    ASSERT_EQ(again.open(p.width, p.height, kCinepakHighQuality, 0, false), noErr);
    const Outcome run = encodeAndDecode(again, {p, p});
    EXPECT_GT(run.psnr, 40.0);
    EXPECT_EQ(run.sizes[0], size);
}

TEST(CinepakEncoder, NoiseAtTopQualityStaysWithinTheMaximumSize) {
    const int w = 64, h = 48;
    Picture p;
    p.width = w;
    p.height = h;
    for (int i = 0; i < w * h * 4; ++i) p.bgra.push_back(cinepak_test::hash(i) & 0xFF);
    CinepakEncoder enc;
    ASSERT_EQ(enc.open(w, h, kCinepakMaxQuality, 0, false), noErr);
    const Outcome run = encodeAndDecode(enc, {p, p});
    EXPECT_LE(run.bytes, 2 * enc.maxCompressedSize());
}

TEST(CinepakEncoder, RefusesBadCallsWithoutChangingState) {
    CinepakEncoder enc;
    std::vector<uint8_t> out(1 << 16);
    std::vector<uint8_t> pixels(16 * 16 * 4, 128);
    size_t size = 0;
    bool key = false;
    EXPECT_EQ(enc.compress(pixels, 64, false, out, &size, &key), kStatusParamError);
    EXPECT_EQ(enc.maxCompressedSize(), 0u);
    EXPECT_EQ(enc.open(0, 10, 0, 0, false), kStatusParamError);
    EXPECT_EQ(enc.open(10, 5000, 0, 0, false), kStatusParamError);
    ASSERT_EQ(enc.open(16, 16, kCinepakHighQuality, 0, false), noErr);
    EXPECT_EQ(enc.decodedPicture(pixels, 64), kStatusParamError);  // nothing compressed yet
    EXPECT_EQ(enc.compress(std::span(pixels).first(100), 64, false, out, &size, &key),
              kStatusParamError);
    EXPECT_EQ(enc.compress(pixels, 60, false, out, &size, &key), kStatusParamError);
    // A row stride whose product with the height wraps around must not pass the size check.
    // (16 - 1) * (SIZE_MAX / 15 + 1) wraps to 14.
    EXPECT_EQ(enc.compress(pixels, SIZE_MAX / 15 + 1, false, out, &size, &key), kStatusParamError);
    EXPECT_EQ(enc.compress(pixels, 64, false, std::span(out).first(10), &size, &key),
              kStatusParamError);
    // The refused calls did not count as frames: the next one is still the first, a key.
    ASSERT_EQ(enc.compress(pixels, 64, false, out, &size, &key), noErr);
    EXPECT_TRUE(key);
}

}  // namespace
