#include "profiles/popups.h"

#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "profiles/profile_names.h"

namespace {

constexpr std::string_view kStreaming = "Streaming";

}  // namespace

SettingsMenu buildSettingsMenu(const ResourceFile& resources, bool haveCustomProfiles) {
    SettingsMenu m;
    std::vector<std::string> head;
    std::span<const uint8_t> data;
    if (resources.get(kResTypeStringList, kSettingsPopupList, &data) != noErr ||
        parseStringList(data, &head) != noErr)
        head = {"Custom", std::string(kMenuSeparator)};
    m.items = head;
    m.customEnabled = haveCustomProfiles;
    m.firstManufacturerItem = int(m.items.size()) + 1;

    std::vector<std::string> names;
    profileList(std::string(kListManufacturers), resources, nullptr, &names);
    const std::string generic = manufacturerName(resources, 0);
    bool sawGeneric = false, sawStreaming = false;
    for (const std::string& n : names) {
        if (n == generic) {
            sawGeneric = true;
        } else if (n == kStreaming) {
            sawStreaming = true;
        } else {
            m.items.push_back(n);
        }
    }
    bool separated = false;
    if (sawGeneric) {
        m.items.emplace_back(kMenuSeparator);
        m.items.push_back(generic);
        separated = true;
    }
    if (sawStreaming) {
        if (!separated) m.items.emplace_back(kMenuSeparator);
        m.items.emplace_back(kStreaming);
    }
    return m;
}

SettingsSelection selectSettingsItem(const SettingsMenu& menu, const AtomContainer& current,
                                     const ResourceFile& resources) {
    SettingsSelection s;
    std::string base;
    profileReadName(current, profile_atoms::kBaseName, &base);
    if (!base.empty()) {
        s.item = 1;
        s.keyword = std::string(kListCustom);
        return s;
    }
    uint8_t b[2];
    if (profileReadValue(current, profile_atoms::kManufacturer, b) != noErr) return s;
    const int16_t id = int16_t((b[0] << 8) | b[1]);
    if (id == 0) return s;
    const std::string name = manufacturerName(resources, id);
    if (name.empty()) return s;
    for (size_t i = size_t(menu.firstManufacturerItem) - 1; i < menu.items.size(); ++i) {
        if (namesEqualIgnoringCase(menu.items[i], name)) {
            s.item = int(i) + 1;
            s.keyword = menu.items[i];
            return s;
        }
    }
    return s;
}

DeviceMenu buildDeviceMenu(std::string_view keyword, std::string_view currentName,
                           const ResourceFile& resources, const PreferenceFile* store) {
    DeviceMenu m;
    profileList(keyword, resources, store, &m.names);
    const bool custom = keyword == kListCustom;
    for (const std::string& name : m.names) {
        std::string text = name;
        if (custom) {
            AtomContainer p;
            std::string base;
            if (findProfile(name, true, resources, store, &p) == noErr)
                profileReadName(p, profile_atoms::kBaseName, &base);
            if (!base.empty()) text = cutName(name + " (" + base + ")");
        }
        m.items.push_back(std::move(text));
    }
    if (m.items.empty()) return m;
    m.selected = 1;
    for (size_t i = 0; i < m.items.size(); ++i) {
        if (namesEqualIgnoringCase(m.items[i], currentName)) {
            m.selected = int(i) + 1;
            break;
        }
    }
    return m;
}

SelectedProfile selectedProfile(int settingsValue, int firstManufacturerItem, int deviceValue,
                                bool changed, const std::vector<std::string>& sortedCustomNames,
                                std::string_view deviceItemText) {
    SelectedProfile s;
    if (settingsValue < firstManufacturerItem) {
        s.custom = true;
        const int index = deviceValue - (changed ? 2 : 0);
        if (index >= 1 && size_t(index) <= sortedCustomNames.size())
            s.name = sortedCustomNames[size_t(index) - 1];
        return s;
    }
    s.name = std::string(deviceItemText);
    return s;
}
