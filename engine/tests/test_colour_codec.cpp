// The 8-bit colour codec against its decoder: every frame of a sequence must
// decode to exactly the encoder's reconstruction, and the run and dictionary
// codes must come out as the bytes the player expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/colour_codec.h"
#include "engine/colour_decoder.h"
#include "engine/colour_palette.h"
#include "engine/colour_space.h"
#include "engine/frame_types.h"
#include "engine/movie_writer.h"
#include "engine/spool_file.h"
#include "engine/tests/support/db_check.h"
#include "engine/tests/support/test_picture.h"
#include "engine/writer_record.h"

namespace {

struct Tables {
    DitherTable luma{}, chroma{};
    Tables() {
        BuildDitherTable(5, kDefaultDitherSpread, luma);
        BuildDitherTable(4, kDefaultDitherSpread, chroma);
    }
};

SourceFrame Frame(const TestPicture& p) {
    return {p.pixels.data(), p.stride, p.width, p.height};
}

size_t Count(const std::vector<uint8_t>& data, const std::vector<uint8_t>& needle) {
    size_t n = 0;
    for (auto it = data.begin();
         (it = std::search(it, data.end(), needle.begin(), needle.end())) != data.end(); ++it) {
        ++n;
    }
    return n;
}

TEST(ColourCodec, DecodesToTheReconstructionOverSequences) {
    const Tables tables;
    // An odd source size leaves white margins; the moving scene has skips,
    // runs and noise; every twelfth frame is a key frame.
    for (const auto& [sw, sh] : {std::pair{158, 118}, std::pair{64, 48}, std::pair{320, 240}}) {
        SCOPED_TRACE(sw);
        const int w = EncodedFrameDimension(sw), h = EncodedFrameDimension(sh);
        ColourCodec codec;
        ColourDecoder decoder;
        ASSERT_EQ(codec.Prepare(w, h), noErr);
        ASSERT_EQ(decoder.Prepare(w, h), noErr);
        TestPicture picture(sw, sh, 8);
        bool sawDifference = false;
        for (int t = 0; t < 14; ++t) {
            picture.Draw(t / 2);  // pairs of equal frames give whole-frame skips
            ASSERT_EQ(codec.Encode(Frame(picture), tables.luma, tables.chroma, t % 12 != 0), noErr);
            if (t % 12 == 0) {
                EXPECT_FALSE(codec.Difference());
            }
            sawDifference = sawDifference || codec.Difference();
            const std::vector<uint8_t> data(codec.Data().begin(), codec.Data().end());
            ASSERT_EQ(decoder.Decode(data), noErr) << "frame " << t;
            ASSERT_EQ(decoder.Picture().bytes, codec.Reconstructed().bytes) << "frame " << t;
            codec.Commit();
        }
        EXPECT_TRUE(sawDifference);
    }
}

TEST(ColourCodec, ReconstructionStaysCloseToTheSource) {
    const Tables tables;
    ColourCodec codec;
    ASSERT_EQ(codec.Prepare(160, 120), noErr);
    TestPicture picture(160, 120);
    picture.Draw(3);
    ASSERT_EQ(codec.Encode(Frame(picture), tables.luma, tables.chroma, false), noErr);
    // Against the dithered work image: the codes may only smooth it a little.
    double err = 0;
    for (size_t i = 0; i < codec.Work().bytes.size(); ++i) {
        const double e = codec.Work().bytes[i] - codec.Reconstructed().bytes[i];
        err += e * e;
    }
    const double mse = err / static_cast<double>(codec.Work().bytes.size());
    EXPECT_LT(mse, 60.0);
    EXPECT_LT(codec.Data().size(), 160u * 120);
}

TEST(ColourCodec, SeventySkippedBlocks) {
    const Tables tables;
    ColourCodec codec;
    ASSERT_EQ(codec.Prepare(40, 28), noErr);  // 10 x 7 blocks
    TestPicture picture(40, 28);
    picture.Draw(1);
    ASSERT_EQ(codec.Encode(Frame(picture), tables.luma, tables.chroma, true), noErr);
    EXPECT_FALSE(codec.Difference());  // nothing to skip against yet
    codec.Commit();
    ASSERT_EQ(codec.Encode(Frame(picture), tables.luma, tables.chroma, true), noErr);
    EXPECT_TRUE(codec.Difference());
    EXPECT_EQ(std::vector<uint8_t>(codec.Data().begin(), codec.Data().end()),
              (std::vector<uint8_t>{0xFF, 0xC5}));
    // Without a difference frame allowed the same picture is coded in full.
    codec.Commit();
    ASSERT_EQ(codec.Encode(Frame(picture), tables.luma, tables.chroma, false), noErr);
    EXPECT_FALSE(codec.Difference());
    EXPECT_GT(codec.Data().size(), 2u);
}

// A row of 4 x 4 blocks on white, the first `edges` of them black on the left half.
TestPicture EdgeRow(int blocks, int edges) {
    TestPicture p(blocks * 4, 4);
    p.Fill(255, 255, 255);
    for (int b = 0; b < edges; ++b) {
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 2; ++x) p.Set(b * 4 + x, y, 0, 0, 0);
        }
    }
    return p;
}

