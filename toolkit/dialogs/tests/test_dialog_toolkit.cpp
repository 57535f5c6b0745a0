// The toolkit's operations on a real dialog (offscreen): radio groups,
// check boxes, labels from lists, popups filled, emptied and searched by
// size, the separator line and the disclosure triangle.
#include <gtest/gtest.h>

#include "toolkit/dialog_toolkit.h"
#include "toolkitTestResources.h"

namespace {

const ResourceFile& res() {
    static ResourceFile rf = [] {
        ResourceFile f;
        EXPECT_EQ(ResourceFile::open(toolkitTestResources(), &f), noErr);
        return f;
    }();
    return rf;
}

DialogHolder open() {
    EXPECT_EQ(registerToolkitControls(), noErr);
    DialogPtr raw = nullptr;
    std::string why;
    EXPECT_EQ(newDialog(res(), 900, &raw, &why), noErr) << why;
    return DialogHolder(raw);
}

struct ScriptGuard {
    ~ScriptGuard() { setModalScript({}); }
};

struct Grab {
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    explicit Grab(DialogPtr d) { EXPECT_EQ(grabWindow(d, &px, &w, &h), noErr); }
    int grey(int v, int hh) const {
        const uint32_t p = px.at(size_t(v) * size_t(w) + size_t(hh));
        return int((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
    }
};

TEST(ItemAccess, HandlesRadioGroupsAndCheckBoxes) {
    DialogHolder d = open();
    DialogItemHandle h = getItemHandle(d.get(), 3);
    EXPECT_TRUE(h);
    EXPECT_EQ(h.kind, kControlItem);
    EXPECT_TRUE(h.isControl);
    EXPECT_FALSE(getItemHandle(d.get(), 11).isControl);
    EXPECT_FALSE(getItemHandle(d.get(), 13));
    EXPECT_FALSE(getItemHandle(nullptr, 1));

    ASSERT_EQ(setRadioGroup(d.get(), 8, 10, 9), noErr);
    int a = -1, b = -1, c = -1;
    getControlValue(d.get(), 8, &a);
    getControlValue(d.get(), 9, &b);
    getControlValue(d.get(), 10, &c);
    EXPECT_EQ(std::make_tuple(a, b, c), std::make_tuple(0, 1, 0));
    EXPECT_EQ(setRadioGroup(d.get(), 8, 13, 9), kStatusParamError);

    int v = -1;
    ASSERT_EQ(toggleCheckBox(d.get(), 7, &v), noErr);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(toggleCheckBox(d.get(), 7, &v), noErr);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(toggleCheckBox(d.get(), 11, &v), kStatusParamError);

    ASSERT_EQ(setItemTextCounted(d.get(), 11, std::string("\x05" "Hi \xA5!xx", 9)), noErr);
    std::string text;
    getItemText(d.get(), 11, &text);
    EXPECT_EQ(text, "Hi \u2022!") << "counted Mac Roman, cut at its length byte";
}

TEST(Labels, FromStringListsWithPlacement) {
    DialogHolder d = open();
    QDRect before;
    getItemRect(d.get(), 11, &before);
    ASSERT_EQ(setLabelFromList(d.get(), 11, LabelPlacement::Plain, res(), 901, 2), noErr);
    std::string text;
    getItemText(d.get(), 11, &text);
    EXPECT_EQ(text, "Export location:");
    QDRect r;
    getItemRect(d.get(), 11, &r);
    EXPECT_EQ(r, before);

    const int width = itemTextWidth(d.get(), 11, "Folder:");
    ASSERT_EQ(setLabelFromList(d.get(), 11, LabelPlacement::FitWidth, res(), 901, 1), noErr);
    getItemRect(d.get(), 11, &r);
    EXPECT_EQ(r.left, before.left);
    EXPECT_GE(r.width(), width);
    EXPECT_LT(r.width(), width + 8);
    ASSERT_EQ(setLabelFromList(d.get(), 11, LabelPlacement::RightAligned, res(), 901, 1), noErr);
    getItemRect(d.get(), 11, &r);
    EXPECT_EQ(r.right, before.left + r.width() + (r.left - before.left));
    EXPECT_EQ(setLabelFromList(d.get(), 11, LabelPlacement::Plain, res(), 901, 3),
              kStatusResourceNotFound);
}

TEST(Popups, FilledFromListsSeparatorsAndSizes) {
    ScriptGuard guard;
    DialogHolder d = open();
    ASSERT_EQ(fillPopupFromList(d.get(), 3, res(), 900), noErr);
    EXPECT_EQ(countMenuItems(d.get(), 3), 6);
    EXPECT_TRUE(isMenuItemSeparator(d.get(), 3, 2));
    int max = 0, w = -1, h = -1;
    getControlMaximum(d.get(), 3, &max);
    EXPECT_EQ(max, 6);

    ASSERT_EQ(selectSize(d.get(), 3, 160, 120), noErr);
    ASSERT_EQ(selectedSize(d.get(), 3, &w, &h), noErr);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(160, 120));
    // No item shows 200 x 100: the popup keeps its choice.
    EXPECT_EQ(selectSize(d.get(), 3, 200, 100), kStatusResourceNotFound);
    int value = 0;
    getControlValue(d.get(), 3, &value);
    EXPECT_EQ(value, 4);
    // 0 x 0 is "Default" (the first item without numbers), not the separator.
    ASSERT_EQ(selectSize(d.get(), 3, 0, 0), noErr);
    getControlValue(d.get(), 3, &value);
    EXPECT_EQ(value, 1);

    // The user's choice is read back as a size.
    setModalScript({[](DialogPtr p) { simulatePopupChoice(p, 3, 5); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 3);
    selectedSize(d.get(), 3, &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(160, 160));
    saveScreenshot(d.get(), "full-size-chosen");
}

TEST(Popups, EmptiedPopupAppendsEnabledItemsAndNamesLiterally) {
    DialogHolder d = open();
    fillPopupFromList(d.get(), 3, res(), 900);
    for (int i = 1; i <= 6; ++i) enableMenuItem(d.get(), 3, i, false);
    ASSERT_EQ(emptyPopup(d.get(), 3), noErr);
    EXPECT_EQ(countMenuItems(d.get(), 3), 0);
    int max = -1;
    getControlMaximum(d.get(), 3, &max);
    EXPECT_EQ(max, 0);
    appendMenuItem(d.get(), 3, "Custom");
    appendNameToPopup(d.get(), 3, "PEG-NR70/V (Wide - CW)");
    appendNameToPopup(d.get(), 3, "(Beta) \xA5 model", true);
    appendNameToPopup(d.get(), 3, "-");
    ASSERT_EQ(countMenuItems(d.get(), 3), 4);
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(isMenuItemEnabled(d.get(), 3, i)) << i;
    std::string text;
    getMenuItemText(d.get(), 3, 3, &text);
    EXPECT_EQ(text, "(Beta) \u2022 model");
    EXPECT_FALSE(isMenuItemSeparator(d.get(), 3, 4));
    getControlMaximum(d.get(), 3, &max);
    EXPECT_EQ(max, 4);
}

TEST(ToolkitControls, SeparatorLinesFollowTheirShape) {
    DialogHolder d = open();
    showWindow(d.get());
    const Grab g(d.get());
    const int background = g.grey(55, 200);
    // Horizontal (item 4, 48..50 x 14..306): dark along its top row.
    EXPECT_LT(g.grey(48, 100), background - 40);
    // Vertical (item 5, 60..140 x 160..162): dark in its left column, along
    // its whole height (a line along the top would leave these untouched).
    EXPECT_LT(g.grey(100, 160), background - 40);
    EXPECT_LT(g.grey(138, 160), background - 40);
    saveScreenshot(d.get(), "separators-and-triangle");
}

TEST(ToolkitControls, DisclosureTriangleTogglesAndShowsItsPicture) {
    ScriptGuard guard;
    DialogHolder d = open();
    showWindow(d.get());
    // The right arrow points right: its ink is in the left columns of the
    // 12 x 12 control at 60..72 x 14..26 (5 columns of ink from column 4).
    auto inkAt = [&](const Grab& g, int v, int h) { return g.grey(v, h) < 128; };
    {
        const Grab g(d.get());
        EXPECT_TRUE(inkAt(g, 66, 18));   // tip row, near column
        EXPECT_FALSE(inkAt(g, 61, 22));  // above the point: empty for a right arrow
    }
    setModalScript({[](DialogPtr p) { simulateClick(p, 6); }});
    int hit = 0, value = -1;
    ASSERT_EQ(modalDialog(d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, 6);
    getControlValue(d.get(), 6, &value);
    EXPECT_EQ(value, 1);
    {
        const Grab g(d.get());
        EXPECT_TRUE(inkAt(g, 64, 22)) << "the down arrow's wide top row";
    }
    saveScreenshot(d.get(), "triangle-open");
}

TEST(Glue, GreyTextColourRepeatsEachByte) {
    const RGBColor16 c = grayTextColor();
    EXPECT_EQ(c.red >> 8, c.red & 0xFF);
    EXPECT_EQ(c.green >> 8, c.green & 0xFF);
    EXPECT_EQ(c.blue >> 8, c.blue & 0xFF);
    EXPECT_NE(c, (RGBColor16{0, 0, 0})) << "grey, not black";
}

TEST(Glue, SplashKeepsTheProgramCursor) {
    DialogHolder d = open();
    EXPECT_FALSE(keepsCursor(d.get()));
    ASSERT_EQ(keepProgramCursor(d.get()), noErr);
    EXPECT_TRUE(keepsCursor(d.get()));
    pumpMessages();
}

}  // namespace
