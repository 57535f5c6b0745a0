// Music own sound end to end: MIDI songs converted into databases whose
// sound is heard, lasts the song and has the pitch written; the failures
// that leave nothing behind; and the AIFF header reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/music_sound.h"
#include "export/settings.h"
#include "platform/midi_file.h"
#include "platform/movies.h"
#include "export/tests/support/exporter_setup.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/midi_maker.h"
#include "tools/movie_player.h"

namespace {

struct Exported {
    OSStatus status = -1;
    OSType missing = 0;
    bool outputLeft = false;
    movie::Movie movie;
    std::vector<Fixed> updates;
    std::vector<int16_t> messages;
    int cancelAt = -1;
    std::vector<int16_t> pcm;  // decoded sound, interleaved
};

OSStatus logProgress(Movie, int16_t message, int16_t, Fixed fraction, intptr_t ref) {
    auto* e = reinterpret_cast<Exported*>(ref);
    e->messages.push_back(message);
    if (message == kMovieProgressUpdatePercent) {
        e->updates.push_back(fraction);
        if (e->cancelAt >= 0 && int(e->updates.size()) > e->cancelAt) return kStatusUserCancelled;
    }
    return noErr;
}

std::set<std::string> temporaryFiles() {
    std::string folder;
    EXPECT_EQ(FindTemporaryFolder(&folder), noErr);
    std::set<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(folder))
        names.insert(f.path().filename().string());
    return names;
}

ExportSettings musicSettings(int32_t codec, int rate, int channels) {
    ExportSettings s;
    s.depth = kDepthNoVideo;
    s.soundCodec = codec;
    s.sampleRate = ufixedFromInt(unsigned(rate));
    s.channels = int16_t(channels);
    normaliseSound(&s);
    return s;
}

void exportMovie(Movie m, const ExportSettings& s, const std::string& outName, Exported* out) {
    const std::string path = ScratchPath(outName);
    std::filesystem::remove(path);
    ComponentInstance exporter = OpenExporterWith(s);
    ASSERT_NE(exporter, nullptr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(path, &spec), noErr);
    out->status = ConvertMovieToFile(m, nullptr, spec, MakeOSType("PDB "), kMoviepackerCreator,
                                     exporter, logProgress, reinterpret_cast<intptr_t>(out));
    if (out->status == kStatusNoCodec) out->missing = QueryMissingCodec(exporter);
    CloseComponent(exporter);
    if (out->status != noErr) {
        // What a caller does with a failed export: the file it made goes.
        std::filesystem::remove(path);
        return;
    }
    std::string error;
    ASSERT_TRUE(movie::readMovie(ReadWholeFile(path), out->movie, error)) << error;
    for (const auto& v : out->movie.violations) ADD_FAILURE() << "violation: " << v;
    decode::MoviePlayer player(out->movie);
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < out->movie.sounds.size(); ++i) {
        ASSERT_TRUE(player.decodeSound(i, pcm, error)) << error;
        out->pcm.insert(out->pcm.end(), pcm.begin(), pcm.end());
    }
}

void exportSong(const std::vector<uint8_t>& midi, const ExportSettings& s,
                const std::string& outName, Exported* out) {
    const std::string source = ScratchPath(outName + ".mid");
    WriteWholeFile(source, midi);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(source, &m), noErr);
    exportMovie(m, s, outName, out);
    DisposeMovie(m);
}

uint32_t soundFrames(const movie::Movie& m) {
    uint32_t n = 0;
    for (const auto& s : m.sounds) n += s.frames;
    return n;
}

uint32_t chunkFrames(const movie::Movie& m) {
    uint32_t n = 0;
    for (const auto& s : m.sounds) n = std::max(n, s.frames);
    return n;
}

TEST(MusicSound, HeldA4IsHeardAt440HzForTheSongsLength) {
    const auto before = temporaryFiles();
    Exported e;
    exportSong(HeldA4Song(2.0), musicSettings(kSoundPcmStereo, 22050, 2), "a4.pdb", &e);
    ASSERT_EQ(e.status, noErr);
    EXPECT_TRUE(e.movie.header.hasSound);
    EXPECT_FALSE(e.movie.header.hasVideo);
    const int ch = e.movie.header.channels;
    ASSERT_EQ(ch, 2);
    EXPECT_NEAR(double(soundFrames(e.movie)), 2.0 * 22050, chunkFrames(e.movie));
    EXPECT_GT(Rms(e.pcm), 300.0);
    EXPECT_NEAR(DominantFrequency(e.pcm, ch, 22050, 11025, 11025, 100, 1500), 440.0, 8.8);
    // The rendering shows in the progress before the sound stream's own.
    ASSERT_FALSE(e.updates.empty());
    EXPECT_TRUE(std::is_sorted(e.updates.begin(), e.updates.end()));
    EXPECT_EQ(e.updates.back(), 0x10000);
    EXPECT_EQ(e.messages.back(), kMovieProgressClose);
    EXPECT_EQ(temporaryFiles(), before);
}

