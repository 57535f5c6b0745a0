// The export delegate's procedures: pictures at chosen times, at the
// requested size and turn, frame timing, sound until the end, properties.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/decompress.h"
#include "platform/media_export.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/frames.h"

namespace {

constexpr int kTolerance = 70;  // lossy codecs at tiny sizes

class DelegatePictures : public ::testing::TestWithParam<const char*> {};

void ExpectPattern(const ExtractedFrame& f, bool late, const std::string& what) {
    for (int q = 0; q < 4; ++q) {
        const bool right = q & 1, bottom = q & 2;
        const Rgb got = QuadrantColour(f, right, bottom);
        const Rgb want = PatternColour(right, bottom, late);
        EXPECT_TRUE(Near(got, want, kTolerance))
            << what << " quadrant " << q << ": got " << got.r << "," << got.g << "," << got.b;
    }
}

TEST_P(DelegatePictures, PictureAtTimeHasThePatternSizeAndTurn) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile(GetParam()), &m), noErr);
    ExtractedFrame early, late, turned;
    ASSERT_EQ(ExtractFrame(m, 0.45, 32, 24, 0, &early), noErr);
    EXPECT_EQ(early.width, 32);
    EXPECT_EQ(early.height, 24);
    ExpectPattern(early, false, "0.45 s");
    ASSERT_EQ(ExtractFrame(m, 1.55, 32, 24, 0, &late), noErr);
    ExpectPattern(late, true, "1.55 s");

    // A quarter turn clockwise: the top-left quadrant ends up top-right.
    ASSERT_EQ(ExtractFrame(m, 1.55, 32, 24, 90, &turned), noErr);
    EXPECT_EQ(turned.width, 24);
    EXPECT_EQ(turned.height, 32);
    EXPECT_TRUE(
        Near(QuadrantColour(turned, true, false), PatternColour(false, false, true), kTolerance));
    EXPECT_TRUE(
        Near(QuadrantColour(turned, true, true), PatternColour(true, false, true), kTolerance));
    EXPECT_TRUE(
        Near(QuadrantColour(turned, false, false), PatternColour(false, true, true), kTolerance));
    EXPECT_TRUE(
        Near(QuadrantColour(turned, false, true), PatternColour(true, true, true), kTolerance));
    DisposeMovie(m);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DelegatePictures,
                         ::testing::Values("h264_aac.mp4", "chapters.mov", "vp8_vorbis.webm",
                                           "h264_mp3.mkv", "mjpeg_u8.avi", "mpeg4_mp3.avi",
                                           "h264_aac.3gp", "pal.dv", "flv1_mp3.flv"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

// Procedures of one kind over a movie, closed again by the destructor.
class Procs {
  public:
    Procs(Movie movie, OSType kind) {
        EXPECT_EQ(OpenMovieExportDelegate(&m_delegate), noErr);
        MovieExportNewProcsParams p;
        p.trackType = kind;
        p.scale = &scale;
        p.movie = movie;
        p.propertyProc = &property;
        p.dataProc = &data;
        p.refCon = &ref;
        status = CallComponent(m_delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &p);
    }
    ~Procs() {
        if (status == noErr) {
            MovieExportDisposeProcsParams d{property, data, ref};
            EXPECT_EQ(
                CallComponent(m_delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, &d),
                noErr);
        }
        CloseComponent(m_delegate);
    }
    OSStatus Get(TimeValue time, MovieExportGetDataParams* out, int32_t samples = 0) {
        *out = MovieExportGetDataParams{};
        out->recordSize = kMovieExportGetDataParamsRecordSize;
        out->sourceTimeScale = scale;
        out->requestedTime = time;
        out->requestedSampleCount = samples;
        return data(ref, out);
    }

    ComponentInstance m_delegate = nullptr;
    OSStatus status = -1;
    TimeScale scale = 0;
    MovieExportGetPropertyProc property = nullptr;
    MovieExportGetDataProc data = nullptr;
    void* ref = nullptr;
};

TEST(DelegateTiming, WalkingByDurationVisitsEverySourcePictureOnce) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("h264_aac.mp4"), &m), noErr);
    Procs v(m, kVideoMediaType);
    ASSERT_EQ(v.status, noErr);
    TimeRecord dura;
    ASSERT_EQ(v.property(v.ref, 1, kMovieExportDuration, &dura), noErr);
    EXPECT_EQ(dura.scale, v.scale);
    EXPECT_NEAR(static_cast<double>(dura.value) / dura.scale, 2.0, 0.01);
    Fixed w = 0, h = 0;
    ASSERT_EQ(v.property(v.ref, 1, kMovieExportWidth, &w), noErr);
    ASSERT_EQ(v.property(v.ref, 1, kMovieExportHeight, &h), noErr);
    EXPECT_EQ(w, IntToFixed(64));
    EXPECT_EQ(h, IntToFixed(48));

    int pictures = 0;
    TimeValue t = 0;
    int32_t seed = 0;
    MovieExportGetDataParams p;
    OSStatus err;
    while ((err = v.Get(t, &p)) == noErr) {
        EXPECT_EQ(p.descType, kVideoMediaType);
        ASSERT_NE(p.desc, nullptr);
        EXPECT_EQ(p.desc->dataFormat, kDecodedPictureFormat);
        if (pictures == 0) seed = p.descSeed;
        EXPECT_EQ(p.descSeed, seed);  // the format never changes in this file
        EXPECT_LE(p.actualTime, t);
        EXPECT_GT(p.durationPerSample, 0);
        t += p.durationPerSample;
        ++pictures;
        ASSERT_LT(pictures, 100);
    }
    EXPECT_EQ(err, kStatusEndOfData);
    EXPECT_EQ(pictures, 20);  // 2 s at 10 frames per second
    EXPECT_EQ(t, dura.value);

    // Going back seeks; the same time gives the same picture time.
    ASSERT_EQ(v.Get(dura.value / 4, &p), noErr);
    const TimeValue shown = p.actualTime;
    ASSERT_EQ(v.Get(dura.value / 4, &p), noErr);
    EXPECT_EQ(p.actualTime, shown);
    DisposeMovie(m);
}

