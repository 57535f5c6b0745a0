// Conversion speed against plain decoding: for each source (60 s of
// 640 x 480 25 fps H.264 with AAC, 1280 x 720 30 fps H.264, 720 x 576
// MPEG-2), the exporter's time for each handheld kind of output beside what
// `ffmpeg -i SRC -f null -` (decode only, default threads) needs on the same
// file in the same run. Prints the ratios of elapsed time and, as the
// machine may be shared, of processor time (all threads) as well, each the
// best of five interleaved runs.
//
//   export_bench_convert [folder]
// keeps the generated sources in `folder` and reuses them on the next run.
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/movies.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double g_lastCpu = 0;  // processor seconds of the last timed step

double timeCommand(const std::string& cmd) {
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    const auto t = Clock::now();
    if (std::system(cmd.c_str()) != 0) return -1;
    g_lastCpu = cpuSeconds(RUSAGE_CHILDREN) - cpu;
    return secondsSince(t);
}

// Seconds for one conversion, or its (negative) status when it failed.
double timeExport(const std::string& source, const std::string& out, const ExportSettings& s) {
    std::filesystem::remove(out);
    const double cpu = cpuSeconds(RUSAGE_SELF);
    const auto t = Clock::now();
    Movie m = nullptr;
    if (NewMovieFromFile(source, &m) != noErr) return -1;
    ComponentInstance ex = nullptr;
    OpenMoviepackerExporter(&ex);
    AtomContainer c;
    getSettingsAsContainer(s, &c);
    CallComponent(ex, kMovieExportSetSettingsFromAtomContainerSelect, &c);
    FileSpec spec;
    FileSpecFromPath(out, &spec);
    const OSStatus err = ConvertMovieToFile(m, nullptr, spec, 0, 0, ex, nullptr, 0);
    CloseComponent(ex);
    DisposeMovie(m);
    const double secs = secondsSince(t);
    g_lastCpu = cpuSeconds(RUSAGE_SELF) - cpu;
    std::filesystem::remove(out);
    return err == noErr ? secs : double(err);
}

struct Source {
    const char* name;
    const char* file;
    const char* make;  // ffmpeg arguments after the inputs
    const char* inputs;
};

struct Job {
    const char* name;
    int16_t depth;
    int width, height, fps;
};

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    bool keep = argc > 1;
    if (keep) {
        dir = argv[1];
        std::filesystem::create_directories(dir);
    } else {
        std::string dirTemplate =
            (std::filesystem::temp_directory_path() / "bench-convert-XXXXXX").string();
        if (mkdtemp(dirTemplate.data()) == nullptr) return 1;
        dir = dirTemplate;
    }
    const std::string q = "'";
    const Source sources[] = {
        {"640x480 25 fps H.264 + AAC", "h264-480.mp4",
         "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac",
         "-f lavfi -i testsrc2=size=640x480:rate=25:duration=60 "
         "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=60"},
        {"1280x720 30 fps H.264", "h264-720.mp4", "-c:v libx264 -preset veryfast -pix_fmt yuv420p",
         "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=60"},
        {"720x576 25 fps MPEG-2", "mpeg2-576.mpg",
         "-c:v mpeg2video -b:v 6M -bf 2 -g 12 -pix_fmt yuv420p",
         "-f lavfi -i testsrc2=size=720x576:rate=25:duration=60"},
    };
    const Job jobs[] = {
        {"4-bit grey 160x120 10 fps", kDepthGrey16, 160, 120, 10},
        {"Cinepak 160x120 10 fps", kDepthMillionsAlpha, 160, 120, 10},
        {"Cinepak 320x240 15 fps", kDepthMillionsAlpha, 320, 240, 15},
    };
    for (const Source& src : sources) {
        const std::string path = dir + "/" + src.file;
        if (!std::filesystem::exists(path) &&
            timeCommand(std::string("ffmpeg -nostdin -v error -y ") + src.inputs + " " + src.make +
                        " " + q + path + q) < 0)
            return 1;
        // Each side runs kRounds times, interleaved so that a busy moment
        // of the machine hits both alike; the best of each is reported.
        constexpr int kRounds = 5;
        constexpr size_t kJobs = std::size(jobs);
        double decode = 1e30, decodeCpu = 1e30;
        double ours[kJobs], oursCpu[kJobs];
        OSStatus failed[kJobs] = {};
        std::fill(std::begin(ours), std::end(ours), 1e30);
        std::fill(std::begin(oursCpu), std::end(oursCpu), 1e30);
        for (int round = 0; round < kRounds; ++round) {
            decode = std::min(decode, timeCommand("ffmpeg -nostdin -v error -y -i " + q + path +
                                                  q + " -f null -"));
            decodeCpu = std::min(decodeCpu, g_lastCpu);
            for (size_t i = 0; i < kJobs; ++i) {
                const Job& j = jobs[i];
                ExportSettings s;
                s.depth = j.depth;
                s.width = int16_t(j.width);
                s.height = int16_t(j.height);
                s.frameRate = fixedFromInt(j.fps);
                s.soundCodec = kSoundAdpcm2;
                normaliseSound(&s);
                const double t = timeExport(path, dir + "/out.pdb", s);
                if (t < 0) {
                    failed[i] = OSStatus(t);
                    continue;
                }
                ours[i] = std::min(ours[i], t);
                oursCpu[i] = std::min(oursCpu[i], g_lastCpu);
            }
        }
        std::printf("%s: ffmpeg decode only %.2f s (processor %.2f s), best of %d\n", src.name,
                    decode, decodeCpu, kRounds);
        for (size_t i = 0; i < kJobs; ++i) {
            if (failed[i] != noErr) {
                std::printf("  %-28s failed (status %d)\n", jobs[i].name, int(failed[i]));
                continue;
            }
            std::printf("  %-28s %6.2f s  ratio %.2f   processor %6.2f s  ratio %.2f\n",
                        jobs[i].name, ours[i], ours[i] / decode, oursCpu[i],
                        oursCpu[i] / decodeCpu);
        }
        std::fflush(stdout);
    }
    if (!keep) std::filesystem::remove_all(dir);
    return 0;
}
