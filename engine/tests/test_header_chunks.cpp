// Header blocks compared byte for byte with ones built by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/tests/support/byte_builder.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

struct WriterPtr {
    WriterPtr() {
        EXPECT_EQ(MovieWriterCreate(&w), noErr);
        MovieWriterSetName(w, "header test");
    }
    ~WriterPtr() { MovieWriterDispose(w); }
    MovieWriter* w = nullptr;
};

std::vector<uint8_t> headerOf(const MovieWriter* w) {
    const uint8_t* data = BlockData(w->header);
    return std::vector<uint8_t>(data, data + BlockLength(w->header));
}

void setWave(MovieWriter* w, uint16_t channels, uint32_t rate) {
    const uint8_t wave[16] = {1,
                              0,
                              static_cast<uint8_t>(channels),
                              0,
                              static_cast<uint8_t>(rate),
                              static_cast<uint8_t>(rate >> 8),
                              static_cast<uint8_t>(rate >> 16),
                              0,
                              0,
                              0,
                              0,
                              0,
                              static_cast<uint8_t>(2 * channels),
                              0,
                              16,
                              0};
    ASSERT_EQ(MovieWriterSetSoundInput(w, 1, wave, 16), noErr);
}

TEST(HeaderChunks, GreyVideoOnly) {
    WriterPtr p;
    MovieWriterSetFrameSize(p.w, 161, 121);
    MovieWriterSetVideoMode(p.w, kVideoModeGrey2);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    ByteBuilder b;
    b.chunk(10, "mv").u16(164).u16(124).u8(0).u8(2);
    b.chunk(6, "mt").u16(0);
    b.chunk(10, "sh").text("fr").u16(0).u16(0);
    b.chunk(14, "sx").text("fr").u32(0).u32(0);
    b.chunk(4, "bt");
    EXPECT_EQ(headerOf(p.w), b.bytes());
    EXPECT_EQ(p.w->movieKindOffset, 10);
    EXPECT_EQ(p.w->videoShOffset, 16);
    EXPECT_EQ(p.w->videoSxOffset, 26);
    EXPECT_EQ(p.w->soundShOffset, -1);
    EXPECT_EQ(p.w->soundSxOffset, -1);
    EXPECT_EQ(p.w->audioHeaderOffset, -1);
    EXPECT_EQ(p.w->paletteOffset, -1);
    EXPECT_EQ(p.w->inverseMapOffset, -1);
}

TEST(HeaderChunks, SoundOnlyWithEveryPresentationChunk) {
    WriterPtr p;
    MovieWriter* w = p.w;
    setWave(w, 2, 22050);
    MovieWriterSetAudioFormat(w, kAudioFormatAdpcm4);
    MovieWriterSetProperty(w, kPropAudioPreload, 44100);
    MovieWriterSetProperty(w, kPropRotation, 270);
    MovieWriterSetInfoString(w, kMovieInfoTitle, "T");
    MovieWriterSetInfoString(w, kMovieInfoInformation, "   ");
    MovieWriterSetInfoString(w, kMovieInfoRights, "R");
    const int16_t rect[4] = {20, 10, 140, 170};
    MovieWriterSetProperty(w, kPropScreenRect, reinterpret_cast<intptr_t>(rect));
    MovieWriterSetProperty(w, kPropControlSwitch, 5);
    const uint8_t rgb[3] = {0x10, 0x20, 0x30};
    MovieWriterSetProperty(w, kPropBackgroundColour, reinterpret_cast<intptr_t>(rgb));
    MovieWriterSetProperty(w, kPropFullScreen, 1);
    const uint16_t display[2] = {320, 240};
    MovieWriterSetProperty(w, kPropDisplaySize, reinterpret_cast<intptr_t>(display));
    ASSERT_EQ(MovieWriterAddChapter(w, 12345, "Intro\r", 6), noErr);
    ASSERT_EQ(MovieWriterAddChapter(w, 99999, "Part", 4), noErr);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    // Chapters after the start no longer reach the header.
    ASSERT_EQ(MovieWriterAddChapter(w, 500000, "late", 4), noErr);

    ByteBuilder b;
    b.chunk(10, "mv").u16(320).u16(240).u8(1).u8(0);
    b.chunk(6, "mt").u16(0);
    b.chunk(10, "sh").text("au").u16(0).u16(0);
    b.chunk(14, "sx").text("au").u32(0).u32(0);
    b.chunk(18, "ah").u32(626).u16(2).u32(22050).u32(44100);
    b.chunk(6, "an").u16(270);
    b.chunk(10, "md").text("T").u8(0).u8(0).text("R").u8(0).u8(0);  // 5 string bytes + pad
    b.chunk(12, "mr").u16(20).u16(10).u16(140).u16(170);
    b.chunk(6, "cv").u8(0).u8(1);
    b.chunk(8, "bc").u8(0x10).u8(0x20).u8(0x30).u8(0);
    b.chunk(6, "fs").u8(0).u8(1);
    b.chunk(4, "bt");
    b.chunk(6 + 12 + 10, "cl").u16(2);
    b.u32(1234).text("Intro").zeros(3);  // odd title: two zeros and a pad
    b.u32(9999).text("Part").zeros(2);
    EXPECT_EQ(headerOf(w), b.bytes());
    EXPECT_EQ(w->soundShOffset, 16);
    EXPECT_EQ(w->soundSxOffset, 26);
    EXPECT_EQ(w->audioHeaderOffset, 40);
}

