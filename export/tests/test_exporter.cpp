// The exporter end to end over generated media: every depth and sound code,
// frame timing, chapters, progress and cancelling, and its selectors.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "engine/movie_reader.h"
#include "export/merge_movies.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/movies.h"
#include "export/tests/support/exporter_setup.h"
#include "platform/tests/support/corpus.h"
#include "tools/movie_player.h"

namespace {

struct ProgressLog {
    std::vector<int16_t> messages;
    std::vector<Fixed> updates;
    int cancelAfter = -1;  // answer -128 at this update
};

OSStatus logProgress(Movie, int16_t message, int16_t operation, Fixed fraction, intptr_t ref) {
    auto* log = reinterpret_cast<ProgressLog*>(ref);
    EXPECT_EQ(operation, kProgressOpExportMovie);
    log->messages.push_back(message);
    if (message == kMovieProgressUpdatePercent) {
        log->updates.push_back(fraction);
        if (log->cancelAfter >= 0 && int(log->updates.size()) > log->cancelAfter)
            return kStatusUserCancelled;
    }
    return noErr;
}

struct Exported {
    OSStatus status = -1;
    std::vector<uint8_t> bytes;
    movie::Movie movie;
    ProgressLog log;
    uint32_t chaptersLeftOut = 0, chaptersInSource = 0;
};

// Converts a corpus file with these settings into a fresh output file.
void exportFile(const std::string& source, const ExportSettings& s, const std::string& outName,
                Exported* out) {
    const std::string path = ScratchPath(outName);
    std::filesystem::remove(path);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(source, &m), noErr);
    ComponentInstance exporter = OpenExporterWith(s);
    ASSERT_NE(exporter, nullptr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(path, &spec), noErr);
    out->status = ConvertMovieToFile(m, nullptr, spec, MakeOSType("PDB "), kMoviepackerCreator,
                                     exporter, logProgress, reinterpret_cast<intptr_t>(&out->log));
    out->chaptersLeftOut = QueryChaptersLeftOut(exporter, &out->chaptersInSource);
    CloseComponent(exporter);
    DisposeMovie(m);
    if (out->status != noErr && out->status != kStatusExportedWithoutAudio) return;
    out->bytes = ReadWholeFile(path);
    std::string error;
    ASSERT_TRUE(movie::readMovie(out->bytes, out->movie, error)) << error;
    for (const auto& v : out->movie.violations) ADD_FAILURE() << "violation: " << v;
}

ExportSettings settingsFor(int16_t depth, int32_t sound, int rate = 8192) {
    ExportSettings s;
    s.depth = depth;
    s.frameRate = fixedFromInt(10);
    s.width = 64;
    s.height = 48;
    s.soundCodec = sound;
    s.sampleRate = ufixedFromInt(unsigned(rate));
    normaliseSound(&s);
    return s;
}

double luma(const Rgb& c) {
    return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
}

// Mean grey of a decoded quadrant against the pattern's luminance.
void expectPatternGrey(const movie::Movie& m, size_t frame, bool late, double tolerance) {
    decode::MoviePlayer player(m);
    std::vector<uint8_t> rgb;
    std::string error;
    for (size_t i = 0; i <= frame; ++i) ASSERT_TRUE(player.decodeFrame(i, rgb, error)) << error;
    const int w = player.width(), h = player.height();
    for (int q = 0; q < 4; ++q) {
        const bool right = q & 1, bottom = q & 2;
        double sum = 0;
        int n = 0;
        // The inner half of each quadrant, away from the edges' blur.
        for (int y = h / 8 + (bottom ? h / 2 : 0); y < 3 * h / 8 + (bottom ? h / 2 : 0); ++y)
            for (int x = w / 8 + (right ? w / 2 : 0); x < 3 * w / 8 + (right ? w / 2 : 0); ++x) {
                const uint8_t* p = &rgb[size_t(y * w + x) * 3];
                sum += (p[0] + p[1] + p[2]) / 3.0;
                ++n;
            }
        EXPECT_NEAR(sum / n, luma(PatternColour(right, bottom, late)), tolerance)
            << "frame " << frame << " quadrant " << q;
    }
}

