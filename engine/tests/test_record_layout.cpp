// Record layout, seek indexes and the database image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/record_layout.h"
#include "engine/tests/support/byte_builder.h"
#include "engine/tests/support/layout_driver.h"
#include "engine/tests/support/movie_check.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

MovieCheckResult checked(const std::vector<uint8_t>& image) {
    MovieCheckResult r = checkMovieDatabase(image);
    EXPECT_TRUE(r.ok()) << r.report();
    return r;
}

// Tags of the sample chunks in stream order, one letter each: v or s.
std::string sampleOrder(const MovieCheckResult& r) {
    std::string order;
    for (const MovieCheckChunk& c : r.chunks) {
        if (c.tag == 0x7266) order += 'v';  // "rf"
        if (c.tag == 0x6175) order += 's';  // "au"
    }
    return order;
}

std::string repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

TEST(RecordLayout, SmallMovieIsOneRecordByteForByte) {
    LayoutDriver d(true, false, 44100, "tiny");
    ASSERT_EQ(d.startStatus, noErr);
    d.frame(7, 3);        // 12-byte chunk with pad
    d.frame(5, 4, true);  // difference frame, not in the seek index
    d.frame(9, 2);
    ASSERT_EQ(d.finish(), noErr);
    std::vector<uint8_t> image = d.image();
    checked(image);

    ByteBuilder record;
    record.chunk(10, "mv").u16(16).u16(16).u8(0).u8(2);
    record.chunk(6, "mt").u16(1);
    record.chunk(10, "sh").text("fr").u16(0).u16(21);
    record.chunk(14, "sx").text("fr").u32(0).u32(21);
    record.chunk(4, "bt");
    const uint16_t firstFrame = 10 + 6 + 10 + 14 + 4 + 20 + 4;
    record.chunk(4 + 16, "pt").u32(0).u16(1).u16(firstFrame).u32(12).u16(1).u16(firstFrame + 24);
    record.chunk(4, "mb");
    record.chunk(12, "rf").u8(0).u8(0x01).u16(7).u8(1).u8(1).u8(1).u8(0);
    record.chunk(12, "rf").u8(0).u8(0x04).u16(5).u8(2).u8(2).u8(2).u8(2);
    record.chunk(10, "rf").u8(0).u8(0x00).u16(9).u8(3).u8(3);
    record.chunk(4, "me").chunk(4, "re");

    ByteBuilder db;
    db.text("tiny").zeros(28).u16(0).u16(1);
    db.u32(0).u32(0);  // dates: compared separately below
    db.zeros(16).text("TMOVTVLA").zeros(8).u16(1);
    db.u32(88).u8(0x40).u8(0xA4).u8(0x80).u8(0x00).u16(0);
    std::vector<uint8_t> expected = db.bytes();
    expected.insert(expected.end(), record.bytes().begin(), record.bytes().end());
    ASSERT_EQ(image.size(), expected.size());
    std::copy(image.begin() + 36, image.begin() + 44, expected.begin() + 36);
    EXPECT_EQ(image, expected);
    uint32_t created = uint32_t{image[36]} << 24 | image[37] << 16 | image[38] << 8 | image[39];
    uint32_t nowPalm = static_cast<uint32_t>(time(nullptr)) + 2082844800u;
    EXPECT_LE(nowPalm - created, 5u);
}

TEST(RecordLayout, EvenInterleaveAfterThePreload) {
    LayoutDriver d(true, true);
    ASSERT_EQ(d.startStatus, noErr);
    for (int i = 0; i < 30; ++i) d.frame(10);    // a tenth of a second each
    for (int i = 0; i < 50; ++i) d.sound(4410);  // likewise
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    // Two seconds of sound first, then one second of video and one of sound.
    std::string expected = repeat("s", 20) + repeat(repeat("v", 10) + repeat("s", 10), 3);
    EXPECT_EQ(sampleOrder(r), expected);
    EXPECT_EQ(r.preload, 88200u);
    EXPECT_EQ(r.movieKind, 6);
}

