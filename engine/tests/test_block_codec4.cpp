#include "engine/block_codec4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/frame_types.h"
#include "engine/grey_decoder.h"
#include "engine/tests/support/test_picture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 4-bit packed frame from one level per pixel.
Bytes Pack4(const std::vector<int>& levels, int width) {
    Bytes packed(levels.size() / 2);
    for (size_t i = 0; i < levels.size(); ++i) {
        packed[i / 2] |= static_cast<uint8_t>(levels[i] << (i % 2 ? 0 : 4));
    }
    (void)width;
    return packed;
}

// A frame of 4 x 4 blocks, each given as 16 levels in block order.
Bytes BlockFrame(const std::vector<std::vector<int>>& blocks, int bw, int bh) {
    const int width = bw * 4;
    std::vector<int> levels(static_cast<size_t>(width) * bh * 4);
    for (int b = 0; b < bw * bh; ++b) {
        for (int k = 0; k < 16; ++k) {
            const int x = (b % bw) * 4 + k % 4;
            const int y = (b / bw) * 4 + k / 4;
            levels[y * width + x] = blocks[b][k];
        }
    }
    return Pack4(levels, width);
}

std::vector<int> Repeat(int value) { return std::vector<int>(16, value); }

// Left two columns `a`, right two `b`.
std::vector<int> Halves(int a, int b) {
    std::vector<int> block(16);
    for (int k = 0; k < 16; ++k) block[k] = k % 4 < 2 ? a : b;
    return block;
}

// Every level once: far from flat and from any two-level fit.
std::vector<int> Noise() {
    return {3, 12, 7, 0, 15, 9, 1, 6, 10, 4, 13, 2, 8, 14, 5, 11};
}

struct Coder {
    BlockCodec4 codec;
    BlockAgeRandom random{7};
    Bytes shown;
    int width, height;

    Coder(int w, int h) : shown(static_cast<size_t>(w) * h / 2, 0), width(w), height(h) {
        EXPECT_EQ(codec.Prepare(w, h), noErr);
    }
    Bytes Encode(const Bytes& frame, bool canSkip, int32_t duration = 100, bool allowRaw = true) {
        Block4Request request{frame, shown, width, height, canSkip, duration, allowRaw};
        EXPECT_EQ(codec.Encode(request, random), noErr);
        return Bytes(codec.Data().begin(), codec.Data().end());
    }
};

// The kind of each block in a stream: 'S'kip, 'F'lat, 'T'wo-level, 'R'aw.
std::string Kinds(const Bytes& data) {
    std::string kinds;
    for (size_t i = 0; i < data.size();) {
        const uint8_t c = data[i];
        if (c < 0x80) {
            kinds += 'T';
            i += 3;
        } else if (c < 0xC0) {
            kinds.append(((c - 0x80) >> 4) + 1, 'F');
            i += 1;
        } else if (c < 0xE0) {
            kinds.append(c - 0xC0 + 1, 'S');
            i += 1;
        } else if (c == 0xE0) {
            kinds += 'T';
            i += 4;
        } else if (c == 0xE1) {
            kinds += 'T';
            i += 1;
        } else {
            kinds += 'R';
            i += 9;
        }
    }
    return kinds;
}

TEST(BlockCodec4, FlatAndSkipRunsAsBytes) {
    Coder coder(160, 4);  // 40 blocks in one row
    const Bytes grey5 = BlockFrame(std::vector<std::vector<int>>(40, Repeat(5)), 40, 1);
    // Flat runs hold at most four blocks of one level.
    EXPECT_EQ(coder.Encode(grey5, false), Bytes(10, 0x80 + 16 * 3 + 5));
    EXPECT_FALSE(coder.codec.Difference());
    // Skip runs hold at most 32 blocks.
    EXPECT_EQ(coder.Encode(grey5, true), (Bytes{0xC0 + 31, 0xC0 + 7}));
    EXPECT_TRUE(coder.codec.Difference());

    // Runs break where the level changes and mix with skips.
    std::vector<std::vector<int>> blocks(40, Repeat(5));
    for (int b = 0; b < 6; ++b) blocks[b] = Repeat(b < 5 ? 9 : 2);
    const Bytes changed = BlockFrame(blocks, 40, 1);
    EXPECT_EQ(coder.Encode(changed, true), (Bytes{0xB9, 0x89, 0x82, 0xC0 + 31, 0xC0 + 1}));
}

