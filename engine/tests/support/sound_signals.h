#pragma once
// Deterministic test signals for the sound coders.
#include <cstddef>
#include <cstdint>
#include <vector>

// A sine of `hz` at `rate` with peak `amplitude`, `count` samples.
std::vector<int16_t> ToneSignal(double hz, double rate, double amplitude, size_t count);

// Uniform noise in -amplitude..amplitude from a fixed seed.
std::vector<int16_t> NoiseSignal(uint32_t seed, int32_t amplitude, size_t count);

// A full-scale square wave: `half` samples at 32767, then `half` at -32768.
std::vector<int16_t> SquareSignal(size_t half, size_t count);

// Interleaves two channels of equal length.
std::vector<int16_t> Interleave(const std::vector<int16_t>& left,
                                const std::vector<int16_t>& right);

// Little-endian bytes of 16-bit samples, as the writer receives them.
std::vector<uint8_t> Pcm16Bytes(const std::vector<int16_t>& samples);
