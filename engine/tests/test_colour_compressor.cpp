// The compressor-based colour modes: the run-length packing of 'cvid'
// output, the rate history, and whole movies through the writer.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/colour_compressor.h"
#include "engine/colour_space.h"
#include "engine/frame_chunk.h"
#include "engine/frame_types.h"
#include "engine/movie_writer.h"
#include "engine/raw_deflate.h"
#include "engine/spool_file.h"
#include "engine/tests/support/db_check.h"
#include "engine/tests/support/test_picture.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

std::vector<uint8_t> Unpack(const std::vector<uint8_t>& packed) {
    std::vector<uint8_t> out;
    EXPECT_EQ(UnpackCinepakRuns(packed, out), noErr);
    return out;
}

TEST(CinepakRuns, CodesEachRunKindAsBytes) {
    // Header, a literal of two, 3 zeros, 9 x 0xFF (8 + 1), 65 x 0x33 (64 + 1 -> literal).
    std::vector<uint8_t> in = {0x00, 0x00, 0x10, 0x00, 7, 9, 0, 0, 0};
    in.insert(in.end(), 9, 0xFF);
    in.insert(in.end(), 65, 0x33);
    std::vector<uint8_t> out;
    ASSERT_TRUE(PackCinepakRuns(in, out));
    const std::vector<uint8_t> expected = {0x80, 0x00, 0x10, 0x00,      0x81, 7,    9,
                                           0x22, 0x0F, 0x08, 0x40 | 63, 0x33, 0x80, 0x33};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(Unpack(out), in);
}

TEST(CinepakRuns, LongLiteralsAndRoundTrips) {
    uint32_t seed = 99;
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> in(4 + 6000 + round * 37);
        for (size_t i = 0; i < in.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Runs of zeros, 0xFF and other values between noise.
            const uint32_t kind = (seed >> 28) % 4;
            in[i] = kind == 0 ? 0 : kind == 1 ? 0xFF : static_cast<uint8_t>(seed >> 8 & 0x7);
        }
        in[0] = 0;
        std::vector<uint8_t> out;
        if (PackCinepakRuns(in, out)) {
            EXPECT_LE(out.size() * 100, in.size() * 98);
            EXPECT_EQ(Unpack(out), in);
        } else {
            EXPECT_EQ(out, in);
        }
    }
    // Pure noise never repeats three times: a 300-byte literal takes the long code.
    std::vector<uint8_t> noise(304);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i % 3 + (i / 3) * 7);
    noise.insert(noise.end(), 200, 0);
    std::vector<uint8_t> out;
    ASSERT_TRUE(PackCinepakRuns(noise, out));
    EXPECT_EQ(out[4], 0x10 | (299 / 256));
    EXPECT_EQ(out[5], 299 % 256);
    EXPECT_EQ(Unpack(out), noise);
}

TEST(CinepakRuns, SmallSavingsStayUnpackedWithTheirFirstByte) {
    std::vector<uint8_t> in(1000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7 + i / 256);
    in[0] = 0x81;  // as the compressor left it
    std::vector<uint8_t> out;
    EXPECT_FALSE(PackCinepakRuns(in, out));
    EXPECT_EQ(out, in);
    // Damaged packed data is refused.
    const std::vector<uint8_t> bad = {0x80, 0, 0, 0, 0x85, 1, 2};
    std::vector<uint8_t> back;
    EXPECT_EQ(UnpackCinepakRuns(bad, back), kStatusBadData);
    EXPECT_EQ(UnpackCinepakRuns(std::vector<uint8_t>{0x80, 0, 0, 0, 0x03}, back), kStatusBadData);
}

TEST(RateHistory, OverrunOfTheLastSecond) {
    RateHistory h;
    h.Fill(30000);
    EXPECT_EQ(h.Overrun(30000), 0);  // ten entries of 100 ms at the rate
    EXPECT_TRUE(h.Newest().key == false);
    // A 400 ms frame of 20000 bytes: it plus 600 ms of the old entries.
    h.Append({400, 20000, true});
    EXPECT_EQ(h.Overrun(30000), 20000 + 6 * 3000 - 30000);
    // A 1500 ms frame straddles the limit: two thirds of it count.
    h.Append({1500, 30000, false});
    EXPECT_EQ(h.Overrun(30000), 20000 - 30000);
}

