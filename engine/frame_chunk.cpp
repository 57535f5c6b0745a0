#include "engine/frame_chunk.h"

uint16_t FrameHundredths(int64_t& carry, uint32_t duration, uint32_t timeScale) {
    const int64_t end = carry + static_cast<int64_t>(duration) * 100;
    int64_t hundredths = end / timeScale;
    if (hundredths > UINT16_MAX) hundredths = UINT16_MAX;
    carry = end - hundredths * timeScale;
    return static_cast<uint16_t>(hundredths);
}
