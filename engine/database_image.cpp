// The Palm database image and its read-out.
#include "engine/writer_record.h"
#include "platform/status.h"

uint32_t writerImageSize(const MovieWriter* w) {
    return BlockLength(w->image) + w->spooledByteCount;
}

int32_t writerReadImage(MovieWriter*, uint8_t*, uint32_t, uint32_t) {
    return kStatusParamError;
}
