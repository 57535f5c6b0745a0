#pragma once
// The card drive chooser: offers the removable drives that hold media,
// checks a Memory Stick drive for its marker, and prepares the program's
// folder on the chosen card.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drives.h"

enum class CardDriveMode {
    Removable,    // any removable drive: what the main window offers
    MemoryStick,  // drives meant to hold a Memory Stick
};

// Items of the chooser's string list (STR# 134).
inline constexpr int kCardTextNotAMemoryStick = 1;
inline constexpr int kCardTextFolder = 2;
inline constexpr int kCardTextNoMemoryStick = 4;
inline constexpr int kCardTextNoRemovable = 5;

// The chooser's text `item` (UTF-8), or "" when the resources lack it.
std::string CardDriveText(int item);

// The marker a Memory Stick leaves in its root.
inline constexpr char kMemoryStickMarker[] = "memstick.ind";

// What the chooser shows. The window implements it with its dialogs; the
// command line answers from its options.
class CardDriveUi {
  public:
    virtual ~CardDriveUi() = default;
    // Offers the drive roots with `selected` (0-based) preselected; the
    // index accepted with OK, or nothing on Cancel.
    virtual std::optional<size_t> choose(CardDriveMode mode, const std::vector<std::string>& roots,
                                         size_t selected) = 0;
    // A message with one OK button.
    virtual void alert(const std::string& text) = 0;
    // A question with OK (true) and Cancel (false).
    virtual bool confirm(const std::string& text) = 0;
};

// Runs the chooser over `drives` (in the order they were found). With no
// drive it alerts "No Removable Media drives found." (or the Memory Stick
// text) and returns false. In Memory Stick mode a drive without the marker
// needs confirming; declining returns to the chooser. On OK the card folder
// is made level by level and returned in *folder. Returns false on Cancel.
bool ChooseCardDrive(CardDriveMode mode, const std::vector<RemovableDrive>& drives, CardDriveUi& ui,
                     std::string* folder);

// The program's folder below a drive root: ROOT/PALM/PROGRAMS/TAVELLE.
std::string CardFolderPath(std::string_view root);
// Makes the card folder below root one level after the other. Levels that
// exist are fine; other failures are left for the conversion to report
// when it cannot create its output there.
void MakeCardFolder(std::string_view root);
bool HasMemoryStickMarker(std::string_view root);
