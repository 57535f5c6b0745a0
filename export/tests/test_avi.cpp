// AVI sources end to end: which road each kind of file takes (the toolbox,
// the codec bridge or the direct reader), how close its pictures come to
// the source, how long its sound lasts, and the MP3 rebuilding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "engine/movie_reader.h"
#include "export/avi_analysis.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "export/source_analysis.h"
#include "platform/codec_component.h"
#include "platform/format_codes.h"
#include "platform/movies.h"
#include "export/tests/support/exporter_setup.h"
#include "platform/tests/support/corpus.h"
#include "tools/movie_player.h"

namespace {

constexpr int kW = 160, kH = 120;

std::string Source(int rate = 10, double seconds = 2.0) {
    return "-f lavfi -i testsrc2=size=" + std::to_string(kW) + "x" + std::to_string(kH) +
           ":rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds) + " ";
}
std::string Sine(int rate, double seconds = 2.0) {
    return "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) +
           ":duration=" + std::to_string(seconds) + " ";
}

// A file made once per run with the ffmpeg command line.
std::string Make(const std::string& name, const std::string& args) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const std::string path = ScratchPath(name);
    // Every source frame once: no frames repeated to meet the sound's length.
    const int rc = RunCommand("ffmpeg -nostdin -loglevel error -y " + args +
                              " -fps_mode passthrough '" + path + "'");
    EXPECT_EQ(rc, 0) << name;
    made[name] = path;
    return path;
}

const std::map<std::string, std::string>& Recipes() {
    static const std::map<std::string, std::string> r = {
        {"divx_mp3cbr.avi", Source() + Sine(44100) + "-c:v mpeg4 -vtag DIVX -q:v 2 "
                                                     "-c:a libmp3lame -b:a 128k"},
        {"xvid_mp3vbr.avi", Source() + Sine(44100) + "-c:v mpeg4 -vtag XVID -q:v 2 "
                                                     "-c:a libmp3lame -q:a 4"},
        {"div3_pcm.avi", Source() + Sine(22050) + "-c:v msmpeg4 -vtag DIV3 -q:v 2 -c:a pcm_s16le"},
        {"mjpeg_silent.avi", Source() + "-c:v mjpeg -q:v 2"},
        {"h264_pcm.avi", Source() + Sine(22050) + "-c:v libx264 -pix_fmt yuv420p -crf 12 "
                                                  "-c:a pcm_s16le"},
        {"two_videos.avi", Source() + Source() + Sine(22050) +
                               "-map 0:v -map 1:v -map 2:a -c:v mpeg4 -vtag DIVX -q:v 2 "
                               "-c:a pcm_s16le"},
    };
    return r;
}

std::string Corpus(const std::string& name) {
    return Make(name, Recipes().at(name));
}

// The source's pictures decoded by ffmpeg itself at the export's size.
std::vector<std::vector<uint8_t>> ReferenceFrames(const std::string& path, int w, int h) {
    const std::string raw = path + ".rgb";
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -loglevel error -y -i '" + path + "' -map 0:v:0 -fps_mode passthrough -vf scale=" +
                         std::to_string(w) + ":" + std::to_string(h) +
                         " -pix_fmt rgb24 -f rawvideo '" + raw + "'"),
              0);
    const std::vector<uint8_t> all = ReadWholeFile(raw);
    std::vector<std::vector<uint8_t>> frames;
    const size_t n = size_t(w) * size_t(h) * 3;
    for (size_t at = 0; at + n <= all.size(); at += n)
        frames.emplace_back(all.begin() + long(at), all.begin() + long(at + n));
    return frames;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) se += double(a[i] - b[i]) * double(a[i] - b[i]);
    const double mse = se / double(a.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Exported {
    OSStatus status = -1;
    VideoRoad road = VideoRoad::kToolbox;
    movie::Movie movie;
};

ExportSettings ColourSettings(int32_t sound = kSoundPcmMono) {
    ExportSettings s;
    s.depth = kDepthMillions;
    s.frameRate = fixedFromInt(10);
    s.width = kW;
    s.height = kH;
    s.soundCodec = sound;
    s.sampleRate = ufixedFromInt(8192);
    normaliseSound(&s);
    return s;
}

void ExportWith(Movie m, const ExportSettings& s, const std::string& outName, Exported* out) {
    const std::string path = ScratchPath(outName);
    std::filesystem::remove(path);
    ComponentInstance exporter = OpenExporterWith(s);
    ASSERT_NE(exporter, nullptr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(path, &spec), noErr);
    out->status = ConvertMovieToFile(m, nullptr, spec, MakeOSType("PDB "), kMoviepackerCreator,
                                     exporter, nullptr, 0);
    out->road = QueryVideoRoad(exporter);
    CloseComponent(exporter);
    if (out->status != noErr && out->status != kStatusExportedWithoutAudio) return;
    std::string error;
    ASSERT_TRUE(movie::readMovie(ReadWholeFile(path), out->movie, error)) << error;
    for (const auto& v : out->movie.violations) ADD_FAILURE() << "violation: " << v;
}

void ExportFile(const std::string& source, const ExportSettings& s, Exported* out) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(source, &m), noErr);
    ExportWith(m, s, PathFileName(source) + ".pdb", out);
    DisposeMovie(m);
}