TEST(ColourCodec, SharedCodesOnlyFromThreeUses) {
    const Tables tables;
    // Black (Y 16) and white (Y 235) are exact 5-bit levels 2 and 29: a quadrant code.
    const std::vector<uint8_t> quad = {0x85, 2, 29};
    for (int edges : {2, 3, 5}) {
        SCOPED_TRACE(edges);
        ColourCodec codec;
        ColourDecoder decoder;
        ASSERT_EQ(codec.Prepare(32, 4), noErr);
        ASSERT_EQ(decoder.Prepare(32, 4), noErr);
        const TestPicture p = EdgeRow(8, edges);
        ASSERT_EQ(codec.Encode(Frame(p), tables.luma, tables.chroma, false), noErr);
        const std::vector<uint8_t> data(codec.Data().begin(), codec.Data().end());
        if (edges == 2) {
            EXPECT_EQ(Count(data, quad), 2u);
            EXPECT_EQ(Count(data, {0xAF}), 0u);
        } else {
            EXPECT_EQ(Count(data, quad), 1u);
            EXPECT_EQ(Count(data, {0xAF, 0x00, 0x85, 2, 29}), 1u);
            EXPECT_EQ(Count(data, {0xB0}), static_cast<size_t>(edges - 1));
        }
        // The white blocks after the edges are one flat run in the Y slot.
        const std::vector<uint8_t> run = {static_cast<uint8_t>(0x90 | (8 - edges - 1)), 29};
        EXPECT_EQ(Count(data, run), 1u);
        ASSERT_EQ(decoder.Decode(data), noErr);
        EXPECT_EQ(decoder.Picture().bytes, codec.Reconstructed().bytes);
    }
}

TEST(ColourDecoder, RefusesDamagedFrames) {
    ColourDecoder decoder;
    ASSERT_EQ(decoder.Prepare(8, 4), noErr);
    const std::vector<std::vector<uint8_t>> bad = {
        {},                                    // short
        {0x90, 40, 0x90, 3, 0x90, 3, 0xC0},    // level above 5 bits
        {0xB0, 0x90, 3, 0x90, 3, 0xC0},        // dictionary entry never defined
        {0x91, 3, 0x91, 3, 0x91, 3, 0x00},     // bytes left over
        {0x88, 1, 2, 0x90, 3, 0x90, 3, 0xC0},  // no such code
        {0x90, 3, 0xC0, 0x90, 3, 0xC0},        // a skip outside the Y slot
    };
    for (const auto& data : bad) EXPECT_EQ(decoder.Decode(data), kStatusBadData);
    EXPECT_EQ(decoder.Decode(std::vector<uint8_t>{0x91, 3, 0x91, 3, 0x91, 3}), noErr);
}

TEST(ColourMode, MoviesThroughTheWriter) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "colour");
    MovieWriterSetFrameSize(w, 160, 120);
    MovieWriterSetVideoMode(w, kVideoModeColour8);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    TestPicture picture(160, 120);
    ColourDecoder decoder;
    ASSERT_EQ(decoder.Prepare(160, 120), noErr);
    for (int t = 0; t < 14; ++t) {
        picture.Draw(t);
        bool key = false;
        ASSERT_EQ(MovieWriterAddFrame(w, picture.pixels.data(),
                                      static_cast<int32_t>(picture.stride), 100, &key),
                  noErr);
        const SampleIndexEntry& e = writerIndexEntries(w->videoIndex)[t];
        std::vector<uint8_t> chunk(e.chunkLength);
        ASSERT_EQ(SpoolRead(w, chunk.data(), e.chunkLength, e.spoolOffset), noErr);
        EXPECT_EQ(chunk[4], kFrameTypeBlock8);
        EXPECT_EQ(!key, (chunk[5] & kFrameFlagDifference) != 0);
        const size_t size = chunk.size() - 8 - (chunk[5] & kFrameFlagPad ? 1 : 0);
        ASSERT_EQ(decoder.Decode(std::span(chunk.data() + 8, size)), noErr);
        EXPECT_EQ(decoder.Picture().bytes, w->colourCodec.Reconstructed().bytes);
    }
    uint64_t counted = 0;
    for (uint32_t n : w->colourHistogram) counted += n;
    EXPECT_EQ(counted, 14u * 160 * 120);
    ASSERT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(w, &size), noErr);
    std::vector<uint8_t> bytes(size);
    ASSERT_EQ(MovieWriterRead(w, bytes.data(), 0, size), noErr);
    EXPECT_TRUE(validMovieDatabase(bytes));
    MovieWriterDispose(w);
}

