// Frames per second of the colour modes through MovieWriterAddFrame
// on a moving picture, against a baseline in the same run: counting the
// source pixels into the colour histogram, the work every colour frame pays
// besides its compression.
#include <cstdio>
#include <vector>

#include "engine/bench/frame_rate.h"
#include "engine/colour_compressor.h"
#include "engine/colour_space.h"
#include "engine/movie_writer.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

using bench::kDistinctFrames;
using bench::Rate;
using bench::Scene;

double BaselineRate(const std::vector<TestPicture>& frames) {
    std::vector<uint32_t> histogram(kHistogramBins, 0);
    return Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        AddPictureToHistogram(histogram.data(), p.pixels.data(), p.stride, p.width, p.height);
    }, 8);
}

double WriterRate(const std::vector<TestPicture>& frames, int32_t mode, double& bytesPerFrame) {
    const int w = frames[0].width, h = frames[0].height;
    MovieWriter* writer = nullptr;
    if (MovieWriterCreate(&writer) != noErr) return 0;
    MovieWriterSetName(writer, "bench");
    MovieWriterSetFrameSize(writer, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    MovieWriterSetVideoMode(writer, mode);
    MovieWriterSetProperty(writer, kPropVideoDataRate, 640);
    if (MovieWriterStart(writer) != noErr) {
        MovieWriterDispose(writer);
        return 0;
    }
    int32_t failed = noErr;
    long count = 0;
    const double rate = Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        const int32_t status = MovieWriterAddFrame(writer, p.pixels.data(),
                                                   static_cast<int32_t>(p.stride), 66, nullptr);
        if (status != noErr) failed = status;
        ++count;
    }, 8);
    bytesPerFrame = count ? static_cast<double>(writer->spoolSize) / count : 0;
    MovieWriterDispose(writer);
    if (failed != noErr) {
        std::printf("  AddFrame failed with %d\n", failed);
        return 0;
    }
    return rate;
}

}  // namespace

int main() {
    std::printf("%-10s %-9s %12s %14s %8s %12s\n", "mode", "size", "frames/s", "baseline f/s",
                "ratio", "bytes/frame");
    struct Case {
        int32_t mode;
        const char* name;
    };
    for (const Case c : {Case{kVideoModeColour8, "2 (own)"}, Case{kVideoModeRle, "5 (rle)"},
                         Case{kVideoModeCinepak, "7 (cvid)"}, Case{kVideoModeMpeg4, "8 (mp4v)"}}) {
        for (const auto& size : {std::pair{160, 120}, std::pair{320, 240}}) {
            const std::vector<TestPicture> frames = Scene(size.first, size.second);
            const double baseline = BaselineRate(frames);
            double bytesPerFrame = 0;
            const double rate = WriterRate(frames, c.mode, bytesPerFrame);
            char dims[16];
            std::snprintf(dims, sizeof dims, "%dx%d", size.first, size.second);
            std::printf("%-10s %-9s %12.0f %14.0f %8.3f %12.0f\n", c.name, dims, rate, baseline,
                        rate / baseline, bytesPerFrame);
        }
    }
    return 0;
}
