// The dialog manager over real widgets (offscreen): dialogs built from
// resources made here, refusals of damaged ones, and the item behaviours
// the program relies on (clicks reported but values left to the program,
// dimmed controls, menu meta-characters, user items, lists, close box).
#include <gtest/gtest.h>

#include "platform/dialogs.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes dlog(QDRect bounds, ResID items, const std::string& title = "Test") {
    DialogTemplate t;
    t.bounds = bounds;
    t.itemsID = items;
    t.title = title;
    t.visible = false;
    Bytes b;
    EXPECT_EQ(writeDialogTemplate(t, &b), noErr);
    return b;
}

Bytes ditl(std::vector<DialogItemTemplate> items) {
    Bytes b;
    EXPECT_EQ(writeDialogItemList(items, &b), noErr);
    return b;
}

Bytes cntl(int16_t proc, int16_t min, int16_t max, const std::string& title, QDRect r = {0, 0, 22, 200}) {
    ControlTemplate c;
    c.bounds = r;
    c.procID = proc;
    c.min = min;
    c.max = max;
    c.title = title;
    Bytes b;
    EXPECT_EQ(writeControlTemplate(c, &b), noErr);
    return b;
}

// Items: 1 OK, 2 Cancel, 3 check box, 4 popup (CNTL 300, MENU 300), 5 user
// item, 6 static text with ^0, 7 radio, 8 a control of custom definition 40.
ResourceFile sampleResources() {
    MenuTemplate m;
    m.menuID = 300;
    m.enableFlags = ~(1u << 3);  // item 3 disabled
    m.items = {{"Default"}, {"-"}, {"80 x 60"}, {"160 x 120"}};
    Bytes menu;
    EXPECT_EQ(writeMenuTemplate(m, &menu), noErr);
    std::vector<ResourceSpec> specs = {
        {kResTypeDialog, 200, "", 0, dlog({0, 0, 200, 300}, 200)},
        {kResTypeItemList, 200, "", 0,
         ditl({{kButtonItem, false, {160, 210, 182, 290}, "OK", 0},
               {kButtonItem, false, {160, 120, 182, 200}, "Cancel", 0},
               {kCheckBoxItem, false, {10, 10, 30, 200}, "Show movie controls", 0},
               {kControlItem, false, {40, 10, 62, 290}, "", 300},
               {kUserItem, false, {70, 10, 130, 110}, "", 0},
               {kStaticTextItem, true, {70, 120, 110, 290}, "Hello ^0!", 0},
               {kRadioButtonItem, false, {134, 10, 154, 150}, "One", 0},
               {kControlItem, false, {134, 160, 154, 200}, "", 301}})},
        {kResTypeControl, 300, "", 0, cntl(kControlProcPopup, 300, 80, "Movie Size:", {0, 0, 22, 280})},
        {kResTypeControl, 301, "", 0, cntl(40 * 16 + 3, 0, 1, "", {0, 0, 20, 40})},
        {kResTypeMenu, 300, "", 0, menu},
        // Damaged and incomplete dialogs.
        {kResTypeDialog, 201, "", 0, dlog({0, 0, 100, 100}, 999)},
        {kResTypeDialog, 202, "", 0, dlog({0, 0, 100, 100}, 202)},
        {kResTypeItemList, 202, "", 0, Bytes{0, 9, 0, 0}},
        {kResTypeDialog, 203, "", 0, dlog({0, 0, 100, 100}, 203)},
        {kResTypeItemList, 203, "", 0, ditl({{kButtonItem, false, {80, 50, 102, 120}, "OK", 0}})},
        {kResTypeDialog, 204, "", 0, dlog({0, 0, 100, 100}, 204)},
        {kResTypeItemList, 204, "", 0, ditl({{kControlItem, false, {0, 0, 20, 20}, "", 777}})},
        {kResTypeDialog, 205, "", 0, Bytes{0, 0, 0, 0}},
    };
    Bytes image;
    EXPECT_EQ(buildResourceImage(specs, &image), noErr);
    ResourceFile rf;
    EXPECT_EQ(ResourceFile::open(image, &rf), noErr);
    return rf;
}

const ResourceFile& resources() {
    static const ResourceFile rf = sampleResources();
    return rf;
}

int g_customClicks = 0;

DialogHolder sample() {
    static bool registered = false;
    if (!registered) {
        ControlDefinition def;
        def.draw = [](const ControlContext& c, DrawPort& port) {
            port.fillRect(c.bounds, c.value ? RGBColor16{0, 0, 0xFFFF} : RGBColor16{0xFFFF, 0, 0});
        };
        def.click = [](const ControlContext& c, int, int) {
            ++g_customClicks;
            setControlValue(c.dialog, c.item, 1 - c.value);
            return true;
        };
        EXPECT_EQ(registerControlDefinition(40, def), noErr);
        registered = true;
    }
    setParamText("world");
    DialogPtr raw = nullptr;
    std::string why;
    EXPECT_EQ(newDialog(resources(), 200, &raw, &why), noErr) << why;
    return DialogHolder(raw);
}

