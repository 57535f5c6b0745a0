// moviepacker-cli convert [options] SOURCE...: each source converted to a
// handheld movie database the way a conversion run does it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "install/hotsync_install.h"
#include "platform/atoms.h"
#include "platform/files.h"
#include "platform/media_export.h"
#include "platform/movies.h"
#include "platform/resources.h"
#include "profiles/preference_file.h"
#include "profiles/profile_lists.h"
#include "resources/resources.h"
#include "tools/cli.h"
#include "tools/convert_destination.h"
#include "tools/json.h"

namespace cli {

namespace {


void usage(FILE* out) {
    std::fprintf(out,
                 "Usage: moviepacker-cli convert [options] SOURCE...\n"
                 "\n"
                 "Converts each source movie or still picture into a handheld movie database,\n"
                 "named after the source (underscores as blanks, cut at the first full stop,\n"
                 "then .pdb, -1.pdb, -2.pdb... when taken) in the source's folder.\n"
                 "\n"
                 "  --to WHERE          where the databases go:\n"
                 "                        source       beside each source (the default)\n"
                 "                        DIR          into the folder DIR\n"
                 "                        card[:N]     the folder PALM/PROGRAMS/TAVELLE on\n"
                 "                                     removable drive N (1: the first found)\n"
                 "                        hotsync[:USER[:SLOT]]  queued for USER's next HotSync,\n"
                 "                                     SLOT handheld (default) or card\n"
                 "  --dest DIR          the same as --to DIR\n"
                 "  -o FILE             output file (one source only; an existing file is replaced\n"
                 "                      once the new one is complete)\n"
                 "  --settings FILE     export settings as an atom container\n"
                 "  --profile NAME      a device profile's settings (built-in, then custom)\n"
                 "  --depth D           1|mono, 24|colour, 32|colour-alpha, 34|grey4,\n"
                 "                      36|grey16, 32767|none\n"
                 "  --fps N             frame rate (0: the source's own frame times)\n"
                 "  --size WxH          frame size\n"
                 "  --kbps N            video data rate, kbit/s\n"
                 "  --rotate DEG        rotation: 0, 90, -90 or 180\n"
                 "  --audio A           0|none, 624|atrac3, 626|adpcm, 627|pcm8, 628|adpcm4,\n"
                 "                      629|yamaha, 630|pcm16\n"
                 "  --rate HZ           sample rate\n"
                 "  --channels N        1 or 2\n"
                 "  --bitrate N         ATRAC3 bit rate, bit/s\n"
                 "  --boost N           sound boost 0..3\n"
                 "  --json              one JSON result object per file\n"
                 "  --allow-missing-video  convert the sound of a movie whose pictures cannot\n"
                 "                      be decoded (else that file fails)\n"
                 "  --                  the rest are sources, even names starting with '-'\n"
                 "\n"
                 "Options given after --settings or --profile override their fields.\n"
                 "Exit status: 0 every file converted, 1 any failed, 2 bad usage.\n");
}

struct NamedCode {
    const char* name;
    int32_t code;
};
constexpr NamedCode kDepthNames[] = {{"mono", 1},          {"colour", 24}, {"color", 24},
                                     {"colour-alpha", 32}, {"grey4", 34},  {"grey16", 36},
                                     {"none", 32767}};
constexpr NamedCode kAudioNames[] = {{"none", 0},   {"atrac3", 624}, {"adpcm", 626},
                                     {"pcm8", 627}, {"adpcm4", 628}, {"yamaha", 629},
                                     {"pcm16", 630}};

// The bit rates the ATRAC3 encoder and the handheld's decoder share.
constexpr long kAtrac3Rates[] = {11750, 16500, 23500, 33000, 47000, 66000};

template <size_t N>
bool parseCode(const char* s, const NamedCode (&names)[N], int32_t* out) {
    for (const auto& n : names)
        if (std::strcmp(s, n.name) == 0) {
            *out = n.code;
            return true;
        }
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0') return false;
    for (const auto& n : names)
        if (n.code == v) {
            *out = int32_t(v);
            return true;
        }
    return false;
}

bool parseLong(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

struct Options {
    std::optional<std::string> dest, output, settingsFile, profile, to;
    bool json = false;
    bool allowMissingVideo = false;
    int16_t depth_ = 0;  // the run's depth once settings are built
    // Per-field overrides, applied in this order after the settings file.
    std::optional<int32_t> depth, audio;
    std::optional<double> fps, rate;
    std::optional<long> width, height, kbps, rotate, channels, bitRate, boost;
    std::vector<std::string> sources;
};

// 0 on success, else an exit status.
int parseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto bad = [&](const char* what) {
            std::fprintf(stderr, "convert: %s %s\n", what, a.c_str());
            return kExitUsage;
        };
        if (isHelp(argv[i])) {
            usage(stdout);
            return -1;
        }
        if (a == "--") {
            // Everything after is a source, even a name that starts with '-'.
            for (++i; i < argc; ++i) o->sources.push_back(argv[i]);
            break;
        }
        if (a == "--json") {
            o->json = true;
            continue;
        }
        if (a == "--allow-missing-video") {
            o->allowMissingVideo = true;
            continue;
        }
        if (a.empty() || a[0] != '-') {
            o->sources.push_back(a);
            continue;
        }
        const char* v = next();
        if (v == nullptr) return bad("missing value after");
        long n = 0;
        int32_t code = 0;
        if (a == "--dest" || a == "--to") {
            if (o->to) return bad("a second destination:");
            o->to = v;
        } else if (a == "-o") {
            o->output = v;
        } else if (a == "--settings") {
            o->settingsFile = v;
        } else if (a == "--profile") {
            o->profile = v;
        } else if (a == "--depth") {
            if (!parseCode(v, kDepthNames, &code)) return bad("bad value for");
            o->depth = code;
        } else if (a == "--audio") {
            if (!parseCode(v, kAudioNames, &code)) return bad("bad value for");
            o->audio = code;
        } else if (a == "--fps" || a == "--rate") {
            char* end = nullptr;
            const double d = std::strtod(v, &end);
            const double hi = a == "--fps" ? 60 : 65535;
            if (end == v || *end != '\0' || !(d >= 0 && d <= hi)) return bad("bad value for");
            (a == "--fps" ? o->fps : o->rate) = d;
        } else if (a == "--size") {
            int w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(v, "%dx%d%c", &w, &h, &extra) != 2 || w < 1 || h < 1)
                return bad("bad value for");
            // The largest screens are 480 x 320, held either way round.
            if (!((w <= 480 && h <= 320) || (w <= 320 && h <= 480))) {
                std::fprintf(stderr,
                             "convert: --size %s: no handheld shows that; frames go up to "
                             "480x320 or 320x480\n", v);
                return kExitUsage;
            }
            o->width = w;
            o->height = h;
        } else if (a == "--kbps") {
            if (!parseLong(v, 1, 32767, &n)) return bad("bad value for");
            o->kbps = n;
        } else if (a == "--rotate") {
            if (!parseLong(v, -360, 360, &n) || n % 90 != 0) {
                std::fprintf(stderr, "convert: --rotate %s: the angle is 0, 90, -90 or 180\n", v);
                return kExitUsage;
            }
            o->rotate = n;
        } else if (a == "--channels") {
            if (!parseLong(v, 1, 2, &n)) return bad("bad value for");
            o->channels = n;
        } else if (a == "--bitrate") {
            if (!parseLong(v, 1, 1000000, &n) ||
                std::find(std::begin(kAtrac3Rates), std::end(kAtrac3Rates), n) ==
                    std::end(kAtrac3Rates)) {
                std::fprintf(stderr,
                             "convert: --bitrate %s: the ATRAC3 encoder takes 11750, 16500, "
                             "23500, 33000, 47000 or 66000 bit/s\n", v);
                return kExitUsage;
            }
            o->bitRate = n;
        } else if (a == "--boost") {
            if (!parseLong(v, 0, 3, &n)) return bad("bad value for");
            o->boost = n;
        } else {
            return bad("unknown option");
        }
    }
    if (o->sources.empty()) {
        std::fprintf(stderr, "convert: no source given\n");
        return kExitUsage;
    }
    if (o->output && o->to) {
        std::fprintf(stderr, "convert: -o and a destination exclude each other\n");
        return kExitUsage;
    }
    if (o->output && o->sources.size() != 1) {
        std::fprintf(stderr, "convert: -o takes exactly one source\n");
        return kExitUsage;
    }
    return 0;
}

