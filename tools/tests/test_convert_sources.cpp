// What users feed the converter, made at run time with the ffmpeg command-line
// tool (and ImageMagick for the JPEG and PNG variants ffmpeg cannot write),
// converted through moviepacker-cli as a user runs it: still pictures in
// every common pixel layout, and movies in the period containers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/movie_reader.h"
#include "tools/movie_player.h"

namespace fs = std::filesystem;

namespace {

int shell(const std::string& cmd) {
    const int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

int convert(const std::string& options, const fs::path& source, const fs::path& out) {
    return shell(std::string("'") + MOVIEPACKER_CLI + "' convert " + options + " -o " + quote(out) +
                 " " + quote(source) + " >/dev/null 2>&1");
}

class Sources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("convert-sources-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    static fs::path dir_;
};
fs::path Sources::dir_;

struct Mean {
    double r = 0, g = 0, b = 0;
};

// Mean colour of the left and the right third of a 64 x 48 picture.
std::array<Mean, 2> sides(const std::vector<uint8_t>& rgb) {
    std::array<Mean, 2> m;
    for (int side = 0; side < 2; ++side) {
        int n = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = side ? 43 : 0; x < (side ? 64 : 21); ++x, ++n) {
                const uint8_t* p = &rgb[(size_t(y) * 64 + x) * 3];
                m[side].r += p[0];
                m[side].g += p[1];
                m[side].b += p[2];
            }
        m[side].r /= n;
        m[side].g /= n;
        m[side].b /= n;
    }
    return m;
}

// The picture FFmpeg itself makes of the file, at 64 x 48.
std::vector<uint8_t> reference(const fs::path& picture) {
    const std::string cmd = "ffmpeg -nostdin -v error -i " + quote(picture) +
                            " -frames:v 1 -vf scale=64:48 -f rawvideo -pix_fmt rgb24 -";
    std::vector<uint8_t> rgb;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return rgb;
    std::array<uint8_t, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) rgb.insert(rgb.end(), buf.begin(), buf.begin() + n);
    pclose(p);
    return rgb;
}

