#include "profiles/profile_lists.h"

#include <cstring>

#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_names.h"

namespace {

constexpr size_t kManufacturerEntrySize = 66;

// Calls fn(container, name) for every built-in profile in resource order
// until it returns true.
template <class Fn>
void forEachBuiltIn(const ResourceFile& resources, Fn fn) {
    const int n = resources.count(kResTypeProfile);
    for (int i = 1; i <= n; ++i) {
        std::span<const uint8_t> data;
        AtomContainer c;
        if (resources.getIndexed(kResTypeProfile, i, &data) != noErr ||
            AtomContainer::load(data, &c) != noErr)
            continue;
        std::string name;
        profileReadName(c, profile_atoms::kName, &name);
        if (fn(c, name)) return;
    }
}

}  // namespace

OSStatus loadManufacturers(const ResourceFile& resources, std::vector<Manufacturer>* out) {
    if (!out) return kStatusParamError;
    std::span<const uint8_t> data;
    if (OSStatus err = resources.get(kResTypeManufacturers, kManufacturerTableID, &data))
        return err;
    out->clear();
    for (size_t at = 0; at + kManufacturerEntrySize <= data.size(); at += kManufacturerEntrySize) {
        const char* name = reinterpret_cast<const char*>(data.data() + at);
        Manufacturer m;
        m.name.assign(name, strnlen(name, 64));
        m.id = int16_t((data[at + 64] << 8) | data[at + 65]);
        out->push_back(std::move(m));
    }
    return noErr;
}

int16_t manufacturerId(const ResourceFile& resources, std::string_view name) {
    std::vector<Manufacturer> table;
    if (loadManufacturers(resources, &table) == noErr)
        for (const Manufacturer& m : table)
            if (m.name == name) return m.id;
    return -1;
}

std::string manufacturerName(const ResourceFile& resources, int16_t id) {
    std::vector<Manufacturer> table;
    if (loadManufacturers(resources, &table) == noErr)
        for (const Manufacturer& m : table)
            if (m.id == id) return m.name;
    return {};
}

OSStatus profileList(std::string_view keyword, const ResourceFile& resources,
                     const PreferenceFile* store, std::vector<std::string>* out) {
    if (!out) return kStatusParamError;
    out->clear();
    if (keyword == kListCustom) {
        std::vector<AtomContainer> custom;
        if (store && customProfiles(*store, &custom) == noErr) {
            for (const AtomContainer& p : custom) {
                std::string name;
                profileReadName(p, profile_atoms::kName, &name);
                out->push_back(std::move(name));
            }
        }
    } else if (keyword == kListManufacturers) {
        std::vector<Manufacturer> table;
        if (loadManufacturers(resources, &table) == noErr)
            for (size_t id = 0; id < table.size(); ++id)
                out->push_back(manufacturerName(resources, int16_t(id)));
    } else {
        std::vector<Manufacturer> table;
        loadManufacturers(resources, &table);
        forEachBuiltIn(resources, [&](const AtomContainer& c, const std::string& name) {
            int16_t id = 0, hidden = 0;
            uint8_t b[2];
            if (profileReadValue(c, profile_atoms::kManufacturer, b) == noErr)
                id = int16_t((b[0] << 8) | b[1]);
            if (profileReadValue(c, profile_atoms::kHidden, b) == noErr)
                hidden = int16_t((b[0] << 8) | b[1]);
            bool match = false;
            for (const Manufacturer& m : table)
                if (m.id == id && namesEqualIgnoringCase(m.name, keyword)) match = true;
            if (match && hidden == 0) out->push_back(name);
            return false;
        });
    }
    sortNames(out);
    return noErr;
}

OSStatus findProfile(std::string_view name, bool custom, const ResourceFile& resources,
                     const PreferenceFile* store, AtomContainer* out) {
    if (!out) return kStatusParamError;
    bool found = false;
    if (custom) {
        std::vector<AtomContainer> list;
        if (!store || customProfiles(*store, &list) != noErr) return kStatusNotFound;
        for (AtomContainer& p : list) {
            std::string pname;
            profileReadName(p, profile_atoms::kName, &pname);
            if (namesEqualIgnoringCase(pname, name)) {
                *out = std::move(p);
                return noErr;
            }
        }
        return kStatusNotFound;
    }
    forEachBuiltIn(resources, [&](const AtomContainer& c, const std::string& pname) {
        if (!namesEqualIgnoringCase(pname, name)) return false;
        *out = c;
        found = true;
        return true;
    });
    return found ? noErr : kStatusNotFound;
}
