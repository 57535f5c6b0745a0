// Placeholder palette hook: leaves the histogram entries of the palette and
// the inverse map as they are (zero). The colour encoder replaces this file
// as a whole.
#include "engine/writer_record.h"
#include "platform/status.h"

int32_t writerBuildPalette(MovieWriter*, uint8_t*, uint8_t*) {
    return noErr;
}