// The settings container of the run: file or profile first, then options.
int buildSettings(Options& o, AtomContainer* out, std::vector<std::string>* notices) {
    ExportSettings s;
    if (o.settingsFile) {
        FILE* f = std::fopen(o.settingsFile->c_str(), "rb");
        std::vector<uint8_t> bytes;
        if (f != nullptr) {
            int c;
            while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
            std::fclose(f);
        }
        AtomContainer c;
        if (f == nullptr || AtomContainer::load(bytes, &c) != noErr ||
            setSettingsFromContainer(&c, &s) != noErr) {
            std::fprintf(stderr, "convert: cannot read settings %s\n", o.settingsFile->c_str());
            return kExitUsage;
        }
    }
    if (o.profile) {
        // Built-in profiles first, then the user's own, as the device popup finds them.
        AtomContainer c;
        const PreferenceFile store(PreferenceFile::defaultPath());
        const bool found =
            findProfile(*o.profile, false, moviepackerResources(), nullptr, &c) == noErr ||
            findProfile(*o.profile, true, moviepackerResources(), &store, &c) == noErr;
        if (!found || setSettingsFromContainer(&c, &s) != noErr) {
            std::fprintf(stderr, "convert: no device profile named \"%s\"\n", o.profile->c_str());
            return kExitUsage;
        }
    }
    if (o.depth) s.depth = int16_t(*o.depth);
    if (o.fps) s.frameRate = Fixed(*o.fps * 65536.0 + 0.5);
    if (o.width) {
        s.width = int16_t(*o.width);
        s.height = int16_t(*o.height);
        // An explicit size replaces the layout's video rectangle.
        if (o.profile || o.settingsFile) s.presentation.reset();
    }
    if (o.kbps) s.videoDataRate = int16_t(*o.kbps);
    if (o.rotate) s.rotation = int16_t(*o.rotate);
    if (o.audio) s.soundCodec = *o.audio;
    if (o.rate) s.sampleRate = UnsignedFixed(*o.rate * 65536.0 + 0.5);
    if (o.channels) s.channels = int16_t(*o.channels);
    if (o.bitRate) s.bitRate = int32_t(*o.bitRate);
    if (o.boost) s.boost = int16_t(*o.boost);
    normaliseSound(&s);
    o.depth_ = s.depth;
    if (s.depth == kDepthNoVideo && s.soundCodec == kSoundNone) {
        std::fprintf(stderr, "convert: no video (--depth none) and no sound (--audio none): "
                             "nothing to convert\n");
        return kExitUsage;
    }
    // What the chosen formats force is said, not changed silently.
    const double rate = double(s.sampleRate) / 65536.0;
    if (o.rate && s.soundCodec != kSoundNone && std::abs(rate - *o.rate) > 0.5)
        notices->push_back("sound format " + std::to_string(s.soundCodec) + " plays at " +
                           std::to_string(long(rate + 0.5)) + " Hz, not " +
                           std::to_string(long(*o.rate + 0.5)) + " Hz");
    if (o.channels && s.soundCodec != kSoundNone && s.channels != *o.channels)
        notices->push_back("sound format " + std::to_string(s.soundCodec) + " is " +
                           (s.channels == 1 ? "mono" : "stereo") + ", not " +
                           std::to_string(*o.channels) + " channels");
    if (s.soundCodec == kSoundAtrac3 && o.bitRate && s.channels == 2 && s.bitRate < 33000)
        notices->push_back("ATRAC3 stereo sources are coded at 33000 bit/s at least, not " +
                           std::to_string(s.bitRate));
    if (o.width && (*o.width % 4 != 0 || *o.height % 4 != 0))
        notices->push_back("pictures are coded in blocks of 4 x 4 pixels: " +
                           std::to_string(*o.width) + "x" + std::to_string(*o.height) +
                           " is stored as " + std::to_string((*o.width + 3) / 4 * 4) + "x" +
                           std::to_string((*o.height + 3) / 4 * 4));
    for (const std::string& n : *notices) std::fprintf(stderr, "convert: notice: %s\n", n.c_str());
    if (getSettingsAsContainer(s, out) != noErr) {
        std::fprintf(stderr, "convert: the settings cannot be written\n");
        return kExitUsage;
    }
    return 0;
}

