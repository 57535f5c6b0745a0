// Music rendering speed: a 3-minute General MIDI band song made in code,
// rendered by the AIFF exporter into an AIFF file and converted whole by
// the exporter, beside FluidSynth's own MIDI file player rendering the
// same bytes with the same soundfont in the same run. Prints times as
// multiples of real time and the ratio to FluidSynth's player, by the
// process's CPU time (what the work costs, steady on a shared machine) and
// by wall time.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <fluidsynth.h>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/aiff_export.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/midi_maker.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSongSeconds = 180;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// CPU and wall seconds since it was made.
struct Stopwatch {
    double cpu0 = cpuSeconds();
    Clock::time_point wall0 = Clock::now();
    double cpu() const { return cpuSeconds() - cpu0; }
    double wall() const { return std::chrono::duration<double>(Clock::now() - wall0).count(); }
};

struct Cost {
    double cpu = -1, wall = -1;
};

Cost timeAiff(Movie m, const std::string& out, double rate, int channels) {
    std::filesystem::remove(out);
    RegisterBuiltInExporters();
    ComponentInstance aiff = nullptr;
    if (OpenDefaultComponent(kMovieExportType, kAiffExportSubType, &aiff) != noErr) return {};
    SampleDescription d;
    d.dataFormat = kTwosComplementFormat;
    d.sampleSize = 16;
    d.channels = int16_t(channels);
    d.sampleRate = rate;
    MovieExportSampleDescriptionParams sp{&d, kSoundMediaType};
    CallComponent(aiff, kMovieExportSetSampleDescriptionSelect, &sp);
    FileSpec spec;
    FileSpecFromPath(out, &spec);
    const Stopwatch t;
    const OSStatus err = ConvertMovieToFile(m, nullptr, spec, kAiffFileType, 0, aiff, nullptr, 0);
    const Cost c{t.cpu(), t.wall()};
    CloseComponent(aiff);
    std::filesystem::remove(out);
    return err == noErr ? c : Cost{};
}

Cost timeExport(Movie m, const std::string& out, int32_t codec, int rate) {
    std::filesystem::remove(out);
    ExportSettings s;
    s.depth = kDepthNoVideo;
    s.soundCodec = codec;
    s.sampleRate = ufixedFromInt(unsigned(rate));
    normaliseSound(&s);
    ComponentInstance ex = nullptr;
    OpenMoviepackerExporter(&ex);
    AtomContainer c;
    getSettingsAsContainer(s, &c);
    CallComponent(ex, kMovieExportSetSettingsFromAtomContainerSelect, &c);
    FileSpec spec;
    FileSpecFromPath(out, &spec);
    const Stopwatch t;
    const OSStatus err = ConvertMovieToFile(m, nullptr, spec, 0, 0, ex, nullptr, 0);
    const Cost cost{t.cpu(), t.wall()};
    CloseComponent(ex);
    std::filesystem::remove(out);
    return err == noErr ? cost : Cost{};
}

// FluidSynth's own player over the same bytes, rendering until it stops:
// as the library comes, or `lean` as we render from 32 kHz up (linear
// interpolation, no reverb or chorus).
Cost timeFluidPlayer(const std::vector<uint8_t>& midi, const char* font, double rate, bool lean) {
    fluid_settings_t* st = new_fluid_settings();
    fluid_settings_setnum(st, "synth.sample-rate", rate);
    fluid_settings_setint(st, "synth.cpu-cores", 1);
    fluid_settings_setint(st, "synth.lock-memory", 0);
    fluid_settings_setint(st, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(st, "synth.gain", 0.4);
    fluid_settings_setstr(st, "player.timing-source", "sample");
    fluid_settings_setint(st, "synth.reverb.active", lean ? 0 : 1);
    fluid_settings_setint(st, "synth.chorus.active", lean ? 0 : 1);
    const Stopwatch t;
    fluid_synth_t* synth = new_fluid_synth(st);
    fluid_synth_sfload(synth, font, 1);
    if (lean) fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_LINEAR);
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, midi.data(), midi.size());
    fluid_player_play(player);
    std::vector<int16_t> buf(2 * 4096);
    FILE* sink = std::fopen("/dev/null", "wb");
    while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
        fluid_synth_write_s16(synth, 4096, buf.data(), 0, 2, buf.data(), 1, 2);
        std::fwrite(buf.data(), 2, buf.size(), sink);  // as the exporter writes its file
    }
    std::fclose(sink);
    const Cost c{t.cpu(), t.wall()};
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(st);
    return c;
}

