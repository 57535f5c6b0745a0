#include "toolkit/tab_control.h"

#include <array>
#include <string>

namespace {

struct TabInstance {
    DialogPtr dialog = nullptr;
    int item = 0;
    uint32_t enabledMask = 0;  // bit i: tab i + 1 enabled
    bool initialised = false;
};

Component g_component = nullptr;

bool validTab(const TabInstance* s, int tab) {
    return s && s->initialised && tab >= 1 && tab <= countTabs(s->dialog, s->item);
}

OSStatus opOpen(TabInstance*, ComponentInstance self, void*) {
    SetComponentInstanceStorage(self, new TabInstance);
    return noErr;
}

OSStatus opClose(TabInstance* s, ComponentInstance self, void*) {
    delete s;
    SetComponentInstanceStorage(self, nullptr);
    return noErr;
}

OSStatus opCanDo(TabInstance*, ComponentInstance, void*) {
    return 0;  // answered from the table by the dispatcher
}

OSStatus opVersion(TabInstance*, ComponentInstance, void*) { return kTabControlVersion; }

OSStatus opInitialize(TabInstance* s, ComponentInstance, void* params) {
    auto* p = static_cast<TabControlInit*>(params);
    if (!s || !p || s->initialised || p->tabCount < 0 || p->tabCount > 32) return kStatusParamError;
    if (OSStatus err = attachTabBar(p->dialog, p->item)) return err;
    for (int i = 0; i < p->tabCount; ++i)
        if (OSStatus err = insertTab(p->dialog, p->item, i, {})) return err;
    s->dialog = p->dialog;
    s->item = p->item;
    s->enabledMask = p->tabCount == 32 ? 0xFFFFFFFFu : (1u << p->tabCount) - 1;
    s->initialised = true;
    if (p->tabCount > 0) setCurrentTab(s->dialog, s->item, 0);
    return noErr;
}

OSStatus opSetValue(TabInstance* s, ComponentInstance, void* params) {
    auto* p = static_cast<TabControlValue*>(params);
    if (!p || !validTab(s, p->value)) return kStatusParamError;
    return setCurrentTab(s->dialog, s->item, p->value - 1);
}

// A caption shows "&" as itself: the tab bar reads a lone "&" as a mnemonic.
std::string doubleAmpersands(std::string_view text) {
    std::string out;
    for (char c : text) {
        out.push_back(c);
        if (c == '&') out.push_back('&');
    }
    return out;
}

std::string singleAmpersands(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') ++i;
    }
    return out;
}

OSStatus opSetData(TabInstance* s, ComponentInstance, void* params) {
    auto* p = static_cast<TabControlData*>(params);
    if (!p || !validTab(s, p->tab)) return kStatusParamError;
    const int index0 = p->tab - 1;
    if (p->tag == kTabDataEnable) {
        if (p->data.size() != 1) return kStatusParamError;
        const bool on = p->data[0] != 0;
        if (on) s->enabledMask |= 1u << index0;
        else s->enabledMask &= ~(1u << index0);
        OSStatus err = setTabEnabled(s->dialog, s->item, index0, on);
        invalidateItem(s->dialog, s->item);
        return err;
    }
    if (p->tag == kTabDataInfo) {
        // A 4-byte field, then the counted caption.
        if (p->data.size() < 5 || p->data.size() < size_t(5) + p->data[4]) return kStatusParamError;
        const std::string mac(reinterpret_cast<const char*>(p->data.data()) + 5, p->data[4]);
        return setTabText(s->dialog, s->item, index0, doubleAmpersands(macRomanToUtf8(mac)));
    }
    return kStatusParamError;
}