TEST(ColourMode, FrameTooLargeForAChunkIsRefusedAndLeavesNoTrace) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "noise");
    MovieWriterSetFrameSize(w, 320, 240);
    MovieWriterSetVideoMode(w, kVideoModeColour8);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    TestPicture calm(320, 240), noise(320, 240);
    calm.Draw(0);
    uint32_t seed = 3;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.Set(x, y, seed >> 24, seed >> 16 & 255, seed >> 8 & 255);
        }
    }
    const auto add = [&](const TestPicture& p) {
        return MovieWriterAddFrame(w, p.pixels.data(), static_cast<int32_t>(p.stride), 100,
                                   nullptr);
    };
    ColourDecoder decoder;
    ASSERT_EQ(decoder.Prepare(320, 240), noErr);
    ASSERT_EQ(add(calm), noErr);
    EXPECT_EQ(add(noise), kStatusParamError);
    calm.Draw(1);
    ASSERT_EQ(add(calm), noErr);
    ASSERT_EQ(writerIndexCount(w->videoIndex), 2u);
    uint64_t counted = 0;
    for (uint32_t n : w->colourHistogram) counted += n;
    EXPECT_EQ(counted, 2u * 320 * 240);
    // The stream still decodes to what the encoder holds.
    for (uint32_t i = 0; i < 2; ++i) {
        const SampleIndexEntry& e = writerIndexEntries(w->videoIndex)[i];
        std::vector<uint8_t> chunk(e.chunkLength);
        ASSERT_EQ(SpoolRead(w, chunk.data(), e.chunkLength, e.spoolOffset), noErr);
        const size_t size = chunk.size() - 8 - (chunk[5] & kFrameFlagPad ? 1 : 0);
        ASSERT_EQ(decoder.Decode(std::span(chunk.data() + 8, size)), noErr);
    }
    EXPECT_EQ(decoder.Picture().bytes, w->colourCodec.Reconstructed().bytes);
    MovieWriterDispose(w);
}

TEST(ColourMode, FlatColourLeavesThePaletteMostlyBlack) {
    // A colour whose Y, Cb and Cr each dither to one level is shown as one
    // colour, so the histogram has one bin.
    const Tables tables;
    auto single = [&](const DitherTable& t, uint8_t v) {
        return t[v][0] == t[v][1] && t[v][0] == t[v][2] && t[v][0] == t[v][3];
    };
    int rgb = -1;
    for (int c = 0; c < (1 << 24) && rgb < 0; c += 997) {
        const YCbCr y = ToYCbCr(c >> 16, c >> 8 & 255, c & 255);
        if (single(tables.luma, y.y) && single(tables.chroma, y.cb) &&
            single(tables.chroma, y.cr) && y.cb != 128) {
            rgb = c;
        }
    }
    ASSERT_GE(rgb, 0);
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "flat");
    MovieWriterSetFrameSize(w, 64, 48);
    MovieWriterSetVideoMode(w, kVideoModeColour8);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    TestPicture picture(64, 48);
    picture.Fill(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8 & 255),
                 static_cast<uint8_t>(rgb & 255));
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(MovieWriterAddFrame(w, picture.pixels.data(),
                                      static_cast<int32_t>(picture.stride), 100, nullptr),
                  noErr);
    }
    std::vector<uint8_t> palette(768, 0);
    EXPECT_EQ(MedianCutPalette(w->colourHistogram, palette), 1);
    EXPECT_NE(palette[48] | palette[49] | palette[50], 0);
    EXPECT_TRUE(std::all_of(palette.begin() + 51, palette.end(), [](uint8_t v) { return v == 0; }));
    MovieWriterDispose(w);
}

}  // namespace
