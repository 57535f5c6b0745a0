#pragma once
// What the video benchmarks share: processor time of this thread, a moving
// scene, and a frames-per-second loop.
#include <time.h>

#include <cstdio>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/tests/support/test_picture.h"
#include "engine/writer_record.h"
#include "platform/status.h"

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

// Frames per second of MovieWriterAddFrame in `mode` over the scene, each frame lasting
// `duration` ticks; a positive `dataRate` is set as the writer's data rate. The spool holds
// every chunk, so its size over the frame count is what a frame costs. 0 on failure.
inline double WriterRate(const std::vector<TestPicture>& frames, int32_t mode, int32_t duration,
                         int32_t dataRate, int batch, double& bytesPerFrame) {
    const int w = frames[0].width, h = frames[0].height;
    MovieWriter* writer = nullptr;
    if (MovieWriterCreate(&writer) != noErr) return 0;
    MovieWriterSetName(writer, "bench");
    MovieWriterSetFrameSize(writer, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    MovieWriterSetVideoMode(writer, mode);
    if (dataRate > 0) MovieWriterSetProperty(writer, kPropVideoDataRate, dataRate);
    if (MovieWriterStart(writer) != noErr) {
        MovieWriterDispose(writer);
        return 0;
    }
    int32_t failed = noErr;
    long count = 0;
    const double rate = Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        const int32_t status = MovieWriterAddFrame(writer, p.pixels.data(),
                                                   static_cast<int32_t>(p.stride), duration,
                                                   nullptr);
        if (status != noErr) failed = status;
        ++count;
    }, batch);
    bytesPerFrame = count ? static_cast<double>(writer->spoolSize) / count : 0;
    MovieWriterDispose(writer);
    if (failed != noErr) {
        std::printf("  AddFrame failed with %d\n", failed);
        return 0;
    }
    return rate;
}

inline void PrintHeader() {
    std::printf("%-10s %-9s %12s %14s %8s %12s\n", "mode", "size", "frames/s", "baseline f/s",
                "ratio", "bytes/frame");
}

inline void PrintRow(const char* mode, int width, int height, double rate, double baseline,
                     double bytesPerFrame) {
    char dims[16];
    std::snprintf(dims, sizeof dims, "%dx%d", width, height);
    std::printf("%-10s %-9s %12.0f %14.0f %8.3f %12.0f\n", mode, dims, rate, baseline,
                rate / baseline, bytesPerFrame);
}

}  // namespace bench
