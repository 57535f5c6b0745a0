// A movie made by the writer from a known picture and tone decodes back to
// that picture and tone, with the stream's frame count and duration; and the
// decode command writes a playable movie file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/movie_reader.h"
#include "engine/movie_writer.h"
#include "engine/pcm.h"
#include "tools/movie_player.h"

namespace {

constexpr int kW = 160, kH = 120, kRate = 22050;

// A soft diagonal gradient that moves one pixel a frame: smooth enough that a
// 16-level dithered picture keeps it.
std::vector<uint8_t> picture(int frame) {
    std::vector<uint8_t> bgra(size_t(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t v = uint8_t(((x + frame) * 255 / (kW + 40) + y) % 256);
            uint8_t* p = &bgra[(size_t(y) * kW + x) * 4];
            p[0] = p[1] = p[2] = v;
            p[3] = 0;
        }
    return bgra;
}

std::vector<int16_t> tone(size_t frames) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = int16_t(12000 * std::sin(2 * M_PI * 1000.0 * i / kRate));
    return s;
}

std::vector<uint8_t> makeMovie(int frames) {
    MovieWriter* w = nullptr;
    EXPECT_EQ(MovieWriterCreate(&w), 0);
    MovieWriterSetName(w, "decode test");
    MovieWriterSetFrameSize(w, kW, kH);
    MovieWriterSetVideoMode(w, kVideoModeGrey4);
    MovieWriterSetAudioFormat(w, kAudioFormatAdpcm4);
    const uint8_t wave[16] = {1, 0, 1, 0, kRate & 0xFF, kRate >> 8, 0, 0,
                              (kRate * 2) & 0xFF, (kRate * 2) >> 8, 0, 0, 2, 0, 16, 0};
    EXPECT_EQ(MovieWriterSetSoundInput(w, kSoundInputWaveFormat, wave, sizeof wave), 0);
    EXPECT_EQ(MovieWriterStart(w), 0);
    const std::vector<int16_t> sound = tone(size_t(kRate) * frames / 10);
    const size_t perFrame = kRate / 10;
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint8_t> p = picture(i);
        EXPECT_EQ(MovieWriterAddFrame(w, p.data(), kW * 4, 100, nullptr), 0);
        EXPECT_EQ(MovieWriterAddSound(w, &sound[i * perFrame], uint32_t(perFrame * 2), uint32_t(perFrame)), 0);
    }
    EXPECT_EQ(MovieWriterFinish(w), 0);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(w, &size), 0);
    std::vector<uint8_t> image(size);
    EXPECT_EQ(MovieWriterRead(w, image.data(), 0, size), 0);
    MovieWriterDispose(w);
    return image;
}

double psnr(const std::vector<uint8_t>& bgra, const std::vector<uint8_t>& rgb) {
    double se = 0;
    for (size_t i = 0; i < size_t(kW) * kH; ++i) {
        const double d = double(bgra[i * 4]) - rgb[i * 3];
        se += d * d;
    }
    const double mse = se / (double(kW) * kH);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

TEST(Decode, PictureAndToneComeBack) {
    const int frames = 20;
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovie(makeMovie(frames), m, error)) << error;
    ASSERT_TRUE(m.violations.empty()) << m.violations.front();
    ASSERT_EQ(m.frames.size(), size_t(frames));
    EXPECT_EQ(m.header.videoDuration, uint32_t(frames * 10));

    decode::MoviePlayer player(m);
    std::vector<uint8_t> rgb;
    double worst = 99;
    for (int i = 0; i < frames; ++i) {
        ASSERT_TRUE(player.decodeFrame(i, rgb, error)) << error;
        worst = std::min(worst, psnr(picture(i), rgb));
    }
    // 16 dithered levels of a smooth gradient.
    EXPECT_GT(worst, 28.0);
    RecordProperty("grey4_psnr_db", std::to_string(worst));

    std::vector<int16_t> all, pcm;
    for (size_t i = 0; i < m.sounds.size(); ++i) {
        ASSERT_TRUE(player.decodeSound(i, pcm, error)) << error;
        all.insert(all.end(), pcm.begin(), pcm.end());
    }
    const std::vector<int16_t> ref = tone(size_t(kRate) * frames / 10);
    ASSERT_GE(all.size(), ref.size());
    const double s = SignalToNoiseDb(ref, all);
    EXPECT_GT(s, 25.0);
    RecordProperty("adpcm4_snr_db", std::to_string(s));
    std::printf("grey 4-bit PSNR %.2f dB (worst frame), ADPCM 4-bit SNR %.2f dB\n", worst, s);
}

