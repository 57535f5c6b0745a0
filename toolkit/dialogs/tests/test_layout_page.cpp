// The main window's Layout page driven as the user drives it: mouse drags
// in the view, the size popups, the swatch, the picture buttons and Reset,
// checked against the model and against the pixels the window shows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/tests/support/corpus.h"
#include "profiles/profile.h"
#include "resources/resources.h"
#include "toolkit/dialog_toolkit.h"
#include "toolkit/layout_page.h"

namespace {

const ResourceFile& res() { return moviepackerResources(); }

struct Guard {
    ~Guard() {
        setModalScript({});
        setColourPickerHook({});
        setOpenFileHook({});
    }
};

// Dialog 1135 with only the Layout page's items (and the shared ones) shown.
DialogHolder openLayoutPage() {
    EXPECT_EQ(registerToolkitControls(), noErr);
    DialogPtr raw = nullptr;
    std::string why;
    EXPECT_EQ(newDialog(res(), 1135, &raw, &why), noErr) << why;
    DialogHolder d(raw);
    if (!d) return d;
    for (int i = 15; i <= 45; ++i) hideItem(d.get(), i);
    showWindow(d.get());
    return d;
}

ProfileRecord record(int sw, int sh, int vw, int vh) {
    ProfileRecord r;
    r.screenWidth = int16_t(sw);
    r.screenHeight = int16_t(sh);
    r.videoWidth = int16_t(vw);
    r.videoHeight = int16_t(vh);
    return r;
}

// The next item hit the window reports, as the main window's loop sees it.
int nextHit(DialogPtr d, ModalScriptStep step) {
    setModalScript({std::move(step)});
    int hit = 0;
    const OSStatus err = modalDialog(d, nullptr, &hit);
    setModalScript({});
    return err == noErr ? hit : err;
}

struct Grab {
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    explicit Grab(DialogPtr d) { EXPECT_EQ(grabWindow(d, &px, &w, &h), noErr); }
    uint32_t rgb(int v, int hh) const { return px.at(size_t(v) * size_t(w) + size_t(hh)) & 0xFFFFFF; }
};

// The window shows the model: every handle framed in black with a white
// inside, the movie outlined, the layout's background colour in the movie
// area where no item is.
void expectDrawnAsModel(DialogPtr d, const LayoutEditor& e, const char* state) {
    SCOPED_TRACE(state);
    saveScreenshot(d, std::string("layout-") + state);
    Grab g(d);
    for (const LayoutItem& i : e.items()) {
        // Handles of a small item overlap; the last drawn, bottom-right, is whole.
        const std::vector<LayoutRect> handles = e.handlesInView(i.rect);
        const LayoutRect v = e.toView(i.rect);
        const bool apart = v.width() >= 2 * kLayoutHandleSize && v.height() >= 2 * kLayoutHandleSize;
        for (size_t k = apart ? 0 : 3; k < handles.size(); ++k) {
            const LayoutRect& h = handles[k];
            EXPECT_EQ(g.rgb(h.top, h.left), 0x000000u) << k;
            EXPECT_EQ(g.rgb(h.bottom - 1, h.right - 1), 0x000000u) << k;
            EXPECT_EQ(g.rgb(h.top + 3, h.left + 3), 0xFFFFFFu) << k;
        }
    }
    if (const LayoutItem* m = e.item(kLayoutItemMovie)) {
        const LayoutRect v = e.toView(m->rect);
        EXPECT_EQ(g.rgb(v.top, (v.left + v.right) / 2), 0x000000u) << "movie outline";
    }
    // A pixel of the movie area not under an item shows the background colour.
    const LayoutRect a = e.movieArea();
    const LayoutColour c = e.backgroundColour();
    const uint32_t bg = uint32_t(c.red >> 8) << 16 | uint32_t(c.green >> 8) << 8 | (c.blue >> 8);
    for (int y = a.top; y < a.bottom; y += 4)
        for (int x = a.left; x < a.right; x += 4) {
            bool covered = false;
            for (const LayoutItem& i : e.items())
                covered = covered || LayoutRect{i.rect.left - 8, i.rect.top - 8, i.rect.right + 8,
                                                i.rect.bottom + 8}
                                         .contains(x, y);
            if (covered) continue;
            const LayoutRect v = e.toView({x, y, x + 1, y + 1});
            EXPECT_EQ(g.rgb(v.top, v.left), bg) << x << "," << y;
            return;
        }
}

TEST(LayoutPage, DragsResizesAndTurnsBetweenPortraitAndLandscape) {
    Guard guard;
    DialogHolder d = openLayoutPage();
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ProfileRecord r = record(480, 320, 240, 180);
    LayoutPage page;
    ASSERT_EQ(page.attach(w, res(), &r), noErr);
    const LayoutEditor& e = page.editor();

    // The default layout is the first listed size that holds the movie.
    EXPECT_EQ(countMenuItems(w, kLayoutSizePopupItem), 3);  // 320 x 320, 320 x 480, 480 x 320
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 30, 320, 286}));
    int value = 0;
    getControlValue(w, kLayoutSizePopupItem, &value);
    EXPECT_EQ(value, 1);
    getControlValue(w, kLayoutControlsItem, &value);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{40, 68, 280, 248}));
    expectDrawnAsModel(w, e, "initial");

    // Drag the movie by its middle: 10 view pixels are 20 layout pixels.
    const LayoutRect v = e.toView(e.item(kLayoutItemMovie)->rect);
    const int cv = (v.top + v.bottom) / 2, ch = (v.left + v.right) / 2;
    EXPECT_EQ(nextHit(w, [&](DialogPtr p) { simulateDrag(p, kLayoutViewItem, cv, ch, cv + 10, ch - 10); }),
              kLayoutViewItem);
    EXPECT_EQ(page.itemHit(kLayoutViewItem), kLayoutPageSettingsChanged);
    EXPECT_EQ(page.itemHit(kLayoutViewItem), kLayoutPageUnchanged) << "reported once";
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{20, 88, 260, 268}));
    EXPECT_TRUE(e.edited());
    EXPECT_EQ(r.layoutEdited, 1);
    expectDrawnAsModel(w, e, "moved");

    // The bottom-right handle dragged past the opposite corner: the movie
    // keeps its shape at the minimum size; the record takes the new size and
    // the movie-size popup says "Custom".
    const LayoutRect br = e.handlesInView(e.item(kLayoutItemMovie)->rect)[3];
    EXPECT_EQ(nextHit(w, [&](DialogPtr p) {
                  simulateDrag(p, kLayoutViewItem, br.top + 4, br.left + 4, v.top - 20, v.left - 10);
              }),
              kLayoutViewItem);
    EXPECT_EQ(page.itemHit(kLayoutViewItem), kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{20, 88, 60, 118}));
    EXPECT_EQ(r.videoWidth, 40);
    EXPECT_EQ(r.videoHeight, 30);
    std::string text;
    getControlValue(w, kLayoutVideoSizePopupItem, &value);
    getMenuItemText(w, kLayoutVideoSizePopupItem, value, &text);
    EXPECT_EQ(text, "Custom (40 x 30)");
    expectDrawnAsModel(w, e, "resized-to-minimum");

    // A press outside every item grabs nothing and reports nothing.
    setModalScript({[&](DialogPtr p) {
        simulateDrag(p, kLayoutViewItem, v.bottom - 2, v.right - 2, v.bottom - 30, v.right - 30);
    }});
    int hit = 0;
    EXPECT_EQ(modalDialog(w, nullptr, &hit), kStatusEndOfData);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{20, 88, 60, 118}));

    // Landscape through the layout-size popup: the strips move to the sides
    // (the wider one on the right for a positive angle) and the movie is
    // turned a quarter.
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulatePopupChoice(p, kLayoutSizePopupItem, 3); }),
              kLayoutSizePopupItem);
    EXPECT_EQ(page.itemHit(kLayoutSizePopupItem), kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(e.layoutSize(), (LayoutSize{480, 320}));
    EXPECT_EQ(r.angle, 90);
    EXPECT_EQ(e.device().angle, 90);
    EXPECT_EQ(e.movieArea(), (LayoutRect{45, 0, 429, 320}));
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect.left, 45) << "kept inside the movie area";
    expectDrawnAsModel(w, e, "landscape");

    // Back to portrait, 320 x 480: no turn, strips at the top and bottom.
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulatePopupChoice(p, kLayoutSizePopupItem, 2); }),
              kLayoutSizePopupItem);
    EXPECT_EQ(page.itemHit(kLayoutSizePopupItem), kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 480}));
    EXPECT_EQ(r.angle, 0);
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 45, 320, 429}));
    const LayoutRect m = e.item(kLayoutItemMovie)->rect;
    EXPECT_EQ(m.left % 4, 0) << "a portrait layout aligns the left edge";
    EXPECT_GE(m.top, 45);
    EXPECT_LE(m.bottom, 429);
    expectDrawnAsModel(w, e, "portrait");

    // While a conversion runs the view takes no drags.
    page.setRunning(true);
    const LayoutRect before = e.item(kLayoutItemMovie)->rect;
    const LayoutRect mv = e.toView(before);
    setModalScript({[&](DialogPtr p) {
        simulateDrag(p, kLayoutViewItem, mv.top + 2, (mv.left + mv.right) / 2, mv.top + 40,
                     (mv.left + mv.right) / 2);
    }});
    EXPECT_EQ(modalDialog(w, nullptr, &hit), kStatusEndOfData);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, before);
}

