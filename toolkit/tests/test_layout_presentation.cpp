// The layout as PRES: the atoms the editor writes, reading them back, and
// what the export makes of them, down to a converted database.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/presentation.h"
#include "export/settings.h"
#include "platform/data_handler.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "toolkit/layout_model.h"

namespace {

const std::vector<std::string> kSizes{"160 x 160", "240 x 240", "320 x 320", "320 x 480",
                                      "480 x 320"};

LayoutDevice device(LayoutSize screen, LayoutSize video, int angle = 0, bool crui = false) {
    LayoutDevice d;
    d.screen = screen;
    d.video = video;
    d.angle = angle;
    d.controlsUpright = crui;
    return d;
}

// An editor showing layout at one view pixel per layout pixel.
LayoutEditor editorFor(const LayoutDevice& d, LayoutSize layout) {
    LayoutEditor e(kSizes);
    e.setDevice(d);
    e.setLayoutSize(layout);
    e.resetItems();
    e.setViewRect({0, 0, layout.width, layout.height});
    return e;
}

// Drags an item by its middle so that its top-left lands on (x, y).
void place(LayoutEditor& e, int kind, int x, int y) {
    const LayoutRect r = e.item(kind)->rect;
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    ASSERT_TRUE(e.mouseDown(cx, cy));
    e.mouseUp(cx + x - r.left, cy + y - r.top);
    ASSERT_EQ(e.item(kind)->rect.left, x);
    ASSERT_EQ(e.item(kind)->rect.top, y);
}

uint32_t u32(const AtomContainer& c, AtomRef parent, const char (&type)[5]) {
    uint32_t v = 0;
    EXPECT_EQ(c.readU32(parent, fourCC(type), 1, &v), noErr) << type;
    return v;
}

std::vector<uint8_t> bytesOf(const AtomContainer& c, AtomRef parent, const char (&type)[5]) {
    const auto d = c.leafData(c.findChild(parent, fourCC(type), 1));
    return {d.begin(), d.end()};
}

TEST(LayoutPresentation, TheAtomsOfASmallLayout) {
    LayoutEditor e = editorFor(device({160, 160}, {80, 60}), {160, 160});
    e.setBackgroundColour({0x1234, 0x5678, 0x9ABC});
    place(e, kLayoutItemMovie, 80, 80);  // out from over the picture's middle
    const std::string picture = CorpusFile("pic.png");
    e.setBackgroundPicture(picture, {64, 48});
    place(e, kLayoutItemBackground, 8, 90);
    place(e, kLayoutItemMovie, 40, 29);

    AtomContainer settings;
    ASSERT_EQ(settings.writeU32(kAtomRoot, fourCC("flag"), 1, 1), noErr);
    ASSERT_EQ(e.writePresentation(&settings), noErr);
    EXPECT_EQ(u32(settings, kAtomRoot, "flag"), 1u);  // the rest of the settings stay
    const AtomRef pres = settings.findChild(kAtomRoot, fourCC("PRES"), 1);
    ASSERT_NE(pres, kAtomNone);
    EXPECT_EQ(bytesOf(settings, pres, "vers"), (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(bytesOf(settings, pres, "angl"), (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(u32(settings, pres, "size"), (160u << 16) | 128);  // the movie area
    EXPECT_EQ(u32(settings, pres, "layo"), (160u << 16) | 160);
    EXPECT_EQ(bytesOf(settings, pres, "cont"), (std::vector<uint8_t>{1}));
    const AtomRef back = settings.findChild(pres, fourCC("back"), 1);
    EXPECT_EQ(bytesOf(settings, back, "rgb "),
              (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    const AtomRef vid = settings.findChild(back, fourCC("vid "), 1);
    EXPECT_EQ(u32(settings, vid, "pos "), (40u << 16) | 14);  // below the 15-row strip
    EXPECT_EQ(u32(settings, vid, "size"), (80u << 16) | 60);
    const AtomRef imag = settings.findChild(back, fourCC("imag"), 1);
    EXPECT_EQ(u32(settings, imag, "pos "), (8u << 16) | 75);
    EXPECT_EQ(u32(settings, imag, "size"), (64u << 16) | 48);
    EXPECT_EQ(u32(settings, imag, "drft"), kAliasDataReferenceType);
    DataReference ref{kAliasDataReferenceType, bytesOf(settings, imag, "dref")};
    std::string path;
    ASSERT_EQ(ResolveAliasDataReference(ref, &path), noErr);
    EXPECT_EQ(path, picture);

    // Written again: still one PRES, holding the new state.
    e.setShowControls(false);
    ASSERT_EQ(e.writePresentation(&settings), noErr);
    EXPECT_EQ(settings.countChildren(kAtomRoot, fourCC("PRES")), 1);
    const AtomRef again = settings.findChild(kAtomRoot, fourCC("PRES"), 1);
    EXPECT_EQ(bytesOf(settings, again, "cont"), (std::vector<uint8_t>{0}));
    EXPECT_EQ(
        u32(settings,
            settings.findChild(settings.findChild(again, fourCC("back"), 1), fourCC("vid "), 1),
            "pos "),
        (40u << 16) | 29);

    // An unedited layout writes nothing.
    LayoutEditor fresh(kSizes);
    AtomContainer empty;
    ASSERT_EQ(fresh.writePresentation(&empty), noErr);
    EXPECT_EQ(empty.countChildren(kAtomRoot), 0);
}

TEST(LayoutPresentation, OddPositionsAndSizesAreLoweredToTheGrid) {
    // 480 x 320 turned a quarter: the movie's bottom edge gives x, its
    // left edge y; a 30-row strip in a layout this large, y even.
    LayoutEditor e = editorFor(device({480, 320}, {242, 181}, 90), {480, 320});
    place(e, kLayoutItemMovie, 51, 37);
    AtomContainer c;
    ASSERT_EQ(e.writePresentation(&c), noErr);
    const AtomRef pres = c.findChild(kAtomRoot, fourCC("PRES"), 1);
    EXPECT_EQ(u32(c, pres, "layo"), (320u << 16) | 480);
    EXPECT_EQ(u32(c, pres, "size"), (320u << 16) | 384);  // side strips turned to top and bottom
    const AtomRef vid = c.findChild(c.findChild(pres, fourCC("back"), 1), fourCC("vid "), 1);
    // Turned: x = 320 - 218 = 102 -> 100; y = 51 - 30 = 21 -> 20.
    EXPECT_EQ(u32(c, vid, "pos "), (100u << 16) | 20);
    // 181 x 242: width 1 above a multiple, height 2: 180 x 240.
    EXPECT_EQ(u32(c, vid, "size"), (180u << 16) | 240);
}

struct RoundTrip {
    const char* name;
    LayoutDevice device;
    LayoutSize layout;
    bool controls;
    int x, y;  // the movie's top-left
};

TEST(LayoutPresentation, WritingThenReadingGivesBackThePlacedLayout) {
    const RoundTrip cases[] = {
        {"small", device({160, 160}, {80, 60}), {160, 160}, true, 44, 31},
        {"large", device({320, 320}, {240, 180}), {320, 320}, true, 48, 64},
        {"no controls", device({320, 320}, {160, 120}), {320, 320}, false, 12, 8},
        {"clockwise", device({480, 320}, {240, 180}, 90), {480, 320}, true, 48, 40},
        {"counter-clockwise", device({480, 320}, {240, 180}, -90), {480, 320}, true, 56, 64},
        {"upright strips", device({480, 320}, {240, 180}, 90, true), {480, 320}, true, 120, 80},
        {"tall", device({320, 480}, {320, 240}), {320, 480}, true, 0, 100},
    };
    for (const RoundTrip& t : cases) {
        SCOPED_TRACE(t.name);
        LayoutEditor e = editorFor(t.device, t.layout);
        e.setShowControls(t.controls);
        place(e, kLayoutItemMovie, t.x, t.y);
        e.setBackgroundPicture(CorpusFile("pic.png"), {64, 48});
        e.setBackgroundColour({1, 2, 3});
        AtomContainer settings;
        ASSERT_EQ(e.writePresentation(&settings), noErr);

        LayoutEditor r(kSizes);
        r.setDevice(t.device);
        r.readPresentation(settings);
        EXPECT_TRUE(r.edited());
        EXPECT_EQ(r.layoutSize(), t.layout);
        EXPECT_EQ(r.showControls(), t.controls);
        EXPECT_EQ(r.backgroundColour(), (LayoutColour{1, 2, 3}));
        ASSERT_NE(r.item(kLayoutItemMovie), nullptr);
        EXPECT_EQ(r.item(kLayoutItemMovie)->rect, e.item(kLayoutItemMovie)->rect);
        ASSERT_NE(r.item(kLayoutItemBackground), nullptr);
        EXPECT_EQ(r.item(kLayoutItemBackground)->picturePath, CorpusFile("pic.png"));
        EXPECT_EQ(r.movieArea(), e.movieArea());
        // And written again, the same bytes.
        AtomContainer again;
        ASSERT_EQ(r.writePresentation(&again), noErr);
        EXPECT_EQ(again.flatten(), settings.flatten());
    }
}

TEST(LayoutPresentation, ReadingWithoutOrWithBrokenAtomsGivesADefault) {
    LayoutEditor e(kSizes);
    e.setDevice(device({320, 320}, {240, 180}));
    AtomContainer none;
    e.readPresentation(none);
    EXPECT_FALSE(e.edited());
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));
    EXPECT_TRUE(e.showControls());
    ASSERT_NE(e.item(kLayoutItemMovie), nullptr);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{40, 68, 280, 248}));

    // Sizes and positions out of all range, a short colour, a bad alias.
    AtomContainer bad;
    AtomRef pres = kAtomNone, back = kAtomNone, vid = kAtomNone, imag = kAtomNone;
    ASSERT_EQ(bad.insertChild(kAtomRoot, fourCC("PRES"), 1, {}, &pres), noErr);
    ASSERT_EQ(bad.writeU32(pres, fourCC("layo"), 1, 0x7FFF7FFF), noErr);
    ASSERT_EQ(bad.insertChild(pres, fourCC("back"), 1, {}, &back), noErr);
    ASSERT_EQ(bad.writeData(back, fourCC("rgb "), 1, std::vector<uint8_t>{1, 2}), noErr);
    ASSERT_EQ(bad.insertChild(back, fourCC("vid "), 1, {}, &vid), noErr);
    ASSERT_EQ(bad.writeU32(vid, fourCC("pos "), 1, 0x80008000), noErr);
    ASSERT_EQ(bad.writeU32(vid, fourCC("size"), 1, 0x7FFF0001), noErr);
    ASSERT_EQ(bad.insertChild(back, fourCC("imag"), 1, {}, &imag), noErr);
    ASSERT_EQ(bad.writeU32(imag, fourCC("pos "), 1, 0), noErr);
    ASSERT_EQ(bad.writeU32(imag, fourCC("size"), 1, 0xFFFF0010), noErr);
    e.readPresentation(bad);
    EXPECT_TRUE(e.edited());
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));  // the default, not 32767 wide
    EXPECT_EQ(e.backgroundColour(), LayoutColour{});
    EXPECT_EQ(e.item(kLayoutItemBackground), nullptr);  // a negative width
    ASSERT_NE(e.item(kLayoutItemMovie), nullptr);
    const LayoutRect m = e.item(kLayoutItemMovie)->rect;
    const LayoutRect a = e.movieArea();
    EXPECT_TRUE(m.left >= a.left && m.top >= a.top && m.right <= a.right && m.bottom <= a.bottom);
    EXPECT_GT(m.width(), 0);
    EXPECT_GT(m.height(), 0);
}

// A one-frame writer configured from the settings' PRES, finished and read back.
movie::MovieHeader writerConfiguration(const AtomContainer& settings) {
    MovieWriter* w = nullptr;
    EXPECT_EQ(MovieWriterCreate(&w), noErr);
    EXPECT_EQ(MovieWriterSetName(w, "layout"), noErr);
    EXPECT_EQ(layOutPresentation(w, &settings), noErr);
    EXPECT_EQ(MovieWriterSetFrameSize(w, 32, 24), noErr);
    EXPECT_EQ(MovieWriterSetVideoMode(w, kVideoModeGrey4), noErr);
    EXPECT_EQ(MovieWriterStart(w), noErr);
    std::vector<uint8_t> frame(32 * 24 * 4, 128);
    EXPECT_EQ(MovieWriterAddFrame(w, frame.data(), 32 * 4, 100, nullptr), noErr);
    EXPECT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(w, &size), noErr);
    std::vector<uint8_t> bytes(size);
    EXPECT_EQ(MovieWriterRead(w, bytes.data(), 0, size), noErr);
    MovieWriterDispose(w);
    movie::Movie m;
    std::string error;
    EXPECT_TRUE(movie::readMovie(std::move(bytes), m, error)) << error;
    for (const auto& v : m.violations) ADD_FAILURE() << v;
    return m.header;
}

