// Presentation layouts handed to the writer: which keys and layer records
// each PRES atom gives, and the picture layer's encoded image.
#include <gtest/gtest.h>

#include "engine/movie_reader.h"
#include "export/presentation.h"
#include "platform/cinepak_bitstream.h"
#include "platform/tests/support/corpus.h"

namespace {

void putPair(AtomContainer* c, AtomRef parent, const char (&type)[5], int16_t a, int16_t b) {
    ASSERT_EQ(c->writeU32(parent, fourCC(type), 1, (uint32_t(uint16_t(a)) << 16) | uint16_t(b)),
              noErr);
}

struct Layout {
    AtomContainer c;
    AtomRef pres = kAtomNone, back = kAtomNone;
    Layout() {
        c.findOrInsert(kAtomRoot, fourCC("PRES"), 1, &pres);
        c.findOrInsert(pres, fourCC("back"), 1, &back);
    }
};

// A writer with one grey frame and the layout applied, finished and read back.
void writeWith(const AtomContainer& layout, movie::Movie* out) {
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), noErr);
    ASSERT_EQ(MovieWriterSetName(w, "layout"), noErr);
    EXPECT_EQ(layOutPresentation(w, &layout), noErr);
    ASSERT_EQ(MovieWriterSetFrameSize(w, 32, 24), noErr);
    ASSERT_EQ(MovieWriterSetVideoMode(w, kVideoModeGrey4), noErr);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    std::vector<uint8_t> frame(32 * 24 * 4, 128);
    ASSERT_EQ(MovieWriterAddFrame(w, frame.data(), 32 * 4, 100, nullptr), noErr);
    ASSERT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(w, &size), noErr);
    std::vector<uint8_t> bytes(size);
    ASSERT_EQ(MovieWriterRead(w, bytes.data(), 0, size), noErr);
    MovieWriterDispose(w);
    std::string error;
    ASSERT_TRUE(movie::readMovie(std::move(bytes), *out, error)) << error;
    for (const auto& v : out->violations) ADD_FAILURE() << v;
}

