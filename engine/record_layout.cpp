// Finishing: header completion and the record layout.
#include "engine/writer_record.h"
#include "platform/status.h"

// Not built yet: finishing refuses until the record layout exists.
int32_t writerFinishImage(MovieWriter*) {
    return kStatusParamError;
}