TEST(HeaderChunks, ColourModeReservesPaletteAndInverseMap) {
    WriterPtr p;
    MovieWriterSetFrameSize(p.w, 32, 16);
    MovieWriterSetVideoMode(p.w, kVideoModeColour8);
    MovieWriterSetInfoString(p.w, kMovieInfoInformation, "ab");  // 0 "ab"0 0: odd, padded
    const int16_t emptyRect[4] = {5, 5, 5, 100};
    MovieWriterSetProperty(p.w, kPropScreenRect, reinterpret_cast<intptr_t>(emptyRect));
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    ByteBuilder b;
    b.chunk(10, "mv").u16(32).u16(16).u8(0).u8(8);
    b.chunk(6, "mt").u16(0);
    b.chunk(10, "sh").text("fr").u16(0).u16(0);
    b.chunk(14, "sx").text("fr").u32(0).u32(0);
    b.chunk(10, "md").u8(0).text("ab").u8(0).u8(0).u8(0);
    b.chunk(4, "bt");
    b.chunk(772, "py").zeros(768);
    b.chunk(8196, "ic").zeros(8192);
    EXPECT_EQ(headerOf(p.w), b.bytes());
    EXPECT_EQ(p.w->paletteOffset, 10 + 6 + 10 + 14 + 10 + 4 + 4);
    EXPECT_EQ(p.w->inverseMapOffset, p.w->paletteOffset + 768 + 4);
}

// The ATRAC3 chunks depend on what the sound encoder settled at start; the
// builder is driven directly so the test does not depend on the encoder.
TEST(HeaderChunks, Atrac3AddsTheExtraChunk) {
    WriterPtr p;
    MovieWriter* w = p.w;
    w->hasSound = true;
    w->audioFormat = kAudioFormatAtrac3;
    w->outputChannels = 1;
    w->sampleRate = 44100;
    w->channelMode = 1;
    const uint32_t rates[] = {66000, 47000, 33000, 23500, 16500, 11750};
    const uint16_t codes[] = {66, 47, 33, 24, 16, 12};
    for (int i = 0; i < 6; ++i) {
        w->audioBitRate = rates[i];
        ASSERT_EQ(writerBuildHeader(w), noErr);
        ByteBuilder b;
        b.chunk(10, "mv").u16(0).u16(0).u8(1).u8(0);
        b.chunk(6, "mt").u16(0);
        b.chunk(10, "sh").text("au").u16(0).u16(0);
        b.chunk(14, "sx").text("au").u32(0).u32(0);
        b.chunk(18, "ah").u32(624).u16(1).u32(44100).u32(88200);
        b.chunk(8, "ax").u16(1).u16(codes[i]);
        b.chunk(4, "bt");
        EXPECT_EQ(headerOf(w), b.bytes()) << rates[i];
        BlockFree(w->header);
        w->header = nullptr;
    }
}

