// Frames through the whole writer in the grey modes: each "rf" chunk is read
// back from the spool file, checked against its index entry and decoded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/block_codec4.h"
#include "engine/frame_types.h"
#include "engine/grey_decoder.h"
#include "engine/movie_writer.h"
#include "engine/spool_file.h"
#include "engine/tests/support/test_picture.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

struct FrameChunk {
    uint8_t type;
    uint8_t flags;
    uint16_t hundredths;
    std::vector<uint8_t> data;
};

struct Writer {
    MovieWriter* w = nullptr;
    Writer(int32_t mode, uint16_t width, uint16_t height) {
        EXPECT_EQ(MovieWriterCreate(&w), noErr);
        MovieWriterSetName(w, "grey");
        MovieWriterSetFrameSize(w, width, height);
        MovieWriterSetVideoMode(w, mode);
    }
    ~Writer() { MovieWriterDispose(w); }

    int32_t Add(const TestPicture& picture, int32_t duration = 40, bool* key = nullptr) {
        return MovieWriterAddFrame(w, picture.pixels.data(), static_cast<int32_t>(picture.stride),
                                   duration, key);
    }

    // Every frame chunk so far, checked against its index entry.
    std::vector<FrameChunk> Chunks() const {
        std::vector<FrameChunk> chunks;
        const SampleIndexEntry* entries = writerIndexEntries(w->videoIndex);
        uint32_t expectedOffset = 0;
        for (uint32_t i = 0; i < writerIndexCount(w->videoIndex); ++i) {
            const SampleIndexEntry& e = entries[i];
            std::vector<uint8_t> bytes(e.chunkLength);
            EXPECT_EQ(SpoolRead(w, bytes.data(), e.chunkLength, e.spoolOffset), noErr);
            EXPECT_EQ(e.spoolOffset, expectedOffset);
            expectedOffset += e.chunkLength;
            EXPECT_GE(bytes.size(), 9u);
            EXPECT_EQ(bytes.size() % 2, 0u) << "chunk " << i;
            EXPECT_EQ(bytes[0] << 8 | bytes[1], e.chunkLength);
            EXPECT_EQ(std::string(bytes.begin() + 2, bytes.begin() + 4), "rf");
            FrameChunk c{bytes[4], bytes[5], static_cast<uint16_t>(bytes[6] << 8 | bytes[7]), {}};
            EXPECT_EQ(e.flags, c.flags);
            EXPECT_EQ(e.duration, c.hundredths);
            const bool pad = c.flags & kFrameFlagPad;
            c.data.assign(bytes.begin() + 8, bytes.end() - (pad ? 1 : 0));
            if (pad) {
                EXPECT_EQ(bytes.back(), 0);
                EXPECT_EQ(c.data.size() % 2, 1u);
            }
            chunks.push_back(std::move(c));
        }
        return chunks;
    }
};

int BitsOf(int32_t mode) {
    return mode == kVideoModeGrey2 ? 2 : mode == kVideoModeMono1 ? 1 : 4;
}

TEST(GreyVideo, OddSourceSizeGetsWhiteMargins) {
    Writer writer(kVideoModeGrey2, 158, 118);
    ASSERT_EQ(MovieWriterStart(writer.w), noErr);
    TestPicture picture(158, 118, 12);
    picture.Fill(0, 0, 0);
    ASSERT_EQ(writer.Add(picture), noErr);
    const std::vector<FrameChunk> chunks = writer.Chunks();
    ASSERT_EQ(chunks.size(), 1u);
    GreyDecoder decoder;
    ASSERT_EQ(decoder.Reset(160, 120, 2), noErr);
    ASSERT_EQ(decoder.Decode(chunks[0].type, chunks[0].data), noErr);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            ASSERT_EQ(decoder.Level(x, y), x < 158 && y < 118 ? 3 : 0) << x << "," << y;
        }
    }
}