TEST(BlockCodec4, TwoLevelMaskKeepsTopBitClear) {
    Coder coder(8, 4);
    // Cleared bits take the high nibble of the colour byte, set bits the low.
    EXPECT_EQ(coder.Encode(BlockFrame({Halves(0, 15), Halves(15, 0)}, 2, 1), false),
              (Bytes{0x33, 0x33, 0x0F, 0x33, 0x33, 0xF0}));
}

TEST(BlockCodec4, CommonTwoLevelCodeNeedsMoreThanThree) {
    {
        Coder coder(12, 4);
        const Bytes three = BlockFrame({Halves(1, 9), Halves(1, 9), Halves(1, 9)}, 3, 1);
        EXPECT_EQ(coder.Encode(three, false), (Bytes{0x33, 0x33, 0x19, 0x33, 0x33, 0x19, 0x33,
                                                     0x33, 0x19}));
    }
    {
        Coder coder(24, 4);
        const auto t = Halves(1, 9);
        const auto u = Halves(2, 9);
        const Bytes frame = BlockFrame({u, t, Repeat(4), t, t, t}, 6, 1);
        EXPECT_EQ(coder.Encode(frame, false), (Bytes{0x33, 0x33, 0x29, 0xE0, 0x33, 0x33, 0x19,
                                                     0x84, 0xE1, 0xE1, 0xE1}));
    }
}

TEST(BlockCodec4, RawBlocksOnlyAwayFromTheEdges) {
    // 3 x 3 blocks: only the centre has an edge factor of 16, the rest 0.
    Coder coder(12, 12);
    const Bytes noise = BlockFrame(std::vector<std::vector<int>>(9, Noise()), 3, 3);
    const Bytes data = coder.Encode(noise, false);
    EXPECT_EQ(Kinds(data), "TTTTRTTTT");
    // The raw block is the centre's packed rows.
    const auto raw = std::find(data.begin(), data.end(), kBlock4RawCode);
    ASSERT_NE(raw, data.end());
    EXPECT_EQ(Bytes(raw + 1, raw + 9), (Bytes{0x3C, 0x70, 0xF9, 0x16, 0xA4, 0xD2, 0x8E, 0x5B}));

    // A row of ten blocks: edge factors 0 4 7 10 13 16 13 10 7 4.
    Coder wide(40, 4);
    const Bytes row = BlockFrame(std::vector<std::vector<int>>(10, Noise()), 10, 1);
    EXPECT_EQ(Kinds(wide.Encode(row, false)), "TTRRRRRRRT");
    // Without raw blocks the same frame falls back to two-level codes.
    Coder noRaw(40, 4);
    EXPECT_EQ(Kinds(noRaw.Encode(row, false, 100, false)), "TTTTTTTTTT");
}

TEST(BlockCodec4, FrameTooLargeIsCodedAgainWithoutRawBlocks) {
    const Bytes row = BlockFrame(std::vector<std::vector<int>>(10, Noise()), 10, 1);
    Coder limited(40, 4);
    Coder noRaw(40, 4);
    limited.Encode(row, false);
    noRaw.Encode(row, false);
    const Bytes still = BlockFrame(std::vector<std::vector<int>>(10, Repeat(2)), 10, 1);
    // Both start the frame from the same shown picture, ages and random state.
    Block4Request request{row, limited.shown, 40, 4, true, 100, true, 50};
    ASSERT_EQ(limited.codec.Encode(request, limited.random), noErr);
    const Bytes retried(limited.codec.Data().begin(), limited.codec.Data().end());
    EXPECT_LE(retried.size(), 50u);
    EXPECT_EQ(retried, noRaw.Encode(row, true, 100, false));
    EXPECT_TRUE(std::equal(limited.codec.Ages().begin(), limited.codec.Ages().end(),
                           noRaw.codec.Ages().begin()));
    EXPECT_EQ(limited.shown, noRaw.shown);
    // And the random sources stay in step.
    EXPECT_EQ(limited.Encode(still, false), noRaw.Encode(still, false));
    EXPECT_TRUE(std::equal(limited.codec.Ages().begin(), limited.codec.Ages().end(),
                           noRaw.codec.Ages().begin()));
}