TEST(Presentation, SizeAndColourAloneGiveNoLayers) {
    Layout l;
    putPair(&l.c, l.pres, "size", 320, 240);
    const uint8_t rgb[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    ASSERT_EQ(l.c.writeData(l.back, fourCC("rgb "), 1, rgb), noErr);
    ASSERT_EQ(l.c.writeData(l.pres, fourCC("cont"), 1, std::vector<uint8_t>{1}), noErr);
    movie::Movie m;
    writeWith(l.c, &m);
    ASSERT_TRUE(m.header.hasBackground);
    EXPECT_EQ(m.header.background[0], 0x12);
    EXPECT_EQ(m.header.background[1], 0x56);
    EXPECT_EQ(m.header.background[2], 0x9A);
    EXPECT_TRUE(m.header.pictures.empty());
    EXPECT_FALSE(m.header.hasScreenRect);
    ASSERT_TRUE(m.header.fsSwitch.has_value());
    EXPECT_EQ(*m.header.fsSwitch, 0);  // controls shown
}

TEST(Presentation, VideoLayerGivesTheScreenRectangleAndTwoRecords) {
    Layout l;
    AtomRef vid = kAtomNone;
    l.c.findOrInsert(l.back, fourCC("vid "), 1, &vid);
    putPair(&l.c, vid, "pos ", 10, 20);
    putPair(&l.c, vid, "size", 160, 120);
    ASSERT_EQ(l.c.writeData(l.pres, fourCC("cont"), 1, std::vector<uint8_t>{0}), noErr);
    movie::Movie m;
    writeWith(l.c, &m);
    ASSERT_TRUE(m.header.hasScreenRect);
    EXPECT_EQ(m.header.screenRect[0], 20);
    EXPECT_EQ(m.header.screenRect[1], 10);
    EXPECT_EQ(m.header.screenRect[2], 140);
    EXPECT_EQ(m.header.screenRect[3], 170);
    ASSERT_TRUE(m.header.fsSwitch.has_value());
    EXPECT_EQ(*m.header.fsSwitch, 1);
    ASSERT_EQ(m.header.pictures.size(), 2u);
    const auto& stage = m.header.pictures[0];
    EXPECT_EQ(stage.values[2] >> 16, 1u);  // kind stage
    EXPECT_EQ(stage.values[3], 1u);        // number 1, state 0
    const auto& video = m.header.pictures[1];
    EXPECT_EQ(video.values[0], 10u | (20u << 16));
    EXPECT_EQ(video.values[1], 160u | (120u << 16));
    EXPECT_EQ(video.values[2] >> 16, 2u);
    EXPECT_EQ(video.values[3], 3u | (1u << 16));
    EXPECT_EQ(video.pictureBytes, 0u);
}

TEST(Presentation, PictureLayerIsTurnedAndCompressedBehindItsHeader) {
    DataReference ref;
    ASSERT_EQ(NewAliasDataReference(CorpusFile("pic.png"), &ref), noErr);
    // 64 x 48 turned a quarter: a 48 x 64 buffer.
    std::vector<uint8_t> raw, packed;
    ASSERT_EQ(encodeLayerPicture(ref, 64, 48, 90, kPictureEncodingRaw, &raw), noErr);
    ASSERT_EQ(raw.size(), kPictureHeaderBytes + 48u * 64 * 2);
    const uint8_t header[] = {0,
                              0,
                              uint8_t(raw.size() >> 8),
                              uint8_t(raw.size()),
                              0,
                              48,
                              0,
                              64,
                              0,
                              96,
                              0x04,
                              0,
                              16,
                              2,
                              0x0B,
                              0x01,
                              0,
                              0,
                              0,
                              0,
                              5,
                              6,
                              5,
                              0,
                              0,
                              0,
                              0,
                              0};
    EXPECT_TRUE(std::equal(std::begin(header), std::end(header), raw.begin()));
    // The picture's top-left quadrant (red and green: yellow) lands top-right.
    auto pixel = [&](int x, int y) {
        const size_t at = kPictureHeaderBytes + (size_t(y) * 48 + size_t(x)) * 2;
        return uint16_t((raw[at] << 8) | raw[at + 1]);
    };
    // Quarter turn clockwise: the picture's left column becomes the top row.
    EXPECT_EQ(pixel(36, 16), 0xFFE0);  // its top-left, yellow, lands top-right
    EXPECT_EQ(pixel(12, 16), 0xF800);  // its bottom-left, red, lands top-left
    EXPECT_EQ(pixel(36, 48), 0x07E0);  // its top-right, green, lands bottom-right
    EXPECT_EQ(pixel(12, 48), 0x0000);  // its bottom-right, black

    ASSERT_EQ(encodeLayerPicture(ref, 64, 48, 90, kPictureEncodingCinepak, &packed), noErr);
    ASSERT_GT(packed.size(), kPictureHeaderBytes + 10);
    EXPECT_EQ((uint32_t(packed[2]) << 8 | packed[3]), packed.size());
    EXPECT_EQ(packed[5], 48);
    EXPECT_EQ(packed[7], 64);
    // The Cinepak frame header carries the same turned size.
    EXPECT_EQ((packed[kPictureHeaderBytes + 4] << 8) | packed[kPictureHeaderBytes + 5], 48);
    EXPECT_EQ((packed[kPictureHeaderBytes + 6] << 8) | packed[kPictureHeaderBytes + 7], 64);

    DataReference missing;
    ASSERT_EQ(NewAliasDataReference(ScratchPath("no such picture.png"), &missing), noErr);
    EXPECT_NE(encodeLayerPicture(missing, 64, 48, 0, kPictureEncodingRaw, &raw), noErr);
}

TEST(Presentation, APictureThatCannotBeReadIsLeftOut) {
    Layout l;
    AtomRef imag = kAtomNone;
    l.c.findOrInsert(l.back, fourCC("imag"), 1, &imag);
    putPair(&l.c, imag, "pos ", 0, 0);
    putPair(&l.c, imag, "size", 64, 48);
    ASSERT_EQ(l.c.writeU32(imag, fourCC("drft"), 1, kAliasDataReferenceType), noErr);
    const std::string bad = ScratchPath("not there.png");
    ASSERT_EQ(l.c.writeData(imag, fourCC("dref"), 1,
                            std::span(reinterpret_cast<const uint8_t*>(bad.data()), bad.size())),
              noErr);
    movie::Movie m;
    writeWith(l.c, &m);
    ASSERT_EQ(m.header.pictures.size(), 1u);  // the stage only

    // With a real picture the record carries its image.
    const std::string good = CorpusFile("pic.png");
    ASSERT_EQ(l.c.writeData(imag, fourCC("dref"), 1,
                            std::span(reinterpret_cast<const uint8_t*>(good.data()), good.size())),
              noErr);
    movie::Movie m2;
    writeWith(l.c, &m2);
    ASSERT_EQ(m2.header.pictures.size(), 2u);
    EXPECT_EQ(m2.header.pictures[1].values[1], 64u | (48u << 16));
    EXPECT_GT(m2.header.pictures[1].pictureBytes, kPictureHeaderBytes);
}

}  // namespace