TEST(DelegateTiming, AFinerMediaTimeScaleIsUsedForRequests) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("mjpeg_u8.avi"), &m), noErr);
    Track video = GetMovieIndTrackType(m, 1, kVideoMediaType, kMovieTrackMediaType);
    ASSERT_LT(GetMediaTimeScale(video), 600);  // AVI counts frames
    ASSERT_EQ(SetMediaTimeScale(video, GetMediaTimeScale(video) * 100), noErr);
    Procs v(m, kVideoMediaType);
    ASSERT_EQ(v.status, noErr);
    EXPECT_EQ(v.scale, GetMediaTimeScale(video));
    int pictures = 0;
    TimeValue t = 0;
    MovieExportGetDataParams p;
    while (v.Get(t, &p) == noErr && pictures < 100) {
        EXPECT_EQ(p.durationPerSample, v.scale / 10);  // 10 frames per second
        t += p.durationPerSample;
        ++pictures;
    }
    EXPECT_EQ(pictures, 20);
    DisposeMovie(m);
}

TEST(DelegateTiming, AStreamOfUnknownLengthStillEnds) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("elementary.h264"), &m), noErr);
    Procs v(m, kVideoMediaType);
    ASSERT_EQ(v.status, noErr);
    int pictures = 0;
    TimeValue t = 0;
    MovieExportGetDataParams p;
    OSStatus err;
    while ((err = v.Get(t, &p)) == noErr && pictures < 1000) {
        t += p.durationPerSample;
        ++pictures;
    }
    EXPECT_EQ(err, kStatusEndOfData);
    EXPECT_EQ(pictures, 20);
    DisposeMovie(m);
}

