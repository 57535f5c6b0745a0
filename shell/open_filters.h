#pragma once
// The type choices of the main window's "Add Files…" dialog, built afresh
// at each opening from the importers installed at that moment.
#include <vector>

#include "platform/dialogs.h"
#include "platform/media_types.h"

// "*.EXT;" for each subtype, in ascending order of the four-character code,
// each cut at its first blank ('MOV ' gives "*.MOV;"); repeats are left out.
std::string importerPatterns(std::vector<OSType> subtypes);

// "Video Files" (the fixed list of movie extensions), "All Media Files"
// (every movie and still-image importer's file type) and "All Files".
std::vector<OpenFileFilter> openDialogFilters();