// Every still the README promises, in the layouts cameras, editors and the
// web produce. Each becomes a one-second movie whose picture has the
// source's colours: a red and a white half, with grain.
TEST_F(Sources, StillPicturesOfEveryLayoutConvert) {
    const fs::path base = dir_ / "base.png";
    // Grain keeps the files above the first probe's 2 KB, where a JPEG is
    // no longer recognised by its end marker alone.
    ASSERT_EQ(shell("ffmpeg -nostdin -v error -y -filter_complex "
                    "'color=c=red:s=160x240[a];color=c=white:s=160x240[b];[a][b]hstack,"
                    "noise=alls=24' -frames:v 1 -pix_fmt rgb24 " + quote(base)),
              0);
    struct Still {
        const char* name;
        std::string make;  // command reading BASE and writing OUT
    };
    const std::string ff = "ffmpeg -nostdin -v error -y -i BASE ";
    const std::string im = "convert BASE ";
    const Still stills[] = {
        {"rgb.png", ff + "OUT"},
        {"rgba.png", ff + "-pix_fmt rgba OUT"},
        {"grey.png", ff + "-pix_fmt gray OUT"},
        {"grey-alpha.png", ff + "-pix_fmt ya8 OUT"},
        {"palette.png", ff + "-pix_fmt pal8 OUT"},
        {"grey16.png", ff + "-pix_fmt gray16be OUT"},
        {"rgb48.png", ff + "-pix_fmt rgb48be OUT"},
        {"rgba64.png", ff + "-pix_fmt rgba64be OUT"},
        {"mono.png", ff + "-pix_fmt monob OUT"},
        {"interlaced.png", im + "-interlace PNG OUT"},
        {"baseline.jpg", ff + "-pix_fmt yuvj420p OUT"},
        {"yuv422.jpg", ff + "-pix_fmt yuvj422p OUT"},
        {"yuv444.jpg", ff + "-pix_fmt yuvj444p OUT"},
        {"other-name.jpeg", ff + "OUT"},
        {"imagemagick.jpg", im + "OUT"},
        {"grey.jpg", im + "-colorspace Gray OUT"},
        {"progressive.jpg", im + "-interlace Plane OUT"},
        {"cmyk.jpg", im + "-colorspace CMYK OUT"},
        {"rgb.bmp", ff + "OUT"},
        {"rgba.bmp", ff + "-pix_fmt bgra OUT"},
        {"palette.bmp", ff + "-pix_fmt pal8 OUT"},
        {"grey.bmp", ff + "-pix_fmt gray OUT"},
        {"rgb565.bmp", ff + "-pix_fmt rgb565le OUT"},
        {"rgb555.bmp", ff + "-pix_fmt rgb555le OUT"},
        {"4bit.bmp", ff + "-pix_fmt rgb4_byte OUT"},
        {"mono.bmp", ff + "-pix_fmt monob OUT"},
        {"one.gif", ff + "OUT"},
    };
    for (const Still& s : stills) {
        SCOPED_TRACE(s.name);
        const fs::path file = dir_ / s.name;
        std::string cmd = s.make;
        cmd.replace(cmd.find("BASE"), 4, quote(base));
        cmd.replace(cmd.find("OUT"), 3, quote(file));
        ASSERT_EQ(shell(cmd), 0) << cmd;
        const fs::path out = dir_ / (std::string(s.name) + ".pdb");
        if (convert("--depth colour --size 64x48 --audio none --fps 6", file, out) != 0) {
            ADD_FAILURE() << "not converted";
            continue;
        }
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovieFile(out.string(), m, error)) << error;
        EXPECT_TRUE(m.violations.empty());
        ASSERT_EQ(m.frames.size(), 1u);
        EXPECT_EQ(m.header.videoDuration, 100u);  // one second
        decode::MoviePlayer player(m);
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(player.decodeFrame(0, rgb, error)) << error;
        ASSERT_EQ(rgb.size(), 64u * 48 * 3);
        const std::vector<uint8_t> want = reference(file);
        ASSERT_EQ(want.size(), rgb.size());
        const auto got = sides(rgb), ref = sides(want);
        for (int side = 0; side < 2; ++side) {
            // The 8-bit palette and its dither move a mean a little, a wrong
            // layout (swapped, inverted, shifted channels) a lot.
            EXPECT_NEAR(got[side].r, ref[side].r, 30) << "side " << side;
            EXPECT_NEAR(got[side].g, ref[side].g, 30) << "side " << side;
            EXPECT_NEAR(got[side].b, ref[side].b, 30) << "side " << side;
        }
    }

    // An animated GIF is a movie: all its frames, for as long as they last.
    const fs::path gif = dir_ / "animated.gif";
    ASSERT_EQ(shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=4:duration=2 " +
                    quote(gif)),
              0);
    const fs::path out = dir_ / "animated.pdb";
    ASSERT_EQ(convert("--depth colour --audio none --fps 4", gif, out), 0);
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile(out.string(), m, error)) << error;
    EXPECT_EQ(m.frames.size(), 8u);
    EXPECT_EQ(m.header.videoDuration, 200u);
}