TEST(LayoutPage, ASquareFullScreenMovieCannotBeEdited) {
    Guard guard;
    DialogHolder d = openLayoutPage();
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ProfileRecord r = record(320, 320, 320, 320);
    r.showControls = 1;
    LayoutPage page;
    ASSERT_EQ(page.attach(w, res(), &r), noErr);
    const LayoutEditor& e = page.editor();
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));
    EXPECT_FALSE(e.showControls());
    EXPECT_EQ(r.showControls, 0);
    int value = -1;
    getControlValue(w, kLayoutControlsItem, &value);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 0, 320, 320}));
    const LayoutRect movie = e.item(kLayoutItemMovie)->rect;
    EXPECT_EQ(movie, (LayoutRect{0, 0, 320, 320}));
    std::string text;
    getControlValue(w, kLayoutVideoSizePopupItem, &value);
    getMenuItemText(w, kLayoutVideoSizePopupItem, value, &text);
    EXPECT_EQ(text, "Full 320 x 320");

    int picked = 0;
    setColourPickerHook([&](std::string_view, RGBColor16* c) {
        ++picked;
        *c = {0, 0, 0};
        return noErr;
    });
    // Neither a drag in the view nor a click on the swatch is reported.
    setModalScript({[](DialogPtr p) { simulateDrag(p, kLayoutViewItem, 240, 104, 200, 60); },
                    [](DialogPtr p) { simulateClick(p, kLayoutSwatchItem); }});
    int hit = 0;
    EXPECT_EQ(modalDialog(w, nullptr, &hit), kStatusEndOfData);
    EXPECT_EQ(page.itemHit(kLayoutSwatchItem), kLayoutPageUnchanged);
    EXPECT_EQ(picked, 0);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, movie);
    EXPECT_EQ(e.backgroundColour(), LayoutColour{});
    EXPECT_FALSE(e.edited());
    saveScreenshot(w, "layout-square-full-screen");
    // No handles are drawn: the view's top-left corner is the movie frame.
    Grab g(w);
    const LayoutRect h = e.handlesInView(movie)[0];
    EXPECT_NE(g.rgb(h.top + 3, h.left + 3), 0xFFFFFFu);

    // Leaving the square size turns the controls on and places the movie anew.
    const int items = countMenuItems(w, kLayoutVideoSizePopupItem);
    int item320x240 = 0;
    for (int i = 1; i <= items; ++i) {
        getMenuItemText(w, kLayoutVideoSizePopupItem, i, &text);
        if (text == "320 x 240") item320x240 = i;
    }
    ASSERT_GT(item320x240, 0);
    EXPECT_EQ(nextHit(w, [&](DialogPtr p) {
                  simulatePopupChoice(p, kLayoutVideoSizePopupItem, item320x240);
              }),
              kLayoutVideoSizePopupItem);
    EXPECT_EQ(page.itemHit(kLayoutVideoSizePopupItem),
              kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(r.videoWidth, 320);
    EXPECT_EQ(r.videoHeight, 240);
    EXPECT_TRUE(e.showControls());
    getControlValue(w, kLayoutControlsItem, &value);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 30, 320, 286}));
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{0, 38, 320, 278}));
    EXPECT_TRUE(e.editable());
    expectDrawnAsModel(w, e, "square-left");

    // "Default" is the automatic size, 0xFFFF each; the movie stays put.
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulatePopupChoice(p, kLayoutVideoSizePopupItem, 1); }),
              kLayoutVideoSizePopupItem);
    EXPECT_EQ(page.itemHit(kLayoutVideoSizePopupItem),
              kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(uint16_t(r.videoWidth), 0xFFFF);
    EXPECT_EQ(uint16_t(r.videoHeight), 0xFFFF);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{0, 38, 320, 278}));
    getMenuItemText(w, kLayoutVideoSizePopupItem, 1, &text);
    EXPECT_EQ(text, "Default");
}