TEST(HeaderChunks, PictureItemsOnly) {
    WriterPtr p;
    const uint8_t nested[6] = {0, 6, 'x', 'y', 1, 2};
    const uint8_t picture[9] = {0, 0, 0, 9, 'a', 'b', 'c', 'd', 'e'};
    MovieWriterPictureItem item{{1, 2, 0x01020304, 0xFFFFFFFF}, 0x0001, nested, picture};
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropPictureItem, reinterpret_cast<intptr_t>(&item)),
              noErr);
    MovieWriterPictureItem bare{{7, 0, 0, 0}, 3, nullptr, nullptr};
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropPictureItem, reinterpret_cast<intptr_t>(&bare)),
              noErr);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);

    ByteBuilder header;
    header.chunk(10, "mv").u16(0).u16(0).u8(1).u8(16);
    header.chunk(6, "mt").u16(0);
    header.chunk(4, "bt");
    EXPECT_EQ(headerOf(p.w), header.bytes());

    ByteBuilder first;
    first.chunk(4 + 22 + 6 + 9, "bi");
    first.chunk(22, "ho").u32(1).u32(2).u32(0x01020304).u32(0xFFFFFFFF).u16(1);
    first.u16(6).text("xy").u8(1).u8(2);
    first.chunk(9, "px").text("abcde");
    ByteBuilder second;
    second.chunk(26, "bi").chunk(22, "ho").u32(7).u32(0).u32(0).u32(0).u16(3);

    const PictureItem* a = p.w->pictureItems;
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->next, nullptr);
    auto bytesOf = [](BlockHandle h) {
        return std::vector<uint8_t>(BlockData(h), BlockData(h) + BlockLength(h));
    };
    EXPECT_EQ(bytesOf(a->chunk), first.bytes());
    EXPECT_EQ(bytesOf(a->next->chunk), second.bytes());
}

TEST(HeaderChunks, OversizedPiecesAreRefused) {
    WriterPtr p;
    const uint8_t huge[4] = {0, 1, 0, 4};  // a 65540-byte picture cannot have a "px" length
    MovieWriterPictureItem item{{0, 0, 0, 0}, 0, nullptr, huge};
    EXPECT_EQ(MovieWriterSetProperty(p.w, kPropPictureItem, reinterpret_cast<intptr_t>(&item)),
              kStatusParamError);
    EXPECT_EQ(p.w->pictureItems, nullptr);
    EXPECT_EQ(MovieWriterAddChapter(p.w, 0, nullptr, 3), kStatusParamError);
    std::vector<char> title(70000, 'x');
    EXPECT_EQ(MovieWriterAddChapter(p.w, 0, title.data(), static_cast<uint32_t>(title.size())),
              kStatusParamError);
    EXPECT_EQ(p.w->chapterCount, 0);

    // Everything before the chapter list must fit the first record, which
    // finishing patches: a title that pushes it past is refused at start.
    WriterPtr q;
    MovieWriterSetFrameSize(q.w, 16, 16);
    MovieWriterSetVideoMode(q.w, kVideoModeColour8);  // with the palette and colour map
    const std::string longTitle(56000, 't');
    ASSERT_EQ(MovieWriterSetInfoString(q.w, kMovieInfoTitle, longTitle.c_str()), noErr);
    EXPECT_EQ(MovieWriterStart(q.w), kStatusParamError);
    EXPECT_EQ(q.w->header, nullptr);
}

TEST(HeaderChunks, FailedStartReleasesTheHeader) {
    WriterPtr p;
    MovieWriterSetFrameSize(p.w, 16, 16);
    MovieWriterSetVideoMode(p.w, kVideoModeGrey2);
    MovieWriterSetInfoString(p.w, kMovieInfoTitle, "a title");
    BlockFailAllocationsAfter(2);
    EXPECT_EQ(MovieWriterStart(p.w), kStatusOutOfMemory);
    BlockFailAllocationsAfter(-1);
    EXPECT_EQ(p.w->header, nullptr);
    EXPECT_EQ(p.w->spoolPath[0], '\0');
    EXPECT_EQ(MovieWriterFinish(p.w), kStatusParamError);
}

}  // namespace