TEST(MusicSound, ABandWithTempoChangeTracksAndDrumsIsHeardThroughEveryCoding) {
    // 12 s: 6 s at 120 bpm, then 150 bpm.
    const std::vector<uint8_t> band = BandSong(12.0);
    MidiSong song;
    ASSERT_EQ(ParseMidiFile(band, &song), noErr);
    const double seconds = double(song.duration) / 1e6;
    struct Case {
        int32_t codec;
        int rate, channels;
    };
    for (const Case c : {Case{kSoundAdpcm2, 11025, 1}, Case{kSoundPcmMono, 8000, 1},
                         Case{kSoundPcmStereo, 22050, 2}, Case{kSoundAdpcm4, 4096, 1}}) {
        SCOPED_TRACE(c.codec);
        Exported e;
        exportSong(band, musicSettings(c.codec, c.rate, c.channels), "band.pdb", &e);
        ASSERT_EQ(e.status, noErr);
        EXPECT_EQ(e.movie.header.channels, c.channels);
        EXPECT_NEAR(double(soundFrames(e.movie)), seconds * c.rate, chunkFrames(e.movie));
        // Every second of the song has sound: the second half's faster beats too.
        const size_t perSecond = size_t(c.rate) * size_t(c.channels);
        for (size_t s = 0; s + 1 < size_t(seconds); ++s) {
            const std::vector<int16_t> part(e.pcm.begin() + long(s * perSecond),
                                            e.pcm.begin() + long((s + 1) * perSecond));
            EXPECT_GT(Rms(part), 300.0) << "second " << s;
        }
    }
}

TEST(MusicSound, DrumsAloneAreHeard) {
    MidiTrackMaker drums;
    for (uint32_t b = 0; b < 8; ++b) drums.note(b * 240, 120, 9, b % 2 ? 38 : 36, 120);
    Exported e;
    exportSong(MakeMidiFile(0, 480, {drums}), musicSettings(kSoundPcmStereo, 22050, 1), "drums.pdb",
               &e);
    ASSERT_EQ(e.status, noErr);
    EXPECT_GT(Rms(e.pcm), 300.0);
}

TEST(MusicSound, AMovieWithMusicAndNoSoundTrackExportsTheMusic) {
    Movie video = nullptr, music = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("elementary.h264"), &video), noErr);
    ASSERT_EQ(NewMovieFromMemory(HeldA4Song(2.0), &music), noErr);
    ASSERT_EQ(AddMovieTrackCopy(video, GetMovieIndTrack(music, 1), nullptr), noErr);
    DisposeMovie(music);
    ASSERT_EQ(GetMovieIndTrackType(video, 1, kSoundMediaType, kMovieTrackMediaType), nullptr);
    ExportSettings s = musicSettings(kSoundAdpcm2, 22050, 1);
    s.depth = 36;
    s.frameRate = fixedFromInt(10);
    s.width = 64;
    s.height = 48;
    Exported e;
    exportMovie(video, s, "video-music.pdb", &e);
    DisposeMovie(video);
    ASSERT_EQ(e.status, noErr);  // not -2055: the music was converted
    EXPECT_TRUE(e.movie.header.hasVideo);
    EXPECT_FALSE(e.movie.frames.empty());
    EXPECT_NEAR(double(soundFrames(e.movie)), 2.0 * 22050, chunkFrames(e.movie));
    EXPECT_NEAR(DominantFrequency(e.pcm, 1, 22050, 11025, 11025, 100, 1500), 440.0, 8.8);
}

TEST(MusicSound, NoSoundfontOrACancelFailsAndLeavesNoTemporaryFile) {
    const auto before = temporaryFiles();
    setenv("MOVIEPACKER_SOUNDFONT", ScratchPath("missing.sf2").c_str(), 1);
    Exported n;
    exportSong(HeldA4Song(1.0), musicSettings(kSoundAdpcm2, 22050, 1), "nofont.pdb", &n);
    unsetenv("MOVIEPACKER_SOUNDFONT");
    EXPECT_EQ(n.status, kStatusNoCodec);
    EXPECT_EQ(n.missing, kMusicMediaType);
    EXPECT_EQ(temporaryFiles(), before);

    // Cancelled while "blah.aif" is being rendered.
    Exported c;
    c.cancelAt = 2;
    exportSong(HeldA4Song(4.0), musicSettings(kSoundAdpcm2, 22050, 1), "cancel.pdb", &c);
    EXPECT_EQ(c.status, kStatusUserCancelled);
    EXPECT_LT(c.updates.back(), 0x4000);  // still in the rendering's share
    EXPECT_EQ(c.messages.back(), kMovieProgressClose);
    EXPECT_EQ(temporaryFiles(), before);
}