// Signal-to-noise ratio of decoded sound against the best-fitting 440 Hz sine.
double toneSnr(const movie::Movie& m, int rate) {
    decode::MoviePlayer player(m);
    std::vector<int16_t> all, pcm;
    std::string error;
    const int channels = m.header.channels;
    for (size_t i = 0; i < m.sounds.size(); ++i) {
        EXPECT_TRUE(player.decodeSound(i, pcm, error)) << error;
        for (size_t k = 0; k < pcm.size(); k += size_t(channels)) all.push_back(pcm[k]);
    }
    // Leave out the start (the converter's and coder's settling) and the padded end.
    const size_t from = size_t(rate / 10), to = std::min(all.size(), size_t(rate * 19 / 10));
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (size_t i = from; i < to; ++i) {
        const double t = 2 * M_PI * 440.0 * double(i) / rate;
        ss += std::sin(t) * std::sin(t);
        cc += std::cos(t) * std::cos(t);
        sc += std::sin(t) * std::cos(t);
        xs += all[i] * std::sin(t);
        xc += all[i] * std::cos(t);
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double t = 2 * M_PI * 440.0 * double(i) / rate;
        const double fit = a * std::sin(t) + b * std::cos(t);
        signal += fit * fit;
        noise += (all[i] - fit) * (all[i] - fit);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

class DepthCodes : public ::testing::TestWithParam<int16_t> {};

TEST_P(DepthCodes, ConvertWithTheFrameCountAndTimesTheSettingsImply) {
    const int16_t depth = GetParam();
    Exported e;
    exportFile(CorpusFile("h264_aac.mp4"), settingsFor(depth, kSoundAdpcm2), "depth.pdb", &e);
    ASSERT_EQ(e.status, noErr);
    const movie::MovieHeader& h = e.movie.header;
    if (depth == kDepthNoVideo) {
        EXPECT_TRUE(e.movie.frames.empty());
    } else {
        EXPECT_EQ(h.width, 64);
        EXPECT_EQ(h.height, 48);
        EXPECT_EQ(e.movie.frames.size(), 20u);  // 2 s at 10 frames per second
        EXPECT_EQ(h.videoDuration, 200u);       // hundredths
        if (depth == kDepthGrey16 || depth == kDepthGrey4) {
            expectPatternGrey(e.movie, 5, false, depth == kDepthGrey16 ? 20 : 45);
            expectPatternGrey(e.movie, 15, true, depth == kDepthGrey16 ? 20 : 45);
        }
    }
    EXPECT_EQ(h.audioFormat, uint32_t(kSoundAdpcm2));
    EXPECT_EQ(h.sampleRate, 8192u);
}

INSTANTIATE_TEST_SUITE_P(Export, DepthCodes,
                         ::testing::Values(kDepthMono, kDepthGrey4, kDepthGrey16, kDepthMillions,
                                           kDepthMillionsAlpha, kDepthNoVideo));

struct SoundCase {
    int32_t code;
    int rate;
    double snrFloor;
};

class SoundCodes : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundCodes, SoundHasTheRateLengthAndResemblesTheTone) {
    const SoundCase c = GetParam();
    Exported e;
    exportFile(CorpusFile("h264_aac.mp4"), settingsFor(kDepthGrey16, c.code, c.rate), "sound.pdb",
               &e);
    ASSERT_EQ(e.status, noErr);
    const movie::MovieHeader& h = e.movie.header;
    ASSERT_TRUE(h.hasSound);
    const int rate = c.code == kSoundAtrac3 ? 44100 : c.code == kSoundYamaha ? 8000 : c.rate;
    EXPECT_EQ(h.sampleRate, uint32_t(rate));
    EXPECT_EQ(h.audioFormat, uint32_t(c.code));
    EXPECT_EQ(e.movie.frames.size(), 20u);
    uint64_t frames = 0;
    for (const auto& s : e.movie.sounds) frames += s.frames;
    // Two seconds, rounded up to whole chunks or coder blocks.
    EXPECT_GE(frames, uint64_t(rate * 2 * 0.98));
    EXPECT_LE(frames, uint64_t(rate * 2) + 2048 + rate / 5);
    EXPECT_GE(toneSnr(e.movie, rate), c.snrFloor) << "code " << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    Export, SoundCodes,
    ::testing::Values(SoundCase{kSoundAtrac3, 44100, 30}, SoundCase{kSoundAdpcm2, 11025, 18},
                      SoundCase{kSoundPcmMono, 8192, 20}, SoundCase{kSoundAdpcm4, 8192, 10},
                      SoundCase{kSoundYamaha, 8000, 20}, SoundCase{kSoundPcmStereo, 22050, 35},
                      // Made at 8192 Hz and halved.
                      SoundCase{kSoundPcmMono, 4096, 16}, SoundCase{kSoundAdpcm2, 4096, 16}),
    [](const auto& info) {
        return std::to_string(info.param.code) + "_" + std::to_string(info.param.rate);
    });

TEST(ExportStreams, VideoOnlyIsOneStreamWithProgressOverIt) {
    Exported e;
    exportFile(CorpusFile("h264_aac.mp4"), settingsFor(kDepthGrey16, kSoundNone), "video only.pdb",
               &e);
    ASSERT_EQ(e.status, noErr);
    EXPECT_FALSE(e.movie.header.hasSound);  // the source's sound is not exported
    EXPECT_TRUE(e.movie.sounds.empty());
    const ProgressLog& log = e.log;
    ASSERT_GE(log.messages.size(), 3u);
    EXPECT_EQ(log.messages.front(), kMovieProgressOpen);
    EXPECT_EQ(log.messages.back(), kMovieProgressClose);
    EXPECT_EQ(std::count(log.messages.begin(), log.messages.end(), kMovieProgressOpen), 1);
    EXPECT_EQ(std::count(log.messages.begin(), log.messages.end(), kMovieProgressClose), 1);
    ASSERT_FALSE(log.updates.empty());
    EXPECT_TRUE(std::is_sorted(log.updates.begin(), log.updates.end()));
    EXPECT_EQ(log.updates.back(), IntToFixed(1));
    // One frame of twenty is a twentieth of 0.875; the last frame reaches the cap.
    EXPECT_NEAR(log.updates.front() / 65536.0, 0.875 / 20, 0.002);
    EXPECT_TRUE(std::find(log.updates.begin(), log.updates.end(), 0xE000) != log.updates.end());
    // Packing reports stay below 0.995 until the image is written.
    for (size_t i = 0; i + 1 < log.updates.size(); ++i) EXPECT_LE(log.updates[i], 65209);
}

// A damaged sound file whose header claims 850 years of sound (838 million
// frames at 31.25 Hz) over a few bytes: the times in milliseconds, 27 billion
// at the end, must not overflow the movie's 32-bit count on the way.
TEST(ExportTiming, AHeaderClaimingYearsConvertsWhatIsThere) {
    std::vector<uint8_t> aiff = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F',
                                 'C', 'O', 'M', 'M', 0, 0, 0, 18,
                                 0, 1,                    // one channel
                                 0x32, 0x00, 0x01, 0x90,  // frames
                                 0, 16,                   // bits
                                 0x40, 0x03, 0xFA, 0, 0, 0, 0, 0, 0, 0,  // 31.25 Hz
                                 'S', 'S', 'N', 'D', 0, 0, 0, 72, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 64; ++i) aiff.push_back(uint8_t(i * 37));
    const uint32_t form = uint32_t(aiff.size() - 8);
    for (int k = 0; k < 4; ++k) aiff[4 + k] = uint8_t(form >> (24 - 8 * k));
    const std::string source = ScratchPath("years.aif");
    WriteWholeFile(source, aiff);
    Exported e;
    exportFile(source, settingsFor(kDepthNoVideo, kSoundAdpcm2), "years.pdb", &e);
    if (e.status == noErr) {
        EXPECT_TRUE(e.movie.header.hasSound);
    } else {
        EXPECT_FALSE(std::filesystem::exists(ScratchPath("years.pdb"))) << e.status;
    }
}