std::string errorText(OSStatus code) {
    const ResourceFile& res = moviepackerResources();
    std::span<const uint8_t> d;
    if (res.get(fourCC("ESTR"), 128, &d) == noErr && d.size() >= 2) {
        size_t at = 2;
        const size_t count = size_t((d[0] << 8) | d[1]);
        for (size_t i = 0; i < count && at + 3 <= d.size(); ++i) {
            const int16_t c = int16_t((d[at] << 8) | d[at + 1]);
            const size_t len = d[at + 2];
            if (at + 3 + len > d.size()) break;
            if (c == code)
                return macRomanToUtf8(
                    std::string_view(reinterpret_cast<const char*>(d.data() + at + 3), len));
            at += 3 + len;
        }
    }
    std::string prefix;
    if (getIndStringUtf8(res, 133, 1, &prefix) != noErr) prefix = "Error code ";
    return prefix + std::to_string(code);
}

// Takes the output's name: -o as given (replaced only once the new one is
// complete), else named after the source and never over an existing file.
OSStatus reserveOutput(const std::string& source, const Options& o, OutputFile* out) {
    if (o.output) return out->openReplacing(*o.output);
    std::string base = PathFileName(source);
    for (char& c : base)
        if (c == '_') c = ' ';
    if (const size_t dot = base.find('.'); dot != std::string::npos) base.resize(dot);
    if (base.empty()) base = "Untitled";
    std::string folder = o.dest ? *o.dest : PathFolder(source);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return out->openNew(folder, base, ".pdb");
}