// Mean PSNR of the database's frames against the source decoded by ffmpeg.
double MeanPsnr(const movie::Movie& m, const std::string& source) {
    decode::MoviePlayer player(m);
    const auto ref = ReferenceFrames(source, player.width(), player.height());
    std::vector<uint8_t> rgb;
    std::string error;
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < m.frames.size() && i < ref.size(); ++i) {
        EXPECT_TRUE(player.decodeFrame(i, rgb, error)) << error;
        sum += Psnr(rgb, ref[i]);
        ++n;
    }
    return n ? sum / double(n) : 0;
}

double SoundSeconds(const movie::Movie& m) {
    uint64_t frames = 0;
    for (const auto& s : m.sounds) frames += s.frames;
    return double(frames) / 8192.0;
}

bool NoTemporaryLeft() {
    FileSpec spec;
    return TemporaryFileSpec("blah.mp3", &spec) == noErr && !FileExists(FileSpecPath(spec));
}

struct RoadCase {
    const char* file;
    VideoRoad road;
    bool sound;
    size_t frames = 20;
};

class AviRoads : public ::testing::TestWithParam<RoadCase> {};

// What the colour depth reaches on the toolbox road with this content
// (about 30 dB against the source's own decode); every road must come
// within half a decibel of it.
double ToolboxFloor() {
    static double floor = [] {
        const std::string src = Corpus("mjpeg_silent.avi");
        Exported e;
        ExportFile(src, ColourSettings(), &e);
        EXPECT_EQ(e.road, VideoRoad::kToolbox);
        const double psnr = MeanPsnr(e.movie, src);
        EXPECT_GT(psnr, 25.0);
        return psnr - 0.5;
    }();
    return floor;
}

