// Frames per second of the grey modes through MovieWriterAddFrame on a moving
// picture, against a baseline in the same run: grey conversion and dithering
// alone, the work every grey frame pays before any compression.
#include <cstdio>
#include <vector>

#include "engine/bench/frame_rate.h"
#include "engine/dither_tables.h"
#include "engine/grey_frame.h"
#include "engine/movie_writer.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

using bench::kDistinctFrames;
using bench::Rate;
using bench::Scene;

double BaselineRate(const std::vector<TestPicture>& frames, int bits) {
    const int w = frames[0].width, h = frames[0].height;
    DitherTable table{};
    BuildDitherTable(bits, kDefaultDitherSpread, table);
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
    std::vector<uint8_t> packed(static_cast<size_t>(PackedRowBytes(w, bits)) * h);
    return Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        ConvertToGrey({p.pixels.data(), p.stride, w, h}, w, h, grey);
        PackGrey(grey, w, h, bits, table, packed);
    });
}

double WriterRate(const std::vector<TestPicture>& frames, int32_t mode, double& bytesPerFrame) {
    const int w = frames[0].width, h = frames[0].height;
    MovieWriter* writer = nullptr;
    if (MovieWriterCreate(&writer) != noErr) return 0;
    MovieWriterSetName(writer, "bench");
    MovieWriterSetFrameSize(writer, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    MovieWriterSetVideoMode(writer, mode);
    if (MovieWriterStart(writer) != noErr) {
        MovieWriterDispose(writer);
        return 0;
    }
    int32_t failed = noErr;
    long count = 0;
    const double rate = Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        // 30 frames per second at the default scale of 1000.
        const int32_t status = MovieWriterAddFrame(writer, p.pixels.data(),
                                                   static_cast<int32_t>(p.stride), 33, nullptr);
        if (status != noErr) failed = status;
        ++count;
    });
    // The spool file holds every chunk; its size is what the frames cost.
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
        int bits;
    };
    for (const Case c :
         {Case{kVideoModeGrey2, "1 (2-bit)", 2}, Case{kVideoModeGrey4, "4 (4-bit)", 4}}) {
        for (const auto& size : {std::pair{160, 120}, std::pair{320, 240}}) {
            const std::vector<TestPicture> frames = Scene(size.first, size.second);
            const double baseline = BaselineRate(frames, c.bits);
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