// A square movie filling a stored square layout keeps filling it when the
// layout grows to the screen's size.
TEST(LayoutPage, ASquareMovieFollowsTheSquareLayout) {
    Guard guard;
    DialogHolder d = openLayoutPage();
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ProfileRecord r = record(320, 320, 160, 160);
    {
        LayoutEditor stored({"160 x 160", "240 x 240", "320 x 320"});
        stored.setDevice({{320, 320}, false, 0, {160, 160}, true});
        stored.setLayoutSize({160, 160});
        stored.resetItems();
        AtomContainer c;
        ASSERT_EQ(stored.writePresentation(&c), noErr);
        r.presentation = c;
    }
    LayoutPage page;
    ASSERT_EQ(page.attach(w, res(), &r), noErr);
    const LayoutEditor& e = page.editor();
    ASSERT_EQ(e.layoutSize(), (LayoutSize{160, 160}));
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{0, 0, 160, 160}));
    ASSERT_EQ(countMenuItems(w, kLayoutSizePopupItem), 1);  // the screen's own size
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulatePopupChoice(p, kLayoutSizePopupItem, 1); }),
              kLayoutSizePopupItem);
    EXPECT_EQ(page.itemHit(kLayoutSizePopupItem), kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
    EXPECT_EQ(e.layoutSize(), (LayoutSize{320, 320}));
    EXPECT_EQ(r.videoWidth, 320);
    EXPECT_EQ(r.videoHeight, 320);
    EXPECT_EQ(e.item(kLayoutItemMovie)->rect, (LayoutRect{0, 0, 320, 320}));
    std::string text;
    int value = 0;
    getControlValue(w, kLayoutVideoSizePopupItem, &value);
    getMenuItemText(w, kLayoutVideoSizePopupItem, value, &text);
    EXPECT_EQ(text, "Full 320 x 320");
}