// Opens the source as a conversion run does: still pictures last one
// second, coarse video time scales are refined.
OSStatus openSource(const std::string& path, Movie* movie) {
    *movie = nullptr;
    OSType importer = 0;
    OSStatus err = FindMovieImporter(path, &importer);
    if (err == noErr && importer == kStillImageImporterSubType &&
        NewMovieFromStillImage(path, 1000, 1000, movie) != noErr)
        *movie = nullptr;
    if (*movie == nullptr && (err = NewMovieFromFile(path, movie)) != noErr) return err;
    Track v = GetMovieIndTrackType(*movie, 1, kVideoMediaType,
                                   kMovieTrackMediaType | kMovieTrackEnabledOnly);
    if (v != nullptr && GetMediaTimeScale(v) < 600)
        SetMediaTimeScale(v, GetMediaTimeScale(v) * 100);
    return noErr;
}

struct ProgressState {
    bool bar = false;
    int shown = -1;
    std::string label;
};

OSStatus progressProc(Movie, int16_t message, int16_t, Fixed fraction, intptr_t refcon) {
    auto* st = reinterpret_cast<ProgressState*>(refcon);
    if (st->bar && message == kMovieProgressUpdatePercent) {
        const int permille = fraction <= 0 ? 0 : int((int64_t(fraction) * 1000 + 32768) >> 16);
        const int cells = std::min(permille, 1000) * 30 / 1000;
        if (cells != st->shown) {
            st->shown = cells;
            std::fprintf(stderr, "\r%-24.24s [%-30.*s] %3d%%", st->label.c_str(), cells,
                         "==============================", permille / 10);
            std::fflush(stderr);
        }
    }
    return StopSignals::caught() ? kStatusUserCancelled : noErr;
}

struct Result {
    std::string source, output;
    OSStatus status = noErr;
    std::string comment;
    OSType missing = 0;
    // What the user should know about a converted file.
    std::vector<std::string> warnings;
    std::string kept;  // a converted file that could not be queued
};

bool converted(OSStatus s) {
    return s == noErr || s == kStatusExportedWithoutAudio;
}

