#include "platform/cinepak_vq.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/cinepak_bitstream.h"
#include "platform/cinepak_convert.h"

namespace {

using cinepak::Vec;

Vec randomPoint(std::mt19937& rng) {
    std::uniform_int_distribution<int> y(0, 255), c(-128, 127);
    cinepak::Entry e;
    for (auto& v : e.y) v = static_cast<uint8_t>(y(rng));
    e.u = static_cast<int8_t>(c(rng));
    e.v = static_cast<int8_t>(c(rng));
    return cinepak::fromEntry(e);
}

TEST(CinepakSearch, MatchesBruteForceIncludingTiesAndExtremes) {
    std::mt19937 rng(7);
    for (int size : {1, 3, 7, 8, 9, 31, 100, 255, 256}) {
        std::vector<Vec> book;
        for (int i = 0; i < size; ++i) book.push_back(randomPoint(rng));
        // Duplicates: the lower position must win.
        if (size > 4) book[size - 1] = book[1];
        // The extremes of the space must not overflow the packed distance.
        if (size > 2) {
            cinepak::Entry lo, hi;
            lo.y = {0, 0, 0, 0};
            lo.u = lo.v = -128;
            hi.y = {255, 255, 255, 255};
            hi.u = hi.v = 127;
            book[0] = cinepak::fromEntry(lo);
            book[2] = cinepak::fromEntry(hi);
        }
        cinepak::SearchBook search;
        search.build(book);
        ASSERT_EQ(search.size(), size);
        for (int n = 0; n < 300; ++n) {
            const Vec v = n < size ? book[n] : randomPoint(rng);
            int best = 0;
            for (int i = 1; i < size; ++i) {
                if (cinepak::distance(v, book[i]) < cinepak::distance(v, book[best])) best = i;
            }
            int32_t d = -1;
            ASSERT_EQ(search.nearest(v, &d), best) << "size " << size;
            ASSERT_EQ(d, cinepak::distance(v, book[best]));
        }
    }
}

// The search skips entries by their luma sums: books crowded around a few sums, with equal
// distances on both sides of the query and across block boundaries, must still give the
// exhaustive answer.
TEST(CinepakSearch, SkippingByLumaSumKeepsTheExhaustiveAnswer) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 3), step(0, 6), chroma(-3, 3);
    for (int size : {9, 40, 256}) {
        std::vector<Vec> book;
        for (int i = 0; i < size; ++i) {
            cinepak::Entry e;
            e.y = {100, 100, 100, 100};
            e.y[pick(rng)] = static_cast<uint8_t>(97 + step(rng));
            e.y[pick(rng)] = static_cast<uint8_t>(97 + step(rng));
            e.u = static_cast<int8_t>(chroma(rng));
            e.v = static_cast<int8_t>(chroma(rng));
            book.push_back(cinepak::fromEntry(e));
        }
        cinepak::SearchBook search;
        search.build(book);
        for (int n = 0; n < 400; ++n) {
            cinepak::Entry q;
            for (auto& y : q.y) y = static_cast<uint8_t>(n < 200 ? 96 + step(rng) : 60 + 2 * n % 90);
            q.u = static_cast<int8_t>(chroma(rng));
            q.v = static_cast<int8_t>(chroma(rng));
            const Vec v = cinepak::fromEntry(q);
            int best = 0;
            for (int i = 1; i < size; ++i) {
                if (cinepak::distance(v, book[i]) < cinepak::distance(v, book[best])) best = i;
            }
            int32_t d = -1;
            ASSERT_EQ(search.nearest(v, &d), best) << "size " << size << " query " << n;
            ASSERT_EQ(d, cinepak::distance(v, book[best]));
        }
    }
}

TEST(CinepakEntry, RoundsAndClampsToWhatTheDecoderStores) {
    Vec v;
    v.c = {-7, 3, 511, 600, 3000, -3000, 0, 0};
    const cinepak::Entry e = cinepak::toEntry(v);
    EXPECT_EQ(e.y[0], 0);
    EXPECT_EQ(e.y[1], 2);  // 3 / 2 = 1.5 rounds away from zero
    EXPECT_EQ(e.y[2], 255);
    EXPECT_EQ(e.y[3], 255);
    EXPECT_EQ(e.u, 127);
    EXPECT_EQ(e.v, -128);
    const Vec back = cinepak::fromEntry(e);
    EXPECT_EQ(cinepak::fromEntry(cinepak::toEntry(back)).c, back.c);
}

TEST(CinepakTraining, FindsSeparateClustersAndHonoursLimits) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 3.0);
    const int centres[4][6] = {{40, 40, 40, 40, 0, 0},
                               {400, 400, 400, 400, 0, 0},
                               {200, 220, 240, 260, 300, -300},
                               {100, 50, 100, 50, -200, 200}};
    std::vector<Vec> points;
    for (int i = 0; i < 2000; ++i) {
        Vec v;
        for (int d = 0; d < 6; ++d) {
            v.c[d] = static_cast<int16_t>(centres[i % 4][d] + std::lround(noise(rng)));
        }
        points.push_back(v);
    }
    cinepak::TrainParams params;
    params.maxEntries = 4;
    const auto book = cinepak::trainCodebook(points, params);
    ASSERT_EQ(book.size(), 4u);
    cinepak::SearchBook search;
    search.build(book);
    double total = 0;
    for (const Vec& v : points) {
        int32_t d;
        search.nearest(v, &d);
        total += d;
    }
    // Noise alone is 6 * 9 per point plus rounding to representable entries.
    EXPECT_LT(total / points.size(), 120.0);
    for (const Vec& e : book) EXPECT_EQ(cinepak::fromEntry(cinepak::toEntry(e)).c, e.c);

    // A split must earn its entry: with a gain limit above any split, one mean remains.
    params.maxEntries = 256;
    params.minGain = 1e12;
    EXPECT_EQ(cinepak::trainCodebook(points, params).size(), 1u);
    params.minGain = 0;
    EXPECT_LE(cinepak::trainCodebook(points, params).size(), 256u);
    EXPECT_TRUE(cinepak::trainCodebook({}, params).empty());
    // Identical vectors cannot be split.
    std::vector<Vec> same(50, points[0]);
    EXPECT_EQ(cinepak::trainCodebook(same, params).size(), 1u);
}