TEST(RecordLayout, LongVideoPassesBorrowSoundFromTheNextPass) {
    LayoutDriver d(true, true);
    ASSERT_EQ(d.startStatus, noErr);
    // Frames of 0.4 s: a video pass closest to one second takes three (1.2 s),
    // and the sound pass that follows stretches to 1.2 s as well.
    for (int i = 0; i < 9; ++i) d.frame(40);
    for (int i = 0; i < 20 + 36; ++i) d.sound(4410);
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    EXPECT_EQ(sampleOrder(r), repeat("s", 20) + repeat("vvv" + repeat("s", 12), 3));
}

TEST(RecordLayout, SoundOnlyMoviePreloadsTwoSecondsThenOneSecondPasses) {
    LayoutDriver d(false, true, 22050);
    ASSERT_EQ(d.startStatus, noErr);
    // Chunks of 10000 frames: the preload pass overshoots 44100 to 50000.
    for (int i = 0; i < 12; ++i) d.sound(10000);
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    EXPECT_EQ(r.preload, 50000u);
    EXPECT_EQ(r.movieKind, 5);
    EXPECT_EQ(r.soundChunks, 12u);
    EXPECT_EQ(r.soundFrames, 120000u);
    EXPECT_EQ(r.recordSizes.size(), 1u);
}

TEST(RecordLayout, ChunksAreNeverSplitAcrossRecords) {
    LayoutDriver d(true, false);
    ASSERT_EQ(d.startStatus, noErr);
    for (int i = 0; i < 10; ++i) d.frame(10, 20000 + i);  // chunks of 20008..20018 bytes
    ASSERT_EQ(d.finish(), noErr);
    std::vector<uint8_t> image = d.image();
    MovieCheckResult r = checked(image);
    ASSERT_GE(r.recordSizes.size(), 4u);
    for (size_t i = 0; i < r.recordSizes.size(); ++i)
        EXPECT_LE(r.recordSizes[i], kRecordChunkLimit + 8) << i;
    EXPECT_EQ(r.frames, 10u);
    // Only the first record is held in memory; the rest come from the spool file.
    EXPECT_EQ(d.w->spooledRecordCount, static_cast<int32_t>(r.recordSizes.size()) - 1);
    for (uint32_t i = 0; i < r.recordSizes.size(); ++i) {
        size_t at = 78 + 8 * i;
        EXPECT_EQ(image[at + 4], 0x40);
        EXPECT_EQ(uint32_t{image[at + 5]} << 16 | image[at + 6] << 8 | image[at + 7], 0xA48000 + i);
    }
}

TEST(RecordLayout, AChunkThatWouldPassTheLimitStartsANewRecord) {
    LayoutDriver d(true, false);
    ASSERT_EQ(d.startStatus, noErr);
    uint32_t headerBytes = BlockLength(d.w->header) + 20 + 4;  // "pt" of two entries, "mb"
    // Fill the first record to exactly the limit, then one byte more.
    d.frame(10, kRecordChunkLimit - headerBytes - 8);
    d.frame(10, 2);
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    ASSERT_EQ(r.recordSizes.size(), 2u);
    EXPECT_EQ(r.recordSizes[0], kRecordChunkLimit + 4);
    EXPECT_EQ(r.chunks.back().tag, 0x6D65);  // "me"
}

