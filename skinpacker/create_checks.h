#pragma once

// The checks of the create sequence, shared by the windows and the headless mode.

#include <string_view>

#include "skinpacker/project.h"

namespace skin {

inline constexpr size_t kMaxDatabaseFileName = 30;

// The player cannot run without these two.
bool playAndStopPlaced(const Project& project);

// The file name (with extension, no folder) becomes the database name: it
// must have 1 to 30 single-byte places. Returns the refusal, or empty.
std::string_view checkDatabaseFileName(std::string_view fileName);

// Title, author and version (UTF-8) in the order they are checked; on
// success fills `out` with the handheld's bytes. Returns the refusal, or empty.
std::string_view makeDatabaseTexts(std::string_view title, std::string_view author,
                                   std::string_view version, DatabaseTexts& out);

}  // namespace skin