TEST_P(AviRoads, ConvertsThroughItsRoad) {
    const RoadCase c = GetParam();
    const std::string src = Corpus(c.file);
    Exported e;
    ExportFile(src, ColourSettings(), &e);
    ASSERT_EQ(e.status, c.sound ? noErr : noErr) << c.file;
    EXPECT_EQ(int(e.road), int(c.road)) << c.file;
    ASSERT_EQ(e.movie.frames.size(), c.frames) << c.file;
    const double psnr = MeanPsnr(e.movie, src);
    std::printf("%s: %.2f dB\n", c.file, psnr);
    EXPECT_GE(psnr, ToolboxFloor()) << c.file;
    if (c.sound) {
        // The sound lasts the video's two seconds within one chunk (1/5 s at most).
        EXPECT_NEAR(SoundSeconds(e.movie), 2.0, 0.25) << c.file;
    } else {
        EXPECT_TRUE(e.movie.sounds.empty());
    }
    EXPECT_TRUE(NoTemporaryLeft());
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, AviRoads,
    ::testing::Values(RoadCase{"divx_mp3cbr.avi", VideoRoad::kBridge, true},
                      RoadCase{"xvid_mp3vbr.avi", VideoRoad::kBridge, true},
                      RoadCase{"div3_pcm.avi", VideoRoad::kBridge, true},
                      RoadCase{"mjpeg_silent.avi", VideoRoad::kToolbox, false},
                      // The direct reader also draws the frame at the stream's very end.
                      RoadCase{"h264_pcm.avi", VideoRoad::kDirect, true, 21},
                      RoadCase{"two_videos.avi", VideoRoad::kBridge, true}),
    [](const auto& info) {
        std::string n = info.param.file;
        for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

TEST(AviSources, TruncatedFileConvertsWhatIsThere) {
    const std::string whole = Corpus("divx_mp3cbr.avi");
    std::vector<uint8_t> bytes = ReadWholeFile(whole);
    bytes.resize(bytes.size() * 6 / 10);
    const std::string cut = ScratchPath("cut.avi");
    WriteWholeFile(cut, bytes);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(cut, &m), noErr);
    Exported e;
    ExportWith(m, ColourSettings(), "cut.pdb", &e);
    DisposeMovie(m);
    ASSERT_EQ(e.status, noErr);
    EXPECT_EQ(e.road, VideoRoad::kBridge);
    EXPECT_GT(e.movie.frames.size(), 5u);
    EXPECT_LE(e.movie.frames.size(), 20u);
    EXPECT_TRUE(NoTemporaryLeft());
}

TEST(AviSources, HeadersOfTheCorpus) {
    struct Want {
        const char* file;
        OSType video;
        uint16_t audio;
    };
    for (const Want& w : {Want{"divx_mp3cbr.avi", MakeOSType("DIVX"), 0x55},
                          Want{"div3_pcm.avi", MakeOSType("DIV3"), 1},
                          Want{"mjpeg_silent.avi", MakeOSType("MJPG"), 0},
                          Want{"two_videos.avi", MakeOSType("DIVX"), 1}}) {
        FileSpec spec;
        ASSERT_EQ(FileSpecFromPath(Corpus(w.file), &spec), noErr);
        AviHeaderInfo info;
        ASSERT_EQ(ReadAviHeaders(spec, &info), noErr);
        EXPECT_EQ(OSTypeToString(info.videoCode), OSTypeToString(w.video)) << w.file;
        EXPECT_EQ(info.audioTag, w.audio) << w.file;
    }
    // MP3 without video is still reported.
    const std::string mp3 = Make("mp3_only.avi", Sine(44100) + "-c:a libmp3lame");
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(mp3, &spec), noErr);
    AviHeaderInfo info;
    ASSERT_EQ(ReadAviHeaders(spec, &info), noErr);
    EXPECT_EQ(info.videoCode, 0u);
    EXPECT_EQ(info.audioTag, 0x55);
    // Not an AVI, or not there.
    ASSERT_EQ(FileSpecFromPath(CorpusFile("h264_aac.mp4"), &spec), noErr);
    EXPECT_EQ(ReadAviHeaders(spec, &info), noErr);
    EXPECT_EQ(info.videoCode, 0u);
    ASSERT_EQ(FileSpecFromPath(ScratchPath("absent.avi"), &spec), noErr);
    EXPECT_EQ(ReadAviHeaders(spec, &info), kStatusFileNotFound);
}

// The rebuilt sound replaces the MP3 track only for the export: afterwards
// the movie has its own track again and the temporary file is gone.
TEST(Mp3Fix, RebuildsAviSoundEvenWhenDurationsAgree) {
    const std::string src = Corpus("divx_mp3cbr.avi");
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(src, &m), noErr);
    Track mp3 = findMp3Track(m);
    ASSERT_NE(mp3, nullptr);
    Track video = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    EXPECT_FALSE(mp3LengthMismatch(GetTrackDuration(mp3), GetTrackDuration(video)));

    AviSourceState st;
    bool needed = false;
    ASSERT_EQ(inspectAviSource(m, &needed, &st), noErr);
    EXPECT_TRUE(needed);
    std::vector<Fixed> progress;
    ASSERT_EQ(applyMp3Fix(
                  m, mp3, [&](Fixed f) { return progress.push_back(f), noErr; }, &st),
              noErr);
    ASSERT_NE(st.added, nullptr);
    EXPECT_FALSE(GetTrackEnabled(mp3));
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(st.added, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, kMP3Format);  // read as a plain MP3 file now
    EXPECT_NEAR(double(GetTrackDuration(st.added)) / GetMovieTimeScale(m), 2.0, 0.1);
    ASSERT_FALSE(progress.empty());
    EXPECT_LE(progress.back(), Fixed(0.05 * 65536) + 1);
    EXPECT_GE(progress.back(), Fixed(0.05 * 65536) - 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_FALSE(NoTemporaryLeft());

    const int32_t tracks = GetMovieTrackCount(m);
    releaseAviSource(&st);
    EXPECT_TRUE(GetTrackEnabled(mp3));
    EXPECT_EQ(GetMovieTrackCount(m), tracks - 1);
    EXPECT_TRUE(NoTemporaryLeft());
    DisposeMovie(m);
}

