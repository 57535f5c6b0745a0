// The destinations' dialogs, opened from the program's resources and driven
// by item number as a user would: typing, popups, Return and Escape.
#include <gtest/gtest.h>

#include "resources/resources.h"
#include "toolkit/dialog_toolkit.h"

namespace {

DialogHolder open(ResID id) {
    DialogPtr raw = nullptr;
    std::string why;
    EXPECT_EQ(newDialog(moviepackerResources(), id, &raw, &why), noErr) << why;
    return DialogHolder(raw);
}

struct ScriptGuard {
    ~ScriptGuard() { setModalScript({}); }
};

TEST(OutputNameDialog, TypedNameIsReadBackAndReturnMeansOk) {
    ScriptGuard guard;
    DialogHolder d = open(158);
    ASSERT_TRUE(d);
    EXPECT_EQ(countItems(d.get()), 4);
    EXPECT_EQ(windowTitle(d.get()), "Name of Movie");
    std::string label;
    ASSERT_EQ(getItemText(d.get(), 4, &label), noErr);
    EXPECT_EQ(label, "Name:");
    setDefaultItem(d.get(), 1);
    setCancelItem(d.get(), 2);
    setItemText(d.get(), 3, "my movie.final");
    selectItemText(d.get(), 3, 0, 32767);
    saveScreenshot(d.get(), "proposed-name");

    // Typing replaces the selection; every keystroke reports the edit item.
    setModalScript({
        [](DialogPtr p) { simulateTyping(p, "Holiday"); },
        [](DialogPtr p) { saveScreenshot(p, "name-typed"); simulateKey(p, kKeyReturn); },
    });
    std::vector<int> seen;
    int hit = 0;
    ASSERT_EQ(runModalUntil(d.get(), {1, 2}, nullptr, [&](int item) { seen.push_back(item); }, &hit),
              noErr);
    EXPECT_EQ(hit, 1);
    EXPECT_EQ(seen, std::vector<int>(7, 3));
    std::string text;
    getItemText(d.get(), 3, &text);
    EXPECT_EQ(text, "Holiday");
}

TEST(OutputNameDialog, EscapeMeansCancelAndAFilterCanClaimKeys) {
    ScriptGuard guard;
    DialogHolder d = open(158);
    setDefaultItem(d.get(), 1);
    setCancelItem(d.get(), 2);
    setModalScript({[](DialogPtr p) { simulateKey(p, kKeyEscape); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 2);

    // A filter that turns "!" into a press of OK and swallows the key.
    ModalFilterProc filter = [](DialogPtr, const DialogEvent& e, int* item) {
        if (e.kind != DialogEventKind::Key || e.key != '!') return false;
        *item = 1;
        return true;
    };
    setItemText(d.get(), 3, "");
    setModalScript({[](DialogPtr p) { simulateTyping(p, "!"); }});
    ASSERT_EQ(modalDialog(d.get(), filter, &hit), noErr);
    EXPECT_EQ(hit, 1);
    std::string text;
    getItemText(d.get(), 3, &text);
    EXPECT_EQ(text, "");
}

TEST(OutputNameDialog, ExhaustedScriptEndsTheLoopInsteadOfHanging) {
    ScriptGuard guard;
    DialogHolder d = open(158);
    setModalScript({[](DialogPtr) {}});
    int hit = -1;
    EXPECT_EQ(modalDialog(d.get(), nullptr, &hit), kStatusEndOfData);
    EXPECT_EQ(hit, 0);
}

TEST(DriveChooser, PopupIsFilledChosenAndReadBack) {
    ScriptGuard guard;
    for (ResID id : {ResID(157), ResID(141)}) {
        DialogHolder d = open(id);
        ASSERT_TRUE(d);
        std::string title;
        getItemText(d.get(), 3, &title);
        EXPECT_EQ(title, id == 157 ? "Drive:" : "Memory Stick:");
        emptyPopup(d.get(), 3);
        appendNameToPopup(d.get(), 3, "E:\\");
        appendNameToPopup(d.get(), 3, "F:\\");
        setControlValue(d.get(), 3, 1);
        int value = 0;
        getControlValue(d.get(), 3, &value);
        EXPECT_EQ(value, 1);
        setDefaultItem(d.get(), 1);
        setCancelItem(d.get(), 2);
        setModalScript({
            [](DialogPtr p) { simulatePopupChoice(p, 3, 2); },
            [](DialogPtr p) { saveScreenshot(p, "second-drive-chosen"); simulateClick(p, 1); },
        });
        int hit = 0;
        ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
        EXPECT_EQ(hit, 3);
        getControlValue(d.get(), 3, &value);
        EXPECT_EQ(value, 2);
        ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
        EXPECT_EQ(hit, 1);
    }
}

TEST(PalmUserChooser, DestinationPopupStartsWithHandheldAndCanBeDimmed) {
    ScriptGuard guard;
    DialogHolder d = open(143);
    ASSERT_EQ(countMenuItems(d.get(), 4), 1);
    std::string text;
    getMenuItemText(d.get(), 4, 1, &text);
    EXPECT_EQ(text, "Handheld");
    appendNameToPopup(d.get(), 3, "Ada (work)");
    appendNameToPopup(d.get(), 3, "-");
    getMenuItemText(d.get(), 3, 2, &text);
    EXPECT_EQ(text, "-");
    EXPECT_FALSE(isMenuItemSeparator(d.get(), 3, 2)) << "a user called '-' is a name, not a line";
    setControlValue(d.get(), 3, 1);
    hiliteControl(d.get(), 4, 255);
    saveScreenshot(d.get(), "one-user-handheld-only");
    // A dimmed popup takes no choice.
    EXPECT_NE(simulatePopupChoice(d.get(), 4, 1), noErr);
    appendNameToPopup(d.get(), 4, "SD Card");
    hiliteControl(d.get(), 4, 0);
    setModalScript({[](DialogPtr p) { simulatePopupChoice(p, 4, 2); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 4);
    saveScreenshot(d.get(), "card-destination");
}

TEST(Alerts, ParameterTextIsShownAndButtonsAnswer) {
    ScriptGuard guard;
    std::string msg;
    ASSERT_EQ(getIndStringUtf8(moviepackerResources(), 134, 1, &msg), noErr);
    setParamText(msg);
    setModalScript({
        [](DialogPtr p) {
            std::string shown;
            getItemText(p, 3, &shown);
            EXPECT_EQ(shown, "This drive may not contain a Memory Stick.  Are you sure you want "
                             "to select this drive?");
            saveScreenshot(p, "memory-stick-question");
            simulateKey(p, kKeyEscape);
        },
    });
    int hit = 0;
    std::string why;
    ASSERT_EQ(runAlert(moviepackerResources(), 130, nullptr, &hit, &why), noErr) << why;
    EXPECT_EQ(hit, 2);

    ASSERT_EQ(getIndStringUtf8(moviepackerResources(), 134, 5, &msg), noErr);
    setParamText(msg);
    setModalScript({[](DialogPtr p) {
        saveScreenshot(p, "no-removable-media");
        simulateKey(p, kKeyReturn);
    }});
    ASSERT_EQ(runAlert(moviepackerResources(), 134, nullptr, &hit, &why), noErr) << why;
    EXPECT_EQ(hit, 1);
}

}  // namespace
