#include "engine/tests/support/sound_signals.h"

#include <cmath>
#include <numbers>

std::vector<int16_t> ToneSignal(double hz, double rate, double amplitude, size_t count) {
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
    }
    return out;
}

std::vector<int16_t> NoiseSignal(uint32_t seed, int32_t amplitude, size_t count) {
    std::vector<int16_t> out(count);
    uint32_t x = seed;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1664525u + 1013904223u;
        const int32_t span = 2 * amplitude + 1;
        out[i] = static_cast<int16_t>(static_cast<int32_t>((x >> 8) % span) - amplitude);
    }
    return out;
}

std::vector<int16_t> SquareSignal(size_t half, size_t count) {
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = (i / half) % 2 == 0 ? 32767 : -32768;
    return out;
}

std::vector<int16_t> Interleave(const std::vector<int16_t>& left,
                                const std::vector<int16_t>& right) {
    std::vector<int16_t> out(2 * left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    return out;
}

std::vector<uint8_t> Pcm16Bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out(2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>(samples[i]);
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return out;
}