TEST(RecordLayout, SeekIndexListsEveryThirdOf2500KeyFrames) {
    LayoutDriver d(true, true);
    ASSERT_EQ(d.startStatus, noErr);
    for (int i = 0; i < 5000; ++i) d.frame(3, 2, i % 2 == 1);
    for (int i = 0; i < 2500; ++i) d.sound(60, 2);
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    EXPECT_EQ(r.keyFrames, 2500u);
    EXPECT_EQ(r.videoIndexEntries, 833u);
    EXPECT_EQ(r.soundIndexEntries, 833u);
    // Entry e names key frame 3e, which is frame 6e at 18e hundredths.
    const SampleIndexEntry* frames = writerIndexEntries(d.w->videoIndex);
    std::vector<uint8_t> image = d.image();
    ASSERT_FALSE(image.empty());
    auto it = std::find_if(r.chunks.begin(), r.chunks.end(),
                           [](const MovieCheckChunk& c) { return c.tag == 0x7074; });
    ASSERT_NE(it, r.chunks.end());
    size_t at = 80 + 8 * r.recordSizes.size() + it->offset + 4;
    for (uint32_t e : {0u, 1u, 2u, 832u}) {
        const uint8_t* p = image.data() + at + 8 * e;
        EXPECT_EQ(uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3], 18 * e);
        EXPECT_EQ(p[4] << 8 | p[5], frames[6 * e].recordNumber);
        EXPECT_EQ(p[6] << 8 | p[7], frames[6 * e].recordOffset);
    }
}

TEST(RecordLayout, StreamDurationsAndTheShortFormCap) {
    LayoutDriver d(true, true, 8000);
    ASSERT_EQ(d.startStatus, noErr);
    for (int i = 0; i < 700; ++i) d.frame(100);  // 70000 hundredths
    d.sound(12345);  // 154.3125 s -> 154 hundredths after rounding? no: 15431.25
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    const uint8_t* h = BlockData(d.w->image) + 80 + 8 * r.recordSizes.size();
    auto u16 = [&](int32_t at) { return h[at] << 8 | h[at + 1]; };
    auto u32 = [&](int32_t at) { return uint32_t(u16(at)) << 16 | u16(at + 2); };
    EXPECT_EQ(u16(d.w->videoShOffset + 8), 65500);
    EXPECT_EQ(u32(d.w->videoSxOffset + 10), 70000u);
    EXPECT_EQ(u16(d.w->soundShOffset + 8), 154);
    EXPECT_EQ(u32(d.w->soundSxOffset + 10), 154u);
}

TEST(RecordLayout, MovieKinds) {
    {
        LayoutDriver d(true, false);
        d.frame(10);
        ASSERT_EQ(d.finish(), noErr);
        EXPECT_EQ(checked(d.image()).movieKind, 4);  // a single still
    }
    {
        LayoutDriver d(true, false);
        d.frame(10);
        d.frame(10);
        ASSERT_EQ(d.finish(), noErr);
        EXPECT_EQ(checked(d.image()).movieKind, 1);
    }
}

TEST(RecordLayout, NameIsCutTo31Characters) {
    const std::string name(40, 'n');
    LayoutDriver d(true, false, 44100, name.c_str());
    d.frame(10);
    ASSERT_EQ(d.finish(), noErr);
    MovieCheckResult r = checked(d.image());
    EXPECT_EQ(r.name, std::string(31, 'n'));
}

TEST(RecordLayout, PictureItemsOnlyEndWithMovieEndAndNoRecordEnd) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "pictures");
    std::vector<uint8_t> picture(25000, 0x5A);
    picture[0] = 0;
    picture[1] = 0;
    picture[2] = 25000 >> 8;
    picture[3] = 25000 & 0xFF;
    for (int i = 0; i < 4; ++i) {
        MovieWriterPictureItem item{{uint32_t(i), 0, 0, 0}, 1, nullptr, picture.data()};
        ASSERT_EQ(MovieWriterSetProperty(w, kPropPictureItem, reinterpret_cast<intptr_t>(&item)),
                  noErr);
    }
    ASSERT_EQ(MovieWriterStart(w), noErr);
    ASSERT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(w, &size), noErr);
    std::vector<uint8_t> image(size);
    ASSERT_EQ(MovieWriterRead(w, image.data(), 0, size), noErr);
    MovieCheckResult r = checked(image);
    ASSERT_EQ(r.recordSizes.size(), 2u);  // two 25030-byte items per record
    EXPECT_EQ(r.movieKind, 0);
    EXPECT_EQ(std::string(image.end() - 4, image.end()), std::string("\0\4me", 4));
    size_t firstEnd = 80 + 16 + r.recordSizes[0];
    EXPECT_EQ(std::string(image.begin() + firstEnd - 4, image.begin() + firstEnd),
              std::string("\0\4re", 4));
    MovieWriterDispose(w);
}

