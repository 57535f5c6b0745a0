#include "engine/yamaha_adpcm.h"

#include <algorithm>
#include <cstdlib>

#include "engine/adpcm_tables.h"
#include "engine/pcm.h"

namespace {

// Applies one code to the state as the player does; the coder runs the same
// step so that both sides stay in lock-step.
void Advance(YamahaAdpcmState& state, uint32_t code) {
    const uint32_t magnitude = code & 7u;
    const int32_t step = state.step;
    int32_t diff = step / 8;
    if (magnitude & 4u) diff += step;
    if (magnitude & 2u) diff += step / 2;
    if (magnitude & 1u) diff += step / 4;
    state.predictor = ClampSample((code & 8u) ? state.predictor - diff : state.predictor + diff);
    state.step =
        std::clamp(step * kYamahaStepFactor[magnitude] / 256, kYamahaMinStep, kYamahaMaxStep);
}

}  // namespace

OSStatus YamahaAdpcmEncode(std::span<const int16_t> samples, float gain, YamahaAdpcmState& state,
                           std::span<uint8_t> out) {
    if (out.size() < YamahaAdpcmBytes(static_cast<uint32_t>(samples.size()))) {
        return kStatusParamError;
    }
    for (size_t i = 0; i < samples.size(); ++i) {
        const int32_t diff = ApplySoundGain(samples[i], gain) - state.predictor;
        const int32_t quarter = state.step / 4;
        const uint32_t magnitude = static_cast<uint32_t>(std::min(7, std::abs(diff) / quarter));
        const uint32_t code = (diff < 0 ? 8u : 0u) | magnitude;
        Advance(state, code);
        if (i % 2 == 0) {
            out[i / 2] = static_cast<uint8_t>(code);
        } else {
            out[i / 2] |= static_cast<uint8_t>(code << 4);
        }
    }
    return noErr;
}

OSStatus YamahaAdpcmDecode(std::span<const uint8_t> in, YamahaAdpcmState& state,
                           std::span<int16_t> out) {
    if (in.size() < YamahaAdpcmBytes(static_cast<uint32_t>(out.size()))) return kStatusParamError;
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t byte = in[i / 2];
        Advance(state, i % 2 == 0 ? (byte & 0x0Fu) : (byte >> 4));
        out[i] = static_cast<int16_t>(state.predictor);
    }
    return noErr;
}
