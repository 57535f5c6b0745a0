#pragma once
// The destination of converted files: choosing it by the item picked in
// the destination popup, the folder text shown beside it, and the name
// proposed when a single file is converted.
#include <span>
#include <string>
#include <string_view>

#include "profiles/preferences.h"

// The choosers behind the popup items. Each returns true with the chosen
// folder, or false when it was cancelled or found nothing to offer.
class DestinationChoosers {
  public:
    virtual ~DestinationChoosers() = default;
    virtual bool chooseHotSyncUser(std::string* folder) = 0;  // item 2
    virtual bool chooseCardDrive(std::string* folder) = 0;    // item 3
    virtual bool browseFolder(std::string* folder) = 0;       // item 5
};

// Runs the chooser for the picked popup item (none for "Source folder")
// and, on success, makes the item the destination kind and the chooser's
// folder the destination folder. A cancelled chooser, the separator or an
// unknown item leave *dest as it was; the popup then shows dest->kind
// again. Returns whether *dest changed.
bool ChooseDestination(int item, DestinationChoosers& choosers, Destination* dest);

// The text proposed for the output name of a single source: its file name
// cut at the last full stop, every underscore a blank
// ("my_movie.final.mov" gives "my movie.final").
std::string ProposedOutputName(std::string_view sourcePath);
// The source's name after the user entered `entered`: the text followed
// by the source's extension (from its last full stop on).
std::string EnteredOutputName(std::string_view sourcePath, std::string_view entered);

// The folder text beside the popup. With "Source folder": the folder of
// the sources when they all lie in one, `multipleLocations` when they do
// not, empty without sources. Otherwise the destination folder.
std::string DestinationFolderText(const Destination& dest, std::span<const std::string> sources,
                                  std::string_view multipleLocations);