TEST(LayoutPresentation, TheExportReadsWhatTheEditorPlaced) {
    LayoutEditor e = editorFor(device({480, 320}, {240, 180}, 90), {480, 320});
    place(e, kLayoutItemMovie, 48, 40);
    e.setBackgroundColour({0xFF00, 0x8000, 0x0000});
    AtomContainer settings;
    ASSERT_EQ(e.writePresentation(&settings), noErr);
    const movie::MovieHeader h = writerConfiguration(settings);
    // Turned a quarter: x 320 - 220, y 48 less the strip.
    ASSERT_TRUE(h.hasScreenRect);
    EXPECT_EQ(h.screenRect[0], 18);
    EXPECT_EQ(h.screenRect[1], 100);
    EXPECT_EQ(h.screenRect[2], 18 + 240);
    EXPECT_EQ(h.screenRect[3], 100 + 180);
    ASSERT_TRUE(h.fsSwitch.has_value());
    EXPECT_EQ(*h.fsSwitch, 0);  // controls shown
    ASSERT_TRUE(h.hasBackground);
    EXPECT_EQ(h.background[0], 0xFF);
    EXPECT_EQ(h.background[1], 0x80);
    EXPECT_EQ(h.background[2], 0x00);
    ASSERT_EQ(h.pictures.size(), 2u);  // stage and video
    EXPECT_EQ(h.pictures[1].values[0], 100u | (18u << 16));
    EXPECT_EQ(h.pictures[1].values[1], 180u | (240u << 16));

    // Read into another editor and written again: the same configuration.
    LayoutEditor r(kSizes);
    r.setDevice(e.device());
    r.readPresentation(settings);
    AtomContainer again;
    ASSERT_EQ(r.writePresentation(&again), noErr);
    const movie::MovieHeader h2 = writerConfiguration(again);
    EXPECT_TRUE(std::equal(h.screenRect, h.screenRect + 4, h2.screenRect));
    EXPECT_EQ(h.fsSwitch, h2.fsSwitch);
    EXPECT_TRUE(std::equal(h.background, h.background + 3, h2.background));
    ASSERT_EQ(h2.pictures.size(), h.pictures.size());
    for (size_t i = 0; i < h.pictures.size(); ++i)
        EXPECT_TRUE(
            std::equal(h.pictures[i].values, h.pictures[i].values + 4, h2.pictures[i].values));
}