TEST(RecordLayout, APictureItemLargerThanARecordIsRefused) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "big picture");
    auto itemOf = [](std::vector<uint8_t>& picture, uint32_t total) {
        picture.assign(total, 0x33);
        picture[0] = 0;
        picture[1] = 0;
        picture[2] = uint8_t(total >> 8);
        picture[3] = uint8_t(total & 0xFF);
        return MovieWriterPictureItem{{0, 0, 0, 0}, 0, nullptr, picture.data()};
    };
    // "bi" header 4 + "ho" 22 + picture: 63990 bytes still fit beside "mb" and "me".
    std::vector<uint8_t> big, fits;
    MovieWriterPictureItem tooBig = itemOf(big, 63990 - 26 + 1);
    EXPECT_EQ(MovieWriterSetProperty(w, kPropPictureItem, reinterpret_cast<intptr_t>(&tooBig)),
              kStatusParamError);
    MovieWriterPictureItem item = itemOf(fits, 63990 - 26);
    ASSERT_EQ(MovieWriterSetProperty(w, kPropPictureItem, reinterpret_cast<intptr_t>(&item)), noErr);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    ASSERT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(w, &size), noErr);
    std::vector<uint8_t> image(size);
    ASSERT_EQ(MovieWriterRead(w, image.data(), 0, size), noErr);
    MovieCheckResult r = checked(image);
    // The header chunks and "re", then the item, "mb" and "me": no empty record.
    ASSERT_EQ(r.recordSizes.size(), 2u);
    EXPECT_EQ(r.recordSizes[1], 63990u + 4 + 4);
    MovieWriterDispose(w);
}

TEST(RecordLayout, ReadingInPiecesMatchesReadingWhole) {
    LayoutDriver d(true, true);
    ASSERT_EQ(d.startStatus, noErr);
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        d.frame(10, 200 + random() % 3000, i % 5 != 0);
        if (i % 2 == 0) d.sound(4410, 500 + random() % 2000);
    }
    ASSERT_EQ(d.finish(), noErr);
    std::vector<uint8_t> whole = d.image();
    MovieCheckResult r = checked(whole);
    ASSERT_GT(r.recordSizes.size(), 3u);

    std::vector<uint8_t> pieces;
    for (uint32_t at = 0; at < whole.size(); at += 2048) {
        uint32_t n = std::min<uint32_t>(2048, static_cast<uint32_t>(whole.size()) - at);
        std::vector<uint8_t> piece(n);
        ASSERT_EQ(MovieWriterRead(d.w, piece.data(), at, n), noErr);
        pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(pieces, whole);

    const uint32_t size = static_cast<uint32_t>(whole.size());
    for (int i = 0; i < 300; ++i) {
        uint32_t at = random() % size;
        uint32_t n = random() % std::min<uint32_t>(size - at + 1, 70000);
        std::vector<uint8_t> piece(n);
        ASSERT_EQ(MovieWriterRead(d.w, piece.data(), at, n), noErr);
        ASSERT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + at)) << at << "+" << n;
    }
    uint8_t byte;
    EXPECT_EQ(MovieWriterRead(d.w, &byte, size, 1), kStatusParamError);
    EXPECT_EQ(MovieWriterRead(d.w, &byte, size - 1, 2), kStatusParamError);
    EXPECT_EQ(MovieWriterRead(d.w, &byte, 0xFFFFFFFF, 2), kStatusParamError);
    EXPECT_EQ(MovieWriterRead(d.w, &byte, size, 0), noErr);
    EXPECT_EQ(MovieWriterRead(d.w, &byte, size - 1, 1), noErr);
    EXPECT_EQ(byte, 'e');  // last byte of the closing "re"
}

