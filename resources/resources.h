#pragma once
// The resources of moviepacker, compiled from resources/*.r and embedded.
#include "platform/resources.h"

// The program's resource file, opened on first use and kept for the run.
// The image is checked when it is built, so it always opens; should it
// not, this is an empty file on which every lookup fails.
const ResourceFile& moviepackerResources();
