#include "shell/dialogs/preset_dialogs.h"

#include <algorithm>

#include "platform/dialogs.h"
#include "platform/mac_roman.h"
#include "profiles/preferences.h"
#include "profiles/profile_lists.h"
#include "toolkit/dialog_toolkit.h"

namespace {

constexpr int kSave = 1;
constexpr int kCancel = 2;
constexpr int kNameText = 3;
constexpr int kCurrentName = 6;  // Rename: the current name
constexpr int kDone = 1;
constexpr int kRename = 2;
constexpr int kDelete = 3;
constexpr int kPresetList = 5;
constexpr ResID kConfirmAlert = 130;
constexpr int kCopyOfString = 4;
constexpr int kDeleteQuestionString = 6;

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
               return fold(static_cast<unsigned char>(x)) == fold(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> customNames(const ResourceFile& res, const PreferenceFile& store) {
    std::vector<std::string> names;
    profileList(kListCustom, res, &store, &names);
    return names;
}

// The edit text as Mac Roman, cut to 63 characters.
std::string enteredName(DialogPtr d) {
    std::string utf8;
    getItemText(d, kNameText, &utf8);
    return utf8ToMacRomanLossy(utf8, kNameFieldSize - 1);
}

// Runs a name dialog (Save or Rename) until Cancel or an acceptable name.
// `taken` says whether a name is refused.
OSStatus askName(DialogPtr d, const std::function<bool(const std::string&)>& taken,
                 std::string* name) {
    setDefaultItem(d, kSave);
    setCancelItem(d, kCancel);
    selectItemText(d, kNameText, 0, 32767);
    auto updateSave = [&] { hiliteControl(d, kSave, enteredName(d).empty() ? 255 : 0); };
    updateSave();
    for (;;) {
        int hit = 0;
        if (OSStatus err = modalDialog(d, nullptr, &hit)) return err;
        if (hit == kCancel) return kStatusUserCancelled;
        if (hit == kNameText) {
            updateSave();
            continue;
        }
        if (hit != kSave) continue;
        const std::string entered = enteredName(d);
        if (entered.empty()) continue;
        if (taken(entered)) {
            systemBeep();
            selectItemText(d, kNameText, 0, 32767);
            continue;
        }
        *name = entered;
        return noErr;
    }
}

DialogHolder openDialog(const ResourceFile& res, ResID id) {
    DialogPtr raw = nullptr;
    if (newDialog(res, id, &raw) != noErr) return DialogHolder();
    return DialogHolder(raw);
}

}  // namespace

OSStatus runSavePresetDialog(const ResourceFile& res, const PreferenceFile& store,
                             ProfileRecord* record) {
    if (!record) return kStatusParamError;
    DialogHolder d = openDialog(res, kSavePresetDialog);
    if (!d) return kStatusResourceNotFound;
    std::string copyOf;
    getIndString(res, kPresetStrings, kCopyOfString, &copyOf);
    setItemText(d.get(), kNameText, macRomanToUtf8((copyOf + record->name).substr(0, kNameFieldSize - 1)));
    const std::vector<std::string> existing = customNames(res, store);
    std::string name;
    OSStatus err = askName(
        d.get(),
        [&](const std::string& n) {
            return std::any_of(existing.begin(), existing.end(),
                               [&](const std::string& e) { return sameNameIgnoringCase(e, n); });
        },
        &name);
    if (err) return err;

    ProfileRecord saved = *record;
    // A preset made from a built-in profile remembers it; one made from a
    // preset keeps that preset's origin.
    if (saved.baseName.empty()) saved.baseName = saved.name;
    saved.name = name;
    saved.changed = 0;
    AtomContainer profile;
    if ((err = profileFromRecord(saved, name, &profile))) return err;
    if ((err = addCustomProfile(store, &profile))) return err;
    *record = std::move(saved);
    return noErr;
}

OSStatus runRenamePresetDialog(const ResourceFile& res, const PreferenceFile& store,
                               const std::string& oldName, std::string* newName) {
    if (!newName) return kStatusParamError;
    DialogHolder d = openDialog(res, kRenamePresetDialog);
    if (!d) return kStatusResourceNotFound;
    setItemText(d.get(), kCurrentName, macRomanToUtf8(oldName));
    setItemText(d.get(), kNameText, macRomanToUtf8(oldName));
    const std::vector<std::string> existing = customNames(res, store);
    std::string name;
    OSStatus err = askName(
        d.get(),
        [&](const std::string& n) {
            if (sameNameIgnoringCase(n, oldName)) return false;  // a change of case only
            return std::any_of(existing.begin(), existing.end(),
                               [&](const std::string& e) { return sameNameIgnoringCase(e, n); });
        },
        &name);
    if (err) return err;
    if ((err = renameCustomProfile(store, oldName, name))) return err;
    *newName = name;
    return noErr;
}

bool runEditPresetsDialog(const ResourceFile& res, const PreferenceFile& store) {
    DialogHolder d = openDialog(res, kEditPresetsDialog);
    if (!d) return false;
    setDefaultItem(d.get(), kDone);
    setCancelItem(d.get(), kDone);
    attachList(d.get(), kPresetList, true);
    std::vector<std::string> names;
    bool changed = false;
    auto refill = [&] {
        names = customNames(res, store);
        std::vector<std::string> rows;
        for (const std::string& n : names) rows.push_back(macRomanToUtf8(n));
        setListRows(d.get(), kPresetList, rows);
        const bool any = !names.empty();
        hiliteControl(d.get(), kRename, any ? 0 : 255);
        hiliteControl(d.get(), kDelete, any ? 0 : 255);
    };
    refill();
    if (!names.empty()) selectListRow(d.get(), kPresetList, 1, true);
    for (;;) {
        int hit = 0;
        if (modalDialog(d.get(), nullptr, &hit) != noErr || hit == kDone) break;
        const std::vector<int> rows = selectedListRows(d.get(), kPresetList);
        if (hit == kRename && !rows.empty()) {
            const std::string oldName = names[size_t(rows.front() - 1)];
            std::string newName;
            if (runRenamePresetDialog(res, store, oldName, &newName) == noErr) {
                changed = true;
                refill();
                // Keep the renamed preset selected in its new place.
                for (size_t i = 0; i < names.size(); ++i)
                    if (names[i] == newName) selectListRow(d.get(), kPresetList, int(i) + 1, true);
            }
        } else if (hit == kDelete && !rows.empty()) {
            std::string question;
            getIndStringUtf8(res, kPresetStrings, kDeleteQuestionString, &question);
            setParamText(question);
            int answer = 0;
            if (runAlert(res, kConfirmAlert, nullptr, &answer) != noErr || answer != 1) continue;
            for (int row : rows) {
                if (deleteCustomProfile(store, names[size_t(row - 1)]) == noErr) changed = true;
            }
            refill();
        }
    }
    return changed;
}
