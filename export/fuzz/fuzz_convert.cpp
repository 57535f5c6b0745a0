// The whole conversion over arbitrary container bytes: the first byte picks
// the settings, the rest is written to a file and converted as the command
// line does it. Whatever converts must read back as a database, and no run
// may leave a file behind in its private folder (spool, temporary items,
// output work folders).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/atoms.h"
#include "platform/files.h"
#include "platform/media_export.h"
#include "platform/movies.h"

namespace {

std::string g_dir;  // private to this process, removed at exit

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_dir, ignored);
}

bool setUp() {
    std::string templ =
        (std::filesystem::temp_directory_path() / "fuzz-convert-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) return false;
    g_dir = templ;
    std::atexit(removeFolder);
    // Spool files and the temporary-items folder land in there too.
    const std::string tmp = g_dir + "/tmp";
    mkdir(tmp.c_str(), 0700);
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", tmp.c_str(), 1);
    return true;
}

// What each selector byte asks of the converter: picture depths and sound
// codecs in turn, with a small frame so that runs stay quick.
ExportSettings settingsFor(uint8_t selector) {
    static constexpr int16_t kDepths[] = {kDepthGrey16, kDepthGrey4, kDepthMono, kDepthMillions,
                                          kDepthNoVideo};
    static constexpr int32_t kSounds[] = {kSoundNone, kSoundAdpcm2, kSoundPcmMono, kSoundYamaha};
    ExportSettings s;
    s.depth = kDepths[selector % 5];
    s.soundCodec = kSounds[(selector / 5) % 4];
    if (s.depth == kDepthNoVideo && s.soundCodec == kSoundNone) s.soundCodec = kSoundAdpcm2;
    s.width = 32;
    s.height = 24;
    s.rotation = (selector & 0x80) ? 90 : 0;
    normaliseSound(&s);
    return s;
}

size_t entriesIn(const std::string& folder) {
    std::error_code ec;
    size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = setUp();
    if (!ready || size < 1) return 0;
    const std::string source = g_dir + "/source.mov";
    const std::string outFolder = g_dir + "/out";
    {
        FILE* f = std::fopen(source.c_str(), "wb");
        if (f == nullptr) return 0;
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    mkdir(outFolder.c_str(), 0755);

    AtomContainer settings;
    if (getSettingsAsContainer(settingsFor(data[0]), &settings) != noErr) std::abort();
    Movie movie = nullptr;
    ComponentInstance exporter = nullptr;
    OutputFile output;
    FileSpec spec;
    OSStatus err = NewMovieFromFile(source, &movie);
    if (err == noErr) err = output.openNew(outFolder, "source", ".pdb");
    if (err == noErr) err = FileSpecFromPath(output.workPath(), &spec);
    if (err == noErr) err = OpenMoviepackerExporter(&exporter);
    if (err == noErr)
        err = CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect, &settings);
    if (err == noErr)
        err = ConvertMovieToFile(movie, nullptr, spec, MakeOSType("PDB "), kMoviepackerCreator,
                                 exporter, nullptr, 0);
    if ((err == noErr || err == kStatusExportedWithoutAudio) && output.commit() == noErr) {
        movie::Movie m;
        std::string error;
        if (!movie::readMovieFile(output.path(), m, error) || !m.violations.empty()) {
            std::fprintf(stderr, "converted database does not read back: %s %s\n", error.c_str(),
                         m.violations.empty() ? "" : m.violations.front().c_str());
            std::abort();
        }
        std::remove(output.path().c_str());
    }
    output.abandon();
    CloseComponent(exporter);
    DisposeMovie(movie);
    std::remove(source.c_str());
    // Everything made on the way is gone again (the temporary-items folder
    // itself lives as long as the process).
    const size_t left = entriesIn(outFolder) + entriesIn(g_dir + "/tmp");
    if (left > 1) {
        std::fprintf(stderr, "%zu files left behind by a conversion\n", left);
        std::abort();
    }
    return 0;
}