std::vector<int32_t> g_progress;
int32_t recordProgress(int32_t percent, int32_t refCon) {
    EXPECT_EQ(refCon, 77);
    g_progress.push_back(percent);
    return 0;
}

TEST(RecordLayout, ProgressRunsFromZeroToHundred) {
    g_progress.clear();
    LayoutDriver d(true, false);
    MovieWriterSetProgress(d.w, recordProgress, 77);
    for (int i = 0; i < 8; ++i) d.frame(10);
    ASSERT_EQ(MovieWriterFinish(d.w), noErr);
    ASSERT_GE(g_progress.size(), 3u);
    EXPECT_EQ(g_progress.front(), 0);
    EXPECT_EQ(g_progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(g_progress.begin(), g_progress.end()));
    // 0, one call per placed sample, then 100.
    EXPECT_EQ(g_progress.size(), 8u + 2u);
    EXPECT_EQ(g_progress[4], 50);
    checked(d.image());
}

TEST(RecordLayout, StateChecksAroundFinishing) {
    LayoutDriver d(true, false);
    d.frame(10);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(d.w, &size), kStatusParamError);
    ASSERT_EQ(MovieWriterFinish(d.w), noErr);
    EXPECT_EQ(MovieWriterFinish(d.w), kStatusParamError);
    EXPECT_EQ(MovieWriterForceKeyFrame(d.w), kStatusParamError);
    EXPECT_EQ(MovieWriterGetSize(d.w, &size), noErr);
    EXPECT_EQ(MovieWriterGetSize(d.w, nullptr), kStatusParamError);
    EXPECT_EQ(size, BlockLength(d.w->image) + d.w->spooledByteCount);
    checked(d.image());
}

TEST(RecordLayout, MemoryExhaustionStopsFinishingAndTheImageCannotBeRead) {
    LayoutDriver d(true, false);
    for (int i = 0; i < 20; ++i) d.frame(10, 5000);
    BlockFailAllocationsAfter(3);
    EXPECT_EQ(MovieWriterFinish(d.w), kStatusOutOfMemory);
    BlockFailAllocationsAfter(-1);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(d.w, &size), kStatusParamError);
    uint8_t byte;
    EXPECT_EQ(MovieWriterRead(d.w, &byte, 0, 1), kStatusParamError);
}

TEST(RecordLayout, ColourModesGetTheFixedGreysInThePalette) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    // Driven below the encoder hooks: the fixed entries are the layout's own.
    w->name = "colour";
    w->hasVideo = true;
    w->videoMode = kVideoModeColour8;
    w->encodedWidth = w->encodedHeight = 16;
    ASSERT_EQ(writerBuildHeader(w), noErr);
    w->state = kWriterFinished;
    ASSERT_EQ(writerFinishImage(w), noErr);
    const uint8_t* record = BlockData(w->image) + 80 + 8;
    const uint8_t* palette = record + w->paletteOffset;
    const uint8_t greys[] = {235, 191, 162, 133, 104, 74, 45};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(palette[3 * i], greys[i]);
        EXPECT_EQ(palette[3 * i + 1], 128);
        EXPECT_EQ(palette[3 * i + 2], 128);
    }
    for (int i = 7; i < 16; ++i)
        EXPECT_EQ(palette[3 * i] | palette[3 * i + 1] | palette[3 * i + 2], 0);
    EXPECT_EQ(palette[765], 16);
    EXPECT_EQ(palette[766], 128);
    checked(std::vector<uint8_t>(BlockData(w->image), BlockData(w->image) + BlockLength(w->image)));
    MovieWriterDispose(w);
}

}  // namespace