TEST(ColourSpace, ConversionAndBins) {
    const YCbCr white = ToYCbCr(255, 255, 255);
    EXPECT_EQ(white.y, 235);
    EXPECT_EQ(white.cb, 128);
    EXPECT_EQ(white.cr, 128);
    const YCbCr black = ToYCbCr(0, 0, 0);
    EXPECT_EQ(black.y, 16);
    EXPECT_EQ(HistogramBin(black), (4u * 32 + 16) * 32 + 16);
    const YCbCr red = ToYCbCr(255, 0, 0);
    EXPECT_EQ(red.y, (263 * 255 + 512) / 1024 + 16);
    EXPECT_EQ(red.cr, (450 * 255 + 512) / 1024 + 128);
    EXPECT_EQ(red.cb, (-152 * 255 + 512) / 1024 + 128);
}

// The picture histogram counts four pixels at a time where it can: every pixel must still
// land in the bin of its own colour, with the odd pixels at row ends, padding between rows
// that is never counted, and full bins left full.
TEST(ColourSpace, PictureHistogramCountsEveryPixelInItsBin) {
    constexpr int kWidth = 131;  // 32 groups of four and three over
    constexpr int kHeight = 67;
    constexpr ptrdiff_t kRowBytes = kWidth * 4 + 12;
    std::vector<uint8_t> pixels(static_cast<size_t>(kRowBytes) * kHeight, 0xEE);
    uint32_t seed = 7;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[static_cast<size_t>(y * kRowBytes + x * 4)];
            seed = seed * 1664525u + 1013904223u;
            const int i = y * kWidth + x;
            if (i < 4096) {
                // The corners and edges of the colour cube first, where rounding turns.
                p[0] = static_cast<uint8_t>((i & 15) * 17);
                p[1] = static_cast<uint8_t>((i >> 4 & 15) * 17);
                p[2] = static_cast<uint8_t>((i >> 8 & 15) * 17);
            } else {
                p[0] = static_cast<uint8_t>(seed >> 8);
                p[1] = static_cast<uint8_t>(seed >> 16);
                p[2] = static_cast<uint8_t>(seed >> 24);
            }
            p[3] = static_cast<uint8_t>(seed);
        }
    }
    std::vector<uint32_t> expected(kHistogramBins, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &pixels[static_cast<size_t>(y * kRowBytes + x * 4)];
            CountColour(expected.data(), ToYCbCr(p[2], p[1], p[0]));
        }
    }
    const uint32_t fullBin = HistogramBin(ToYCbCr(pixels[2], pixels[1], pixels[0]));
    expected[fullBin] = UINT32_MAX;
    for (auto count : {AddPictureToHistogram, AddPictureToHistogramNarrow}) {
        std::vector<uint32_t> counted(kHistogramBins, 0);
        counted[fullBin] = UINT32_MAX;
        count(counted.data(), pixels.data(), kRowBytes, kWidth, kHeight);
        EXPECT_EQ(counted, expected);
    }
}

// Flat areas are counted a run at a time: runs that cross rows and the counting's own
// chunks must land whole, and a run that passes a counter's limit must stop at it.
TEST(ColourSpace, PictureHistogramCountsLongRunsWholeAndSaturates) {
    constexpr int kWidth = 601;
    constexpr int kHeight = 5;
    constexpr ptrdiff_t kRowBytes = kWidth * 4 + 8;
    std::vector<uint8_t> pixels(static_cast<size_t>(kRowBytes) * kHeight, 0x55);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[static_cast<size_t>(y * kRowBytes + x * 4)];
            // Runs of 1, 2, 3 .. pixels of alternating colours, continued across rows.
            const int i = y * kWidth + x;
            int k = 1, start = 0;
            while (start + k <= i) start += k++;
            const uint8_t level = k % 2 ? 200 : 40;
            p[0] = level;
            p[1] = static_cast<uint8_t>(255 - level);
            p[2] = static_cast<uint8_t>(k % 3 * 60);
            p[3] = 0xFF;
        }
    }
    std::vector<uint32_t> start(kHistogramBins, 0);
    const uint32_t nearlyFull = HistogramBin(ToYCbCr(pixels[2], pixels[1], pixels[0]));
    start[nearlyFull] = UINT32_MAX - 3;
    std::vector<uint32_t> expected = start;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &pixels[static_cast<size_t>(y * kRowBytes + x * 4)];
            CountColour(expected.data(), ToYCbCr(p[2], p[1], p[0]));
        }
    }
    for (auto count : {AddPictureToHistogram, AddPictureToHistogramNarrow}) {
        std::vector<uint32_t> counted = start;
        count(counted.data(), pixels.data(), kRowBytes, kWidth, kHeight);
        EXPECT_EQ(counted[nearlyFull], UINT32_MAX);
        EXPECT_EQ(counted, expected);
    }
}