// A movie that is not an AVI is never scanned for AVI chunks: its MP3
// track, 12 % short, asks for the fix, yet the export keeps its sound.
TEST(Mp3Fix, NonAviMovieKeepsItsTrack) {
    const std::string shortMp3 = Make("short12.mov", Source() + Sine(44100, 1.76) +
                                                         "-c:v mjpeg -q:v 3 -c:a libmp3lame");
    const std::string nearMp3 = Make("short9.mov", Source() + Sine(44100, 1.82) +
                                                       "-c:v mjpeg -q:v 3 -c:a libmp3lame");
    for (const auto& [path, fix] : {std::pair{shortMp3, true}, std::pair{nearMp3, false}}) {
        Movie m = nullptr;
        ASSERT_EQ(NewMovieFromFile(path, &m), noErr);
        Track mp3 = findMp3Track(m);
        ASSERT_NE(mp3, nullptr) << path;
        Track video = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
        EXPECT_EQ(mp3LengthMismatch(GetTrackDuration(mp3), GetTrackDuration(video)), fix) << path;
        AviSourceState st;
        bool needed = fix;
        ASSERT_EQ(inspectAviSource(m, &needed, &st), noErr);
        EXPECT_FALSE(st.isAvi);
        ASSERT_EQ(applyMp3Fix(m, mp3, nullptr, &st), noErr);
        EXPECT_EQ(st.added, nullptr);
        EXPECT_TRUE(GetTrackEnabled(mp3));
        releaseAviSource(&st);

        Exported e;
        ExportWith(m, ColourSettings(), "nonavi.pdb", &e);
        EXPECT_EQ(e.status, noErr);
        EXPECT_EQ(e.road, VideoRoad::kToolbox);
        EXPECT_GT(SoundSeconds(e.movie), 1.5) << path;
        EXPECT_EQ(findMp3Track(m), mp3);
        EXPECT_TRUE(NoTemporaryLeft());
        DisposeMovie(m);
    }
}

// An AVI whose MP3 chunks are not stream 1's yields nothing to rebuild
// from; its own track stays.
TEST(Mp3Fix, NothingExtractedKeepsTheTrack) {
    const std::string mp3 = Make("mp3_only.avi", Sine(44100) + "-c:a libmp3lame");
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(mp3, &m), noErr);
    Track t = findMp3Track(m);
    ASSERT_NE(t, nullptr);
    AviSourceState st;
    bool needed = false;
    ASSERT_EQ(inspectAviSource(m, &needed, &st), noErr);
    EXPECT_TRUE(needed);
    ASSERT_EQ(applyMp3Fix(m, t, nullptr, &st), noErr);
    EXPECT_EQ(st.added, nullptr);
    EXPECT_TRUE(GetTrackEnabled(t));
    releaseAviSource(&st);
    EXPECT_TRUE(NoTemporaryLeft());
    DisposeMovie(m);
}

TEST(Mp3Fix, CancelledScanLeavesNothing) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(Corpus("xvid_mp3vbr.avi"), &m), noErr);
    Track mp3 = findMp3Track(m);
    AviSourceState st;
    bool needed = false;
    ASSERT_EQ(inspectAviSource(m, &needed, &st), noErr);
    EXPECT_EQ(applyMp3Fix(m, mp3, [](Fixed) { return kStatusUserCancelled; }, &st),
              kStatusUserCancelled);
    releaseAviSource(&st);
    EXPECT_TRUE(GetTrackEnabled(mp3));
    EXPECT_TRUE(NoTemporaryLeft());
    DisposeMovie(m);
}

// MS-MPEG-4 version 2 data filed under the version 1 code (no encoder
// writes version 1): the headers and the description say MPG4.
std::string Mpg4File() {
    static const std::string path = [] {
        const std::string v2 = Make("mp42.avi", Source(10, 1.0) + "-c:v msmpeg4v2 -q:v 3");
        std::vector<uint8_t> bytes = ReadWholeFile(v2);
        int renamed = 0;
        for (size_t i = 0; i + 4 <= std::min<size_t>(bytes.size(), 4096); ++i)
            if (std::memcmp(&bytes[i], "MP42", 4) == 0) std::memcpy(&bytes[i], "MPG4", 4), ++renamed;
        EXPECT_EQ(renamed, 2);  // the stream header's handler and the format's code
        const std::string src = ScratchPath("mpg4.avi");
        WriteWholeFile(src, bytes);
        return src;
    }();
    return path;
}

