#include "engine/tests/support/fake_atrac3.h"

#include <algorithm>
#include <cstring>

#include "atrac3/atrac3.h"

namespace {

int32_t FakeOpen(int32_t code, int32_t mode, uint8_t*) {
    FakeAtrac3::openedCode = code;
    FakeAtrac3::openedMode = mode;
    return FakeAtrac3::openStatus;
}

int32_t FakeEncode(const int16_t* pcm, uint8_t* output, uint8_t* state, int32_t sampleCount,
                   int32_t outputChannels, int32_t blocksBefore) {
    const int32_t call = static_cast<int32_t>(FakeAtrac3::calls.size());
    FakeAtrac3::calls.push_back(
        {{pcm, pcm + sampleCount}, sampleCount, outputChannels, blocksBefore});
    if (FakeAtrac3::failFromCall >= 0 && call >= FakeAtrac3::failFromCall) return -1;
    // The frame carries the call number so a test can tell blocks apart. A
    // count above the writer's 512-byte output buffer is only reported.
    std::memset(output, call & 0xFF, std::min<uint32_t>(FakeAtrac3::frameBytes, 512));
    const uint32_t count = FakeAtrac3::frameBytes;
    std::memcpy(state + kAtrac3ByteCountOffset, &count, sizeof count);
    return 0;
}

void FakeClose(uint8_t*) {
    ++FakeAtrac3::closeCount;
}

}  // namespace

const Atrac3EntryPoints FakeAtrac3::kEntryPoints = {FakeOpen, FakeEncode, FakeClose};

void FakeAtrac3::Reset() {
    openStatus = 0;
    openedCode = 0;
    openedMode = 0;
    frameBytes = 96;
    failFromCall = -1;
    closeCount = 0;
    calls.clear();
}
