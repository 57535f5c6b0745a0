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
using bench::PrintRow;

double BaselineRate(const std::vector<TestPicture>& frames) {
    std::vector<uint32_t> histogram(kHistogramBins, 0);
    return Rate([&](long n) {
        const TestPicture& p = frames[n % kDistinctFrames];
        AddPictureToHistogram(histogram.data(), p.pixels.data(), p.stride, p.width, p.height);
    }, 8);
}

}  // namespace

int main() {
    bench::PrintHeader();
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
            const double rate = bench::WriterRate(frames, c.mode, 66, 640, 8, bytesPerFrame);
            PrintRow(c.name, size.first, size.second, rate, baseline, bytesPerFrame);
        }
    }
    return 0;
}
