// Finishing and read-out must cost time in proportion to the movie: lays out
// and reads (in 2048-byte pieces, as the export component does) a grey movie
// with ADPCM sound of 10 000 and of 100 000 frames and prints the ratio of
// the two times, which should be near 10. Also prints what the writer holds
// in memory, which should stay small next to the spooled samples.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/writer_record.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;
constexpr uint32_t kRate = 22050;
constexpr int32_t kFrameMs = 67;

struct Run {
    double seconds = 0;
    uint32_t size = 0;
    uint64_t heldBytes = 0;
};

bool build(int frames, Run& run) {
    MovieWriter* w = nullptr;
    if (MovieWriterCreate(&w) != 0) return false;
    MovieWriterSetName(w, "bench");
    MovieWriterSetFrameSize(w, kWidth, kHeight);
    MovieWriterSetVideoMode(w, kVideoModeGrey2);
    const uint8_t wave[16] = {1, 0, 1, 0, kRate & 0xFF, kRate >> 8, 0, 0, 0, 0, 0, 0, 2, 0, 16, 0};
    MovieWriterSetSoundInput(w, 1, wave, 16);
    MovieWriterSetProperty(w, kPropAudioPreload, 2 * kRate);
    const int32_t interleave[2] = {static_cast<int32_t>(kRate), 100};
    MovieWriterSetProperty(w, kPropAudioInterleave, reinterpret_cast<intptr_t>(interleave));
    MovieWriterSetProperty(w, kPropAudioChunkLength, kRate / 5);
    MovieWriterSetAudioFormat(w, kAudioFormatAdpcm4);
    if (MovieWriterStart(w) != 0) return false;

    // A grey field with a small square moving across it: cheap to encode, so
    // most of the set-up time goes to the spool file.
    std::vector<uint8_t> pixels(kWidth * kHeight * 4, 0x80);
    std::vector<int16_t> sound(kRate * kFrameMs / 1000);
    uint64_t soundSent = 0;
    for (int f = 0; f < frames; ++f) {
        int x = f % (kWidth - 8), y = (f / 7) % (kHeight - 8);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                for (int b = 0; b < 3; ++b) pixels[((y + r) * kWidth + x + c) * 4 + b] ^= 0xFF;
        if (MovieWriterAddFrame(w, pixels.data(), kWidth * 4, kFrameMs, nullptr) != 0) return false;
        uint64_t due = uint64_t(f + 1) * kFrameMs * kRate / 1000 - soundSent;
        for (uint64_t i = 0; i < due; ++i) sound[i] = static_cast<int16_t>((soundSent + i) * 37);
        if (MovieWriterAddSound(w, sound.data(), uint32_t(due * 2), uint32_t(due)) != 0)
            return false;
        soundSent += due;
    }

    auto start = std::chrono::steady_clock::now();
    if (MovieWriterFinish(w) != 0 || MovieWriterGetSize(w, &run.size) != 0) return false;
    std::vector<uint8_t> piece(2048);
    uint64_t checksum = 0;
    for (uint32_t at = 0; at < run.size; at += 2048) {
        uint32_t n = std::min<uint32_t>(2048, run.size - at);
        if (MovieWriterRead(w, piece.data(), at, n) != 0) return false;
        checksum += piece[n - 1];
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.heldBytes = BlockLength(w->videoIndex) + BlockLength(w->soundIndex) +
                    BlockLength(w->spoolMap) + BlockLength(w->image) +
                    w->spoolMapStarts.size() * sizeof(uint32_t);
    std::printf("%7d frames: %9u bytes, finish + read %.3f s, writer holds %llu bytes (sum %llu)\n",
                frames, run.size, run.seconds, static_cast<unsigned long long>(run.heldBytes),
                static_cast<unsigned long long>(checksum));
    MovieWriterDispose(w);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Run small, large;
    int smallFrames = argc > 1 ? atoi(argv[1]) : 10000;
    if (!build(smallFrames, small) || !build(smallFrames * 10, large)) {
        std::puts("bench_finish: writer failed");
        return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("time ratio 10x frames / 1x frames: %.2f (linear: 10)\n",
                large.seconds / small.seconds);
    std::printf("image / held bytes of the larger movie: %.1f; peak resident set %ld kB\n",
                double(large.size) / double(large.heldBytes), usage.ru_maxrss);
    return 0;
}