uint32_t pixelAt(DialogPtr d, int v, int h) {
    std::vector<uint32_t> px;
    int w = 0, hgt = 0;
    EXPECT_EQ(grabWindow(d, &px, &w, &hgt), noErr);
    return px.at(size_t(v) * size_t(w) + size_t(h));
}

struct ScriptGuard {
    ~ScriptGuard() { setModalScript({}); }
};

TEST(DialogResources, MissingOrDamagedOnesGiveAReasonAndNoDialog) {
    struct Case {
        ResID id;
        OSStatus status;
        const char* reason;
    };
    const Case cases[] = {
        {199, kStatusResourceNotFound, "DLOG 199 is missing"},
        {201, kStatusResourceNotFound, "DITL 999"},
        {202, kStatusBadResourceMap, "more than"},
        {203, kStatusBadResourceMap, "outside the 100 x 100 window"},
        {204, kStatusResourceNotFound, "CNTL 777"},
        {205, kStatusBadResourceMap, "shorter"},
    };
    for (const Case& c : cases) {
        DialogPtr d = reinterpret_cast<DialogPtr>(1);
        std::string why;
        EXPECT_EQ(newDialog(resources(), c.id, &d, &why), c.status) << c.id;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.id << ": " << why;
        EXPECT_EQ(d, reinterpret_cast<DialogPtr>(1)) << "no dialog is handed out";
    }
    DialogPtr d = nullptr;
    EXPECT_EQ(newAlertDialog(resources(), 200, &d), kStatusResourceNotFound);
}

TEST(DialogItems, KindsTextsAndParameterText) {
    DialogHolder d = sample();
    ASSERT_TRUE(d);
    EXPECT_EQ(countItems(d.get()), 8);
    uint8_t kind = 0;
    getItemKind(d.get(), 4, &kind);
    EXPECT_EQ(kind, kControlItem);
    EXPECT_EQ(controlProcID(d.get(), 4), kControlProcPopup);
    EXPECT_EQ(controlProcID(d.get(), 1), -1);
    std::string text;
    getItemText(d.get(), 6, &text);
    EXPECT_EQ(text, "Hello world!");
    getItemText(d.get(), 4, &text);
    EXPECT_EQ(text, "Movie Size:");
    EXPECT_EQ(getItemKind(d.get(), 9, &kind), kStatusParamError);
    EXPECT_EQ(getItemText(d.get(), 5, &text), kStatusParamError) << "a user item has no text";
    EXPECT_EQ(setControlValue(d.get(), 6, 1), kStatusParamError) << "static text is no control";
    // Carriage returns in texts break lines.
    setItemText(d.get(), 6, "one\rtwo");
    getItemText(d.get(), 6, &text);
    EXPECT_EQ(text, "one\ntwo");
}

TEST(DialogItems, ClicksAreReportedButValuesBelongToTheProgram) {
    ScriptGuard guard;
    DialogHolder d = sample();
    setModalScript({[](DialogPtr p) { simulateClick(p, 3); },
                    [](DialogPtr p) { simulateClick(p, 7); }});
    int hit = 0, value = -1;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 3);
    getControlValue(d.get(), 3, &value);
    EXPECT_EQ(value, 0) << "the check box waits for the program";
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 7);
    getControlValue(d.get(), 7, &value);
    EXPECT_EQ(value, 0);
    setControlValue(d.get(), 3, 5);
    getControlValue(d.get(), 3, &value);
    EXPECT_EQ(value, 1) << "clamped to the maximum";
}

