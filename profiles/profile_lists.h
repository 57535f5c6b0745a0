#pragma once
// The manufacturer table, the name lists behind the settings and device
// popups, and finding a profile by name. Built-in profiles come from the
// STNG resources of a resource file (normally moviepackerResources()),
// custom ones from the preference store.
#include <string>
#include <string_view>
#include <vector>

#include "platform/atoms.h"
#include "platform/resources.h"
#include "profiles/preference_file.h"

struct Manufacturer {
    std::string name;  // Mac Roman
    int16_t id = 0;
};

// The MANU 512 table: 66-byte entries, a NUL-terminated name in 64 bytes and
// a big-endian id. Status: noErr; kStatusResourceNotFound; kStatusParamError.
OSStatus loadManufacturers(const ResourceFile& resources, std::vector<Manufacturer>* out);

// The id of a name (exact match), or -1 when the table has no such name.
int16_t manufacturerId(const ResourceFile& resources, std::string_view name);

// The name of an id; empty when the table has no such id.
std::string manufacturerName(const ResourceFile& resources, int16_t id);

// Keywords of the list query.
inline constexpr std::string_view kListCustom = "custom";
inline constexpr std::string_view kListManufacturers = "manufac";

// Lists names sorted ignoring case and diacritics: "custom" the custom
// profiles (none when the store cannot be read; store may be null),
// "manufac" the manufacturer names, any other keyword the built-in
// profiles of the manufacturer of that name (ignoring case), hidden ones
// left out. Status: noErr or kStatusParamError (null out).
OSStatus profileList(std::string_view keyword, const ResourceFile& resources,
                     const PreferenceFile* store, std::vector<std::string>* out);

// A detached copy of the first profile named name (ignoring case): built-in
// profiles in resource order, or custom ones in store order.
// Status: noErr; kStatusParamError (null out); kStatusNotFound.
OSStatus findProfile(std::string_view name, bool custom, const ResourceFile& resources,
                     const PreferenceFile* store, AtomContainer* out);
