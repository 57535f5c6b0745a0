// An MPEG-1 system stream converted and decoded with moviepacker-cli: its
// sound, which the program decodes itself, comes back as FFmpeg decodes it,
// up to the error of the chosen sound code alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/movie_reader.h"

namespace fs = std::filesystem;

namespace {

std::string quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

int sh(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str());
}

// The samples of a 16-bit PCM WAV file (its "data" chunk).
std::vector<int16_t> readWav(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size =
            b[at + 4] | (b[at + 5] << 8) | (b[at + 6] << 16) | (uint32_t(b[at + 7]) << 24);
        if (std::memcmp(&b[at], "data", 4) == 0) {
            const size_t n = std::min<size_t>(size, b.size() - at - 8) / 2;
            std::vector<int16_t> s(n);
            std::memcpy(s.data(), &b[at + 8], n * 2);
            return s;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

double snr(const std::vector<int16_t>& ref, const std::vector<int16_t>& got) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        const double g = i < got.size() ? got[i] : 0;
        signal += double(ref[i]) * ref[i];
        noise += (g - ref[i]) * (g - ref[i]);
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

class MpegCli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("mpeg-cli-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        clip_ = dir_ / "clip.mpg";
        ASSERT_EQ(sh("ffmpeg -nostdin -y -v error -f lavfi -i \"aevalsrc='0.45*sin(2*PI*440*t)+"
                     "0.3*sin(2*PI*5100*t)|0.4*sin(2*PI*660*t)+0.3*sin(2*PI*9300*t)':s=44100:d=2\""
                     " -f lavfi -i testsrc=size=160x120:rate=25:d=2 -c:v mpeg1video -c:a mp2 "
                     "-b:a 192k -f mpeg " +
                     quote(clip_)),
                  0);
        // FFmpeg's decoding of the clip's sound, as the reference and as a
        // source of its own for measuring what the sound code alone loses.
        reference_ = dir_ / "reference.wav";
        ASSERT_EQ(sh("ffmpeg -nostdin -y -v error -c:a mp2float -i " + quote(clip_) +
                     " -map 0:a -c:a pcm_s16le " + quote(reference_)),
                  0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // Converts with the sound code at 44100 Hz stereo and decodes the sound.
    std::vector<int16_t> roundTrip(const fs::path& source, int code, const std::string& tag) {
        const fs::path pdb = dir_ / (tag + ".pdb"), out = dir_ / tag;
        const std::string cli = MOVIEPACKER_CLI;
        EXPECT_EQ(sh(quote(cli) + " convert --audio " + std::to_string(code) +
                     " --rate 44100 --channels 2 -o " + quote(pdb) + " " + quote(source)),
                  0);
        movie::Movie m;
        std::string error;
        EXPECT_TRUE(movie::readMovieFile(pdb.string(), m, error)) << error;
        EXPECT_TRUE(m.violations.empty());
        EXPECT_EQ(m.header.channels, 2);
        EXPECT_EQ(sh(quote(cli) + " decode " + quote(pdb) + " -o " + quote(out)), 0);
        return readWav(out / "sound.wav");
    }
    fs::path dir_, clip_, reference_;
};

TEST_F(MpegCli, SoundMatchesFfmpegWithinTheSoundCodesOwnError) {
    const std::vector<int16_t> ref = readWav(reference_);
    ASSERT_GT(ref.size(), 44100u * 2);

    const double pcm = snr(ref, roundTrip(clip_, 630, "pcm16"));
    EXPECT_GE(pcm, 90.0);

    const double adpcm = snr(ref, roundTrip(clip_, 626, "adpcm"));
    const double codecOwn = snr(ref, roundTrip(reference_, 626, "adpcm_ref"));
    EXPECT_GE(adpcm, codecOwn - 0.5);
    std::printf("630: SNR %.1f dB; 626: SNR %.1f dB (the code alone on FFmpeg's PCM: %.1f dB)\n",
                pcm, adpcm, codecOwn);
}

}  // namespace
