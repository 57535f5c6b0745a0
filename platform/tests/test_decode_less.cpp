// Decoding less: a reader told how often it is asked and how small its
// pictures are drawn must answer every request with the picture, time and
// duration a full decode gives, while decoding fewer or smaller pictures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/decompress.h"
#include "platform/media_export.h"
#include "platform/movie_internal.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/counter_clip.h"
#include "platform/track_reader.h"

namespace {

struct Answer {
    TimeValue frameTime = 0, nextTime = 0;
    int counter = -1;
    int width = 0;
    bool operator==(const Answer& o) const {
        return frameTime == o.frameTime && nextTime == o.nextTime && counter == o.counter;
    }
};

int CounterOf(const AVFrame* f) {
    return ReadCounter(f->width, f->height, [f](int x, int y) {
        return int(f->data[0][ptrdiff_t(y) * f->linesize[0] + x]);
    });
}

// Asks for pictures the way the exporter does at `rate` pictures a second:
// evenly spaced times, except that a picture lasting longer than the step
// keeps its own duration. Every request is answered, up to the end.
std::vector<Answer> Serve(VideoReader& r, TimeScale scale, double rate, bool everyPicture = false) {
    std::vector<Answer> out;
    double current = 0, offset = 0;
    for (int64_t k = 1; k < 10000; ++k) {
        const AVFrame* f = nullptr;
        Answer a;
        uint64_t serial = 0;
        const OSStatus err = r.FrameAt(TimeValue(current), &f, &a.frameTime, &a.nextTime, &serial);
        if (err == kStatusEndOfData) break;
        EXPECT_EQ(err, noErr);
        if (err != noErr) break;
        a.counter = CounterOf(f);
        a.width = f->width;
        out.push_back(a);
        const double duration = double(std::max<TimeValue>(a.nextTime - TimeValue(current), 1));
        double next = everyPicture ? current + duration : double(k) * scale / rate + offset;
        if (next < current + duration) {
            offset += current + duration - next;
            next = current + duration;
        }
        current = next;
    }
    return out;
}

class DecodeLessTest : public ::testing::Test {
  protected:
    void SetUp() override { unsetenv("MOVIEPACKER_FULL_DECODE"); }
    void TearDown() override { unsetenv("MOVIEPACKER_FULL_DECODE"); }

    void OpenClip(const std::string& path) {
        ASSERT_EQ(NewMovieFromFile(path, &m_movie), noErr) << path;
        m_track = GetMovieIndTrackType(m_movie, 1, kVideoMediaType, kMovieTrackMediaType);
        ASSERT_NE(m_track, nullptr);
    }
    std::unique_ptr<VideoReader> Reader() {
        std::unique_ptr<VideoReader> r;
        EXPECT_EQ(VideoReader::Open(*m_track, &r), noErr);
        return r;
    }
    // Tells the reader it is asked `rate` times a second, as the delegate does.
    void Promise(VideoReader& r, int rate, int32_t w, int32_t h) const {
        r.DecodeLess(int64_t(m_track->mediaScale) * 65536, int64_t(rate) * 65536, w, h);
    }
    ~DecodeLessTest() override { DisposeMovie(m_movie); }