// Size of a raw deflate stream once inflated; 0 when it is damaged.
size_t InflatedSize(const std::vector<uint8_t>& data) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    std::vector<uint8_t> out(1 << 20);
    z.next_in = const_cast<uint8_t*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int err = inflate(&z, Z_FINISH);
    const size_t n = err == Z_STREAM_END ? z.total_out : 0;
    inflateEnd(&z);
    return n;
}

struct Movie {
    MovieWriter* w = nullptr;
    Movie(int32_t mode, uint16_t width, uint16_t height, int32_t kilobits = 0) {
        EXPECT_EQ(MovieWriterCreate(&w), noErr);
        MovieWriterSetName(w, "colour");
        MovieWriterSetFrameSize(w, width, height);
        MovieWriterSetVideoMode(w, mode);
        if (kilobits) {
            EXPECT_EQ(MovieWriterSetProperty(w, kPropVideoDataRate, kilobits), noErr);
        }
    }
    ~Movie() { MovieWriterDispose(w); }

    struct Chunk {
        uint8_t type, flags;
        std::vector<uint8_t> data;
    };
    std::vector<Chunk> Chunks() const {
        std::vector<Chunk> chunks;
        const SampleIndexEntry* entries = writerIndexEntries(w->videoIndex);
        for (uint32_t i = 0; i < writerIndexCount(w->videoIndex); ++i) {
            std::vector<uint8_t> bytes(entries[i].chunkLength);
            EXPECT_EQ(SpoolRead(w, bytes.data(), entries[i].chunkLength, entries[i].spoolOffset),
                      noErr);
            const bool pad = bytes[5] & kFrameFlagPad;
            chunks.push_back(
                {bytes[4], bytes[5], {bytes.begin() + 8, bytes.end() - (pad ? 1 : 0)}});
        }
        return chunks;
    }
    std::vector<uint8_t> Finish() {
        EXPECT_EQ(MovieWriterFinish(w), noErr);
        uint32_t size = 0;
        EXPECT_EQ(MovieWriterGetSize(w, &size), noErr);
        std::vector<uint8_t> bytes(size);
        EXPECT_EQ(MovieWriterRead(w, bytes.data(), 0, size), noErr);
        return bytes;
    }
};

TEST(CompressorModes, MissingCompressorRefusesTheStart) {
    Movie movie(kVideoModeZyG2, 160, 120);
    EXPECT_EQ(MovieWriterStart(movie.w), kStatusParamError);
}

TEST(CompressorModes, ChunkTypesKeyFramesAndHistogram) {
    struct Case {
        int32_t mode;
        std::vector<uint8_t> types;
    };
    const Case cases[] = {{kVideoModeRle, {kFrameTypeRle, kFrameTypeRleDeflated}},
                          {kVideoModeCinepak, {kFrameTypeCvid}},
                          {kVideoModeMpeg4, {kFrameTypeMp4v}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Movie movie(c.mode, 160, 120);
        ASSERT_EQ(MovieWriterStart(movie.w), noErr);
        TestPicture picture(160, 120, 12);
        for (int t = 0; t < 16; ++t) {
            picture.Draw(t);
            if (t == 5) {
                ASSERT_EQ(MovieWriterForceKeyFrame(movie.w), noErr);
            }
            bool key = false;
            ASSERT_EQ(MovieWriterAddFrame(movie.w, picture.pixels.data(),
                                          static_cast<int32_t>(picture.stride), 100, &key),
                      noErr);
            if (t == 0 || t == 5) {
                EXPECT_TRUE(key) << t;
            }
        }
        const auto chunks = movie.Chunks();
        ASSERT_EQ(chunks.size(), 16u);
        int run = 0;
        for (const auto& chunk : chunks) {
            EXPECT_NE(std::find(c.types.begin(), c.types.end(), chunk.type), c.types.end());
            run = (chunk.flags & kFrameFlagDifference) ? run + 1 : 0;
            EXPECT_LE(run, 11);
            if (chunk.type == kFrameTypeRleDeflated) {
                // Deflated only when that is smaller than the compressor's output.
                const size_t n = InflatedSize(chunk.data);
                EXPECT_LT(chunk.data.size(), n);
            }
        }
        EXPECT_FALSE(chunks[5].flags & kFrameFlagDifference);
        EXPECT_TRUE(chunks[1].flags & kFrameFlagDifference);
        uint64_t counted = 0;
        for (uint32_t n : movie.w->colourHistogram) counted += n;
        EXPECT_EQ(counted, 16u * 160 * 120);
        EXPECT_TRUE(validMovieDatabase(movie.Finish()));
    }
}

TEST(CompressorModes, FlatRleFrameIsStoredAsItCame) {
    // Difference frames of an unchanged picture are a few bytes that deflate
    // cannot shrink.
    Movie movie(kVideoModeRle, 64, 48);
    ASSERT_EQ(MovieWriterStart(movie.w), noErr);
    TestPicture picture(64, 48);
    picture.Fill(10, 200, 30);
    for (int t = 0; t < 3; ++t) {
        ASSERT_EQ(MovieWriterAddFrame(movie.w, picture.pixels.data(),
                                      static_cast<int32_t>(picture.stride), 100, nullptr),
                  noErr);
    }
    const auto chunks = movie.Chunks();
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].type, kFrameTypeRle);
    EXPECT_TRUE(validMovieDatabase(movie.Finish()));
}

