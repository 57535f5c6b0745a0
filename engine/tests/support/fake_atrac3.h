#pragma once
// A stand-in for the ATRAC3 library's entry points that accepts the
// combinations it is told to, writes a recognisable frame per call and
// remembers what it was given.
#include <cstdint>
#include <vector>

#include "engine/sound_encoder.h"

struct FakeAtrac3Call {
    std::vector<int16_t> pcm;
    int32_t sampleCount = 0;
    int32_t outputChannels = 0;
    int32_t blocksBefore = 0;
};

struct FakeAtrac3 {
    static inline int32_t openStatus = 0;
    static inline int32_t openedCode = 0;
    static inline int32_t openedMode = 0;
    static inline uint32_t frameBytes = 96;
    static inline int32_t failFromCall = -1;  // encode fails from this call on
    static inline int32_t closeCount = 0;
    static inline std::vector<FakeAtrac3Call> calls;

    static void Reset();
    static const Atrac3EntryPoints kEntryPoints;
};