TEST(BlockCodec4, AgedBlocksAreRefreshedWhenThatIsCheaper) {
    std::vector<int> before(16, 0);
    before[14] = 1;
    std::vector<int> after = before;
    after[15] = 2;  // skip costs 2, two-level 1, flat 3: skipping wins
    for (int32_t duration : {1, 1000}) {
        Coder coder(4, 4);
        coder.Encode(BlockFrame({before}, 1, 1), false);
        EXPECT_GE(coder.codec.Ages()[0], kBlock4MinAge);
        EXPECT_LE(coder.codec.Ages()[0], kBlock4MaxAge);
        const int16_t age = coder.codec.Ages()[0];
        EXPECT_EQ(coder.Encode(BlockFrame({after}, 1, 1), true, duration), Bytes{0xC0});
        EXPECT_EQ(coder.codec.Ages()[0], age - duration);
        const Bytes third = coder.Encode(BlockFrame({after}, 1, 1), true, duration);
        if (duration == 1) {
            EXPECT_EQ(third, Bytes{0xC0});  // still young
        } else {
            EXPECT_EQ(third, (Bytes{0x00, 0x03, 0x02}));  // expired: sent again
            EXPECT_GE(coder.codec.Ages()[0], kBlock4MinAge);
        }
    }
}

TEST(BlockCodec4, AgesSaturateInsteadOfWrapping) {
    Coder coder(4, 4);
    const Bytes frame = BlockFrame({Repeat(3)}, 1, 1);
    coder.Encode(frame, false);
    // Wrapping would turn the block young again.
    EXPECT_EQ(coder.Encode(frame, true, 40000), Bytes{0xC0});
    EXPECT_EQ(coder.codec.Ages()[0], -32768);
}

TEST(BlockCodec4, DecodedFramesMatchWhatThePlayerShows) {
    const int width = 96, height = 64;
    auto run = [&](uint64_t seed) {
        Coder coder(width, height);
        coder.random.Seed(seed);
        GreyDecoder decoder;
        EXPECT_EQ(decoder.Reset(width, height, 4), noErr);
        Bytes all;
        int skipped = 0;
        for (int t = 0; t < 40; ++t) {
            // Stills now and then, and a second key frame late enough for
            // ages to run out before it.
            const bool key = t == 0 || t == 30;
            const Bytes frame = PackedScene(width, height, 4, t - t % 4);
            const Bytes data = coder.Encode(frame, !key, 100);
            const std::string kinds = Kinds(data);
            EXPECT_EQ(kinds.size(), static_cast<size_t>(width / 4 * height / 4));
            EXPECT_EQ(coder.codec.Difference(), kinds.find('S') != std::string::npos);
            if (key) {
                EXPECT_FALSE(coder.codec.Difference()) << t;
            }
            skipped += std::count(kinds.begin(), kinds.end(), 'S');
            EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, data), noErr) << t;
            EXPECT_TRUE(std::equal(coder.shown.begin(), coder.shown.end(),
                                   decoder.Picture().begin()))
                << "frame " << t;
            all.insert(all.end(), data.begin(), data.end());
        }
        EXPECT_GT(skipped, 0);
        return all;
    };
    const Bytes first = run(11);
    EXPECT_EQ(run(11), first);  // one seed, one stream
    EXPECT_NE(run(12), first);  // the ages decide refreshes
}

TEST(BlockDecoder, RefusesMalformedStreams) {
    GreyDecoder decoder;
    ASSERT_EQ(decoder.Reset(8, 4, 4), noErr);  // two blocks
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xC1}), noErr);
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xC0}), kStatusBadData);        // short
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xC2}), kStatusBadData);        // long run
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xC1, 0x80}), kStatusBadData);  // extra
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0x33, 0x33}), kStatusBadData);  // cut code
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xE1, 0xE1}), kStatusBadData);  // undefined
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xF0, 1, 2, 3}), kStatusBadData);
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xE5, 0xC0}), kStatusBadData);  // unknown
    EXPECT_EQ(decoder.Decode(kFrameTypeBlock4, Bytes{0xE0, 0x33, 0x33, 0x19, 0xE1}), noErr);
    EXPECT_EQ(decoder.Level(0, 0), 1);
    EXPECT_EQ(decoder.Level(7, 3), 9);
}

}  // namespace