OSStatus opGetData(TabInstance* s, ComponentInstance, void* params) {
    auto* p = static_cast<TabControlData*>(params);
    if (!p || !s || !s->initialised) return kStatusParamError;
    if (p->tag == kTabDataRect) {
        QDRect tab, control;
        if (countTabs(s->dialog, s->item) < 1) return kStatusParamError;
        if (OSStatus err = getTabRect(s->dialog, s->item, 0, &tab)) return err;
        getItemRect(s->dialog, s->item, &control);
        const int16_t v[4] = {int16_t(tab.top - control.top), int16_t(tab.left - control.left),
                              int16_t(tab.bottom - control.top), int16_t(tab.right - control.left)};
        p->data.clear();
        for (int16_t x : v) {
            p->data.push_back(uint8_t(uint16_t(x) >> 8));
            p->data.push_back(uint8_t(x));
        }
        return noErr;
    }
    if (p->tag == kTabDataInfo) {
        if (!validTab(s, p->tab)) return kStatusParamError;
        std::string utf8, mac;
        if (OSStatus err = getTabText(s->dialog, s->item, p->tab - 1, &utf8)) return err;
        if (!utf8ToMacRoman(singleAmpersands(utf8), &mac) || mac.size() > 255)
            return kStatusParamError;
        p->data.assign(1, uint8_t(mac.size()));
        p->data.insert(p->data.end(), mac.begin(), mac.end());
        return noErr;
    }
    return kStatusParamError;
}

constexpr std::array<SelectorEntry<TabInstance>, 8> kSelectors{{
    {kComponentOpenSelect, opOpen},
    {kComponentCloseSelect, opClose},
    {kComponentCanDoSelect, opCanDo},
    {kComponentVersionSelect, opVersion},
    {kTabControlInitialize, opInitialize},
    {kTabControlSetValue, opSetValue},
    {kTabControlSetData, opSetData},
    {kTabControlGetData, opGetData},
}};

OSStatus tabControlRoutine(ComponentInstance self, int16_t selector, void* params) {
    const OSStatus r = DispatchSelector(kSelectors, self, selector, params);
    return r == kStatusBadSelector ? kStatusUnimplemented : r;
}

}  // namespace

OSStatus registerTabControl(Component* out) {
    if (!g_component) {
        ComponentDescription desc;
        desc.componentType = kTabControlType;
        desc.componentSubType = kTabControlSubType;
        desc.componentManufacturer = kTabControlManufacturer;
        if (OSStatus err = RegisterComponent(desc, tabControlRoutine, "Tab control", &g_component))
            return err;
    }
    if (out) *out = g_component;
    return noErr;
}

OSStatus openTabControl(DialogPtr d, int item, int tabCount, ComponentInstance* instance) {
    if (!instance) return kStatusParamError;
    *instance = nullptr;
    ComponentInstance ci = nullptr;
    if (OSStatus err = OpenDefaultComponent(kTabControlType, kTabControlSubType, &ci)) return err;
    TabControlInit init{d, item, tabCount};
    if (OSStatus err = CallComponent(ci, kTabControlInitialize, &init)) {
        CloseComponent(ci);
        return err;
    }
    *instance = ci;
    return noErr;
}

OSStatus setTabCaption(ComponentInstance tabs, int tab, std::string_view macRoman) {
    if (macRoman.size() > 255) return kStatusParamError;
    TabControlData p;
    p.tab = tab;
    p.tag = kTabDataInfo;
    p.data.assign(4, 0);
    p.data.push_back(uint8_t(macRoman.size()));
    p.data.insert(p.data.end(), macRoman.begin(), macRoman.end());
    return CallComponent(tabs, kTabControlSetData, &p);
}

OSStatus getTabCaption(ComponentInstance tabs, int tab, std::string* macRoman) {
    if (!macRoman) return kStatusParamError;
    TabControlData p;
    p.tab = tab;
    p.tag = kTabDataInfo;
    if (OSStatus err = CallComponent(tabs, kTabControlGetData, &p)) return err;
    macRoman->assign(p.data.begin() + 1, p.data.end());
    return noErr;
}

OSStatus enableTab(ComponentInstance tabs, int tab, bool enabled) {
    TabControlData p;
    p.tab = tab;
    p.tag = kTabDataEnable;
    p.data.assign(1, enabled ? 1 : 0);
    return CallComponent(tabs, kTabControlSetData, &p);
}

OSStatus selectTab(ComponentInstance tabs, int tab) {
    TabControlValue v{tab};
    return CallComponent(tabs, kTabControlSetValue, &v);
}