// A copy of the MP4 whose video track header asks for a clockwise quarter turn.
std::string RotatedCopy() {
    std::vector<uint8_t> bytes = ReadWholeFile(CorpusFile("h264_aac.mp4"));
    const uint32_t matrix[9] = {0, 0x00010000, 0, 0xFFFF0000, 0, 0, 48u << 16, 0, 0x40000000};
    for (size_t i = 4; i + 88 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "tkhd", 4) != 0 || bytes[i + 4] != 0) continue;
        const size_t box = i - 4;
        if (bytes[box + 84] != 0 || bytes[box + 85] != 64) continue;  // width 64: the video
        for (int k = 0; k < 9; ++k) {
            for (int b = 0; b < 4; ++b) {
                bytes[box + 48 + 4 * k + b] = static_cast<uint8_t>(matrix[k] >> (24 - 8 * b));
            }
        }
        const std::string path = ScratchPath("rotated.mp4");
        WriteWholeFile(path, bytes);
        return path;
    }
    return std::string();
}

TEST(DelegatePictures, PicturesOfTurnedTracksComeOutTurned) {
    const std::string path = RotatedCopy();
    ASSERT_FALSE(path.empty());
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(path, &m), noErr);
    int32_t w = 0, h = 0;
    GetMovieNaturalBounds(m, &w, &h);
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 64);
    ExtractedFrame f;
    ASSERT_EQ(ExtractFrame(m, 0.45, 24, 32, 0, &f), noErr);
    ASSERT_EQ(f.width, 24);
    ASSERT_EQ(f.height, 32);
    // As in a turned picture: the source's top-left quadrant is now top-right.
    EXPECT_TRUE(
        Near(QuadrantColour(f, true, false), PatternColour(false, false, false), kTolerance));
    EXPECT_TRUE(Near(QuadrantColour(f, false, true), PatternColour(true, true, false), kTolerance));
    DisposeMovie(m);
}

TEST(MovieFrames, ThumbnailsAreDrawnAtMovieTimes) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(RotatedCopy(), &m), noErr);
    std::vector<uint8_t> bgra(30 * 40 * 4, 0);
    const PixelBuffer pb{bgra.data(), 30, 40, 30 * 4, k32BGRAPixelFormat};
    ASSERT_EQ(DrawMovieFrame(m, GetMovieTimeScale(m) * 3 / 2, pb), noErr);
    ExtractedFrame f{bgra, 30, 40, 0, 0};
    EXPECT_TRUE(
        Near(QuadrantColour(f, true, false), PatternColour(false, false, true), kTolerance));
    EXPECT_TRUE(
        Near(QuadrantColour(f, false, false), PatternColour(false, true, true), kTolerance));
    EXPECT_EQ(DrawMovieFrame(m, GetMovieDuration(m), pb), kStatusEndOfData);
    DisposeMovie(m);
    Movie sound = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("tone.wav"), &sound), noErr);
    EXPECT_EQ(DrawMovieFrame(sound, 0, pb), kStatusParamError);
    DisposeMovie(sound);
}

TEST(DelegateSettings, TemporalAndSpatialAreReportedOnlyOnceGiven) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("h264_aac.mp4"), &m), noErr);
    Procs v(m, kVideoMediaType);
    ASSERT_EQ(v.status, noErr);
    SCTemporalSettings temporal;
    SCSpatialSettings spatial;
    EXPECT_NE(v.property(v.ref, 1, kSCTemporalSettingsType, &temporal), noErr);
    MovieExportCompressionParams c;
    c.temporal.frameRate = IntToFixed(15);
    c.spatial.depth = 36;
    ASSERT_EQ(CallComponent(v.m_delegate, kMovieExportSetCompressionSettingsSelect, &c), noErr);
    ASSERT_EQ(v.property(v.ref, 1, kSCTemporalSettingsType, &temporal), noErr);
    EXPECT_EQ(temporal.frameRate, IntToFixed(15));
    ASSERT_EQ(v.property(v.ref, 1, kSCSpatialSettingsType, &spatial), noErr);
    EXPECT_EQ(spatial.depth, 36);
    EXPECT_EQ(v.property(v.ref, 1, MakeOSType("what"), &spatial), kStatusParamError);
    DisposeMovie(m);
}

struct SoundCase {
    const char* file;
    int rate;
    int channels;
    OSType format;
    int sampleSize;
};

class DelegateSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(DelegateSound, PcmInTheTracksFormatUntilEndOfData) {
    const SoundCase c = GetParam();
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile(c.file), &m), noErr);
    Procs s(m, kSoundMediaType);
    ASSERT_EQ(s.status, noErr);
    EXPECT_EQ(s.scale, c.rate);
    int64_t frames = 0;
    MovieExportGetDataParams p;
    OSStatus err;
    int calls = 0;
    while ((err = s.Get(frames, &p, c.rate / 4)) == noErr) {
        EXPECT_EQ(p.descType, kSoundMediaType);
        EXPECT_EQ(p.desc->dataFormat, c.format);
        EXPECT_EQ(p.desc->channels, c.channels);
        EXPECT_EQ(p.desc->sampleSize, c.sampleSize);
        EXPECT_EQ(p.desc->sampleRate, c.rate);
        EXPECT_LE(p.actualSampleCount, c.rate / 4);
        EXPECT_EQ(p.dataSize, p.actualSampleCount * c.channels * c.sampleSize / 8);
        EXPECT_EQ(p.actualTime, frames);
        frames += p.actualSampleCount;
        ASSERT_LT(++calls, 100);
    }
    EXPECT_EQ(err, kStatusEndOfData);
    EXPECT_NEAR(static_cast<double>(frames) / c.rate, 2.0, 0.06) << c.file;
    DisposeMovie(m);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, DelegateSound,
    ::testing::Values(SoundCase{"tone.wav", 8000, 1, kLittleEndianFormat, 16},
                      SoundCase{"tone.aiff", 22050, 1, kLittleEndianFormat, 16},
                      SoundCase{"tone.mp3", 44100, 2, kLittleEndianFormat, 16},
                      SoundCase{"h264_aac.mp4", 22050, 1, kLittleEndianFormat, 16},
                      SoundCase{"mjpeg_u8.avi", 11025, 1, kRawCodecType, 8},
                      SoundCase{"vp8_vorbis.webm", 48000, 2, kLittleEndianFormat, 16}),
    [](const auto& info) {
        std::string n = info.param.file;
        for (char& c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(DelegateProcs, KindsWithoutTracksAndStillPictures) {
    Movie sound = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("tone.wav"), &sound), noErr);
    {
        Procs v(sound, kVideoMediaType);
        EXPECT_EQ(v.status, kStatusParamError);  // no picture track to serve
        Procs t(sound, kTextMediaType);
        EXPECT_EQ(t.status, kStatusParamError);
    }
    ComponentInstance delegate = nullptr;
    ASSERT_EQ(OpenMovieExportDelegate(&delegate), noErr);
    bool valid = false;
    MovieExportValidateParams vp{sound, nullptr, &valid};
    ASSERT_EQ(CallComponent(delegate, kMovieExportValidateSelect, &vp), noErr);
    EXPECT_TRUE(valid);
    EXPECT_EQ(CallComponent(delegate, 0x0042, nullptr), kStatusBadSelector);
    EXPECT_EQ(
        ComponentFunctionImplemented(delegate, kMovieExportNewGetDataAndPropertiesProcsSelect), 1);
    EXPECT_EQ(ComponentFunctionImplemented(delegate, kMovieExportToFileSelect), 0);
    CloseComponent(delegate);
    DisposeMovie(sound);

    // A still picture is one sample lasting its whole second.
    Movie still = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("pic.png"), &still), noErr);
    Procs v(still, kVideoMediaType);
    ASSERT_EQ(v.status, noErr);
    EXPECT_EQ(v.scale, 1000);
    MovieExportGetDataParams p;
    ASSERT_EQ(v.Get(0, &p), noErr);
    EXPECT_EQ(p.durationPerSample, 1000);
    ASSERT_EQ(v.Get(400, &p), noErr);
    EXPECT_EQ(p.durationPerSample, 600);
    EXPECT_EQ(v.Get(1000, &p), kStatusEndOfData);
    ExtractedFrame f;
    ASSERT_EQ(ExtractFrame(still, 0.5, 64, 48, 180, &f), noErr);
    // Half a turn: the bottom-right quadrant shows the top-left colour.
    EXPECT_TRUE(Near(QuadrantColour(f, true, true), PatternColour(false, false, false), 8));
    EXPECT_TRUE(Near(QuadrantColour(f, false, false), PatternColour(true, true, false), 8));
    DisposeMovie(still);
}

}  // namespace
