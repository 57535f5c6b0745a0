#include "install/dialogs/destination_dialogs.h"

#include "resources/resources.h"
#include "toolkit/dialog_toolkit.h"

namespace {

constexpr ResID kRemovableDialog = 157;
constexpr ResID kMemoryStickDialog = 141;
constexpr ResID kUserDialog = 143;
constexpr ResID kNameDialog = 158;
constexpr ResID kMessageAlert = 134;
constexpr ResID kQuestionAlert = 130;
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kDrivePopup = 3;
constexpr int kUserPopup = 3;
constexpr int kInstallPopup = 4;
constexpr int kNameText = 3;

DialogHolder openDialog(ResID id) {
    DialogPtr raw = nullptr;
    if (newDialog(moviepackerResources(), id, &raw) != noErr) return DialogHolder();
    DialogHolder d(raw);
    setDefaultItem(d.get(), kOk);
    setCancelItem(d.get(), kCancel);
    return d;
}

int runUntilOkOrCancel(DialogPtr d, const std::function<void(int)>& onItem = nullptr) {
    int hit = 0;
    if (runModalUntil(d, {kOk, kCancel}, nullptr, onItem, &hit) != noErr) return kCancel;
    return hit;
}

// The destination popup for one user: "Handheld" kept, the card's name
// after it when there is one; dimmed when there is nothing to choose.
void fillInstallPopup(DialogPtr d, const std::vector<std::string>& items) {
    for (int n = countMenuItems(d, kInstallPopup); n > 1; --n) deleteMenuItem(d, kInstallPopup, n);
    for (size_t i = 1; i < items.size(); ++i) appendNameToPopup(d, kInstallPopup, items[i]);
    const int count = countMenuItems(d, kInstallPopup);
    setControlMaximum(d, kInstallPopup, count);
    setControlValue(d, kInstallPopup, 1);
    hiliteControl(d, kInstallPopup, count > 1 ? 0 : 255);
}

}  // namespace

std::optional<size_t> CardDriveDialogs::choose(CardDriveMode mode,
                                               const std::vector<std::string>& roots,
                                               size_t selected) {
    DialogHolder d =
        openDialog(mode == CardDriveMode::MemoryStick ? kMemoryStickDialog : kRemovableDialog);
    if (!d) return std::nullopt;
    emptyPopup(d.get(), kDrivePopup);
    for (const std::string& r : roots) appendNameToPopup(d.get(), kDrivePopup, r);
    setControlMaximum(d.get(), kDrivePopup, int(roots.size()));
    setControlValue(d.get(), kDrivePopup, int(selected) + 1);
    if (runUntilOkOrCancel(d.get()) != kOk) return std::nullopt;
    int value = 0;
    getControlValue(d.get(), kDrivePopup, &value);
    if (value < 1 || size_t(value) > roots.size()) return std::nullopt;
    return size_t(value - 1);
}

void CardDriveDialogs::alert(const std::string& text) {
    setParamText(text);
    int hit = 0;
    runAlert(moviepackerResources(), kMessageAlert, nullptr, &hit);
}

bool CardDriveDialogs::confirm(const std::string& text) {
    setParamText(text);
    int hit = 0;
    return runAlert(moviepackerResources(), kQuestionAlert, nullptr, &hit) == noErr && hit == kOk;
}

std::optional<HotSyncUserChoice> HotSyncUserDialog::choose(
    const std::vector<std::string>& users,
    const std::function<std::vector<std::string>(size_t)>& itemsFor) {
    DialogHolder d = openDialog(kUserDialog);
    if (!d || users.empty()) return std::nullopt;
    emptyPopup(d.get(), kUserPopup);
    for (const std::string& u : users) appendNameToPopup(d.get(), kUserPopup, u);
    setControlMaximum(d.get(), kUserPopup, int(users.size()));
    setControlValue(d.get(), kUserPopup, 1);
    fillInstallPopup(d.get(), itemsFor(0));
    int shownUser = 1;
    const int hit = runUntilOkOrCancel(d.get(), [&](int item) {
        int value = 0;
        if (item != kUserPopup || getControlValue(d.get(), kUserPopup, &value) != noErr ||
            value == shownUser || value < 1 || size_t(value) > users.size())
            return;
        shownUser = value;
        fillInstallPopup(d.get(), itemsFor(size_t(value - 1)));
    });
    if (hit != kOk) return std::nullopt;
    HotSyncUserChoice c;
    int user = 1, install = 1;
    getControlValue(d.get(), kUserPopup, &user);
    getControlValue(d.get(), kInstallPopup, &install);
    c.user = size_t(std::max(user, 1) - 1);
    c.destinationItem = install;
    return c;
}

bool AskOutputName(const std::string& sourcePath, std::string* name) {
    DialogHolder d = openDialog(kNameDialog);
    if (!d) return false;
    setItemText(d.get(), kNameText, ProposedOutputName(sourcePath));
    selectItemText(d.get(), kNameText, 0, 32767);
    if (runUntilOkOrCancel(d.get()) != kOk) return false;
    std::string text;
    getItemText(d.get(), kNameText, &text);
    *name = EnteredOutputName(sourcePath, text);
    return true;
}

DestinationDialogs::DestinationDialogs(const HotSyncLibrary& hotsync,
                                       std::function<std::vector<RemovableDrive>()> drives,
                                       std::function<bool(std::string*)> browseFolder)
    : m_hotsync(hotsync), m_drives(std::move(drives)), m_browse(std::move(browseFolder)) {}

bool DestinationDialogs::chooseHotSyncUser(std::string* folder) {
    HotSyncUserDialog ui;
    HotSyncTarget t;
    if (!ChooseHotSyncUser(m_hotsync, ui, &t)) return false;
    m_target = t;
    *folder = t.folder;
    return true;
}

bool DestinationDialogs::chooseCardDrive(std::string* folder) {
    CardDriveDialogs ui;
    return ChooseCardDrive(CardDriveMode::Removable, m_drives(), ui, folder);
}

bool DestinationDialogs::browseFolder(std::string* folder) {
    return m_browse && m_browse(folder);
}