// MPG4 descriptions are renamed to the toolbox's name for version 1, so
// its own decoder takes them.
TEST(AviSources, Mpg4IsRenamedBeforeTheExport) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(Mpg4File(), &m), noErr);
    Track v = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(v, 1, &d), noErr);
    ASSERT_EQ(d.dataFormat, MakeOSType("MPG4"));
    EXPECT_FALSE(HasImageDecompressor(d.dataFormat));
    renameMpg4Descriptions(m);
    ASSERT_EQ(GetMediaSampleDescription(v, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, MakeOSType("mpg4"));
    EXPECT_TRUE(HasImageDecompressor(d.dataFormat));
    // The decoder behind the new name is version 1's, not MPEG-4 part 2's.
    EXPECT_EQ(CodecForVideoFormat(d.dataFormat), AV_CODEC_ID_MSMPEG4V1);
    DisposeMovie(m);
}

// Version 2 data is not version 1 data: Video for Windows cannot decode the
// first frame, the media detector does not take the code, so the file stays
// with the toolbox, unrenamed, and the export stops before writing anything
// with the missing codec named.
TEST(AviSources, Mpg4NobodyDecodesEndsWithTheMissingCodec) {
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(Mpg4File(), &spec), noErr);
    EXPECT_FALSE(VfwCanDecode(spec));
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(Mpg4File(), &m), noErr);
    AviSourceState st;
    bool mp3 = false;
    ASSERT_EQ(inspectAviSource(m, &mp3, &st), noErr);
    EXPECT_EQ(st.road, VideoRoad::kToolbox);
    EXPECT_EQ(st.reader, nullptr);
    EXPECT_EQ(FindImageCodec(MakeOSType("MPG4")), nullptr);  // no bridge registered
    Track v = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(v, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, MakeOSType("MPG4"));
    releaseAviSource(&st);

    const std::string out = ScratchPath("mpg4.pdb");
    std::filesystem::remove(out);
    ComponentInstance exporter = nullptr;
    ASSERT_EQ(OpenMoviepackerExporter(&exporter), noErr);
    AtomContainer c;
    ASSERT_EQ(getSettingsAsContainer(ColourSettings(kSoundNone), &c), noErr);
    ASSERT_EQ(CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect, &c), noErr);
    FileSpec target;
    ASSERT_EQ(FileSpecFromPath(out, &target), noErr);
    EXPECT_EQ(ConvertMovieToFile(m, nullptr, target, MakeOSType("PDB "), kMoviepackerCreator,
                                 exporter, nullptr, 0),
              kStatusNoCodec);
    EXPECT_EQ(QueryMissingCodec(exporter), MakeOSType("MPG4"));
    CloseComponent(exporter);
    DisposeMovie(m);
    EXPECT_FALSE(FileExists(out));
}

// The direct reader draws frames at every time step up to and including
// the stream's length, then ends.
TEST(DirectReader, LastFrameIsTheLastStepNotPastTheEnd) {
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(Corpus("h264_pcm.avi"), &spec), noErr);
    DirectAviReader* r = DirectAviReaderOpen(spec);
    ASSERT_NE(r, nullptr);
    EXPECT_NEAR(DirectAviReaderLength(r), 2.0, 0.01);
    ASSERT_EQ(DirectAviReaderSetSize(r, 80, 60, fixedFromInt(4)), noErr);
    std::vector<uint8_t> px(80 * 60 * 4);
    PixelBuffer dest{px.data(), 80, 60, 320, k32BGRAPixelFormat};
    int frames = 0;
    OSStatus err;
    while ((err = DirectAviReaderDrawNext(r, dest)) == noErr) ++frames;
    EXPECT_EQ(err, kStatusEndOfData);
    EXPECT_EQ(frames, 9);  // 0, 0.25, ... 2.0
    DirectAviReaderClose(r);
    // Files the toolbox or Video for Windows decode are not the detector's.
    ASSERT_EQ(FileSpecFromPath(Corpus("mjpeg_silent.avi"), &spec), noErr);
    EXPECT_EQ(DirectAviReaderOpen(spec), nullptr);
    ASSERT_EQ(FileSpecFromPath(Corpus("divx_mp3cbr.avi"), &spec), noErr);
    EXPECT_EQ(DirectAviReaderOpen(spec), nullptr);
}

TEST(DirectReader, TurnedExport) {
    ExportSettings s = ColourSettings(kSoundNone);
    s.rotation = 90;
    Exported e;
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(Corpus("h264_pcm.avi"), &m), noErr);
    ExportWith(m, s, "turned.pdb", &e);
    DisposeMovie(m);
    ASSERT_EQ(e.status, noErr);
    EXPECT_EQ(e.road, VideoRoad::kDirect);
    EXPECT_EQ(e.movie.frames.size(), 21u);
}

}  // namespace
