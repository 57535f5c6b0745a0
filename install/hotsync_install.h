#pragma once
// HotSync installation: choosing the HotSync user (and whether the files go
// to the handheld's memory or to its card) and handing each converted file
// to that user's install queue.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hotsync.h"

// What the user chooser leaves behind for the install step.
struct HotSyncTarget {
    std::string user;
    std::string folder;  // the user's folder: conversions are written here
    bool toCard = false;
    std::optional<uint32_t> slot;  // the first card slot, when going to the card
};

// The card slots of the user's handheld; 0 on any failure.
int HotSyncSlotCount(const HotSyncLibrary& library, std::string_view user);
// The first slot's name; empty without slots or on any failure.
std::string HotSyncFirstSlotName(const HotSyncLibrary& library, std::string_view user);

// The destination popup's items for a user: "Handheld" (item 1) and, when
// the handheld has a card slot with a name, that name (item 2).
std::vector<std::string> HotSyncDestinationItems(const HotSyncLibrary& library,
                                                 std::string_view user,
                                                 std::string_view handheld = "Handheld");

struct HotSyncUserChoice {
    size_t user = 0;          // index into the names offered
    int destinationItem = 1;  // 1 the handheld, 2 its card
};

// The user chooser. The window implements it with its dialog; the command
// line answers from its options.
class HotSyncUserUi {
  public:
    virtual ~HotSyncUserUi() = default;
    // Offers the user names (the first selected) and, for the selected user,
    // the destination items `itemsFor(index)` gives (asked again whenever
    // the selection changes). The choice on OK, nothing on Cancel.
    virtual std::optional<HotSyncUserChoice> choose(
        const std::vector<std::string>& users,
        const std::function<std::vector<std::string>(size_t)>& itemsFor) = 0;
};

// Chooses the HotSync user. No users: false without asking. One user whose
// handheld has no card slot: that user and the handheld's memory, without
// asking. Otherwise the UI is asked. False on Cancel and when the chosen
// user has no folder.
bool ChooseHotSyncUser(const HotSyncLibrary& library, HotSyncUserUi& ui, HotSyncTarget* target);

// Hands a converted file to the target's install queue and, once the
// queued copy is complete and on disk, deletes the converted file. When
// queueing fails the converted file stays where it is and the queue is as
// it was. *queued gets the queued copy's path. Status: the queue's.
OSStatus InstallConvertedFile(HotSyncLibrary& library, const HotSyncTarget& target,
                              const std::string& path, std::string* queued);