void FillNoise(TestPicture& picture, uint32_t seed) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            picture.Set(x, y, static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>(seed >> 16),
                        static_cast<uint8_t>(seed >> 8));
        }
    }
}

TEST(CompressorModes, FramesTooLargeForAChunkAreNeverWritten) {
    // Cinepak can go coarser: noise at 640 x 480 is compressed again until it fits.
    {
        Movie movie(kVideoModeCinepak, 640, 480);
        ASSERT_EQ(MovieWriterStart(movie.w), noErr);
        TestPicture picture(640, 480);
        for (int t = 0; t < 3; ++t) {
            FillNoise(picture, 5u + static_cast<uint32_t>(t));
            ASSERT_EQ(MovieWriterAddFrame(movie.w, picture.pixels.data(),
                                          static_cast<int32_t>(picture.stride), 100, nullptr),
                      noErr);
        }
        for (const auto& chunk : movie.Chunks()) EXPECT_LE(chunk.data.size(), kFrameDataMaxBytes);
        EXPECT_TRUE(validMovieDatabase(movie.Finish()));
    }
    // Lossless 'rle ' cannot: the frame is refused and the next one is a key frame.
    {
        Movie movie(kVideoModeRle, 320, 240);
        ASSERT_EQ(MovieWriterStart(movie.w), noErr);
        TestPicture picture(320, 240);
        picture.Fill(1, 2, 3);
        const auto add = [&](bool* key) {
            return MovieWriterAddFrame(movie.w, picture.pixels.data(),
                                       static_cast<int32_t>(picture.stride), 100, key);
        };
        bool key = false;
        ASSERT_EQ(add(&key), noErr);
        FillNoise(picture, 1);
        EXPECT_EQ(add(&key), kStatusParamError);
        picture.Fill(1, 2, 3);
        ASSERT_EQ(add(&key), noErr);
        EXPECT_TRUE(key);
        EXPECT_EQ(movie.Chunks().size(), 2u);
        EXPECT_TRUE(validMovieDatabase(movie.Finish()));
    }
}

// Bytes per second the compressor modes spend over 10 s of a moving picture.
double SpentRate(int32_t mode, int32_t kilobits, uint16_t width, uint16_t height) {
    Movie movie(mode, width, height, kilobits);
    EXPECT_EQ(MovieWriterStart(movie.w), noErr);
    TestPicture picture(width, height);
    for (int t = 0; t < 150; ++t) {
        picture.Draw(t);
        EXPECT_EQ(MovieWriterAddFrame(movie.w, picture.pixels.data(),
                                      static_cast<int32_t>(picture.stride), 1000 / 15, nullptr),
                  noErr);
    }
    size_t bytes = 0;
    for (const auto& chunk : movie.Chunks()) bytes += chunk.data.size();
    EXPECT_TRUE(validMovieDatabase(movie.Finish()));
    return static_cast<double>(bytes) / (150.0 / 15.0);
}

TEST(CompressorModes, RateControlMeetsTheDataRate) {
    for (int32_t mode : {kVideoModeMpeg4, kVideoModeCinepak}) {
        for (int32_t kilobits : {240, 640}) {
            const double target = kilobits * 1000.0 / 8.0;
            const double spent = SpentRate(mode, kilobits, 320, 240);
            std::printf("mode %d at %d kbit/s: %.0f bytes/s (%.1f%% of target)\n", mode, kilobits,
                        spent, 100.0 * spent / target);
            EXPECT_NEAR(spent, target, target * 0.25) << "mode " << mode << " " << kilobits;
        }
    }
}

}  // namespace
