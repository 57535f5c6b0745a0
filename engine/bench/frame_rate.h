#pragma once
// What the video benchmarks share: processor time of this thread, a moving
// scene, and a frames-per-second loop.
#include <time.h>

#include <vector>

#include "engine/tests/support/test_picture.h"

namespace bench {

// Processor time of this thread: the machine may be shared, and the figure
// wanted is what one core does.
inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

inline constexpr int kDistinctFrames = 48;
inline constexpr double kSecondsPerCase = 1.0;

inline std::vector<TestPicture> Scene(int width, int height) {
    std::vector<TestPicture> frames;
    for (int t = 0; t < kDistinctFrames; ++t) {
        frames.emplace_back(width, height);
        frames.back().Draw(t);
    }
    return frames;
}

// Runs `step` on frame after frame, `batch` at a time, for about
// kSecondsPerCase; frames per second.
template <typename Step>
double Rate(Step step, int batch = 16) {
    const double start = CpuSeconds();
    long frames = 0;
    double elapsed = 0;
    do {
        for (int i = 0; i < batch; ++i) step(frames++);
        elapsed = CpuSeconds() - start;
    } while (elapsed < kSecondsPerCase);
    return frames / elapsed;
}

}  // namespace bench
