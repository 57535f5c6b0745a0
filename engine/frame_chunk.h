#pragma once
// What every video mode shares on the way from a frame to its "rf" chunk:
// the key frame policy, the conversion of durations into hundredths and the
// size limit of a frame chunk.
#include <cstdint>

#include "engine/record_layout.h"

// Bytes of a frame chunk around its data: length, tag, type, flags and
// duration before it, and a possible pad byte after it.
inline constexpr uint32_t kFrameChunkOverhead = 8 + 1;
// A chunk is never split between database records, so a frame chunk must fit
// in the chunk bytes of one record.
inline constexpr uint32_t kFrameChunkMaxBytes = kRecordChunkLimit;
inline constexpr uint32_t kFrameDataMaxBytes = kFrameChunkMaxBytes - kFrameChunkOverhead;

// A difference frame is allowed unless a key frame was asked for or the run
// of difference frames already reaches one short of the key frame interval.
inline bool DifferenceFrameAllowed(bool forceKeyFrame, int32_t differenceRun,
                                   int32_t keyFrameInterval) {
    return !forceKeyFrame && differenceRun < keyFrameInterval - 1;
}

// Turns a frame duration in `timeScale` units per second (above 0) into
// hundredths of a second. `carry` keeps the source time not yet expressed in
// hundredths, counted in hundredths of a time-scale unit: that makes the
// round trip exact for every scale, so the total never drifts. A frame too
// long for the 16-bit field leaves the excess in the carry for the next one.
uint16_t FrameHundredths(int64_t& carry, uint32_t duration, uint32_t timeScale);