// Motion, stills, noise and forced key frames in every grey mode: each
// decoded frame equals what the encoder believes the player shows.
TEST(GreyVideo, SequencesDecodeToTheEncodersPicture) {
    for (int32_t mode : {kVideoModeGrey2, kVideoModeMono1, kVideoModeGrey4}) {
        Writer writer(mode, 94, 70);
        writer.w->blockAgeRandom.Seed(5);
        ASSERT_EQ(MovieWriterStart(writer.w), noErr);
        GreyDecoder decoder;
        ASSERT_EQ(decoder.Reset(96, 72, BitsOf(mode)), noErr);
        TestPicture picture(94, 70);
        int differences = 0;
        for (int t = 0; t < 40; ++t) {
            if (t == 17 || t == 18) {
                ASSERT_EQ(MovieWriterForceKeyFrame(writer.w), noErr);
            }
            picture.Draw(t - t % 3);
            bool key = false;
            ASSERT_EQ(writer.Add(picture, 40, &key), noErr) << "mode " << mode << " frame " << t;
            const FrameChunk chunk = writer.Chunks().back();
            const bool difference = chunk.flags & kFrameFlagDifference;
            EXPECT_EQ(key, !difference);
            differences += difference;
            if (t == 0 || t == 17 || t == 18) {
                EXPECT_FALSE(difference) << "mode " << mode << " frame " << t;
            }
            if (mode == kVideoModeGrey4) {
                EXPECT_EQ(chunk.type, kFrameTypeBlock4);
            } else {
                EXPECT_LE(chunk.type, kFrameTypeGreyRowPairs);
                EXPECT_EQ(difference, chunk.type == kFrameTypeGreyDiff);
                if (mode == kVideoModeMono1) {
                    EXPECT_NE(chunk.type, kFrameTypeGreyRowPairs);
                }
            }
            ASSERT_EQ(decoder.Decode(chunk.type, chunk.data), noErr) << t;
            ASSERT_TRUE(std::equal(writer.w->previousFrame.begin(), writer.w->previousFrame.end(),
                                   decoder.Picture().begin()))
                << "mode " << mode << " frame " << t;
        }
        EXPECT_GT(differences, 5) << "mode " << mode;
        EXPECT_EQ(writer.w->frameCount, 40u);
        EXPECT_EQ(writer.w->totalVideoDuration, 40u * 4);
    }
}

TEST(GreyVideo, KeyFrameIntervalBoundsDifferenceRuns) {
    for (int32_t mode : {kVideoModeGrey2, kVideoModeMono1, kVideoModeGrey4}) {
        Writer writer(mode, 64, 48);
        ASSERT_EQ(MovieWriterStart(writer.w), noErr);
        TestPicture picture(64, 48);
        picture.Draw(2);
        // A still picture would be all difference frames if the policy let it.
        std::string pattern;
        for (int t = 0; t < 30; ++t) {
            ASSERT_EQ(writer.Add(picture), noErr);
            pattern += writer.Chunks().back().flags & kFrameFlagDifference ? 'd' : 'K';
        }
        EXPECT_EQ(pattern, "K" + std::string(11, 'd') + "K" + std::string(11, 'd') + "Kddddd")
            << "mode " << mode;
    }
}

TEST(GreyVideo, DurationsCarryIntoHundredths) {
    struct Case {
        uint32_t scale;
        int32_t duration;
        int frames;
        uint32_t total;
    };
    // 40 ms frames; 1/30 s at scales that do and do not divide into
    // hundredths; a frame longer than the 16-bit field holds.
    for (const Case& c : {Case{1000, 40, 3, 12}, Case{600, 20, 30, 100}, Case{30, 1, 30, 100},
                          Case{2997, 100, 2997, 10000}, Case{1, 700, 1, 65535}}) {
        Writer writer(kVideoModeMono1, 8, 8);
        ASSERT_EQ(MovieWriterSetProperty(writer.w, kPropVideoTimeScale, c.scale), noErr);
        ASSERT_EQ(MovieWriterStart(writer.w), noErr);
        TestPicture picture(8, 8);
        for (int i = 0; i < c.frames; ++i) ASSERT_EQ(writer.Add(picture, c.duration), noErr);
        EXPECT_EQ(writer.w->totalVideoDuration, c.total) << c.scale;
        if (c.scale == 1000) {
            for (const FrameChunk& chunk : writer.Chunks()) EXPECT_EQ(chunk.hundredths, 4);
            EXPECT_EQ(writer.w->timeCarry, 0);
        } else if (c.scale == 1) {
            // The excess of the long frame waits for the next one.
            ASSERT_EQ(writer.Add(picture, 0), noErr);
            EXPECT_EQ(writer.Chunks().back().hundredths, 70000 - 65535);
        } else {
            EXPECT_EQ(writer.w->timeCarry, 0) << c.scale;
        }
    }
}

