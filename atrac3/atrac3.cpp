// The three entry points over atrac3::Encoder. The encoder lives on the heap;
// the caller's state block holds its address and the byte count of the last
// frame, nothing else.
#include "atrac3/atrac3.h"

#include <cstring>
#include <new>

#include "atrac3/encoder.h"
#include "platform/status.h"

namespace {

constexpr int kEncoderPointerOffset = 0;
static_assert(kEncoderPointerOffset + sizeof(void*) <= kAtrac3ByteCountOffset);

atrac3::Encoder* EncoderOf(const uint8_t* state) {
    atrac3::Encoder* e = nullptr;
    std::memcpy(&e, state + kEncoderPointerOffset, sizeof e);
    return e;
}

void SetEncoder(uint8_t* state, atrac3::Encoder* e) {
    std::memcpy(state + kEncoderPointerOffset, &e, sizeof e);
}

void SetByteCount(uint8_t* state, uint32_t bytes) {
    std::memcpy(state + kAtrac3ByteCountOffset, &bytes, sizeof bytes);
}

// Lowest bit-rate code each channel mode can carry: below these, two
// channels leave too little per unit for a usable spectrum.
bool Supported(int32_t bitRateCode, int32_t channelMode) {
    switch (channelMode) {
        case kAtrac3Mono:
            return true;
        case kAtrac3Stereo:
            return bitRateCode >= 24;
        case kAtrac3JointStereo:
            return bitRateCode >= 33;
        default:
            return false;
    }
}

}  // namespace

int32_t Atrac3Open(int32_t bitRateCode, int32_t channelMode, uint8_t* state) {
    if (state == nullptr) return kStatusParamError;
    const int32_t frameBytes = Atrac3FrameBytes(bitRateCode);
    if (frameBytes == 0 || !Supported(bitRateCode, channelMode)) return kStatusEncoderUnsupported;
    const atrac3::ChannelMode mode = channelMode == kAtrac3Mono ? atrac3::ChannelMode::kMono
                                     : channelMode == kAtrac3Stereo
                                         ? atrac3::ChannelMode::kStereo
                                         : atrac3::ChannelMode::kJointStereo;
    auto* encoder = new (std::nothrow) atrac3::Encoder(mode, frameBytes);
    if (encoder == nullptr) return kStatusOutOfMemory;
    SetEncoder(state, encoder);
    SetByteCount(state, 0);
    return noErr;
}

int32_t Atrac3Encode(const int16_t* pcm, uint8_t* output, uint8_t* state, int32_t sampleCount,
                     int32_t outputChannels, int32_t /*blocksBefore*/) {
    if (state == nullptr) return kStatusParamError;
    atrac3::Encoder* encoder = EncoderOf(state);
    if (encoder == nullptr || pcm == nullptr || output == nullptr ||
        outputChannels != encoder->Channels() ||
        sampleCount != kAtrac3FrameSamples * outputChannels) {
        return kStatusParamError;
    }
    encoder->EncodeFrame(pcm, {output, static_cast<size_t>(encoder->FrameBytes())});
    SetByteCount(state, static_cast<uint32_t>(encoder->FrameBytes()));
    return noErr;
}

void Atrac3Close(uint8_t* state) {
    if (state == nullptr) return;
    delete EncoderOf(state);
    SetEncoder(state, nullptr);
}

int32_t Atrac3FrameBytes(int32_t bitRateCode) {
    switch (bitRateCode) {
        case 66:
            return 192;
        case 47:
            return 136;
        case 33:
            return 96;
        case 24:
            return 68;
        case 16:
            return 48;
        case 12:
            return 34;
        default:
            return 0;
    }
}
