#include "engine/pcm.h"

#include <algorithm>
#include <cmath>

int16_t ApplySoundGain(int32_t sample, float gain) {
    const float scaled = static_cast<float>(sample) * gain;
    // Clamp in float first: converting an out-of-range float is undefined.
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(scaled);  // conversion truncates toward zero
}

void ReadPcm16(std::span<const uint8_t> bytes, std::span<int16_t> samples) {
    const size_t count = std::min(samples.size(), bytes.size() / 2);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t raw = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        samples[i] = static_cast<int16_t>(raw);
    }
}

void WritePcm16(std::span<const int16_t> samples, std::span<uint8_t> bytes) {
    const size_t count = std::min(samples.size(), bytes.size() / 2);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t raw = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(raw & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(raw >> 8);
    }
}

uint8_t SampleToPcm8(int16_t sample) {
    const int32_t rounded = (static_cast<int32_t>(sample) + 128) >> 8;
    return static_cast<uint8_t>(std::clamp(rounded, -128, 127) + 128);
}

void DownmixStereo(std::span<const int16_t> stereo, std::span<int16_t> mono) {
    const size_t count = std::min(mono.size(), stereo.size() / 2);
    for (size_t i = 0; i < count; ++i) {
        // Integer division truncates toward zero, as the player's own mix does.
        mono[i] = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) / 2);
    }
}

void SplitStereo(std::span<const int16_t> stereo, std::span<int16_t> left,
                 std::span<int16_t> right) {
    const size_t count = std::min({left.size(), right.size(), stereo.size() / 2});
    for (size_t i = 0; i < count; ++i) {
        left[i] = stereo[2 * i];
        right[i] = stereo[2 * i + 1];
    }
}

double SignalToNoiseDb(std::span<const int16_t> reference, std::span<const int16_t> decoded) {
    const size_t count = std::min(reference.size(), decoded.size());
    double signal = 0.0;
    double noise = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double r = reference[i];
        const double e = r - decoded[i];
        signal += r * r;
        noise += e * e;
    }
    if (noise == 0.0) return 200.0;
    if (signal == 0.0) return -200.0;
    return 10.0 * std::log10(signal / noise);
}
