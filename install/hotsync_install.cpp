#include "install/hotsync_install.h"

#include "platform/files.h"

namespace {

std::vector<HotSyncSlot> slotsOf(const HotSyncLibrary& library, std::string_view user) {
    std::vector<HotSyncSlot> slots;
    if (library.cardSlots(user, &slots) != noErr) slots.clear();
    return slots;
}

}  // namespace

int HotSyncSlotCount(const HotSyncLibrary& library, std::string_view user) {
    return int(slotsOf(library, user).size());
}

std::string HotSyncFirstSlotName(const HotSyncLibrary& library, std::string_view user) {
    const auto slots = slotsOf(library, user);
    return slots.empty() ? std::string() : slots[0].name;
}

std::vector<std::string> HotSyncDestinationItems(const HotSyncLibrary& library,
                                                 std::string_view user, std::string_view handheld) {
    std::vector<std::string> items{std::string(handheld)};
    if (std::string card = HotSyncFirstSlotName(library, user); !card.empty())
        items.push_back(std::move(card));
    return items;
}

bool ChooseHotSyncUser(const HotSyncLibrary& library, HotSyncUserUi& ui, HotSyncTarget* target) {
    const int count = library.userCount();
    if (count <= 0) return false;
    std::string user;
    int item = 1;
    if (count == 1 && HotSyncSlotCount(library, library.userName(0)) == 0) {
        user = library.userName(0);
    } else {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            if (std::string n = library.userName(i); !n.empty()) names.push_back(std::move(n));
        if (names.empty()) return false;
        const auto choice = ui.choose(names, [&](size_t i) {
            return HotSyncDestinationItems(library, i < names.size() ? names[i] : std::string());
        });
        if (!choice || choice->user >= names.size()) return false;
        user = names[choice->user];
        item = choice->destinationItem;
    }
    HotSyncTarget t;
    t.user = user;
    t.folder = library.userFolder(user);
    if (t.folder.empty()) return false;
    const auto slots = slotsOf(library, user);
    if (!slots.empty() && item != 1) {
        t.toCard = true;
        t.slot = slots[0].id;
    }
    *target = std::move(t);
    return true;
}

OSStatus InstallConvertedFile(HotSyncLibrary& library, const HotSyncTarget& target,
                              const std::string& path, std::string* queued) {
    std::string copy;
    const OSStatus status =
        library.queueInstall(target.user, target.toCard ? target.slot : std::nullopt, path, &copy);
    if (status != noErr) return status;
    // The converted file goes only once its queued copy is safe.
    DeleteFile(path);
    if (queued != nullptr) *queued = copy;
    return noErr;
}