    Movie m_movie = nullptr;
    Track m_track = nullptr;
};

struct Case {
    const char* codec;
    bool reducesSize;  // the format decodes at a fraction of its size
};
constexpr Case kCodecs[] = {{"h264", false}, {"mpeg4", true}, {"mpeg2", true}, {"mjpeg", true}};
const char* const kRates[] = {"24", "25", "30000/1001", "50", "60"};

// Every codec at every common rate, sampled at 10 and 15 pictures a second
// and drawn at 120 x 90 from 480 x 360: the same pictures at the same
// times, fewer of them decoded, and at half size where the format can.
TEST_F(DecodeLessTest, SamePicturesAsFullDecodeAtEveryRate) {
    for (const Case& c : kCodecs) {
        for (const char* rate : kRates) {
            SCOPED_TRACE(std::string(c.codec) + " at " + rate);
            DisposeMovie(m_movie);
            OpenClip(CounterClip(c.codec, rate, 480, 360, 1.5));
            if (HasFatalFailure()) return;
            for (const double outRate : {10.0, 15.0}) {
                auto full = Reader(), less = Reader();
                ASSERT_TRUE(full && less);
                Promise(*less, int(outRate), 120, 90);
                EXPECT_EQ(less->lowres(), c.reducesSize ? 1 : 0);
                EXPECT_TRUE(less->skipsLoopFilter());
                const auto expected = Serve(*full, m_track->mediaScale, outRate);
                const auto got = Serve(*less, m_track->mediaScale, outRate);
                ASSERT_GE(expected.size(), size_t(1.5 * outRate) - 1);
                ASSERT_EQ(got.size(), expected.size());
                for (size_t i = 0; i < got.size(); ++i) {
                    EXPECT_EQ(got[i], expected[i]) << "request " << i << ": picture "
                                                   << got[i].counter << " at " << got[i].frameTime
                                                   << " instead of " << expected[i].counter
                                                   << " at " << expected[i].frameTime;
                    EXPECT_EQ(got[i].width, c.reducesSize ? 240 : 480);
                }
                // The full decode read the counters the clip was made with:
                // the picture shown is the last one started by the request.
                for (size_t i = 1; i < expected.size(); ++i)
                    EXPECT_GT(expected[i].counter, expected[i - 1].counter) << i;
                // At 10 a second every clip has pictures between requests
                // that nothing is built from.
                if (outRate == 10.0) {
                    EXPECT_LT(less->picturesDecoded(), full->picturesDecoded());
                }
                EXPECT_EQ(less->promisesBroken(), 0);
                // Requests are followed along their steps, so the pictures
                // between them go undecoded however far the decoder reads
                // ahead: all but those asked for in an intra-only format,
                // and at 10 a second a third of MPEG-2's or more, B pictures
                // that nothing is built from.
                if (std::string(c.codec) == "mjpeg") {
                    EXPECT_LE(double(less->picturesDecoded()), 1.5 * double(got.size()));
                } else if (std::string(c.codec) == "mpeg2" && outRate == 10.0) {
                    EXPECT_LE(3 * less->picturesDecoded(), 2 * full->picturesDecoded());
                }
            }
        }
    }
}

// Drawn larger than a quarter of the size (MPEG-2) or than half of it
// (H.264, whose deblocking stays on): full-size pictures, identical pixels.
TEST_F(DecodeLessTest, KeepsFullSizeWhenTheDrawingIsLarger) {
  for (const auto& [codec, drawWidth] : {std::pair{"mpeg2", 121}, std::pair{"h264", 241}}) {
    SCOPED_TRACE(codec);
    DisposeMovie(m_movie);
    OpenClip(CounterClip(codec, "25", 480, 360, 1.5));
    auto full = Reader(), less = Reader();
    Promise(*less, 10, drawWidth, 90);
    EXPECT_EQ(less->lowres(), 0);
    EXPECT_EQ(less->skipsLoopFilter(), drawWidth <= 240);
    const AVFrame *a = nullptr, *b = nullptr;
    TimeValue ft, nt;
    uint64_t serial;
    for (double s : {0.0, 0.5, 1.2, 1.4}) {
        const TimeValue t = TimeValue(s * m_track->mediaScale);
        ASSERT_EQ(full->FrameAt(t, &a, &ft, &nt, &serial), noErr);
        ASSERT_EQ(less->FrameAt(t, &b, &ft, &nt, &serial), noErr);
        ASSERT_EQ(a->width, b->width);
        for (int y = 0; y < a->height; ++y)
            ASSERT_EQ(0, std::memcmp(a->data[0] + ptrdiff_t(y) * a->linesize[0],
                                     b->data[0] + ptrdiff_t(y) * b->linesize[0], size_t(a->width)))
                << "row " << y << " at " << s << " s";
    }
  }
}

// A picture that outlasts the step moves every later request off the steps
// foreseen before it: pictures around a gap in the source's times (a still
// held for 0.44 s, then the pictures go on) are still the full decode's.
TEST_F(DecodeLessTest, SamePicturesAcrossAGapInTheSource) {
    for (const auto& [codec, container] : {std::pair{"h264", ".mp4"}, std::pair{"mjpeg", ".mkv"}}) {
        SCOPED_TRACE(codec);
        const std::string plain = CounterClip(codec, "25", 480, 360, 2.0);
        const std::string gapped = ScratchPath(std::string("gap-") + codec + container);
        // Pictures from the 13th on start 0.4 s later: the 12th lasts 0.44 s.
        const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + plain +
                                "' -vf \"setpts=PTS+gte(N\\,12)*0.4/TB\" -fps_mode passthrough " +
                                (std::string(codec) == "h264"
                                     ? "-c:v libx264 -preset veryfast -x264-params bframes=3 "
                                     : "-c:v mjpeg -q:v 3 ") +
                                "'" + gapped + "'";
        ASSERT_EQ(RunCommand(cmd), 0) << cmd;
        DisposeMovie(m_movie);
        OpenClip(gapped);
        if (HasFatalFailure()) return;
        for (const int outRate : {10, 15}) {
            auto full = Reader(), less = Reader();
            ASSERT_TRUE(full && less);
            Promise(*less, outRate, 120, 90);
            const auto expected = Serve(*full, m_track->mediaScale, outRate);
            const auto got = Serve(*less, m_track->mediaScale, outRate);
            ASSERT_EQ(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i)
                EXPECT_EQ(got[i], expected[i]) << outRate << " a second, request " << i;
            // The gap is in the answers: one picture shown across it.
            bool across = false;
            for (const Answer& a : expected)
                across = across || a.nextTime - a.frameTime > m_track->mediaScale / 3;
            EXPECT_TRUE(across);
            EXPECT_LT(less->picturesDecoded(), full->picturesDecoded());
            // Foreseen, not repaired by going back.
            EXPECT_EQ(less->promisesBroken(), 0);
        }
    }
}

// A caller that asks more often than it promised still gets every picture
// right: the reader goes back and decodes everything from there on.
TEST_F(DecodeLessTest, BrokenPromiseStillAnsweredRight) {
    for (const char* codec : {"h264", "mjpeg"}) {
        SCOPED_TRACE(codec);
        DisposeMovie(m_movie);
        OpenClip(CounterClip(codec, "50", 480, 360, 1.5));
        auto full = Reader(), less = Reader();
        Promise(*less, 10, 0, 0);
        const auto expected = Serve(*full, m_track->mediaScale, 0, true);
        const auto got = Serve(*less, m_track->mediaScale, 0, true);
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_EQ(got.size(), 75u);
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << i;
    }
}

// The switch that forces the full decode, for comparing both in one run.
TEST_F(DecodeLessTest, EnvironmentForcesFullDecode) {
    OpenClip(CounterClip("mpeg2", "50", 480, 360, 1.5));
    setenv("MOVIEPACKER_FULL_DECODE", "1", 1);
    auto forced = Reader(), full = Reader();
    Promise(*forced, 10, 120, 90);
    EXPECT_EQ(forced->lowres(), 0);
    Serve(*forced, m_track->mediaScale, 10);
    Serve(*full, m_track->mediaScale, 10);
    EXPECT_EQ(forced->picturesDecoded(), full->picturesDecoded());
}

// Pictures pulled through the delegate and drawn at w x h the way the
// exporter draws them, asking at `fps` with the compression settings and
// drawing size told first.
struct Drawn {
    std::vector<std::vector<uint8_t>> pictures;  // BGRA
    std::vector<TimeValue> durations;
    int32_t decodedWidth = 0;
};

void DrawThroughDelegate(Movie movie, int fps, int32_t w, int32_t h, Drawn* out) {
    ComponentInstance delegate = nullptr;
    ASSERT_EQ(OpenMovieExportDelegate(&delegate), noErr);
    TimeScale scale = 0;
    MovieExportGetPropertyProc property = nullptr;
    MovieExportGetDataProc data = nullptr;
    void* ref = nullptr;
    MovieExportNewProcsParams np;
    np.trackType = kVideoMediaType;
    np.scale = &scale;
    np.movie = movie;
    np.propertyProc = &property;
    np.dataProc = &data;
    np.refCon = &ref;
    ASSERT_EQ(CallComponent(delegate, kMovieExportNewGetDataAndPropertiesProcsSelect, &np), noErr);
    MovieExportCompressionParams c;
    c.temporal.frameRate = IntToFixed(fps);
    ASSERT_EQ(CallComponent(delegate, kMovieExportSetCompressionSettingsSelect, &c), noErr);
    MovieExportDrawSizeParams size{w, h};
    ASSERT_EQ(CallComponent(delegate, kMovieExportSetDrawSizeSelect, &size), noErr);
    DecompressSequence seq = nullptr;
    int32_t seed = -1;
    std::vector<uint8_t> picture(size_t(w) * size_t(h) * 4);
    double current = 0, offset = 0;
    for (int64_t k = 1; k < 10000; ++k) {
        MovieExportGetDataParams p;
        p.recordSize = kMovieExportGetDataParamsRecordSize;
        p.trackID = 1;
        p.sourceTimeScale = scale;
        p.requestedTime = TimeValue(current);
        const OSStatus err = data(ref, &p);
        if (err == kStatusEndOfData) break;
        ASSERT_EQ(err, noErr);
        if (p.descSeed != seed) {
            CDSequenceEnd(seq);
            const MatrixRecord m =
                FrameMatrix(p.desc->width, p.desc->height, w, h, 0, nullptr, nullptr);
            const PixelBuffer dest{picture.data(), w, h, w * 4, k32BGRAPixelFormat};
            ASSERT_EQ(DecompressSequenceBegin(&seq, *p.desc, dest, &m, kDitherCopyMode,
                                              kCodecNormalQuality),
                      noErr);
            seed = p.descSeed;
            out->decodedWidth = p.desc->width;
        }
        ASSERT_EQ(DecompressSequenceFrame(seq, p.dataPtr, p.dataSize), noErr);
        out->pictures.push_back(picture);
        out->durations.push_back(p.durationPerSample);
        const double duration = double(std::max<TimeValue>(p.durationPerSample, 1));
        double next = double(k) * scale / fps + offset;
        if (next < current + duration) {
            offset += current + duration - next;
            next = current + duration;
        }
        current = next;
    }
    CDSequenceEnd(seq);
    MovieExportDisposeProcsParams dp{property, data, ref};
    EXPECT_EQ(CallComponent(delegate, kMovieExportDisposeGetDataAndPropertiesProcsSelect, &dp),
              noErr);
    CloseComponent(delegate);
}

// Colour channels of every picture, alpha left out.
double Psnr(const Drawn& a, const Drawn& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.pictures.size() && i < b.pictures.size(); ++i)
        for (size_t k = 0; k < a.pictures[i].size(); ++k) {
            if (k % 4 == 3) continue;
            const double d = double(a.pictures[i][k]) - b.pictures[i][k];
            sum += d * d;
            ++n;
        }
    if (n == 0) return 0;
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// What the exporter draws through the delegate, which now decodes less:
// the same number of pictures, lasting as long, and within 40 dB of the
// full decode's (decoded at half size, or B pictures without deblocking).
TEST_F(DecodeLessTest, DelegateDrawsCloseToTheFullDecode) {
    for (const Case& c : kCodecs) {
        for (const char* rate : kRates) {
            SCOPED_TRACE(std::string(c.codec) + " at " + rate);
            DisposeMovie(m_movie);
            OpenClip(CounterClip(c.codec, rate, 480, 360, 1.5));
            Drawn full, less;
            setenv("MOVIEPACKER_FULL_DECODE", "1", 1);
            DrawThroughDelegate(m_movie, 10, 120, 90, &full);
            unsetenv("MOVIEPACKER_FULL_DECODE");
            DrawThroughDelegate(m_movie, 10, 120, 90, &less);
            if (HasFatalFailure()) return;
            EXPECT_EQ(full.decodedWidth, 480);
            EXPECT_EQ(less.decodedWidth, c.reducesSize ? 240 : 480);
            EXPECT_EQ(less.durations, full.durations);
            ASSERT_EQ(less.pictures.size(), full.pictures.size());
            const double db = Psnr(full, less);
            std::printf("%s at %s: drawn pictures %.1f dB from the full decode's\n", c.codec, rate,
                        db);
            EXPECT_GE(db, 40.0);
        }
    }
}

}  // namespace