TEST(LayoutPresentation, AnEditedLayoutConvertsIntoTheDatabase) {
    // A 320 x 320 layout with controls, the movie and a picture placed.
    LayoutEditor e = editorFor(device({320, 320}, {160, 120}), {320, 320});
    place(e, kLayoutItemMovie, 156, 160);
    e.setBackgroundPicture(CorpusFile("pic.png"), {64, 48});
    place(e, kLayoutItemBackground, 20, 40);

    ExportSettings s;
    s.depth = kDepthGrey16;
    s.frameRate = fixedFromInt(5);
    AtomContainer settings;
    ASSERT_EQ(getSettingsAsContainer(s, &settings), noErr);
    ASSERT_EQ(e.writePresentation(&settings), noErr);

    const std::string out = ScratchPath("layout.pdb");
    std::filesystem::remove(out);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("h264_aac.mp4"), &m), noErr);
    ComponentInstance exporter = nullptr;
    ASSERT_EQ(OpenMoviepackerExporter(&exporter), noErr);
    ASSERT_EQ(CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect, &settings),
              noErr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(out, &spec), noErr);
    const OSStatus status = ConvertMovieToFile(m, nullptr, spec, MakeOSType("PDB "),
                                               kMoviepackerCreator, exporter, nullptr, 0);
    CloseComponent(exporter);
    DisposeMovie(m);
    ASSERT_TRUE(status == noErr || status == kStatusExportedWithoutAudio) << status;

    movie::Movie db;
    std::string error;
    ASSERT_TRUE(movie::readMovie(ReadWholeFile(out), db, error)) << error;
    for (const auto& v : db.violations) ADD_FAILURE() << v;
    const movie::MovieHeader& h = db.header;
    // Positions below the 30-row strip of a large layout.
    ASSERT_TRUE(h.hasScreenRect);
    EXPECT_EQ(h.screenRect[0], 130);
    EXPECT_EQ(h.screenRect[1], 156);
    EXPECT_EQ(h.screenRect[2], 250);
    EXPECT_EQ(h.screenRect[3], 316);
    EXPECT_EQ(h.width, 160);
    EXPECT_EQ(h.height, 120);
    ASSERT_EQ(h.pictures.size(), 3u);  // stage, picture, video
    EXPECT_EQ(h.pictures[1].values[0], 20u | (10u << 16));
    EXPECT_EQ(h.pictures[1].values[1], 64u | (48u << 16));
    EXPECT_GT(h.pictures[1].pictureBytes, kPictureHeaderBytes);
    EXPECT_EQ(h.pictures[2].values[0], 156u | (130u << 16));
    EXPECT_EQ(h.pictures[2].values[1], 160u | (120u << 16));
    EXPECT_FALSE(db.frames.empty());
}

}  // namespace