// A picture shown for 12 years (the next one starts 4 * 10^8 s later): its
// duration in the movie's time units must not overflow the writer's count.
TEST(ExportTiming, APictureShownForYearsConvertsWithoutOverflow) {
    const std::string source = ScratchPath("years.mkv");
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=64x48:r=1:d=2 "
        "-vf setpts=N*400000000/TB -fps_mode passthrough -c:v mjpeg '" + source + "'";
    ASSERT_EQ(RunCommand(cmd), 0) << cmd;
    Exported e;
    exportFile(source, settingsFor(kDepthGrey16, kSoundNone), "years video.pdb", &e);
    if (e.status == noErr) {
        EXPECT_GE(e.movie.frames.size(), 1u);
    } else {
        EXPECT_FALSE(std::filesystem::exists(ScratchPath("years video.pdb"))) << e.status;
    }
}

TEST(ExportTiming, ASlowSourceKeepsItsFramesAFastOneIsSampled) {
    ExportSettings fast = settingsFor(kDepthGrey4, kSoundNone);
    fast.frameRate = fixedFromInt(25);  // above the source's 10: its own times stay
    Exported e;
    exportFile(CorpusFile("h264_aac.mp4"), fast, "slow source.pdb", &e);
    ASSERT_EQ(e.status, noErr);
    EXPECT_EQ(e.movie.frames.size(), 20u);
    for (const auto& f : e.movie.frames) EXPECT_EQ(f.duration, 10);

    ExportSettings slow = fast;
    slow.frameRate = fixedFromInt(4);
    Exported s;
    exportFile(CorpusFile("h264_aac.mp4"), slow, "fast source.pdb", &s);
    ASSERT_EQ(s.status, noErr);
    EXPECT_EQ(s.movie.frames.size(), 8u);
    for (const auto& f : s.movie.frames) EXPECT_EQ(f.duration, 25);
    EXPECT_EQ(s.movie.header.videoDuration, 200u);
}

