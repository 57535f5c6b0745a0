// Window resources: the bytes the writers lay out, what the readers give
// back, and the refusals of damaged resources (each with its reason).
#include <gtest/gtest.h>

#include <vector>

#include "platform/dialog_resources.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<DialogItemTemplate> sampleItems() {
    DialogItemTemplate ok{kButtonItem, false, {68, 270, 90, 346}, "OK", 0};
    DialogItemTemplate edit{kEditTextItem, false, {22, 72, 44, 346}, "", 0};
    DialogItemTemplate label{kStaticTextItem, true, {25, 14, 43, 68}, "Name:", 0};
    DialogItemTemplate popup{kControlItem, false, {0, 0, 20, 100}, "", 139};
    DialogItemTemplate user{kUserItem, false, {1, 2, 3, 4}, "", 0};
    return {ok, edit, label, popup, user};
}

TEST(ItemList, BytesFollowTheClassicLayout) {
    Bytes b;
    ASSERT_EQ(writeDialogItemList(sampleItems(), &b), noErr);
    // Count - 1, then the OK button: 4 reserved bytes, rectangle, kind, text.
    const Bytes head{0, 4, 0, 0, 0, 0, 0, 68, 1, 14, 0, 90, 1, 90, kButtonItem, 2, 'O', 'K'};
    ASSERT_GE(b.size(), head.size());
    EXPECT_EQ(Bytes(b.begin(), b.begin() + ptrdiff_t(head.size())), head);
    // "Name:" is odd, so a pad byte follows it; the disable flag is bit 7.
    const Bytes label{kStaticTextItem | kItemDisableFlag, 5, 'N', 'a', 'm', 'e', ':', 0};
    EXPECT_NE(std::search(b.begin(), b.end(), label.begin(), label.end()), b.end());
    // The control holds its CNTL ID in two bytes.
    const Bytes control{kControlItem, 2, 0, 139};
    EXPECT_NE(std::search(b.begin(), b.end(), control.begin(), control.end()), b.end());

    std::vector<DialogItemTemplate> back;
    ASSERT_EQ(parseDialogItemList(b, &back), noErr);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[0].text, "OK");
    EXPECT_TRUE(back[2].disabled);
    EXPECT_EQ(back[2].text, "Name:");
    EXPECT_EQ(back[3].resourceID, 139);
    EXPECT_EQ(back[4].bounds, (QDRect{1, 2, 3, 4}));
}

TEST(ItemList, DamagedListsAreRefusedWithAReason) {
    Bytes good;
    ASSERT_EQ(writeDialogItemList(sampleItems(), &good), noErr);
    struct Case {
        const char* what;
        Bytes bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    Bytes countPast = good;
    countPast[1] = 40;  // 41 items claimed
    cases.push_back({"count past the data", countPast, "more than"});
    Bytes negative = good;
    negative[0] = 0x80;
    cases.push_back({"negative count", negative, "negative"});
    Bytes inverted = good;
    inverted[7] = 100;  // top 100 > bottom 90
    cases.push_back({"inverted rectangle", inverted, "out of range"});
    Bytes huge = good;
    huge[10] = 0x7F;  // bottom 32602
    cases.push_back({"rectangle beyond any screen", huge, "out of range"});
    Bytes kind = good;
    kind[14] = 3;
    cases.push_back({"unknown kind", kind, "unknown kind"});
    Bytes textPast = good;
    textPast[15] = 200;  // OK's text claims 200 bytes
    cases.push_back({"text past the end", textPast, "past the end"});
    Bytes extra = good;
    extra.push_back(0);
    extra.push_back(0);
    cases.push_back({"bytes after the last item", extra, "after its last item"});
    cases.push_back({"truncated", Bytes(good.begin(), good.end() - 4), ""});
    cases.push_back({"empty", Bytes{}, "empty"});
    for (const Case& c : cases) {
        std::vector<DialogItemTemplate> out{{}};
        std::string why;
        EXPECT_EQ(parseDialogItemList(c.bytes, &out, &why), kStatusBadResourceMap) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_EQ(out.size(), 1u) << c.what << ": the output is untouched";
    }
    // A resource item must hold exactly a 2-byte ID.
    Bytes control;
    ASSERT_EQ(writeDialogItemList(std::vector<DialogItemTemplate>{{kControlItem, false, {0, 0, 1, 1}, "", 5}},
                                  &control),
              noErr);
    control[15] = 3;
    std::vector<DialogItemTemplate> out;
    EXPECT_EQ(parseDialogItemList(control, &out), kStatusBadResourceMap);
}

TEST(WindowRecords, DialogAlertAndControlRoundTripAndRefuseDamage) {
    DialogTemplate d;
    d.bounds = {0, 0, 104, 360};
    d.kind = kDialogKindMovable;
    d.visible = false;
    d.itemsID = 158;
    d.title = "Name of Movie";  // 13 characters: the title is padded to even
    Bytes b;
    ASSERT_EQ(writeDialogTemplate(d, &b), noErr);
    EXPECT_EQ(b.size(), 20u + 14u);
    EXPECT_EQ(b[20], 13);
    DialogTemplate back;
    ASSERT_EQ(parseDialogTemplate(b, &back), noErr);
    EXPECT_EQ(back.bounds, d.bounds);
    EXPECT_EQ(back.itemsID, 158);
    EXPECT_FALSE(back.visible);
    EXPECT_EQ(back.title, "Name of Movie");
    // The optional position word is accepted; anything more is not.
    b.push_back(0x30);
    b.push_back(0x0A);
    EXPECT_EQ(parseDialogTemplate(b, &back), noErr);
    b.push_back(0);
    std::string why;
    EXPECT_EQ(parseDialogTemplate(b, &back, &why), kStatusBadResourceMap);
    EXPECT_FALSE(why.empty());
    ASSERT_EQ(writeDialogTemplate(d, &b), noErr);
    b[20] = 200;  // title past the end
    EXPECT_EQ(parseDialogTemplate(b, &back), kStatusBadResourceMap);
    d.bounds = {0, 0, 0, 360};
    EXPECT_EQ(writeDialogTemplate(d, &b), kStatusParamError) << "an empty window";

    AlertTemplate a{{0, 0, 132, 380}, 130, 0x5555};
    ASSERT_EQ(writeAlertTemplate(a, &b), noErr);
    EXPECT_EQ(b.size(), 12u);
    AlertTemplate aback;
    ASSERT_EQ(parseAlertTemplate(b, &aback), noErr);
    EXPECT_EQ(aback.itemsID, 130);
    EXPECT_EQ(aback.stages, 0x5555);
    EXPECT_EQ(parseAlertTemplate(Bytes(b.begin(), b.end() - 1), &aback), kStatusBadResourceMap);

    ControlTemplate c;
    c.bounds = {0, 0, 22, 292};
    c.max = 60;
    c.min = 157;
    c.procID = kControlProcPopup;
    c.title = "Drive:";
    ASSERT_EQ(writeControlTemplate(c, &b), noErr);
    const Bytes head{0, 0, 0, 0, 0, 22, 1, 36, 0, 0, 1, 0, 0, 60, 0, 157, 0x03, 0xF0};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 18), head);
    ControlTemplate cback;
    ASSERT_EQ(parseControlTemplate(b, &cback), noErr);
    EXPECT_EQ(cback.procID, kControlProcPopup);
    EXPECT_EQ(cback.min, 157);
    EXPECT_EQ(cback.title, "Drive:");
    EXPECT_EQ(parseControlTemplate(Bytes(b.begin(), b.begin() + 20), &cback), kStatusBadResourceMap);
}

