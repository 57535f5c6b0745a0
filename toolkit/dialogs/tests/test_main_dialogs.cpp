// The main window, the preset dialogs, the run's alert and the start-up
// windows, opened from the program's resources: item numbers carry the
// texts the program relies on, and each page and dialog is driven once.
#include <gtest/gtest.h>

#include "resources/resources.h"
#include "toolkit/dialog_toolkit.h"
#include "toolkit/tab_control.h"

namespace {

const ResourceFile& res() { return moviepackerResources(); }

DialogHolder open(ResID id) {
    EXPECT_EQ(registerToolkitControls(), noErr);
    DialogPtr raw = nullptr;
    std::string why;
    EXPECT_EQ(newDialog(res(), id, &raw, &why), noErr) << why;
    return DialogHolder(raw);
}

std::string text(DialogPtr d, int item) {
    std::string t;
    EXPECT_EQ(getItemText(d, item, &t), noErr) << item;
    return t;
}

struct ScriptGuard {
    ~ScriptGuard() { setModalScript({}); }
};

// Shows one page of the main window: its items and the shared ones.
void showPage(DialogPtr d, int page) {
    const int first[] = {15, 23, 46}, last[] = {22, 45, 61};
    for (int p = 0; p < 3; ++p)
        for (int i = first[p]; i <= last[p]; ++i) {
            if (p == page) showItem(d, i);
            else hideItem(d, i);
        }
    // Run-only items stay hidden outside a run.
    for (int i : {18, 20, 21, 22}) hideItem(d, i);
}

TEST(MainWindow, ItemsCarryTheirTextsAndPagesShowLegibly) {
    ScriptGuard guard;
    DialogHolder d = open(1135);
    ASSERT_TRUE(d);
    DialogPtr w = d.get();
    ASSERT_EQ(countItems(w), 61);
    const std::pair<int, const char*> texts[] = {
        {1, "Convert Files"}, {2, "Quit"}, {3, "About…"}, {6, "Encoding:"},
        {8, "Export location:"}, {11, "Folder:"}, {16, "Add Files…"}, {17, "Remove Files…"},
        {18, "Cancel Conversion"}, {19, "Remove All"}, {20, "Cancel All"},
        {24, "Save As Preset…"}, {25, "Edit Presets…"}, {47, "Choose Background Image…"},
        {48, "Clear Background Image"}, {54, "Show movie controls"}, {61, "Reset to Default Layout"}};
    for (const auto& [item, t] : texts) EXPECT_EQ(text(w, item), t) << item;
    uint8_t kind = 0;
    for (int item : {13, 14, 15, 23, 46, 49, 53}) {
        getItemKind(w, item, &kind);
        EXPECT_EQ(kind, kUserItem) << item;
    }
    for (int item : {7, 9, 10, 26, 27, 28, 32, 33, 34, 35, 36, 59, 60})
        EXPECT_EQ(controlProcID(w, item), kControlProcPopup) << item;
    for (int item : {44, 45, 57, 58}) EXPECT_EQ(controlProcID(w, item), 144) << item;
    EXPECT_EQ(text(w, 6), [] {
        std::string s;
        getIndStringUtf8(res(), 246, 8, &s);
        return s;
    }()) << "the label and its list agree";

    // Fill the popups as the window does and put the tabs in place.
    fillPopupFromList(w, 9, res(), 136);
    fillPopupFromList(w, 26, res(), 515);
    fillPopupFromList(w, 27, res(), 517);
    fillPopupFromList(w, 28, res(), 518);
    fillPopupFromList(w, 33, res(), 143);
    fillPopupFromList(w, 35, res(), 146);
    fillPopupFromList(w, 36, res(), 147);
    fillPopupFromList(w, 59, res(), 170);
    fillPopupFromList(w, 60, res(), 516);
    appendNameToPopup(w, 7, "Custom");
    appendNameToPopup(w, 7, "Palm");
    setControlValue(w, 7, 2);
    appendNameToPopup(w, 10, "Tungsten T3 (Wide)");
    setControlValue(w, 10, 1);
    setItemText(w, 12, "/home/ada/Movies/Converted");
    selectSize(w, 60, 320, 240);
    setControlValue(w, 26, 3);
    setControlValue(w, 27, 17);
    ASSERT_EQ(registerTabControl(), noErr);
    ComponentInstance tabs = nullptr;
    ASSERT_EQ(openTabControl(w, 14, 3, &tabs), noErr);
    for (int t = 1; t <= 3; ++t) {
        std::string caption;
        ASSERT_EQ(getIndString(res(), 220, t, &caption), noErr);
        ASSERT_EQ(setTabCaption(tabs, t, caption), noErr);
    }
    setDefaultItem(w, 1);
    setCancelItem(w, 2);
    showWindow(w);
    const char* pages[] = {"files-page", "audio-video-page", "layout-page"};
    for (int p = 0; p < 3; ++p) {
        showPage(w, p);
        selectTab(tabs, p + 1);
        saveScreenshot(w, pages[p]);
    }
    // The user picks a tab; Return converts and Escape quits.
    setModalScript({[](DialogPtr p) { simulateTabChoice(p, 14, 1); },
                    [](DialogPtr p) { simulateKey(p, kKeyEscape); }});
    int hit = 0, value = 0;
    ASSERT_EQ(modalDialog(w, nullptr, &hit), noErr);
    EXPECT_EQ(hit, 14);
    getControlValue(w, 14, &value);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(modalDialog(w, nullptr, &hit), noErr);
    EXPECT_EQ(hit, 2);

    // During a run: the Audio & Video and Layout tabs are disabled and the
    // run's buttons replace the list buttons.
    showPage(w, 0);
    selectTab(tabs, 1);
    enableTab(tabs, 2, false);
    enableTab(tabs, 3, false);
    hideItem(w, 17);
    hideItem(w, 19);
    for (int i : {18, 20, 21, 22}) showItem(w, i);
    hiliteControl(w, 1, 255);
    hiliteControl(w, 16, 255);
    setItemText(w, 21, "Converting holiday.mp4");
    setItemText(w, 22, "2 of 5");
    saveScreenshot(w, "files-page-during-run");
    CloseComponent(tabs);
}

TEST(PresetDialogs, SaveAndRenameTakeANameAndEditListsPresets) {
    ScriptGuard guard;
    {
        DialogHolder d = open(1154);
        EXPECT_EQ(text(d.get(), 1), "Save");
        EXPECT_EQ(text(d.get(), 2), "Cancel");
        EXPECT_EQ(text(d.get(), 4), "Save Preset As:");
        setDefaultItem(d.get(), 1);
        setCancelItem(d.get(), 2);
        setItemText(d.get(), 3, "Copy of Zire 71");
        selectItemText(d.get(), 3, 0, 32767);
        setModalScript({[](DialogPtr p) { simulateTyping(p, "Evening"); },
                        [](DialogPtr p) {
                            saveScreenshot(p, "name-typed");
                            simulateKey(p, kKeyReturn);
                        }});
        int hit = 0;
        ASSERT_EQ(runModalUntil(d.get(), {1, 2}, nullptr, nullptr, &hit), noErr);
        EXPECT_EQ(hit, 1);
        EXPECT_EQ(text(d.get(), 3), "Evening");
    }
    {
        DialogHolder d = open(1152);
        EXPECT_EQ(text(d.get(), 4), "New Preset Name:");
        EXPECT_EQ(text(d.get(), 5), "Current Preset Name:");
        setItemText(d.get(), 6, "PEG-NX60/70V/73V/80V (Wide - CCW)");
        setItemText(d.get(), 3, "Evening (wide)");
        saveScreenshot(d.get(), "renaming");
    }
    {
        DialogHolder d = open(1156);
        EXPECT_EQ(text(d.get(), 1), "Done");
        EXPECT_EQ(text(d.get(), 2), "Rename…");
        EXPECT_EQ(text(d.get(), 3), "Delete…");
        EXPECT_EQ(text(d.get(), 4), "Current Presets");
        ASSERT_EQ(attachList(d.get(), 5, true), noErr);
        setListRows(d.get(), 5, {"Evening", "Morning (Zire 71)", "Night"});
        selectListRow(d.get(), 5, 2, true);
        saveScreenshot(d.get(), "three-presets");
        setModalScript({[](DialogPtr p) { simulateClick(p, 3); }});
        int hit = 0;
        ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
        EXPECT_EQ(hit, 3);
        EXPECT_EQ(selectedListRows(d.get(), 5), std::vector<int>{2});
    }
}

TEST(RunAlert, CancelConversionsAsksWithTheRunsQuestion) {
    ScriptGuard guard;
    std::string question;
    ASSERT_EQ(getIndStringUtf8(res(), 133, 2, &question), noErr);
    setParamText(question);
    setModalScript({[](DialogPtr p) {
        std::string t;
        getItemText(p, 1, &t);
        EXPECT_EQ(t, "Continue");
        getItemText(p, 2, &t);
        EXPECT_EQ(t, "Cancel Conversions");
        getItemText(p, 4, &t);
        EXPECT_EQ(t, "Not all the files have been converted.\n\nAre you sure you want to cancel the conversion?");
        saveScreenshot(p, "cancel-conversions");
        simulateClick(p, 2);
    }});
    int hit = 0;
    std::string why;
    ASSERT_EQ(runAlert(res(), 150, nullptr, &hit, &why), noErr) << why;
    EXPECT_EQ(hit, 2);
}

TEST(StartUpWindows, SplashAndAboutOpen) {
    DialogHolder splash = open(140);
    ASSERT_TRUE(splash);
    EXPECT_EQ(keepProgramCursor(splash.get()), noErr);
    showWindow(splash.get());
    saveScreenshot(splash.get(), "splash");
    DialogHolder about = open(128);
    ASSERT_TRUE(about);
    showWindow(about.get());
    saveScreenshot(about.get(), "about");
    std::string exporter;
    ASSERT_EQ(getIndStringUtf8(res(), 135, 4, &exporter), noErr);
    EXPECT_EQ(exporter.rfind("This application requires the QuickTime Authoring Component.", 0), 0u);
}

TEST(LayoutResources, SizeListsAndStripPicturesAreTheEditorsOwn) {
    // The movie-size popup's entries parse to the sizes the editor filters.
    std::vector<std::string> sizes;
    std::span<const uint8_t> data;
    ASSERT_EQ(res().get(kResTypeStringList, 516, &data), noErr);
    ASSERT_EQ(parseStringList(data, &sizes), noErr);
    ASSERT_EQ(sizes.size(), 12u);
    int w = 0, h = 0;
    parseSizeText(sizes[7], &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(440, 280));
    parseSizeText(sizes[11], &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(320, 320));
    // The strips have the sizes the editor centres them by.
    const std::pair<int, int> strips[] = {{160, 15}, {160, 17}, {107, 15}, {107, 17},
                                          {15, 107}, {15, 107}, {17, 107}, {17, 107}};
    for (int id = 1; id <= 8; ++id) {
        ASSERT_EQ(res().get(fourCC("WIDG"), ResID(id), &data), noErr) << id;
        PictureInfo info;
        ASSERT_EQ(parsePictureInfo(data, &info), noErr) << id;
        EXPECT_EQ(std::make_pair(info.width, info.height), strips[id - 1]) << id;
    }
    std::string name;
    ASSERT_EQ(res().name(fourCC("WIDG"), 6, &name), noErr);
    EXPECT_EQ(name, "Top Narrow Margin CCW");
    ASSERT_EQ(res().name(kResTypePicture, 2003, &name), noErr);
    EXPECT_EQ(name, "movie proxy");
}

}  // namespace
