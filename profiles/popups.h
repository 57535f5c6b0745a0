#pragma once
// What the settings popup and the device popup show and select, as plain
// lists, so that the main window only draws them. Texts are Mac Roman.
#include <string>
#include <string_view>
#include <vector>

#include "platform/atoms.h"
#include "platform/resources.h"
#include "profiles/preference_file.h"

inline constexpr std::string_view kMenuSeparator = "-";

struct SettingsMenu {
    std::vector<std::string> items;  // "Custom", "-", manufacturers, "-", Generic, Streaming
    int firstManufacturerItem = 0;   // 1-based index of the first manufacturer
    bool customEnabled = false;      // item 1 is disabled without custom profiles
};

// Builds the settings popup from the sorted manufacturer names: Generic
// (the name of id 0) and "Streaming" are held back to the end, each after
// a separator (one separator for both).
SettingsMenu buildSettingsMenu(const ResourceFile& resources, bool haveCustomProfiles);

// What the settings popup selects for the current settings: item 1 and
// keyword "custom" for a custom profile (non-empty bnam); else the item of
// the settings' manufacturer (ignoring case) and its name as keyword; item
// 0 when the manufacturer is 0, missing or not listed (the window's default).
struct SettingsSelection {
    int item = 0;
    std::string keyword;
};
SettingsSelection selectSettingsItem(const SettingsMenu& menu, const AtomContainer& current,
                                     const ResourceFile& resources);

struct DeviceMenu {
    std::vector<std::string> items;
    std::vector<std::string> names;  // the profile name behind each item
    int selected = 0;                // 1-based; 0 for an empty menu
};

// Builds the device popup for a keyword (a manufacturer name or "custom"):
// the sorted names, custom profiles with a base name shown as
// "name (base)" cut to 63 characters. The item equal to currentName
// (ignoring case) is selected, else item 1.
DeviceMenu buildDeviceMenu(std::string_view keyword, std::string_view currentName,
                           const ResourceFile& resources, const PreferenceFile* store);

// Which profile the two popups name. When the settings value is below the
// first manufacturer item it is a custom profile: the device value indexes
// the sorted custom list, less 2 while the settings are marked changed (the
// window then shows two extra items on top). Otherwise the device item's
// text is the name. An index outside the list gives an empty name.
struct SelectedProfile {
    bool custom = false;
    std::string name;
};
SelectedProfile selectedProfile(int settingsValue, int firstManufacturerItem, int deviceValue,
                                bool changed, const std::vector<std::string>& sortedCustomNames,
                                std::string_view deviceItemText);