// Why a source cannot be read at all, in words; empty when it can be opened.
std::string sourceProblem(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a directory";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (access(path.c_str(), R_OK) != 0) return std::strerror(errno);
    return {};
}

std::string lowerFirst(std::string text) {
    if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

Result convertOne(const std::string& source, const Options& o, const AtomContainer& settings) {
    Result r;
    r.source = source;
    Movie movie = nullptr;
    ComponentInstance exporter = nullptr;
    OutputFile output;
    std::string detail;  // the cause in words, after the status text
    if (const std::string problem = sourceProblem(source); !problem.empty()) {
        r.status = kStatusNoMovieFound;
        detail = problem;
    } else {
        r.status = openSource(source, &movie);
    }
    if (r.status == noErr && o.depth_ != kDepthNoVideo) {
        // Pictures that cannot be decoded would leave a sound-only movie.
        int32_t w = 0, h = 0;
        if (GetMovieUnusablePictureCount(movie, &w, &h) > 0 &&
            GetMovieIndTrackType(movie, 1, kVideoMediaType, kMovieTrackMediaType) == nullptr) {
            const std::string why =
                w > 0 && h > 0 ? "its pictures (" + std::to_string(w) + " x " +
                                     std::to_string(h) + ") are too large to decode"
                               : std::string("its pictures have no size that can be decoded");
            if (o.allowMissingVideo) {
                r.warnings.push_back("sound only: " + why);
            } else {
                r.status = kStatusCantDecodeVideo;
                detail = why + " (--allow-missing-video converts the sound alone)";
            }
        }
    }
    if (r.status == noErr) {
        r.status = reserveOutput(source, o, &output);
        if (r.status != noErr) {
            const std::string target =
                o.output ? *o.output : (o.dest ? *o.dest : PathFolder(source));
            detail = "cannot create in '" + target + "': " +
                     lowerFirst(std::strerror(output.lastErrno() ? output.lastErrno() : EINVAL));
        }
    }
    FileSpec spec;
    if (r.status == noErr) r.status = FileSpecFromPath(output.workPath(), &spec);
    if (r.status == noErr) r.status = OpenMoviepackerExporter(&exporter);
    if (r.status == noErr)
        r.status = CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect,
                                 const_cast<AtomContainer*>(&settings));
    if (r.status == noErr) {
        ProgressState st;
        st.bar = !o.json && isatty(STDERR_FILENO);
        st.label = PathFileName(source);
        r.status = ConvertMovieToFile(movie, nullptr, spec, MakeOSType("PDB "), kMoviepackerCreator,
                                      exporter, progressProc, reinterpret_cast<intptr_t>(&st));
        if (st.bar) std::fprintf(stderr, "\r%*s\r", 62, "");
        if (r.status == noErr || r.status == kStatusExportedWithoutAudio) {
            if (const OSStatus err = output.commit(); err != noErr) {
                r.status = err;
                detail = "cannot create '" + output.path() +
                         "': " + lowerFirst(std::strerror(output.lastErrno()));
            }
        }
    }
    if (r.status == noErr || r.status == kStatusExportedWithoutAudio) r.output = output.path();
    output.abandon();
    if (r.status != noErr && r.status != kStatusUserCancelled) r.comment = errorText(r.status);
    if (converted(r.status) && exporter != nullptr) {
        uint32_t total = 0;
        if (const uint32_t left = QueryChaptersLeftOut(exporter, &total); left > 0)
            r.warnings.push_back(std::to_string(left) + " of " + std::to_string(total) +
                                 " chapters left out: the chapter list must fit one database "
                                 "record");
    }
    if (r.status == kStatusNoCodec && exporter != nullptr) {
        r.missing = QueryMissingCodec(exporter);
        if (r.missing != 0) r.comment += " ('" + OSTypeToString(r.missing) + "')";
        if (r.missing == kMusicMediaType)
            r.comment += ": no General MIDI soundfont; install fluid-soundfont-gm or set "
                         "MOVIEPACKER_SOUNDFONT";
    }
    if (!detail.empty()) r.comment += ": " + detail;
    CloseComponent(exporter);
    DisposeMovie(movie);
    return r;
}

}  // namespace