// Renders the song at 22050 and 44100 Hz, ours beside FluidSynth's player.
void benchRender(const std::vector<uint8_t>& midi, Movie m, const char* font,
                 const std::string& dir) {
    const double song = double(GetMovieDuration(m)) / GetMovieTimeScale(m);
    for (double rate : {22050.0, 44100.0}) {
        const Cost ours = timeAiff(m, dir + "/bench.aif", rate, 2);
        const Cost theirs = timeFluidPlayer(midi, font, rate, false);
        std::printf("render %5.0f Hz stereo AIFF: %6.2f s = %6.1fx real time (%6.2f s = %6.1fx);  "
                    "FluidSynth's player %6.2f s = %6.1fx (%6.2f s); ratio %.2f\n",
                    rate, ours.cpu, song / ours.cpu, ours.wall, song / ours.wall, theirs.cpu,
                    song / theirs.cpu, theirs.wall, theirs.cpu / ours.cpu);
        if (rate >= 32000) {
            // The same player made as lean as our rendering: what is left is our own cost.
            const Cost lean = timeFluidPlayer(midi, font, rate, true);
            std::printf("      FluidSynth's player, linear, no reverb or chorus: %6.2f s = %6.1fx "
                        "(%6.2f s); ratio %.2f\n",
                        lean.cpu, song / lean.cpu, lean.wall, lean.cpu / ours.cpu);
        }
    }
}

}  // namespace

// Optional argument: a MIDI file to time as well; by default a song of
// Debian's openttd-openmsx when it is installed.
int main(int argc, char** argv) {
    const char* font = std::getenv("MOVIEPACKER_SOUNDFONT");
    if (font == nullptr) font = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    const std::string dir = std::filesystem::temp_directory_path() / "moviepacker-music-bench";
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> midi = BandSong(kSongSeconds);
    Movie m = nullptr;
    if (NewMovieFromMemory(midi, &m) != noErr) {
        std::fprintf(stderr, "the song does not open\n");
        return 1;
    }
    const double song = double(GetMovieDuration(m)) / GetMovieTimeScale(m);
    std::printf("times: CPU seconds of the process (wall seconds)\n");
    std::printf("song: %.1f s, General MIDI band (piano, bass, strings, drums)\n", song);
    benchRender(midi, m, font, dir);
    for (const auto& [codec, rate, name] :
         {std::tuple{kSoundAdpcm2, 22050, "ADPCM 22050 Hz"},
          std::tuple{kSoundAtrac3, 44100, "ATRAC3 44100 Hz"}}) {
        const Cost c = timeExport(m, dir + "/bench.pdb", codec, rate);
        std::printf("convert to %-16s      %6.2f s = %6.1fx real time (%6.2f s = %6.1fx)\n", name,
                    c.cpu, song / c.cpu, c.wall, song / c.wall);
    }
    DisposeMovie(m);

    const std::string real =
        argc > 1 ? argv[1] : "/usr/share/games/openttd/baseset/openmsx/keep_on_rolling.mid";
    Movie r = nullptr;
    if (std::filesystem::exists(real) && NewMovieFromFile(real, &r) == noErr) {
        std::printf("song: %.1f s, %s\n", double(GetMovieDuration(r)) / GetMovieTimeScale(r),
                    std::filesystem::path(real).filename().c_str());
        benchRender(ReadWholeFile(real), r, font, dir);
        DisposeMovie(r);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