TEST(MusicSound, RealMidiFilesFromInstalledPackagesConvert) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const char* root : {"/usr/share/sounds", "/usr/share/doc", "/usr/share/games"}) {
        auto it = std::filesystem::recursive_directory_iterator(
            root, std::filesystem::directory_options::skip_permission_denied, ec);
        for (; !ec && it != std::filesystem::recursive_directory_iterator() && found.size() < 3;
             it.increment(ec)) {
            const std::string ext = it->path().extension().string();
            if (ext == ".mid" || ext == ".midi" || ext == ".kar") found.push_back(it->path());
        }
    }
    if (found.empty()) GTEST_SKIP() << "no MIDI file is installed";
    for (const std::string& path : found) {
        SCOPED_TRACE(path);
        Movie m = nullptr;
        ASSERT_EQ(NewMovieFromFile(path, &m), noErr);
        const double seconds = double(GetMovieDuration(m)) / GetMovieTimeScale(m);
        Exported e;
        exportMovie(m, musicSettings(kSoundAdpcm2, 8192, 1), "real.pdb", &e);
        DisposeMovie(m);
        ASSERT_EQ(e.status, noErr);
        EXPECT_EQ(e.movie.header.sampleRate, 8192u);
        EXPECT_NEAR(double(soundFrames(e.movie)), seconds * 8192, chunkFrames(e.movie));
        EXPECT_GT(Rms(e.pcm), 100.0);
    }
}

// --- The AIFF header -----------------------------------------------------

std::vector<uint8_t> aiffHeader(bool aifc, uint32_t frames, uint32_t ssndBytes) {
    std::vector<uint8_t> b = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', uint8_t(aifc ? 'C' : 'F')};
    auto put32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
    };
    // A comment chunk of odd size before COMM: padded to even.
    b.insert(b.end(), {'N', 'A', 'M', 'E', 0, 0, 0, 3, 'a', 'b', 'c', 0});
    b.insert(b.end(), {'C', 'O', 'M', 'M'});
    put32(aifc ? 24 : 18);
    b.insert(b.end(), {0, 2});
    put32(frames);
    b.insert(b.end(), {0, 16, 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});  // 44100
    if (aifc) b.insert(b.end(), {'N', 'O', 'N', 'E', 0, 0});
    b.insert(b.end(), {'S', 'S', 'N', 'D'});
    put32(ssndBytes);
    put32(4);  // offset
    put32(0);
    const uint32_t form = uint32_t(b.size() - 8 + ssndBytes - 8);
    for (int i = 0; i < 4; ++i) b[4 + size_t(i)] = uint8_t(form >> (24 - 8 * i));
    return b;
}

TEST(AiffHeader, ChunksAreWalkedAndTheSoundDataFound) {
    AiffInfo info;
    const auto plain = aiffHeader(false, 100, 8 + 4 + 400);
    ASSERT_EQ(parseAiffHeader(plain, &info), noErr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleSize, 16);
    EXPECT_EQ(info.sampleRate, 44100.0);
    EXPECT_EQ(info.frames, 100u);
    EXPECT_EQ(info.dataOffset, plain.size() + 4);
    // The chunk holds fewer frames than COMM claims: only those are read.
    ASSERT_EQ(parseAiffHeader(aiffHeader(true, 100, 8 + 4 + 40), &info), noErr);
    EXPECT_EQ(info.frames, 10u);
}

TEST(AiffHeader, WhatCannotBeReadIsRefused) {
    AiffInfo info;
    auto bad = [&](std::vector<uint8_t> b, const char* what) {
        EXPECT_EQ(parseAiffHeader(b, &info), kStatusBadData) << what;
    };
    const auto good = aiffHeader(false, 100, 412);
    for (size_t n = 0; n < good.size(); ++n)
        bad(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), "cut");
    auto patched = [&](size_t at, std::vector<uint8_t> with) {
        auto b = good;
        std::copy(with.begin(), with.end(), b.begin() + long(at));
        return b;
    };
    bad(patched(32, {0, 0}), "no channels");
    bad(patched(38, {0, 24}), "24-bit samples");
    bad(patched(40, {0, 0}), "rate zero");
    bad(patched(40, {0xC0}), "negative rate");
    bad(patched(54, {0, 0, 0, 4}), "SSND smaller than its offset");
    bad(patched(0, {'R', 'I', 'F', 'F'}), "not an AIFF");
    auto compressed = aiffHeader(true, 100, 412);
    std::copy_n("ima4", 4, compressed.begin() + 50);
    bad(compressed, "compressed AIFC");
}

}  // namespace
