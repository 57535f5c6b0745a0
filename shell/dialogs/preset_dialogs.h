#pragma once
// The preset dialogs of the main window: "Save Preset" (DLOG 1154),
// "Rename Preset" (DLOG 1152) and "Edit Presets" (DLOG 1156), over the
// custom profiles of the preference store.
#include <string>

#include "platform/resources.h"
#include "profiles/preference_file.h"
#include "profiles/profile.h"

inline constexpr ResID kSavePresetDialog = 1154;
inline constexpr ResID kRenamePresetDialog = 1152;
inline constexpr ResID kEditPresetsDialog = 1156;
inline constexpr ResID kPresetStrings = 1152;  // STR# of the preset dialogs' texts

// Asks for a name and saves the record as a custom profile under it. The
// name is cut to 63 characters; a name a custom profile already has (in
// any letter case) is refused with a beep and the dialog stays open. The
// saved profile keeps the profile it came from as its base name. On
// success the record takes the new name (and base name) and its changed
// flag is cleared. Status: noErr; kStatusUserCancelled; the store's or
// the dialog's errors.
OSStatus runSavePresetDialog(const ResourceFile& res, const PreferenceFile& store,
                             ProfileRecord* record);

// Asks for a new name for the custom profile `oldName` and renames it in
// the store (it moves to the end). Same checks as saving; the profile's
// own name in another case is allowed. Status as above; *newName gets it.
OSStatus runRenamePresetDialog(const ResourceFile& res, const PreferenceFile& store,
                               const std::string& oldName, std::string* newName);

// The list of custom profiles with Rename and Delete, until Done. Returns
// whether the store changed.
bool runEditPresetsDialog(const ResourceFile& res, const PreferenceFile& store);
