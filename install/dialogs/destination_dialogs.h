#pragma once
// The destinations' windows: the card drive chooser, the HotSync user
// chooser and the name prompt for a single output, built from their dialog
// resources over the dialog toolkit (library destinations_dialogs, built
// with the GUI).
#include <functional>
#include <string>

#include "install/card_drive.h"
#include "install/destination.h"
#include "install/hotsync_install.h"

// The card drive chooser's windows: DLOG 157 (removable) or 141 (Memory
// Stick) with OK 1, Cancel 2 and the drive popup 3; alert 134 for a
// message, alert 130 for a question.
class CardDriveDialogs final : public CardDriveUi {
  public:
    std::optional<size_t> choose(CardDriveMode mode, const std::vector<std::string>& roots,
                                 size_t selected) override;
    void alert(const std::string& text) override;
    bool confirm(const std::string& text) override;
};

// The HotSync user chooser: DLOG 143 with OK 1, Cancel 2, the user popup 3
// and the destination popup 4 ("Handheld" and the card's name).
class HotSyncUserDialog final : public HotSyncUserUi {
  public:
    std::optional<HotSyncUserChoice> choose(
        const std::vector<std::string>& users,
        const std::function<std::vector<std::string>(size_t)>& itemsFor) override;
};

// The name prompt (DLOG 158: OK 1, Cancel 2, edit text 3, label 4) shown
// before a single file is converted. True with *name set to the entered
// text plus the source's extension; false on Cancel.
bool AskOutputName(const std::string& sourcePath, std::string* name);

// The choosers behind the destination popup, in windows. The folder
// browser belongs to the main window and is handed in.
class DestinationDialogs final : public DestinationChoosers {
  public:
    DestinationDialogs(const HotSyncLibrary& hotsync,
                       std::function<std::vector<RemovableDrive>()> drives,
                       std::function<bool(std::string*)> browseFolder);
    bool chooseHotSyncUser(std::string* folder) override;
    bool chooseCardDrive(std::string* folder) override;
    bool browseFolder(std::string* folder) override;
    // What the last accepted HotSync choice was (user, card), for the run.
    const HotSyncTarget& hotSyncTarget() const { return m_target; }

  private:
    const HotSyncLibrary& m_hotsync;
    std::function<std::vector<RemovableDrive>()> m_drives;
    std::function<bool(std::string*)> m_browse;
    HotSyncTarget m_target;
};