TEST(LayoutPage, ColourPicturesResetAndThePresentationOfTheRecord) {
    Guard guard;
    DialogHolder d = openLayoutPage();
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ProfileRecord r = record(160, 160, 80, 60);
    LayoutPage page;
    ASSERT_EQ(page.attach(w, res(), &r), noErr);
    const LayoutEditor& e = page.editor();
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 15, 160, 143}));
    EXPECT_EQ(countMenuItems(w, kLayoutSizePopupItem), 1);

    // The swatch runs the picker from the current colour; its answer is taken.
    std::string title;
    RGBColor16 offered;
    setColourPickerHook([&](std::string_view t, RGBColor16* c) {
        title = t;
        offered = *c;
        *c = {0xFFFF, 0x8000, 0};
        return noErr;
    });
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulateClick(p, kLayoutSwatchItem); }),
              kLayoutSwatchItem);
    EXPECT_EQ(page.itemHit(kLayoutSwatchItem), kLayoutPageSettingsChanged);
    EXPECT_EQ(title, "Select Background Color");
    EXPECT_EQ(offered, (RGBColor16{0xFFFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(e.backgroundColour(), (LayoutColour{0xFFFF, 0x8000, 0}));
    EXPECT_EQ(r.background, (std::array<uint16_t, 3>{0xFFFF, 0x8000, 0}));
    // Cancelled: nothing changes.
    setColourPickerHook([](std::string_view, RGBColor16* c) {
        *c = {1, 2, 3};
        return kStatusUserCancelled;
    });
    EXPECT_EQ(page.itemHit(kLayoutSwatchItem), kLayoutPageUnchanged);
    EXPECT_EQ(e.backgroundColour(), (LayoutColour{0xFFFF, 0x8000, 0}));
    Grab swatch(w);
    EXPECT_EQ(swatch.rgb(236, 220), 0xFF8000u);

    // "Choose Background Image…": the filters list the importers' types,
    // then every file; a picture is taken at its size, anything else refused.
    std::vector<OpenFileFilter> filters;
    std::string chosen = CorpusFile("pic.png");
    setOpenFileHook([&](std::string_view, const std::vector<OpenFileFilter>& f, bool multiple,
                        std::vector<std::string>* paths) {
        filters = f;
        EXPECT_FALSE(multiple);
        paths->push_back(chosen);
        return noErr;
    });
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulateClick(p, kLayoutChooseImageItem); }),
              kLayoutChooseImageItem);
    EXPECT_EQ(page.itemHit(kLayoutChooseImageItem), kLayoutPageSettingsChanged);
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].name, "Image Files");
    EXPECT_NE(filters[0].patterns.find("*.PNG;"), std::string::npos);
    EXPECT_EQ(filters[1].name, "All Files");
    EXPECT_EQ(filters[1].patterns, "*.*");
    ASSERT_NE(e.item(kLayoutItemBackground), nullptr);
    EXPECT_EQ(e.item(kLayoutItemBackground)->rect.width(), 64);
    EXPECT_EQ(e.item(kLayoutItemBackground)->picturePath, chosen);
    const int beeps = beepCount();
    chosen = CorpusFile("tone.wav");
    EXPECT_EQ(page.itemHit(kLayoutChooseImageItem), kLayoutPageUnchanged);
    EXPECT_EQ(beepCount(), beeps + 1);
    EXPECT_EQ(e.item(kLayoutItemBackground)->picturePath, CorpusFile("pic.png"));
    // Dropped: folders and missing files are not pictures.
    EXPECT_EQ(page.dropPicture(std::filesystem::path(chosen).parent_path().string()),
              kStatusFileNotFound);
    EXPECT_EQ(page.dropPicture(ScratchPath("missing.png")), kStatusFileNotFound);
    EXPECT_EQ(page.dropPicture(CorpusFile("pic.jpg")), noErr);
    EXPECT_EQ(e.item(kLayoutItemBackground)->picturePath, CorpusFile("pic.jpg"));

    // The movie item shows a frame of the first file: the pattern's left
    // half is red, its right half is not.
    page.setFirstFile(CorpusFile("h264_aac.mp4"));
    expectDrawnAsModel(w, e, "picture-and-movie");
    {
        Grab g(w);
        const LayoutRect mv = e.toView(e.item(kLayoutItemMovie)->rect);
        const int row = mv.top + mv.height() / 4;
        EXPECT_GT(g.rgb(row, mv.left + mv.width() / 4) >> 16, 200u);
        EXPECT_LT(g.rgb(row, mv.right - mv.width() / 4) >> 16, 60u);
    }

    // Controls off: the movie area is the whole layout.
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulateClick(p, kLayoutControlsItem); }),
              kLayoutControlsItem);
    EXPECT_EQ(page.itemHit(kLayoutControlsItem), kLayoutPageSettingsChanged);
    EXPECT_EQ(e.movieArea(), (LayoutRect{0, 0, 160, 160}));
    EXPECT_EQ(r.showControls, 0);

    // The layout goes into the record's presentation and comes back from a
    // profile container made of the record.
    ASSERT_EQ(page.storeIntoRecord(), noErr);
    ASSERT_TRUE(r.presentation.has_value());
    AtomContainer profile;
    ASSERT_EQ(profileFromRecord(r, "Mine", &profile), noErr);
    ProfileRecord back;
    profileToRecord(profile, res(), &back);
    // (This page outlives its dialog: its procedures must not reach it.)
    LayoutPage again;
    DialogHolder d2 = openLayoutPage();
    ASSERT_EQ(again.attach(d2.get(), res(), &back), noErr);
    const LayoutEditor& e2 = again.editor();
    EXPECT_TRUE(e2.edited());
    EXPECT_EQ(e2.backgroundColour(), e.backgroundColour());
    EXPECT_FALSE(e2.showControls());
    ASSERT_EQ(e2.items().size(), e.items().size());
    for (size_t i = 0; i < e.items().size(); ++i) {
        EXPECT_EQ(e2.items()[i].kind, e.items()[i].kind);
        EXPECT_EQ(e2.items()[i].rect.left, e.items()[i].rect.left / 4 * 4);
        EXPECT_EQ(e2.items()[i].rect.top, e.items()[i].rect.top);
    }
    EXPECT_EQ(e2.item(kLayoutItemBackground)->picturePath, CorpusFile("pic.jpg"));

    // Clear, then Reset: the default layout with the movie centred.
    EXPECT_EQ(page.itemHit(kLayoutClearImageItem), kLayoutPageSettingsChanged);
    EXPECT_EQ(e.item(kLayoutItemBackground), nullptr);
    EXPECT_EQ(page.itemHit(kLayoutClearImageItem), kLayoutPageUnchanged);
    page.dropPicture(CorpusFile("pic.png"));
    EXPECT_EQ(nextHit(w, [](DialogPtr p) { simulateClick(p, kLayoutResetItem); }), kLayoutResetItem);
    EXPECT_EQ(page.itemHit(kLayoutResetItem), kLayoutPageSettingsChanged);
    EXPECT_EQ(e.item(kLayoutItemBackground), nullptr);
    EXPECT_EQ(e.items().size(), 1u);
    const LayoutRect m = e.item(kLayoutItemMovie)->rect;
    EXPECT_EQ(m.width(), 80);
    EXPECT_EQ(m.height(), 60);
    expectDrawnAsModel(w, e, "reset");
}

