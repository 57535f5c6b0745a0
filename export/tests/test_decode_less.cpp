// Conversions decode only what the output needs: over clips that number
// their own pictures, every output frame must show the source picture the
// full decode shows, for as long, and look the same.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/movies.h"
#include "export/tests/support/exporter_setup.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/counter_clip.h"
#include "tools/movie_player.h"

namespace {

struct Converted {
    movie::Movie movie;
    std::vector<std::vector<uint8_t>> pictures;  // RGB, every frame
    std::vector<int> counters;
};

void convert(const std::string& source, const ExportSettings& s, bool full, Converted* out) {
    if (full)
        setenv("MOVIEPACKER_FULL_DECODE", "1", 1);
    else
        unsetenv("MOVIEPACKER_FULL_DECODE");
    const std::string path = ScratchPath(full ? "full.pdb" : "less.pdb");
    std::filesystem::remove(path);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(source, &m), noErr);
    ComponentInstance exporter = OpenExporterWith(s);
    ASSERT_NE(exporter, nullptr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(path, &spec), noErr);
    const OSStatus err = ConvertMovieToFile(m, nullptr, spec, 0, 0, exporter, nullptr, 0);
    CloseComponent(exporter);
    DisposeMovie(m);
    unsetenv("MOVIEPACKER_FULL_DECODE");
    ASSERT_EQ(err, noErr);
    std::string error;
    ASSERT_TRUE(movie::readMovie(ReadWholeFile(path), out->movie, error)) << error;
    for (const auto& v : out->movie.violations) ADD_FAILURE() << "violation: " << v;
    decode::MoviePlayer player(out->movie);
    const int w = player.width(), h = player.height();
    for (size_t i = 0; i < out->movie.frames.size(); ++i) {
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(player.decodeFrame(i, rgb, error)) << error;
        out->counters.push_back(ReadCounter(w, h, [&](int x, int y) {
            const uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            return (p[0] + p[1] + p[2]) / 3;
        }));
        out->pictures.push_back(std::move(rgb));
    }
}

// Over every pixel of every frame.
double psnr(const Converted& a, const Converted& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.pictures.size() && i < b.pictures.size(); ++i)
        for (size_t k = 0; k < a.pictures[i].size() && k < b.pictures[i].size(); ++k) {
            const double d = double(a.pictures[i][k]) - b.pictures[i][k];
            sum += d * d;
            ++n;
        }
    if (n == 0) return 0;
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

ExportSettings settingsFor(int16_t depth, int width, int height, int fps) {
    ExportSettings s;
    s.depth = depth;
    s.width = int16_t(width);
    s.height = int16_t(height);
    s.frameRate = fixedFromInt(fps);
    s.soundCodec = kSoundNone;
    normaliseSound(&s);
    return s;
}

void expectSameFrames(const Converted& full, const Converted& less) {
    ASSERT_EQ(less.movie.frames.size(), full.movie.frames.size());
    for (size_t i = 0; i < full.movie.frames.size(); ++i) {
        EXPECT_EQ(less.counters[i], full.counters[i]) << "frame " << i;
        EXPECT_EQ(less.movie.frames[i].time, full.movie.frames[i].time) << "frame " << i;
        EXPECT_EQ(less.movie.frames[i].duration, full.movie.frames[i].duration) << "frame " << i;
    }
    // The counters were read: the pictures move on.
    for (size_t i = 1; i < full.counters.size(); ++i)
        EXPECT_GT(full.counters[i], full.counters[i - 1]) << "frame " << i;
}

const char* const kCodecs[] = {"h264", "mpeg4", "mpeg2", "mjpeg"};
const char* const kRates[] = {"24", "25", "30000/1001", "50", "60"};

// 480 x 360 sources at every common rate to 120 x 90 at 10 frames a second
// in millions of colours: the same source picture for every frame, for as
// long. (The pictures handed to the writer stay within 40 dB of the full
// decode's, see the platform's tests; the written movie differs more, as the
// writer's dithering turns small differences into whole levels.)
TEST(DecodeLess, SameFramesAndCloseEnoughPicturesFromEverySource) {
    const ExportSettings s = settingsFor(kDepthMillions, 120, 90, 10);
    for (const char* codec : kCodecs) {
        for (const char* rate : kRates) {
            SCOPED_TRACE(std::string(codec) + " at " + rate);
            const std::string source = CounterClip(codec, rate, 480, 360, 1.5);
            Converted full, less;
            convert(source, s, true, &full);
            convert(source, s, false, &less);
            if (HasFatalFailure()) return;
            expectSameFrames(full, less);
            std::printf("%s at %s: movie %.1f dB from the full decode's\n", codec, rate,
                        psnr(full, less));
        }
    }
}

// 4-bit grey at 15 frames a second from the formats that reorder their
// pictures: pictures skipped between requests still end the one before.
TEST(DecodeLess, SameFramesInGreyAtFifteen) {
    for (const char* codec : {"h264", "mpeg2"}) {
        SCOPED_TRACE(codec);
        const std::string source = CounterClip(codec, "50", 480, 360, 1.5);
        const ExportSettings s = settingsFor(kDepthGrey16, 120, 90, 15);
        Converted full, less;
        convert(source, s, true, &full);
        convert(source, s, false, &less);
        if (HasFatalFailure()) return;
        expectSameFrames(full, less);
    }
}

}  // namespace
