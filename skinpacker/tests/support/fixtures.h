#pragma once

// Pictures and projects several tests start from.

#include <string>

#include "skinpacker/project.h"
#include "skinpacker/tests/support/test_support.h"

namespace skintest {

// A 4-bit picture of five colours written to `path`.
void writeSmallPicture(const std::string& path);

// A project with the small picture imported (temporary file in the current directory).
void importSmallPicture(skin::Project& project, RecordingReporter& reporter,
                        const std::string& dir);

// Places `slot` so that its top-left corner lands at (cx, cy) in the picture
// (corner plus half size must be even, since clicks round down to even).
skin::ClickResult placeAt(skin::Project& project, int slot, int cx, int cy,
                          RecordingReporter& reporter);

}  // namespace skintest