TEST(ExportChapters, ChaptersAreListedAndStartOnKeyFrames) {
    ExportSettings st = settingsFor(kDepthGrey16, kSoundNone);
    Exported e;
    exportFile(CorpusFile("chapters.mov"), st, "chapters.pdb", &e);
    ASSERT_EQ(e.status, noErr);
    const auto& ch = e.movie.header.chapters;
    ASSERT_EQ(ch.size(), 2u);
    EXPECT_EQ(ch[0].title, "Opening");
    EXPECT_EQ(ch[1].title, "Second part");
    EXPECT_EQ(ch[1].time, 80u);
    EXPECT_EQ(e.movie.header.title, "Test Title");
    EXPECT_EQ(e.movie.header.information, "Some information");
    EXPECT_EQ(e.movie.header.rights, "Nobody 2026");
    // The frame at 0.8 s is a key frame although key frames are otherwise far apart.
    bool found = false;
    for (const auto& f : e.movie.frames)
        if (f.time == 80) {
            found = true;
            EXPECT_TRUE(f.key());
        }
    EXPECT_TRUE(found);
}

// A 3 s, 10 fps movie with this FFMETADATA text.
std::string movieWithMetadata(const std::string& name, const std::string& metadata) {
    const std::string meta = ScratchPath(name + ".txt");
    WriteWholeFile(meta, std::vector<uint8_t>(metadata.begin(), metadata.end()));
    const std::string path = ScratchPath(name);
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=s=64x48:r=10:d=3 -f ffmetadata -i '" +
        meta + "' -map 0:v -map_metadata 1 -map_chapters 1 -c:v mpeg4 -q:v 2 '" + path + "'";
    EXPECT_EQ(RunCommand(cmd), 0) << cmd;
    return path;
}