TEST(Decode, CommandWritesMovieAndFrameFolder) {
    const auto dir = std::filesystem::temp_directory_path() / ("mp-decode-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> image = makeMovie(12);
    const auto pdb = dir / "m.pdb";
    std::ofstream(pdb, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    const std::string cli = MOVIEPACKER_CLI;
    const auto mkv = dir / "m.mkv";
    ASSERT_EQ(std::system((cli + " decode " + pdb.string() + " -o " + mkv.string() + " >/dev/null").c_str()), 0);
    // ffprobe sees 12 frames and the sound stream.
    const std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 " + mkv.string();
    FILE* p = popen(probe.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, p), nullptr);
    pclose(p);
    EXPECT_EQ(std::atoi(line), 12);

    const auto folder = dir / "frames";
    ASSERT_EQ(std::system((cli + " decode " + pdb.string() + " -o " + folder.string() + " >/dev/null").c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "frame_00012.png"));
    EXPECT_FALSE(std::filesystem::exists(folder / "frame_00013.png"));
    EXPECT_TRUE(std::filesystem::exists(folder / "sound.wav"));
    std::ifstream list(folder / "frames.txt");
    std::string header, first;
    std::getline(list, header);
    std::getline(list, first);
    EXPECT_EQ(first, "frame_00001.png 0.00 0.10");
    std::filesystem::remove_all(dir);
}

TEST(Decode, Atrac3ToneComesBack) {
    // A sound-only ATRAC3 movie (66000 bits per second, mono) played back
    // through FFmpeg's decoder, aligned for the codec's delay.
    MovieWriter* w = nullptr;
    ASSERT_EQ(MovieWriterCreate(&w), 0);
    MovieWriterSetName(w, "atrac3 decode");
    MovieWriterSetAudioFormat(w, kAudioFormatAtrac3);
    const uint32_t rate = 44100;
    const uint8_t wave[16] = {1, 0, 1, 0, rate & 0xFF, rate >> 8, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0};
    ASSERT_EQ(MovieWriterSetSoundInput(w, kSoundInputWaveFormat, wave, sizeof wave), 0);
    MovieWriterSetProperty(w, kPropAudioBitRate, 66000);
    ASSERT_EQ(MovieWriterStart(w), 0);
    std::vector<int16_t> ref(rate * 2);
    for (size_t i = 0; i < ref.size(); ++i) ref[i] = int16_t(12000 * std::sin(2 * M_PI * 1000.0 * i / rate));
    ASSERT_EQ(MovieWriterAddSound(w, ref.data(), uint32_t(ref.size() * 2), uint32_t(ref.size())), 0);
    ASSERT_EQ(MovieWriterFinish(w), 0);
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(w, &size), 0);
    std::vector<uint8_t> image(size);
    ASSERT_EQ(MovieWriterRead(w, image.data(), 0, size), 0);
    MovieWriterDispose(w);

    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovie(std::move(image), m, error)) << error;
    ASSERT_TRUE(m.violations.empty()) << m.violations.front();
    decode::MoviePlayer player(m);
    std::vector<int16_t> all, pcm;
    for (size_t i = 0; i < m.sounds.size(); ++i) {
        ASSERT_TRUE(player.decodeSound(i, pcm, error)) << error;
        all.insert(all.end(), pcm.begin(), pcm.end());
    }
    // The last codec delay's worth is still in the decoder: compare before it.
    ASSERT_GE(all.size(), ref.size());
    const std::vector<int16_t> head(ref.begin(), ref.end() - 2048), got(all.begin(), all.begin() + head.size());
    const double s = SignalToNoiseDb(head, got);
    EXPECT_GT(s, 30.0);
    std::printf("ATRAC3 66000 mono SNR %.2f dB\n", s);
}

TEST(Decode, AFailedDecodeKeepsTheFileThatWasThere) {
    const auto dir = std::filesystem::temp_directory_path() / ("mp-decode-keep-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // The last frame claims a type nothing decodes: the run fails near its end.
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovie(makeMovie(6), m, error)) << error;
    const auto at = size_t(m.frames.back().chunk->payload.data() - m.bytes.data());
    std::vector<uint8_t> image = m.bytes;
    image[at] = 0xEE;
    const auto pdb = dir / "bad.pdb";
    std::ofstream(pdb, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    const std::string cli = MOVIEPACKER_CLI;
    for (const char* name : {"old.mp4", "old.mkv"}) {
        const auto out = dir / name;
        std::ofstream(out) << "older movie";
        const int st = std::system((cli + " decode " + pdb.string() + " -o " + out.string() + " >/dev/null 2>&1").c_str());
        EXPECT_EQ(WEXITSTATUS(st), 1) << name;
        std::ifstream in(out);
        std::string kept;
        std::getline(in, kept);
        EXPECT_EQ(kept, "older movie") << name;
    }
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 3u) << "a work file was left behind";
    std::filesystem::remove_all(dir);
}
