// Placeholder entry points until the encoder lands: every combination is
// refused, so the writer reports ATRAC3 movies as not startable.
#include "atrac3/atrac3.h"

#include "platform/status.h"

int32_t Atrac3Open(int32_t, int32_t, uint8_t*) { return kStatusEncoderUnsupported; }

int32_t Atrac3Encode(const int16_t*, uint8_t*, uint8_t*, int32_t, int32_t, int32_t) {
    return kStatusParamError;
}

void Atrac3Close(uint8_t*) {}

int32_t Atrac3FrameBytes(int32_t bitRateCode) {
    switch (bitRateCode) {
        case 66: return 192;
        case 47: return 136;
        case 33: return 96;
        case 24: return 68;
        case 16: return 48;
        case 12: return 34;
        default: return 0;
    }
}