std::string chapterMetadata(const std::vector<int>& startsMs,
                            const std::vector<std::string>& titles = {}) {
    std::string text = ";FFMETADATA1\n";
    for (size_t i = 0; i < startsMs.size(); ++i)
        text += "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" + std::to_string(startsMs[i]) +
                "\nEND=" + std::to_string(startsMs[i] + 10) + "\ntitle=" +
                (i < titles.size() ? titles[i] : "Part " + std::to_string(i + 1)) + "\n";
    return text;
}

TEST(ExportChapters, EveryChapterStartsOnAKeyFrameHoweverItsTimesFall) {
    struct Case {
        const char* what;
        std::vector<int> starts;  // milliseconds, as written in the metadata
    } cases[] = {
        {"clustered", {0, 500, 520, 2000}},  // two chapters inside one frame
        {"equal", {0, 1000, 1000, 1530}},
        {"out of order", {2500, 700, 1300, 1200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = movieWithMetadata(
            "chapters " + std::string(c.what) + ".mov", chapterMetadata(c.starts));
        // The container decides what it keeps of the list: check against that.
        const std::vector<double> starts = Probe(source).chapterStarts;
        ASSERT_EQ(starts.size(), c.starts.size());
        Exported e;
        exportFile(source, settingsFor(kDepthGrey16, kSoundNone), "keyed.pdb", &e);
        ASSERT_EQ(e.status, noErr);
        ASSERT_EQ(e.movie.frames.size(), 30u);
        EXPECT_EQ(e.movie.header.chapters.size(), starts.size());  // none hidden by another
        size_t keys = 0;
        for (const auto& f : e.movie.frames) keys += f.key();
        EXPECT_LT(keys, e.movie.frames.size() / 2);  // difference frames remain
        for (double start : starts) {
            const uint32_t t = uint32_t(std::lround(start * 1000)) / 10;
            const auto frame = std::find_if(e.movie.frames.begin(), e.movie.frames.end(),
                                            [&](const movie::FrameSample& f) {
                                                return f.time <= t && t < f.time + f.duration;
                                            });
            ASSERT_NE(frame, e.movie.frames.end()) << start;
            EXPECT_TRUE(frame->key()) << "chapter at " << start << " s";
            // The seek index lists that key frame, so seeking to it lands there.
            const bool indexed = std::any_of(
                e.movie.header.videoIndex.begin(), e.movie.header.videoIndex.end(),
                [&](const movie::IndexEntry& x) { return x.time == frame->time; });
            EXPECT_TRUE(indexed) << "chapter at " << start << " s";
        }
    }
}

TEST(ExportChapters, ALongListSplitsTheHeaderAndWhatCannotFitIsCounted) {
    // 1400 chapters of 40-character titles: more than one record holds, and
    // with the palette and colour map the header passes a record by far.
    std::vector<int> starts;
    std::vector<std::string> titles;
    for (int i = 0; i < 1400; ++i) {
        starts.push_back(i * 2);
        char title[41];
        std::snprintf(title, sizeof title, "Chapter %04d of a long list for testing", i + 1);
        titles.push_back(title);
    }
    Exported e;
    exportFile(movieWithMetadata("many chapters.mov", chapterMetadata(starts, titles)),
               settingsFor(kDepthMillions, kSoundNone), "many chapters.pdb", &e);
    ASSERT_EQ(e.status, noErr);  // exportFile has checked every record's size
    const auto& kept = e.movie.header.chapters;
    EXPECT_EQ(e.chaptersInSource, 1400u);
    EXPECT_GT(e.chaptersLeftOut, 0u);
    EXPECT_EQ(kept.size() + e.chaptersLeftOut, 1400u);
    ASSERT_FALSE(kept.empty());
    // The first chapters are the ones kept, in order.
    EXPECT_EQ(kept.front().title, titles.front());
    EXPECT_EQ(kept.back().title, titles[kept.size() - 1]);
    // The list went on in a record of its own, after the first header record.
    const auto list = std::find_if(e.movie.chunks.begin(), e.movie.chunks.end(),
                                   [](const movie::Chunk& c) { return c.tag == "cl"; });
    ASSERT_NE(list, e.movie.chunks.end());
    EXPECT_EQ(list->record, 2u);
    EXPECT_GT(list->length, 60000u);
    // The seek indexes still point at their chunks from wherever they stand.
    ASSERT_FALSE(e.movie.header.videoIndex.empty());
    for (const auto& x : e.movie.header.videoIndex) EXPECT_GE(x.record, 2u);
    EXPECT_EQ(e.movie.frames.size(), 30u);
}

TEST(ExportTexts, NamesTextsAndChaptersAreStoredInMacRoman) {
    const std::string source = movieWithMetadata(
        "texts.mov", ";FFMETADATA1\n"
                     "title=Gro\xC3\x9F" "e \xC3\x9C" "berraschung\n"
                     "comment=\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80 report\n"
                     "copyright=\xC2\xA9 \xC5\x81ukasz\n" +
                         chapterMetadata({0, 1000}, {"Caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC"}));
    // A name of 40 accented characters: the handheld keeps 31 of them.
    const std::string name =
        "\xC3\x86rger p\xC3\xA5 \xC3\x98resund \xE2\x80\x93 \xC3\x87" "a \xC3\xA9t\xC3\xA9 "
        "tr\xC3\xA8s dr\xC3\xB4le, \xC5\x81\xC3\xB3";  // Ærger på Øresund – Ça été très drôle, Łó
    Exported e;
    exportFile(source, settingsFor(kDepthGrey16, kSoundNone), name + ".pdb", &e);
    ASSERT_EQ(e.status, noErr);
    ASSERT_GE(e.bytes.size(), 32u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.bytes.data()), 32),
              std::string("\xAErger p\x8C \xAFresund \xD0 \x82" "a \x8Et\x8E tr\x8Fs ") +
                  std::string(1, '\0'));
    EXPECT_EQ(e.movie.db.name, name.substr(0, name.find("dr\xC3\xB4le")));

    const auto md = std::find_if(e.movie.chunks.begin(), e.movie.chunks.end(),
                                 [](const movie::Chunk& c) { return c.tag == "md"; });
    ASSERT_NE(md, e.movie.chunks.end());
    const std::string stored(md->payload.begin(), md->payload.end());
    EXPECT_EQ(stored, std::string("Gro\xA7" "e \x86" "berraschung\0?? ? report\0\xA9 Lukasz\0", 40));
    const movie::MovieHeader& h = e.movie.header;
    EXPECT_EQ(h.title, "Gro\xC3\x9F" "e \xC3\x9C" "berraschung");
    EXPECT_EQ(h.information, "?? ? report");
    EXPECT_EQ(h.rights, "\xC2\xA9 Lukasz");
    ASSERT_EQ(h.chapters.size(), 2u);
    EXPECT_EQ(h.chapters[0].title, "Caf\xC3\xA9");
    EXPECT_EQ(h.chapters[1].title, "??");
}

