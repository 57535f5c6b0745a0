#pragma once
// The tab control component: a row of tabs placed at a dialog item, talked
// to through component calls. Registered for the process as type 'ctrl',
// subtype 'tab ', manufacturer 'TVLA'.
//
// Tabs are numbered from 1 at this interface (and from 0 inside the tab
// bar). The control's value is the selected tab; when the user picks a tab
// the dialog reports the item as hit and the value is already the new tab,
// so the caller only switches its pages. A disabled tab is drawn in the
// platform's grey-text colour; the caller decides whether pages change
// while tabs are disabled (the tab bar itself does not select them).
//
// Requests (CallComponent(instance, selector, params)):
//   open / close / can do / version (0x00010001)
//   kTabControlInitialize   TabControlInit*   put the tabs at the item's
//                           rectangle, `tabCount` empty tabs, tab 1 selected
//   kTabControlSetValue     TabControlValue*  select tab `value`
//   kTabControlSetData      TabControlData*   'enab': data[0] != 0 enables
//                           tab `tab`; 'tabi': the caption is the counted
//                           string after a 4-byte field, "&" shown as itself
//   kTabControlGetData      TabControlData*   'rect': 8 bytes, the first
//                           tab's rectangle relative to the control (top,
//                           left, bottom, right, big-endian); 'tabi': the
//                           caption of tab `tab` as a counted string (Mac Roman)
// Any other selector answers kStatusUnimplemented (-4). Requests before
// initialise, or for a tab outside 1..count, answer kStatusParamError.
#include <cstdint>
#include <vector>

#include "platform/components.h"
#include "platform/dialogs.h"

inline constexpr OSType kTabControlType = fourCC("ctrl");
inline constexpr OSType kTabControlSubType = fourCC("tab ");
inline constexpr OSType kTabControlManufacturer = fourCC("TVLA");
inline constexpr int32_t kTabControlVersion = 0x00010001;

inline constexpr int16_t kTabControlInitialize = 1;
inline constexpr int16_t kTabControlSetValue = 2;
inline constexpr int16_t kTabControlSetData = 3;
inline constexpr int16_t kTabControlGetData = 4;

inline constexpr FourCC kTabDataEnable = fourCC("enab");
inline constexpr FourCC kTabDataInfo = fourCC("tabi");
inline constexpr FourCC kTabDataRect = fourCC("rect");

struct TabControlInit {
    DialogPtr dialog = nullptr;
    int item = 0;      // a user item; it becomes the tab control
    int tabCount = 0;  // the control's maximum: how many tabs to insert
};
struct TabControlValue {
    int value = 0;  // 1-based tab
};
struct TabControlData {
    int tab = 0;  // 1-based; unused for 'rect'
    FourCC tag = 0;
    std::vector<uint8_t> data;  // in for set, out for get
};

// Registers the component for this process (once; later calls return the
// same component). out may be null.
OSStatus registerTabControl(Component* out = nullptr);

// Opens a default tab control instance and initialises it at the item with
// tabCount tabs; *instance is the caller's to close with CloseComponent
// (closing leaves the tabs in the dialog). A failure returns the open's or
// the initialise's status and no instance.
OSStatus openTabControl(DialogPtr d, int item, int tabCount, ComponentInstance* instance);

// Conveniences over the requests above.
OSStatus setTabCaption(ComponentInstance tabs, int tab, std::string_view macRoman);
OSStatus getTabCaption(ComponentInstance tabs, int tab, std::string* macRoman);
OSStatus enableTab(ComponentInstance tabs, int tab, bool enabled);
OSStatus selectTab(ComponentInstance tabs, int tab);
