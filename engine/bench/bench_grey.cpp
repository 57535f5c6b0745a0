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
using bench::PrintRow;

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

}  // namespace

int main() {
    bench::PrintHeader();
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
            const double rate = bench::WriterRate(frames, c.mode, 33, 0, 16, bytesPerFrame);
            PrintRow(c.name, size.first, size.second, rate, baseline, bytesPerFrame);
        }
    }
    return 0;
}
