// Placeholder video encoder hooks: they accept the video configuration but
// encode nothing, so every frame is refused. The video encoder replaces this
// file as a whole.
#include "engine/writer_record.h"
#include "platform/status.h"

int32_t writerVideoStart(MovieWriter*) {
    return noErr;
}

int32_t writerAddFrame(MovieWriter*, const uint8_t*, int32_t, int32_t, bool*) {
    return kStatusParamError;
}

void writerVideoRelease(MovieWriter*) {}