TEST(ExportNames, DatabaseNameIsTheFileNameBeforeTheLastDot) {
    const ExportSettings st = settingsFor(kDepthMono, kSoundNone);
    Exported a, b, c;
    exportFile(CorpusFile("h264_aac.mp4"), st, "my.movie.pdb", &a);
    ASSERT_EQ(a.status, noErr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.bytes.data())), "my.movie");
    exportFile(CorpusFile("h264_aac.mp4"), st, "no dot", &b);
    ASSERT_EQ(b.status, noErr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.bytes.data())), "no dot");
    exportFile(CorpusFile("h264_aac.mp4"), st, ".pdb", &c);
    ASSERT_EQ(c.status, noErr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.bytes.data())), kUntitledDatabaseName);
}

std::set<std::string> temporaryFiles() {
    std::string folder;
    EXPECT_EQ(FindTemporaryFolder(&folder), noErr);
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

TEST(ExportCancel, AProgressAnswerStopsTheExportAndLeavesNoTemporaryFile) {
    const auto before = temporaryFiles();
    Exported e;
    e.log.cancelAfter = 3;
    exportFile(CorpusFile("h264_aac.mp4"), settingsFor(kDepthGrey16, kSoundAdpcm2), "cancel.pdb",
               &e);
    EXPECT_EQ(e.status, kStatusUserCancelled);
    EXPECT_EQ(e.log.updates.size(), 4u);  // nothing is reported after the answer
    ASSERT_FALSE(e.log.messages.empty());
    EXPECT_EQ(e.log.messages.back(), kMovieProgressClose);
    EXPECT_EQ(temporaryFiles(), before);
}

TEST(ExportCodecs, AnUndecodableVideoFormatIsNamed) {
    Exported e;
    // A still picture renamed so its format is unknown is refused at open;
    // an unknown codec is simulated by a description nobody decodes.
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("h264_aac.mp4"), &m), noErr);
    Track v = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(v, 1, &d), noErr);
    d.dataFormat = MakeOSType("zzzz");
    ASSERT_EQ(SetMediaSampleDescription(v, 1, d), noErr);
    ComponentInstance exporter = nullptr;
    ASSERT_EQ(OpenMoviepackerExporter(&exporter), noErr);
    FileSpec spec;
    const std::string path = ScratchPath("no codec.pdb");
    ASSERT_EQ(FileSpecFromPath(path, &spec), noErr);
    EXPECT_EQ(ConvertMovieToFile(m, nullptr, spec, 0, 0, exporter, nullptr, 0), kStatusNoCodec);
    EXPECT_EQ(QueryMissingCodec(exporter), MakeOSType("zzzz"));
    // Any other request is refused.
    std::vector<uint8_t> other{'T', 'V', 'L', 'A', 0, 1};
    OSType type = 0;
    MovieExportAuxDataParams p{&other, &type};
    EXPECT_EQ(CallComponent(exporter, kMovieExportGetAuxiliaryDataSelect, &p), kStatusParamError);
    CloseComponent(exporter);
    DisposeMovie(m);
    std::filesystem::remove(path);
}

