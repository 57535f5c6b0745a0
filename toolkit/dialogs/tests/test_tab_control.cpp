// The tab control component on a real dialog (offscreen): its requests,
// captions with "&", disabled tabs drawn grey, and the user's choice as the
// control's value.
#include <gtest/gtest.h>

#include "toolkit/dialog_toolkit.h"
#include "toolkit/tab_control.h"
#include "toolkitTestResources.h"

namespace {

constexpr int kTabItem = 12;

const ResourceFile& res() {
    static ResourceFile rf = [] {
        ResourceFile f;
        EXPECT_EQ(ResourceFile::open(toolkitTestResources(), &f), noErr);
        return f;
    }();
    return rf;
}

struct Fixture {
    DialogHolder d;
    ComponentInstance tabs = nullptr;
    Fixture() {
        EXPECT_EQ(registerToolkitControls(), noErr);
        EXPECT_EQ(registerTabControl(), noErr);
        DialogPtr raw = nullptr;
        EXPECT_EQ(newDialog(res(), 900, &raw), noErr);
        d.reset(raw);
        EXPECT_EQ(openTabControl(d.get(), kTabItem, 3, &tabs), noErr);
        EXPECT_EQ(setTabCaption(tabs, 1, "Files"), noErr);
        EXPECT_EQ(setTabCaption(tabs, 2, "Audio & Video"), noErr);
        EXPECT_EQ(setTabCaption(tabs, 3, "Layout"), noErr);
        showWindow(d.get());
    }
    ~Fixture() {
        setModalScript({});
        CloseComponent(tabs);
    }
    // The darkest grey level inside tab `tab`'s rectangle (its caption).
    int darkestIn(int tab) {
        QDRect r;
        EXPECT_EQ(getTabRect(d.get(), kTabItem, tab - 1, &r), noErr);
        std::vector<uint32_t> px;
        int w = 0, h = 0;
        EXPECT_EQ(grabWindow(d.get(), &px, &w, &h), noErr);
        int darkest = 255;
        for (int v = r.top + 3; v < r.bottom - 3; ++v)
            for (int x = r.left + 3; x < r.right - 3; ++x) {
                const uint32_t p = px.at(size_t(v) * size_t(w) + size_t(x));
                darkest = std::min(darkest, int((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3);
            }
        return darkest;
    }
};

TEST(TabControl, ComponentAnswersItsRequestsOnly) {
    Fixture f;
    ASSERT_NE(f.tabs, nullptr);
    EXPECT_EQ(GetComponentVersion(f.tabs), kTabControlVersion);
    EXPECT_EQ(ComponentFunctionImplemented(f.tabs, kTabControlSetData), 1);
    EXPECT_EQ(ComponentFunctionImplemented(f.tabs, 42), 0);
    EXPECT_EQ(CallComponent(f.tabs, 42, nullptr), kStatusUnimplemented);
    EXPECT_EQ(countTabs(f.d.get(), kTabItem), 3);
    // Initialising twice, or tabs outside 1..3, are refused.
    TabControlInit again{f.d.get(), kTabItem, 2};
    EXPECT_EQ(CallComponent(f.tabs, kTabControlInitialize, &again), kStatusParamError);
    EXPECT_EQ(selectTab(f.tabs, 4), kStatusParamError);
    EXPECT_EQ(enableTab(f.tabs, 0, true), kStatusParamError);
    TabControlData odd{1, fourCC("what"), {}};
    EXPECT_EQ(CallComponent(f.tabs, kTabControlSetData, &odd), kStatusParamError);

    // 'rect': the first tab, relative to the control.
    TabControlData rect{0, kTabDataRect, {}};
    ASSERT_EQ(CallComponent(f.tabs, kTabControlGetData, &rect), noErr);
    ASSERT_EQ(rect.data.size(), 8u);
    auto word = [&](int i) { return int16_t(rect.data[size_t(i)] << 8 | rect.data[size_t(i) + 1]); };
    EXPECT_GE(word(0), 0);
    EXPECT_EQ(word(2), 0) << "the first tab starts at the control's left edge";
    EXPECT_GT(word(4), word(0));
    EXPECT_GT(word(6), word(2));

    // An instance that was never initialised refuses everything but the basics.
    ComponentInstance bare = nullptr;
    ASSERT_EQ(OpenDefaultComponent(kTabControlType, kTabControlSubType, &bare), noErr);
    EXPECT_EQ(selectTab(bare, 1), kStatusParamError);
    EXPECT_EQ(CallComponent(bare, kTabControlGetData, &rect), kStatusParamError);
    CloseComponent(bare);
}

TEST(TabControl, AmpersandInACaptionShowsAsItself) {
    Fixture f;
    std::string shown, caption;
    ASSERT_EQ(getTabText(f.d.get(), kTabItem, 1, &shown), noErr);
    EXPECT_EQ(shown, "Audio && Video") << "doubled, so the tab bar draws one '&' and no mnemonic";
    ASSERT_EQ(getTabCaption(f.tabs, 2, &caption), noErr);
    EXPECT_EQ(caption, "Audio & Video");
    saveScreenshot(f.d.get(), "tabs-audio-and-video");
    // A caption record shorter than its length byte says is refused.
    TabControlData bad{1, kTabDataInfo, {0, 0, 0, 0, 9, 'a'}};
    EXPECT_EQ(CallComponent(f.tabs, kTabControlSetData, &bad), kStatusParamError);
}

TEST(TabControl, DisabledTabIsGreyAndComesBack) {
    Fixture f;
    const int enabled = f.darkestIn(2);
    ASSERT_EQ(enableTab(f.tabs, 2, false), noErr);
    EXPECT_FALSE(isTabEnabled(f.d.get(), kTabItem, 1));
    const int disabled = f.darkestIn(2);
    EXPECT_GT(disabled, enabled + 40) << "caption drawn in the grey-text colour";
    saveScreenshot(f.d.get(), "tab-2-disabled");
    ASSERT_EQ(enableTab(f.tabs, 2, true), noErr);
    EXPECT_EQ(f.darkestIn(2), enabled);
    EXPECT_EQ(f.darkestIn(3), enabled) << "the other tabs were never touched";
}

TEST(TabControl, UsersChoiceBecomesTheControlValue) {
    Fixture f;
    int value = 0;
    getControlValue(f.d.get(), kTabItem, &value);
    EXPECT_EQ(value, 1);
    setModalScript({[](DialogPtr p) { simulateTabChoice(p, kTabItem, 2); }});
    int hit = 0;
    ASSERT_EQ(modalDialog(f.d.get(), nullptr, &hit), noErr);
    EXPECT_EQ(hit, kTabItem);
    getControlValue(f.d.get(), kTabItem, &value);
    EXPECT_EQ(value, 3);
    saveScreenshot(f.d.get(), "layout-tab-chosen");
    // Selecting from the program moves the tab without reporting a hit.
    ASSERT_EQ(selectTab(f.tabs, 1), noErr);
    EXPECT_EQ(currentTab(f.d.get(), kTabItem), 0);
    getControlValue(f.d.get(), kTabItem, &value);
    EXPECT_EQ(value, 1);
    setModalScript({[](DialogPtr) {}});
    EXPECT_EQ(modalDialog(f.d.get(), nullptr, &hit), kStatusEndOfData);
}

}  // namespace