// The command line's output without blanks and line breaks.
std::string runCli(const std::string& args, int* status) {
    CommandOutput r =
        CaptureCommand(std::string("'") + MOVIEPACKER_CLI + "' " + args + " 2>/dev/null");
    *status = r.status;
    std::erase_if(r.out, [](char c) { return c == ' ' || c == '\n'; });
    return r.out;
}

// Placed with the mouse, kept in the record, saved as a profile and
// converted from the command line: the database holds what was placed.
TEST(LayoutPage, WhatIsPlacedReachesTheConvertedDatabase) {
    Guard guard;
    DialogHolder d = openLayoutPage();
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ProfileRecord r = record(320, 320, 160, 120);
    r.frameRate = 5 << 16;
    LayoutPage page;
    ASSERT_EQ(page.attach(w, res(), &r), noErr);
    const LayoutEditor& e = page.editor();
    ASSERT_EQ(e.layoutSize(), (LayoutSize{320, 320}));

    // The movie dragged 20 view pixels left and 34 down (twice that in the layout).
    LayoutRect v = e.toView(e.item(kLayoutItemMovie)->rect);
    int cv = (v.top + v.bottom) / 2, ch = (v.left + v.right) / 2;
    ASSERT_EQ(nextHit(w, [&](DialogPtr p) { simulateDrag(p, kLayoutViewItem, cv, ch, cv + 34, ch - 20); }),
              kLayoutViewItem);
    page.itemHit(kLayoutViewItem);
    // A picture dropped (centred, above the movie now), then dragged up and left.
    ASSERT_EQ(page.dropPicture(CorpusFile("pic.png")), noErr);
    v = e.toView(e.item(kLayoutItemBackground)->rect);
    cv = (v.top + v.bottom) / 2;
    ch = (v.left + v.right) / 2;
    ASSERT_EQ(nextHit(w, [&](DialogPtr p) { simulateDrag(p, kLayoutViewItem, cv, ch, cv - 45, ch - 60); }),
              kLayoutViewItem);
    page.itemHit(kLayoutViewItem);
    saveScreenshot(w, "layout-placed-for-conversion");
    const LayoutRect movie = e.item(kLayoutItemMovie)->rect;
    const LayoutRect picture = e.item(kLayoutItemBackground)->rect;
    ASSERT_EQ(movie, (LayoutRect{40, 166, 200, 286}));
    ASSERT_EQ(picture, (LayoutRect{8, 44, 72, 92}));

    ASSERT_EQ(page.storeIntoRecord(), noErr);
    AtomContainer profile;
    ASSERT_EQ(profileFromRecord(r, "Placed", &profile), noErr);
    const std::string dir = ScratchPath("placed");
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> bytes = profile.flatten();
    std::ofstream(dir + "/settings.atoms", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const std::string clip = dir + "/clip.mp4", out = dir + "/out.pdb";
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x72:rate=10:duration=1 "
                         "-c:v libx264 -pix_fmt yuv420p '" + clip + "'"),
              0);
    int status = -1;
    runCli("convert --settings '" + dir + "/settings.atoms' -o '" + out + "' '" + clip + "'", &status);
    ASSERT_EQ(status, 0);
    const std::string json = runCli("inspect --json '" + out + "'", &status);
    EXPECT_EQ(status, 0) << json;
    // Positions less the 30-row strip of a large layout.
    EXPECT_NE(json.find("\"screenRect\":[136,40,256,200]"), std::string::npos) << json;
    EXPECT_NE(json.find("\"width\":160,\"height\":120"), std::string::npos) << json;
    EXPECT_NE(json.find("\"fullScreen\":0"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"values\":[" + std::to_string(8 | (14 << 16)) + "," +
                        std::to_string(64 | (48 << 16)) + ","),
              std::string::npos)
        << "the picture: " << json;
    EXPECT_NE(json.find("{\"values\":[" + std::to_string(40 | (136 << 16)) + "," +
                        std::to_string(160 | (120 << 16)) + ","),
              std::string::npos)
        << "the movie: " << json;
    EXPECT_NE(json.find("\"violations\":[]"), std::string::npos) << json;
}

}  // namespace
