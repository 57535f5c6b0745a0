// Music rendering speed: a 3-minute General MIDI band song made in code and
// a real song, rendered at each rate the device profiles ask for, beside
// the previous rendering (every release played out) and FluidSynth's own
// MIDI file player rendering the same bytes with the same soundfont in the
// same run; the band song also through the AIFF exporter into a file and
// converted whole by the exporter. Prints times as multiples of real time,
// by the process's CPU time (what the work costs, steady on a shared
// machine) and by wall time, which is what counts where FluidSynth's
// workers render in parallel (from 16 kHz up).
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <fluidsynth.h>
#include <memory>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/aiff_export.h"
#include "platform/midi_file.h"
#include "platform/music_synth.h"
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

struct Rendering {
    Cost cost;
    double voices = 0;  // sounding on average
    std::vector<int16_t> pcm;
};

// The whole song through the synthesizer the exporter uses, as the
// exporter asks for it.
Rendering renderSong(const MidiSong& song, double rate, int channels,
                     const MusicRenderOptions& options) {
    Rendering r;
    const Stopwatch t;
    std::unique_ptr<MusicSynth> synth;
    if (MusicSynth::Open(song, rate, channels, &synth, options) != noErr) return r;
    r.pcm.resize(size_t(synth->TotalFrames()) * channels);
    double voices = 0;
    int64_t looks = 0;
    for (int64_t at = 0; at < synth->TotalFrames();) {
        int32_t done = 0;
        synth->Render(r.pcm.data() + at * channels, 4096, &done);
        if (done <= 0) break;
        at += done;
        voices += synth->ActiveVoices();
        ++looks;
    }
    r.cost = {t.cpu(), t.wall()};
    r.voices = looks > 0 ? voices / double(looks) : 0;
    return r;
}

double snrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& other) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(ref.size(), other.size()); ++i) {
        const double d = double(ref[i]) - double(other[i]);
        signal += double(ref[i]) * ref[i];
        noise += d * d;
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : INFINITY;
}

// Renders the song at the rates the device profiles ask for: ours as the
// exporter renders, the same with every release played out (the previous
// rendering, for the difference in sound), ours on one thread (FluidSynth's
// workers off), and FluidSynth's player.
void benchRender(const std::vector<uint8_t>& midi, const MidiSong& song, const char* font) {
    const double secs = double(song.duration) / 1e6;
    for (const auto& [rate, channels] : {std::pair{44100.0, 2}, std::pair{22050.0, 2},
                                         std::pair{22050.0, 1}, std::pair{11025.0, 1},
                                         std::pair{8000.0, 1}}) {
        MusicRenderOptions full;
        full.endFadedTails = false;
        MusicRenderOptions single;
        single.threads = 1;
        const Rendering before = renderSong(song, rate, channels, full);
        const Rendering ours = renderSong(song, rate, channels, {});
        const Rendering one = renderSong(song, rate, channels, single);
        const Cost player = timeFluidPlayer(midi, font, rate, rate >= 32000);
        std::printf("%5.0f Hz %s: ours %5.2f s = %5.1fx (wall %5.2f s = %5.1fx), %4.1f voices; "
                    "all releases %5.2f s = %5.1fx, %4.1f voices, SNR %4.1f dB against it\n",
                    rate, channels == 2 ? "stereo" : "mono  ", ours.cost.cpu, secs / ours.cost.cpu,
                    ours.cost.wall, secs / ours.cost.wall, ours.voices, before.cost.cpu,
                    secs / before.cost.cpu, before.voices, snrDb(before.pcm, ours.pcm));
        std::printf("                one thread %5.2f s = %5.1fx (wall %5.2f s = %5.1fx)%s; "
                    "FluidSynth's player%s %5.2f s = %5.1fx (wall %5.2f s)\n",
                    one.cost.cpu, secs / one.cost.cpu, one.cost.wall, secs / one.cost.wall,
                    one.pcm == ours.pcm ? "" : " DIFFERENT SOUND",
                    rate >= 32000 ? " (linear, no reverb or chorus)" : "", player.cpu,
                    secs / player.cpu, player.wall);
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
    std::printf("times: CPU seconds of the process (wall seconds); x: multiples of real time\n");
    std::printf("song: %.1f s, General MIDI band (piano, bass, strings, drums)\n", song);
    MidiSong band;
    ParseMidiFile(midi, &band);
    benchRender(midi, band, font);
    const Cost aiff = timeAiff(m, dir + "/bench.aif", 44100, 2);
    std::printf("AIFF exporter, 44100 Hz stereo file: %6.2f s = %6.1fx (wall %6.2f s = %6.1fx)\n",
                aiff.cpu, song / aiff.cpu, aiff.wall, song / aiff.wall);
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
        const std::vector<uint8_t> bytes = ReadWholeFile(real);
        MidiSong parsed;
        ParseMidiFile(bytes, &parsed);
        benchRender(bytes, parsed, font);
        DisposeMovie(r);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