// Containers of the period beyond the everyday ones, one file each in what
// the ffmpeg command-line tool can write, with the codecs they carried.
TEST_F(Sources, PeriodContainersConvert) {
    struct Container {
        const char* name;
        const char* args;  // ffmpeg options after the inputs
        bool video, sound;
    };
    const std::string v10 = "-f lavfi -i testsrc=size=128x96:rate=10:duration=1 ";
    const std::string v25 = "-f lavfi -i testsrc=size=128x96:rate=25:duration=1 ";
    const std::string pal = "-f lavfi -i testsrc=size=720x576:rate=25:duration=1 ";
    const auto tone = [](int rate) {
        return "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) + ":duration=1 ";
    };
    const struct {
        Container c;
        std::string inputs;
    } cases[] = {
        {{"real.rm", "-c:v rv10 -c:a ac3", true, true}, v10 + tone(48000)},
        // Codes only Video for Windows decodes in an AVI are the toolbox's own in ASF.
        {{"windows.wmv", "-c:v wmv2 -c:a wmav2", true, true}, v10 + tone(44100)},
        {{"old.asf", "-c:v msmpeg4 -c:a wmav1", true, true}, v10 + tone(44100)},
        {{"first.wmv", "-c:v wmv1 -c:a wmav2", true, true}, v10 + tone(44100)},
        {{"open.nut", "-c:v ffv1 -c:a flac", true, true}, v10 + tone(44100)},
        {{"broadcast.mxf", "-c:v mpeg2video -c:a pcm_s16le", true, true}, v25 + tone(48000)},
        {{"broadcast.gxf", "-c:v mpeg2video -c:a pcm_s16le", true, true}, pal + tone(48000)},
        {{"dvd.vob", "-c:v mpeg2video -c:a ac3 -f vob", true, true}, v25 + tone(48000)},
        {{"tv.wtv", "-c:v mpeg2video -c:a mp2", true, true}, v25 + tone(48000)},
        {{"phone.3g2", "-c:v h263 -s 176x144 -c:a aac", true, true}, v10 + tone(22050)},
        {{"web.ogv", "-c:v libtheora -c:a libvorbis", true, true}, v10 + tone(44100)},
        {{"flash.swf", "-c:v flv -c:a libmp3lame", true, true}, v10 + tone(22050)},
        {{"flash.flv", "-c:v flv -c:a adpcm_swf", true, true}, v10 + tone(22050)},
        {{"lossless.mkv", "-c:v ffv1 -c:a flac", true, true}, v10 + tone(44100)},
        {{"web.webm", "-c:v libvpx-vp9 -c:a libopus", true, true}, v10 + tone(48000)},
        {{"codec.avi", "-c:v msmpeg4v2 -c:a adpcm_ms", true, true}, v10 + tone(44100)},
        {{"capture.avi", "-c:v zmbv -c:a pcm_s16le", true, true}, v10 + tone(22050)},
        {{"desktop.mov", "-c:v svq1 -c:a adpcm_ima_qt", true, true}, v10 + tone(44100)},
        {{"camera.dv", "-pix_fmt yuv420p -ac 2 -c:v dvvideo -c:a pcm_s16le", true, true},
         pal + tone(48000)},
        {{"game.roq", "-ac 1 -c:v roqvideo -c:a roq_dpcm", true, true},
         "-f lavfi -i testsrc=size=128x96:rate=30:duration=1 " + tone(22050)},
        {{"game.cpk", "-c:v cinepak -f film_cpk", true, false}, v10},
        {{"motion.mjpg", "-c:v mjpeg -c:a pcm_s16le -f smjpeg", true, true}, v10 + tone(22050)},
        {{"raw.y4m", "-pix_fmt yuv420p", true, false}, v10},
        {{"vp8.ivf", "-c:v libvpx", true, false}, v10},
        {{"anim.apng", "-f apng", true, false}, v10},
        {{"music.tta", "-c:a tta", false, true}, tone(44100)},
        {{"music.wv", "-c:a wavpack", false, true}, tone(44100)},
        {{"blaster.voc", "-c:a pcm_u8", false, true}, tone(22050)},
        {{"ringtone.mmf", "-c:a adpcm_yamaha", false, true}, tone(8000)},
        {{"studio.sox", "-f sox", false, true}, tone(44100)},
        {{"studio.sf", "-f ircam", false, true}, tone(44100)},
        {{"game.aud", "-c:a adpcm_ima_ws -f wsaud", false, true}, tone(22050)},
        {{"speech.spx", "-c:a libspeex", false, true}, tone(16000)},
        {{"phone.gsm", "-ac 1 -c:a libgsm", false, true}, tone(8000)},
        {{"arcade.adx", "-c:a adpcm_adx", false, true}, tone(44100)},
        {{"apple.caf", "-c:a alac", false, true}, tone(44100)},
    };
    for (const auto& [c, inputs] : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir_ / c.name;
        ASSERT_EQ(shell("ffmpeg -nostdin -v error -y " + inputs + c.args + " " + quote(file) +
                        " >/dev/null 2>&1"),
                  0);
        const fs::path out = dir_ / (std::string(c.name) + ".pdb");
        if (convert("--depth grey16 --size 64x48 --fps 10 --audio adpcm", file, out) != 0) {
            ADD_FAILURE() << "not converted";
            continue;
        }
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovieFile(out.string(), m, error)) << error;
        EXPECT_TRUE(m.violations.empty());
        if (c.video) {
            EXPECT_GE(m.frames.size(), 9u);
        }
        EXPECT_EQ(m.header.hasSound, c.sound);
        if (c.sound) {
            EXPECT_FALSE(m.sounds.empty());
        }
    }
}

}  // namespace
