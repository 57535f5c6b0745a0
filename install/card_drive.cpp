#include "install/card_drive.h"

#include <sys/stat.h>

#include "platform/resources.h"
#include "resources/resources.h"

namespace {

constexpr ResID kCardTexts = 134;

std::string rootWithoutSlash(std::string_view root) {
    std::string r(root);
    while (!r.empty() && r.back() == '/') r.pop_back();
    return r;
}

}  // namespace

std::string CardDriveText(int item) {
    std::string text;
    if (getIndStringUtf8(moviepackerResources(), kCardTexts, item, &text) != noErr) text.clear();
    return text;
}

std::string CardFolderPath(std::string_view root) {
    // The folder text is written with the handheld's backslashes.
    std::string folder = CardDriveText(kCardTextFolder);
    for (char& c : folder)
        if (c == '\\') c = '/';
    return rootWithoutSlash(root) + folder;
}

void MakeCardFolder(std::string_view root) {
    const std::string base = rootWithoutSlash(root);
    const std::string folder = CardFolderPath(root);
    for (size_t i = base.size() + 1; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '/') mkdir(folder.substr(0, i).c_str(), 0755);
}

bool HasMemoryStickMarker(std::string_view root) {
    struct stat st {};
    const std::string marker = rootWithoutSlash(root) + "/" + kMemoryStickMarker;
    return stat(marker.c_str(), &st) == 0;
}

bool ChooseCardDrive(CardDriveMode mode, const std::vector<RemovableDrive>& drives, CardDriveUi& ui,
                     std::string* folder) {
    if (drives.empty()) {
        ui.alert(CardDriveText(mode == CardDriveMode::MemoryStick ? kCardTextNoMemoryStick
                                                                  : kCardTextNoRemovable));
        return false;
    }
    std::vector<std::string> roots;
    for (const RemovableDrive& d : drives) roots.push_back(d.root);
    size_t selected = 0;
    for (;;) {
        const std::optional<size_t> picked = ui.choose(mode, roots, selected);
        if (!picked || *picked >= roots.size()) return false;
        selected = *picked;
        if (mode == CardDriveMode::MemoryStick && !HasMemoryStickMarker(roots[selected]) &&
            !ui.confirm(CardDriveText(kCardTextNotAMemoryStick)))
            continue;
        *folder = CardFolderPath(roots[selected]);
        MakeCardFolder(roots[selected]);
        return true;
    }
}
