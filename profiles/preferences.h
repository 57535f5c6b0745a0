#pragma once
// What the program remembers between runs: the current settings, the
// destination of converted files and the custom profiles, kept in one
// container under the root atom TVLP:
//   TVLP/STNG 1   the current settings (a flattened profile container)
//   TVLP/XLOC 1   the destination: TYPE 1 (16-bit kind), ALIS 1 (the folder)
//   TVLP/CSTM n   one custom profile each (a flattened profile container)
// The folder is stored as its path, which stands in for an alias record.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atoms.h"
#include "platform/resources.h"
#include "profiles/preference_file.h"

namespace prefs_atoms {
inline constexpr FourCC kRoot = fourCC("TVLP");
inline constexpr FourCC kSettings = fourCC("STNG");
inline constexpr FourCC kLocation = fourCC("XLOC");
inline constexpr FourCC kKind = fourCC("TYPE");
inline constexpr FourCC kAlias = fourCC("ALIS");
inline constexpr FourCC kCustom = fourCC("CSTM");
}  // namespace prefs_atoms

// Destination kinds: items of the destination popup (STR# 136).
inline constexpr uint16_t kDestinationNone = 0;  // the store could not be read
inline constexpr uint16_t kDestinationSourceFolder = 1;
inline constexpr uint16_t kDestinationHotSync = 2;
inline constexpr uint16_t kDestinationRemovable = 3;
inline constexpr uint16_t kDestinationOther = 5;

struct Destination {
    uint16_t kind = kDestinationNone;
    std::string folder;  // empty: none
};

// Loads the preferences: sets *dest (kind 1 and no folder unless the store
// says otherwise; left alone when the store cannot be read) and returns
// the current settings, or none when the store is unreadable or corrupt.
// On the first run (no STNG yet) the first built-in profile of resources
// becomes the current settings and the store is written at once.
std::optional<AtomContainer> loadPreferences(const PreferenceFile& store,
                                             const ResourceFile& resources, Destination* dest);

// Saves the current settings and the destination, replacing the one STNG
// and the one XLOC and keeping every other atom (custom profiles) as it
// was. A corrupt store is replaced by a fresh one; an unreadable one is
// left alone. Status: noErr; the store's read or write error.
OSStatus savePreferences(const PreferenceFile& store, const AtomContainer& current,
                         const Destination& dest);

// --- Custom profiles --------------------------------------------------------
// Each operation reads the store afresh and writes it back at once.
// Status: noErr; kStatusParamError for a missing argument; kStatusNotFound
// when the TVLP root or the named profile is missing; the store's errors.

// The custom profiles in store order (entries that do not parse are left out).
OSStatus customProfiles(const PreferenceFile& store, std::vector<AtomContainer>* out);

// Appends a profile as a new CSTM atom.
OSStatus addCustomProfile(const PreferenceFile& store, const AtomContainer* profile);

// Removes the first custom profile whose name matches ignoring case.
OSStatus deleteCustomProfile(const PreferenceFile& store, std::string_view name);

// Gives the first custom profile named oldName the name newName (cut to
// 63); it moves to the end of the store.
OSStatus renameCustomProfile(const PreferenceFile& store, std::string_view oldName,
                             std::string_view newName);