TEST(GreyVideo, RefusesWhatItCannotEncode) {
    Writer writer(kVideoModeGrey2, 16, 8);
    TestPicture picture(16, 8);
    EXPECT_EQ(writer.Add(picture), kStatusParamError);  // not started
    ASSERT_EQ(MovieWriterStart(writer.w), noErr);
    EXPECT_EQ(MovieWriterAddFrame(writer.w, picture.pixels.data(), 60, 40, nullptr),
              kStatusParamError);  // stride shorter than a row
    EXPECT_EQ(writer.Add(picture, -1), kStatusParamError);
    EXPECT_EQ(writer.w->frameCount, 0u);
    EXPECT_EQ(writer.Add(picture), noErr);
    EXPECT_EQ(writer.w->frameCount, 1u);
}

TestPicture Noise(int width, int height) {
    TestPicture picture(width, height);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint8_t v = static_cast<uint8_t>(seed >> 24);
            picture.Set(x, y, v, v, v);
        }
    }
    return picture;
}

TEST(GreyVideo, LargeFramesStayWithinARecord) {
    // Noise at 640 x 480 in mode 4 would need more than a record with raw
    // blocks; the codec falls back to two-level blocks instead.
    {
        Writer writer(kVideoModeGrey4, 640, 480);
        ASSERT_EQ(MovieWriterStart(writer.w), noErr);
        ASSERT_EQ(writer.Add(Noise(640, 480)), noErr);
        const std::vector<FrameChunk> chunks = writer.Chunks();
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_LE(chunks[0].data.size() + 9, 63998u);
        GreyDecoder decoder;
        ASSERT_EQ(decoder.Reset(640, 480, 4), noErr);
        ASSERT_EQ(decoder.Decode(chunks[0].type, chunks[0].data), noErr);
        EXPECT_TRUE(std::equal(writer.w->previousFrame.begin(), writer.w->previousFrame.end(),
                               decoder.Picture().begin()));
        // Coded with raw blocks the frame would not have fitted.
        BlockCodec4 unlimited;
        ASSERT_EQ(unlimited.Prepare(640, 480), noErr);
        std::vector<uint8_t> shown(writer.w->packedFrame.size(), 0);
        BlockAgeRandom random;
        ASSERT_EQ(unlimited.Encode({writer.w->packedFrame, shown, 640, 480, false, 40}, random),
                  noErr);
        EXPECT_GT(unlimited.Data().size() + 9, 63998u);
    }
    // 2-bit noise at 640 x 480 cannot be deflated into one record: refused,
    // nothing written.
    {
        Writer writer(kVideoModeGrey2, 640, 480);
        ASSERT_EQ(MovieWriterStart(writer.w), noErr);
        EXPECT_EQ(writer.Add(Noise(640, 480)), kStatusParamError);
        EXPECT_EQ(writer.w->frameCount, 0u);
        EXPECT_EQ(writerIndexCount(writer.w->videoIndex), 0u);
    }
}

TEST(GreyVideo, SeededBlockAgesRepeatARun) {
    auto run = [](uint64_t seed) {
        Writer writer(kVideoModeGrey4, 64, 48);
        writer.w->blockAgeRandom.Seed(seed);
        EXPECT_EQ(MovieWriterStart(writer.w), noErr);
        TestPicture picture(64, 48);
        std::vector<uint8_t> all;
        for (int t = 0; t < 30; ++t) {
            picture.Draw(t);
            EXPECT_EQ(writer.Add(picture, 100), noErr);
        }
        for (const FrameChunk& chunk : writer.Chunks()) {
            all.insert(all.end(), chunk.data.begin(), chunk.data.end());
        }
        return all;
    };
    EXPECT_EQ(run(3), run(3));
}

}  // namespace