// Cluster sums are kept exactly however many vectors a cluster holds: thousands of points
// at the far corners of the space must come back as exactly those points.
TEST(CinepakTraining, ClusterSumsStayExactForManyPointsAtTheCorners) {
    Vec bright, dark;
    bright.c = {510, 510, 510, 510, -640, 635, 0, 0};
    dark.c = {0, 0, 0, 0, 635, -640, 0, 0};
    std::vector<Vec> points;
    for (int i = 0; i < 6001; ++i) points.push_back(i % 3 == 0 ? dark : bright);
    cinepak::TrainParams params;
    params.maxEntries = 2;
    params.lloydPasses = 0;  // the means of the split alone
    auto book = cinepak::trainCodebook(points, params);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_TRUE((book[0].c == bright.c && book[1].c == dark.c) ||
                (book[0].c == dark.c && book[1].c == bright.c));
}

// The compressor converts four or eight blocks at a time where it can; each must give the
// very vectors of the one-block conversion, in colour and in grey, on random pixels and on
// the extremes where clamping and rounding turn.
TEST(CinepakConvert, WideVersionsGiveTheVectorsOfOneBlockAtATime) {
    constexpr size_t kRowBytes = 16 * 4 + 12;  // sixteen pixels and padding
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 3);
    std::vector<uint8_t> pixels(kRowBytes * 4);
    for (int trial = 0; trial < 4000; ++trial) {
        for (uint8_t& p : pixels) {
            const int k = pick(rng);
            p = static_cast<uint8_t>(trial % 2 && k < 2 ? (k == 0 ? 0 : 255) : byte(rng));
        }
        for (const bool grey : {false, true}) {
            // One at a time: block (x, row pair) from pixels 2x, 2x+1 of rows 2r, 2r+1.
            Vec single[2][4];
            for (int r = 0; r < 2; ++r) {
                for (int x = 0; x < 4; ++x) {
                    const uint8_t* top = pixels.data() + 2 * r * kRowBytes + x * 8;
                    cinepak::convertBlock(top, top + kRowBytes, grey, single[r][x]);
                }
            }
#if defined(__SSE2__)
            for (int r = 0; r < 2; ++r) {
                Vec four[4];
                Vec* const out[4] = {&four[0], &four[1], &four[2], &four[3]};
                const uint8_t* top = pixels.data() + 2 * r * kRowBytes;
                cinepak::convertFourBlocks(top, top + kRowBytes, grey, out);
                for (int x = 0; x < 4; ++x) ASSERT_EQ(four[x].c, single[r][x].c) << trial;
            }
#endif
#if defined(CINEPAK_HAVE_WIDE_CONVERT)
            if (cinepak::haveAvx2()) {
                Vec eight[8];
                Vec* out[8];
                for (int i = 0; i < 8; ++i) out[i] = &eight[i];
                cinepak::convertEightBlocks(pixels.data(), pixels.data() + 2 * kRowBytes, kRowBytes,
                                            grey, out);
                for (int i = 0; i < 8; ++i) ASSERT_EQ(eight[i].c, single[i / 4][i % 4].c) << trial;
            }
#endif
        }
    }
}

TEST(CinepakFlags, WordsPrecedeThePayloadOfTheirFirstBit) {
    std::vector<uint8_t> buf(64, 0xEE);
    cinepak::ByteWriter w(buf);
    cinepak::FlagWriter flags(w);
    // 33 one-bit blocks, each followed by a payload byte: the second word must appear right
    // before the payload of the 33rd block.
    for (int i = 0; i < 33; ++i) {
        flags.putBit(i % 2 == 0);
        w.put8(static_cast<uint8_t>(i));
    }
    flags.finish();
    ASSERT_TRUE(w.ok());
    ASSERT_EQ(w.position(), 4u + 32u + 4u + 1u);
    EXPECT_EQ(buf[0], 0xAA);
    EXPECT_EQ(buf[3], 0xAA);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(buf[4 + i], i);
    EXPECT_EQ(buf[36], 0x80);  // block 32's bit is the new word's top bit
    EXPECT_EQ(buf[37], 0x00);
    EXPECT_EQ(buf[40], 32);
}

TEST(CinepakFlags, WriterNeverPassesTheEndOfItsBuffer) {
    std::vector<uint8_t> buf(6, 0);
    cinepak::ByteWriter w(std::span<uint8_t>(buf).first(5));
    w.put32(0x01020304);
    w.put16(0x0506);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(buf[5], 0);  // the byte past the window stays untouched
    cinepak::ByteWriter r(buf);
    r.reserve(4);
    r.patch24(2, 0xABCDEF);  // beyond what was written
    EXPECT_FALSE(r.ok());
}

}  // namespace