int runConvert(int argc, char** argv) {
    Options o;
    if (const int e = parseOptions(argc, argv, &o); e != 0) return e < 0 ? kExitOk : e;
    AtomContainer settings;
    std::vector<std::string> notices;
    if (const int e = buildSettings(o, &settings, &notices); e != 0) return e;

    ConvertTarget target;
    HotSyncStore store;
    if (const int e = resolveConvertTarget(o.to, store, &target); e != 0) return e;
    o.dest = target.folder;
    // A card's folder was made level by level by the chooser; what could not
    // be made there shows as the files' own errors.
    if (o.dest && std::strcmp(target.kind, "card") != 0) {
        std::error_code failed;
        std::filesystem::create_directories(*o.dest, failed);
        if (failed) {
            std::fprintf(stderr, "convert: cannot make the folder %s\n", o.dest->c_str());
            return kExitUsage;
        }
    }
    if (o.output && SameFile(*o.output, o.sources[0])) {
        std::fprintf(stderr, "convert: the output '%s' is the source itself\n", o.output->c_str());
        return kExitUsage;
    }
    const StopSignals stop;
    bool allConverted = true;
    json::Writer js(stdout);
    for (const std::string& source : o.sources) {
        if (stop.caught()) break;
        Result r;
        if (std::strcmp(target.kind, "card") == 0 && !std::filesystem::is_directory(*o.dest)) {
            // The card's folder could not be made (a read-only or full card):
            // nothing can be created there.
            r.source = source;
            r.status = kStatusCreateError;
            r.comment = errorText(r.status);
        } else {
            r = convertOne(source, o, settings);
        }
        if (target.hotsync && converted(r.status)) {
            // Queued, the converted file leaves the user's folder; if the
            // queue cannot take it, it stays there and the file counts as failed.
            std::string queued;
            const OSStatus err = InstallConvertedFile(store, *target.hotsync, r.output, &queued);
            if (err == noErr) {
                r.output = queued;
            } else {
                r.kept = r.output;
                r.status = err;
                r.comment = errorText(err);
            }
        }
        allConverted = allConverted && converted(r.status);
        for (const std::string& w : r.warnings)
            std::fprintf(stderr, "convert: warning: '%s': %s\n", r.source.c_str(), w.c_str());
        if (o.json) {
            js.beginObject();
            js.key("source").value(r.source);
            js.key("output").value(converted(r.status) ? r.output : std::string());
            js.key("destination").value(target.kind);
            if (target.hotsync) {
                js.key("user").value(target.hotsync->user);
                js.key("slot").value(target.slotName);
            }
            if (!r.kept.empty()) js.key("kept").value(r.kept);
            js.key("status").value(r.status);
            js.key("converted").value(converted(r.status));
            js.key("cancelled").value(r.status == kStatusUserCancelled);
            js.key("message").value(r.comment);
            js.key("warnings").beginArray();
            for (const std::string& n : notices) js.value(n);
            for (const std::string& w : r.warnings) js.value(w);
            js.endArray();
            if (r.missing != 0) js.key("missing_codec").value(OSTypeToString(r.missing));
            js.endObject();
            std::fputc('\n', stdout);
        } else if (r.status == kStatusUserCancelled) {
            std::fprintf(stderr, "%s: cancelled\n", r.source.c_str());
        } else if (r.status == noErr) {
            std::printf("%s -> %s\n", r.source.c_str(), r.output.c_str());
        } else if (r.status == kStatusExportedWithoutAudio) {
            std::printf("%s -> %s\n", r.source.c_str(), r.output.c_str());
            std::fprintf(stderr, "convert: warning: '%s': %s\n", r.source.c_str(),
                         r.comment.c_str());
        } else if (!r.kept.empty()) {
            std::fprintf(stderr, "convert: '%s': %s (the database stays in %s)\n",
                         r.source.c_str(), r.comment.c_str(), r.kept.c_str());
        } else {
            std::fprintf(stderr, "convert: '%s': %s\n", r.source.c_str(), r.comment.c_str());
        }
        std::fflush(stdout);
    }
    if (stop.caught()) return stop.exitStatus();
    return allConverted ? kExitOk : kExitFailed;
}

}  // namespace cli
