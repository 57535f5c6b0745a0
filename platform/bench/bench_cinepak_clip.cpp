// Our Cinepak compressor on a movie file as the converter feeds it: the file scaled by the
// ffmpeg command (bicubic, the converter's high-quality filter) to the handheld size and
// frame rate, one sequence with a key frame every 100 frames and the data rate given. Prints
// the compressor's processor time, bytes per frame and the PSNR of what FFmpeg's Cinepak
// decoder shows against the scaled pictures, so two builds can be compared on real material.
//
// Usage: platform_bench_cinepak_clip SOURCE WIDTH HEIGHT FPS [QUALITY [BYTES_PER_SECOND]]
//   QUALITY 0..1023 (default 768); BYTES_PER_SECOND 0 = no rate control (default 40000).
#include <stdio.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cinepak_encoder.h"
#include "platform/tests/cinepak_test_media.h"

namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The file name quoted for the shell.
std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SOURCE WIDTH HEIGHT FPS [QUALITY [BYTES_PER_SECOND]]\n",
                     argv[0]);
        return 2;
    }
    const int w = std::atoi(argv[2]);
    const int h = std::atoi(argv[3]);
    const int fps = std::atoi(argv[4]);
    const int quality = argc > 5 ? std::atoi(argv[5]) : kCinepakHighQuality;
    const int32_t rate = argc > 6 ? std::atoi(argv[6]) : 40000;
    if (w < 1 || h < 1 || fps < 1) return 2;
    const std::string cmd = "ffmpeg -nostdin -v error -i " + quoted(argv[1]) + " -an -vf fps=" +
                            std::to_string(fps) + ",scale=" + std::to_string(w) + ":" +
                            std::to_string(h) + ":flags=bicubic -pix_fmt bgra -f rawvideo -";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return 1;

    CinepakEncoder enc;
    if (enc.open(w, h, quality, 100, false) != noErr) return 1;
    cinepak_test::Decoder decoder(w, h);
    if (!decoder.ok()) return 1;
    cinepak_test::RateHistory history(rate);
    const int32_t ms = 1000 / fps;
    std::vector<uint8_t> out(enc.maxCompressedSize());
    cinepak_test::Picture pic;
    pic.width = w;
    pic.height = h;
    pic.bgra.resize(static_cast<size_t>(w) * h * 4);
    double seconds = 0, mse = 0;
    size_t bytes = 0;
    int frames = 0, keys = 0;
    while (std::fread(pic.bgra.data(), 1, pic.bgra.size(), pipe) == pic.bgra.size()) {
        enc.setRate(CinepakRate{rate, rate > 0 ? history.overrun(rate) : 0, ms});
        size_t size = 0;
        bool key = false;
        const double t = threadSeconds();
        if (enc.compress(pic.bgra, pic.rowBytes(), false, out, &size, &key) != noErr) return 1;
        seconds += threadSeconds() - t;
        history.add(ms, size);
        bytes += size;
        keys += key;
        if (!decoder.decode(out.data(), size)) return 1;
        const double p = cinepak_test::psnrAgainstRgb(pic, decoder.rgb(), decoder.stride());
        mse += 255.0 * 255.0 / std::pow(10.0, p / 10.0);
        ++frames;
    }
    pclose(pipe);
    if (frames == 0) return 1;
    std::printf("%dx%d %d fps q %d rate %d: %d frames (%d key), %.0f bytes/frame, "
                "PSNR %.3f dB, compressor %.3f s (%.2f ms/frame)\n",
                w, h, fps, quality, rate, frames, keys, static_cast<double>(bytes) / frames,
                cinepak_test::psnrToDb(mse / frames), seconds, 1000.0 * seconds / frames);
    return 0;
}