TEST(MenuRecord, ItemsSeparatorsAndEnableFlags) {
    MenuTemplate m;
    m.menuID = 161;
    m.title = "Destination";
    m.enableFlags = 0xFFFFFFFD;  // item 1 disabled
    m.items = {{"Handheld"}, {"-"}, {"Card"}};
    Bytes b;
    ASSERT_EQ(writeMenuTemplate(m, &b), noErr);
    MenuTemplate back;
    ASSERT_EQ(parseMenuTemplate(b, &back), noErr);
    EXPECT_EQ(back.menuID, 161);
    EXPECT_EQ(back.title, "Destination");
    EXPECT_EQ(back.enableFlags, 0xFFFFFFFDu);
    ASSERT_EQ(back.items.size(), 3u);
    EXPECT_EQ(back.items[1].text, "-");
    // Without the closing zero byte the item list runs off the end.
    ASSERT_EQ(b.size(), 56u);  // header 14, title 12, items 28, end 1, pad 1
    const Bytes open(b.begin(), b.end() - 2);
    std::string why;
    EXPECT_EQ(parseMenuTemplate(open, &back, &why), kStatusBadResourceMap);
    EXPECT_NE(why.find("closing zero"), std::string::npos) << why;
    m.items.push_back({""});
    EXPECT_EQ(writeMenuTemplate(m, &b), kStatusParamError) << "an empty item would end the list";
}

TEST(PictureRecord, OnlyPngWithASaneSizeIsAPicture) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
              0, 0, 0, 12, 0, 0, 0, 9, 8, 6, 0, 0, 0};
    PictureInfo info;
    ASSERT_EQ(parsePictureInfo(png, &info), noErr);
    EXPECT_EQ(info.width, 12);
    EXPECT_EQ(info.height, 9);
    Bytes zero = png;
    zero[23] = 0;
    EXPECT_EQ(parsePictureInfo(zero, &info), kStatusBadResourceMap);
    Bytes huge = png;
    huge[16] = 0x10;
    EXPECT_EQ(parsePictureInfo(huge, &info), kStatusBadResourceMap);
    EXPECT_EQ(parsePictureInfo(Bytes(png.begin(), png.begin() + 20), &info), kStatusBadResourceMap);
    Bytes quickdraw(40, 0);  // a classic QuickDraw picture is not drawn here
    std::string why;
    EXPECT_EQ(parsePictureInfo(quickdraw, &info, &why), kStatusBadResourceMap);
    EXPECT_NE(why.find("PNG"), std::string::npos);
}

}  // namespace