TEST(DialogItems, DimmedControlsReportNothing) {
    ScriptGuard guard;
    DialogHolder d = sample();
    setDefaultItem(d.get(), 1);
    hiliteControl(d.get(), 1, 255);
    EXPECT_EQ(controlHilite(d.get(), 1), 255);
    setModalScript({[](DialogPtr p) { simulateClick(p, 1); },
                    [](DialogPtr p) { simulateKey(p, kKeyReturn); },
                    [](DialogPtr p) { simulateClick(p, 2); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 2) << "neither the click nor Return reached the dimmed default button";
    EXPECT_EQ(hiliteControl(d.get(), 1, 7), kStatusParamError);
}

TEST(DialogItems, CloseBoxIsTheCancelItem) {
    ScriptGuard guard;
    DialogHolder d = sample();
    setModalScript({[](DialogPtr p) { simulateClose(p); }});
    int hit = 0;
    EXPECT_EQ(modalDialog(d.get(), nullptr, &hit), kStatusEndOfData) << "no cancel item yet";
    setCancelItem(d.get(), 2);
    setModalScript({[](DialogPtr p) { simulateClose(p); }});
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 2);
    EXPECT_TRUE(isWindowVisible(d.get())) << "closing is the program's decision";
}

TEST(PopupMenus, MenuResourceMetaCharactersAndLiteralNames) {
    DialogHolder d = sample();
    ASSERT_EQ(countMenuItems(d.get(), 4), 4);
    EXPECT_TRUE(isMenuItemSeparator(d.get(), 4, 2));
    EXPECT_FALSE(isMenuItemEnabled(d.get(), 4, 3)) << "the MENU's enable flags";
    int value = 0, max = 0;
    getControlValue(d.get(), 4, &value);
    getControlMaximum(d.get(), 4, &max);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(max, 4);
    // Appending reads meta-characters; setting a text does not.
    appendMenuItem(d.get(), 4, "(Wide)");
    std::string text;
    getMenuItemText(d.get(), 4, 5, &text);
    EXPECT_EQ(text, "Wide)");
    EXPECT_FALSE(isMenuItemEnabled(d.get(), 4, 5));
    setMenuItemText(d.get(), 4, 5, "(Wide)");
    getMenuItemText(d.get(), 4, 5, &text);
    EXPECT_EQ(text, "(Wide)");
    EXPECT_TRUE(isMenuItemEnabled(d.get(), 4, 5));
    EXPECT_NE(simulatePopupChoice(d.get(), 4, 2), noErr) << "a separator cannot be chosen";
    EXPECT_NE(simulatePopupChoice(d.get(), 4, 3), noErr) << "nor a disabled item";
    // Deleting the chosen last item keeps the value inside the menu.
    setControlMaximum(d.get(), 4, 5);
    setControlValue(d.get(), 4, 5);
    deleteMenuItem(d.get(), 4, 5);
    getControlValue(d.get(), 4, &value);
    EXPECT_EQ(value, 4);
}

TEST(UserItems, DrawProcedurePaintsAndMouseIsFollowedInWindowCoordinates) {
    ScriptGuard guard;
    DialogHolder d = sample();
    showWindow(d.get());
    std::vector<std::pair<MouseAction, std::pair<int, int>>> seen;
    setUserItemDrawProc(d.get(), 5, [](DialogPtr, int, DrawPort& port) {
        port.fillRect({70, 10, 130, 110}, {0, 0x8000, 0});
        port.frameRect({70, 10, 130, 110}, {0, 0, 0}, 2);
    });
    setUserItemMouseProc(d.get(), 5, [&](DialogPtr, int, MouseAction a, int v, int h) {
        seen.push_back({a, {v, h}});
        return a == MouseAction::Up;
    });
    EXPECT_EQ(pixelAt(d.get(), 100, 60) & 0xFFFFFF, 0x008000u);
    EXPECT_EQ(pixelAt(d.get(), 70, 60) & 0xFFFFFF, 0x000000u) << "frame on the top edge";
    EXPECT_NE(pixelAt(d.get(), 66, 60) & 0xFFFFFF, 0x008000u) << "clipped to the item";
    setModalScript({[](DialogPtr p) { simulateDrag(p, 5, 80, 20, 120, 100); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 5);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front().first, MouseAction::Down);
    EXPECT_EQ(seen.front().second, std::make_pair(80, 20));
    EXPECT_EQ(seen.back().first, MouseAction::Up);
    EXPECT_EQ(seen.back().second, std::make_pair(120, 100));
    EXPECT_EQ(setUserItemDrawProc(d.get(), 3, nullptr), kStatusParamError);
}

TEST(CustomControls, RegisteredDefinitionDrawsAndDecidesOnClicks) {
    ScriptGuard guard;
    DialogHolder d = sample();
    showWindow(d.get());
    EXPECT_EQ(pixelAt(d.get(), 144, 180) & 0xFFFFFF, 0xFF0000u);
    g_customClicks = 0;
    setModalScript({[](DialogPtr p) { simulateClick(p, 8); }});
    int hit = 0, value = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 8);
    EXPECT_EQ(g_customClicks, 1);
    getControlValue(d.get(), 8, &value);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(pixelAt(d.get(), 144, 180) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(registerControlDefinition(63, {}), kStatusParamError) << "popups are built in";
}

TEST(Lists, RowsSelectionAndEditing) {
    ScriptGuard guard;
    DialogHolder d = sample();
    ASSERT_EQ(attachList(d.get(), 5, true), noErr);
    EXPECT_EQ(attachList(d.get(), 5, true), kStatusParamError) << "already a list";
    setListRows(d.get(), 5, {"Alpha", "Beta", "Gamma"});
    EXPECT_EQ(countListRows(d.get(), 5), 3);
    selectListRow(d.get(), 5, 1, true);
    selectListRow(d.get(), 5, 3, true);
    EXPECT_EQ(selectedListRows(d.get(), 5), (std::vector<int>{1, 3}));
    removeListRow(d.get(), 5, 1);
    setListRow(d.get(), 5, 1, "Beta 2");
    std::string row;
    getListRow(d.get(), 5, 1, &row);
    EXPECT_EQ(row, "Beta 2");
    EXPECT_EQ(selectedListRows(d.get(), 5), (std::vector<int>{2}));
    EXPECT_EQ(getListRow(d.get(), 5, 3, &row), kStatusParamError);
    // The user's click on a row is reported as a hit on the item.
    setModalScript({[](DialogPtr p) { simulateClickAt(p, 5, 74, 30); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 5);
}

}  // namespace
