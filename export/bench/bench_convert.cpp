// Conversion speed: 60 s of 640 x 480 H.264 with AAC converted by the
// exporter to each built-in kind of output, beside what the ffmpeg command
// line needs on the same file in the same run (decode only; and decode,
// scale and encode Cinepak with IMA ADPCM into AVI). Prints the ratios.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/movies.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double timeCommand(const std::string& cmd) {
    const auto t = Clock::now();
    if (std::system(cmd.c_str()) != 0) return -1;
    return secondsSince(t);
}

// Seconds for one conversion, or its (negative) status when it failed.
double timeExport(const std::string& source, const std::string& out, const ExportSettings& s) {
    std::filesystem::remove(out);
    const auto t = Clock::now();
    Movie m = nullptr;
    if (NewMovieFromFile(source, &m) != noErr) return 1e9;
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
    std::filesystem::remove(out);
    return err == noErr ? secs : double(err);
}

struct Job {
    const char* name;
    int16_t depth;
    int width, height, fps;
    int32_t sound;
};

}  // namespace

int main() {
    std::string dirTemplate =
        (std::filesystem::temp_directory_path() / "bench-convert-XXXXXX").string();
    if (mkdtemp(dirTemplate.data()) == nullptr) return 1;
    const std::string dir = dirTemplate;
    const std::string source = dir + "/source.mp4";
    const std::string q = "'";
    if (timeCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x480:rate=30:duration=60 "
            "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 -c:v libx264 "
            "-preset veryfast -pix_fmt yuv420p -c:a aac " +
            q + source + q) < 0)
        return 1;

    const double decode =
        timeCommand("ffmpeg -nostdin -v error -y -i " + q + source + q + " -f null -");
    std::printf("ffmpeg decode only: %.2f s\n", decode);
    const Job jobs[] = {
        {"4-bit grey 160x120 10 fps, ADPCM", kDepthGrey16, 160, 120, 10, kSoundAdpcm2},
        {"Cinepak 160x120 10 fps", kDepthMillionsAlpha, 160, 120, 10, kSoundAdpcm2},
        {"Cinepak 320x240 15 fps", kDepthMillionsAlpha, 320, 240, 15, kSoundAdpcm2},
    };
    for (const Job& j : jobs) {
        ExportSettings s;
        s.depth = j.depth;
        s.width = int16_t(j.width);
        s.height = int16_t(j.height);
        s.frameRate = fixedFromInt(j.fps);
        s.soundCodec = j.sound;
        normaliseSound(&s);
        const double ours = timeExport(source, dir + "/out.pdb", s);
        if (ours < 0) {
            std::printf("%-34s  not available here (status %d)\n", j.name, int(ours));
            continue;
        }
        const double reference =
            j.depth == kDepthGrey16
                ? decode
                : timeCommand("ffmpeg -nostdin -v error -y -i " + q + source + q +
                              " -vf scale=" + std::to_string(j.width) + ":" +
                              std::to_string(j.height) + ",fps=" + std::to_string(j.fps) +
                              " -c:v cinepak -c:a adpcm_ima_wav -ac 1 -ar 8000 " + q + dir +
                              "/ref.avi" + q);
        std::printf("%-34s  %.2f s; ffmpeg %s %.2f s; ratio %.2f\n", j.name, ours,
                    j.depth == kDepthGrey16 ? "decode only" : "Cinepak + IMA ADPCM AVI", reference,
                    ours / reference);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