OSStatus noProperty(void*, int32_t, OSType, void*) {
    return kStatusParamError;
}
OSStatus noData(void*, MovieExportGetDataParams*) {
    return kStatusEndOfData;
}

TEST(ExportSelectors, TheTableAnswersAndDataSourcesAreOneOfEachKind) {
    ComponentInstance ex = nullptr;
    ASSERT_EQ(OpenMoviepackerExporter(&ex), noErr);
    EXPECT_EQ(GetComponentVersion(ex), 0x00010005);
    for (int16_t s : {kMovieExportToFileSelect, kMovieExportAddDataSourceSelect,
                      kMovieExportGetSourceMediaTypeSelect, kMovieExportValidateSelect})
        EXPECT_EQ(ComponentFunctionImplemented(ex, s), 1) << s;
    EXPECT_EQ(ComponentFunctionImplemented(ex, 0x0100), 0);
    EXPECT_EQ(CallComponent(ex, 0x0100, nullptr), kStatusBadSelector);
    OSType ext = 0;
    EXPECT_EQ(CallComponent(ex, kMovieExportGetFileNameExtensionSelect, &ext), noErr);
    EXPECT_EQ(ext, MakeOSType("pdb "));
    std::string type;
    EXPECT_EQ(CallComponent(ex, kMovieExportGetShortFileTypeStringSelect, &type), noErr);
    EXPECT_EQ(type, "Tavelle Movie for Palm OS");

    int ref = 0;
    int32_t id = 0;
    MovieExportAddDataSourceParams a{kVideoMediaType, 600, &id, noProperty, noData, &ref};
    EXPECT_EQ(CallComponent(ex, kMovieExportAddDataSourceSelect, &a), noErr);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(CallComponent(ex, kMovieExportAddDataSourceSelect, &a), kStatusParamError);
    a.trackType = kTextMediaType;
    EXPECT_EQ(CallComponent(ex, kMovieExportAddDataSourceSelect, &a), kStatusParamError);
    a.trackType = kSoundMediaType;
    a.getDataProc = nullptr;
    EXPECT_EQ(CallComponent(ex, kMovieExportAddDataSourceSelect, &a), kStatusParamError);
    a.getDataProc = noData;
    EXPECT_EQ(CallComponent(ex, kMovieExportAddDataSourceSelect, &a), noErr);
    EXPECT_EQ(id, 2);
    MovieExportFromProceduresParams fp{nullptr};
    EXPECT_EQ(CallComponent(ex, kMovieExportFromProceduresToDataRefSelect, &fp), kStatusParamError);
    CloseComponent(ex);
}

}  // namespace

