// Placeholder sound encoder hooks: the output channels follow the input and
// every sound buffer is refused. The sound encoder replaces this file as a
// whole.
#include "engine/writer_record.h"
#include "platform/status.h"

int32_t writerSoundStart(MovieWriter* w) {
    w->outputChannels = w->channels;
    return noErr;
}

int32_t writerAddSound(MovieWriter*, const void*, uint32_t, uint32_t) {
    return kStatusParamError;
}

int32_t writerSoundFlush(MovieWriter*) {
    return noErr;
}

void writerSoundRelease(MovieWriter*) {}
