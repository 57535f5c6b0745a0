#pragma once
// convert --to WHERE: the destination of a command-line run, resolved the
// way the window's choosers resolve the destination popup.
#include <optional>
#include <string>

#include "install/hotsync_install.h"

namespace cli {

struct ConvertTarget {
    const char* kind = "source";        // source, folder, card, hotsync
    std::optional<std::string> folder;  // where the databases are written; none: beside each source
    std::optional<HotSyncTarget> hotsync;  // queued after each file
    std::string slotName;                  // hotsync: "handheld" or the card's name
};

// Resolves source | DIR | card[:N] | hotsync[:USER[:SLOT]] (nothing: source).
// Messages go to stderr. Returns 0, or the exit status: kExitUsage when the
// answer the window would ask for is missing or wrong, kExitFailed when
// there is no drive or user to choose from.
int resolveConvertTarget(const std::optional<std::string>& to, const HotSyncLibrary& library,
                         ConvertTarget* target);

}  // namespace cli
