// Encoding speed against real time, one core: prints how many seconds of
// sound each mode encodes per second of processor time. Processor time of
// this thread rather than wall time, so a busy machine skews it less.
#include <time.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "atrac3/atrac3.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 60.0;

std::vector<int16_t> Signal(int channels) {
    const size_t frames = static_cast<size_t>(kSeconds * kRate);
    std::vector<int16_t> pcm(frames * channels);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        for (int c = 0; c < channels; ++c) {
            double v = 0.0;
            for (int h = 1; h <= 8; ++h)
                v += 3000.0 / h * std::sin(2 * std::numbers::pi * (220.0 + 55 * c) * h * t);
            v *= 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.7 * t);
            pcm[i * channels + c] = static_cast<int16_t>(std::lround(v + noise(rng)));
        }
    }
    return pcm;
}

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double RealTimeFactor(int rate, int mode, int channels, const std::vector<int16_t>& pcm) {
    uint8_t state[kAtrac3StateSize] = {};
    if (Atrac3Open(rate, mode, state) != 0) return 0.0;
    std::vector<uint8_t> out(512);
    const size_t block = 1024 * static_cast<size_t>(channels);
    const double start = ThreadSeconds();
    int blocks = 0;
    for (size_t pos = 0; pos + block <= pcm.size(); pos += block, ++blocks) {
        Atrac3Encode(pcm.data() + pos, out.data(), state, static_cast<int32_t>(block), channels,
                     blocks);
    }
    const double elapsed = ThreadSeconds() - start;
    Atrac3Close(state);
    return (blocks * 1024.0 / kRate) / elapsed;
}

}  // namespace

int main() {
    const auto mono = Signal(1);
    const auto stereo = Signal(2);
    struct Case {
        const char* name;
        int rate;
        int mode;
        int channels;
    };
    const Case cases[] = {
        {"mono 66", 66, kAtrac3Mono, 1},         {"mono 12", 12, kAtrac3Mono, 1},
        {"stereo 66", 66, kAtrac3Stereo, 2},     {"stereo 24", 24, kAtrac3Stereo, 2},
        {"joint 66", 66, kAtrac3JointStereo, 2}, {"joint 33", 33, kAtrac3JointStereo, 2}};
    for (const Case& c : cases) {
        const double f =
            RealTimeFactor(c.rate, c.mode, c.channels, c.channels == 1 ? mono : stereo);
        std::printf("%-10s %7.1f x real time\n", c.name, f);
    }
    return 0;
}