namespace {

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
uint16_t be16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t((b[at] << 8) | b[at + 1]);
}

TEST(ExportMerge, InputsFollowADirectoryOfTheirFirstRecords) {
    Exported a, b;
    exportFile(CorpusFile("h264_aac.mp4"), settingsFor(kDepthGrey16, kSoundAdpcm2), "first.pdb",
               &a);
    exportFile(CorpusFile("chapters.mov"), settingsFor(kDepthMono, kSoundNone), "second.pdb", &b);
    ASSERT_EQ(a.status, noErr);
    ASSERT_EQ(b.status, noErr);
    FileSpec in[2], out;
    ASSERT_EQ(FileSpecFromPath(ScratchPath("first.pdb"), &in[0]), noErr);
    ASSERT_EQ(FileSpecFromPath(ScratchPath("second.pdb"), &in[1]), noErr);
    const std::string merged = ScratchPath("merged.pdb");
    std::filesystem::remove(merged);
    ASSERT_EQ(FileSpecFromPath(merged, &out), noErr);
    ComponentInstance ex = nullptr;
    ASSERT_EQ(OpenMoviepackerExporter(&ex), noErr);
    MovieExportMergeParams p{"Both movies", 2, in, &out};
    ASSERT_EQ(CallComponent(ex, kMovieExportMergeMoviesSelect, &p), noErr);
    p.name = "a name of more than thirty-one bytes";
    EXPECT_EQ(CallComponent(ex, kMovieExportMergeMoviesSelect, &p), kStatusParamError);
    CloseComponent(ex);

    const std::vector<uint8_t> m = ReadWholeFile(merged);
    ASSERT_GE(m.size(), 78u);
    EXPECT_STREQ(reinterpret_cast<const char*>(m.data()), "Both movies");
    EXPECT_EQ(be32(m, 60), kMergedDatabaseType);
    EXPECT_EQ(be32(m, 64), kMergedDatabaseCreator);
    const size_t ra = a.movie.records.size(), rb = b.movie.records.size();
    ASSERT_EQ(be16(m, 76), 1 + ra + rb);
    const size_t dir = be32(m, 78);
    EXPECT_EQ(be16(m, dir), 3);
    EXPECT_EQ(be16(m, dir + 2 + 34), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(&m[dir + 2 + 34 + 2]), "first");
    EXPECT_EQ(be16(m, dir + 2 + 68), 1 + ra);
    EXPECT_STREQ(reinterpret_cast<const char*>(&m[dir + 2 + 68 + 2]), "second");
    // The second input's last record is its last record, byte for byte.
    const size_t last = be32(m, 78 + (ra + rb) * 8);
    const size_t lastIn = be32(b.bytes, 78 + (rb - 1) * 8);
    EXPECT_TRUE(
        std::equal(b.bytes.begin() + long(lastIn), b.bytes.end(), m.begin() + long(last), m.end()));
    std::filesystem::remove(merged);
}

}  // namespace
