// Whole movies through the public interface: encode, finish, read out, check.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/movie_writer.h"
#include "engine/tests/support/movie_check.h"
#include "platform/status.h"

namespace fs = std::filesystem;

namespace {

struct Movie {
    std::vector<uint8_t> image;
    MovieCheckResult check;
};

// Grey frames of `frames` x 100 ms with a second of block ADPCM per second of video.
Movie encode(int frames, uint32_t rate, int32_t mode, uint32_t format) {
    MovieWriter* w = nullptr;
    EXPECT_EQ(MovieWriterCreate(&w), noErr);
    MovieWriterSetName(w, "whole movie");
    const int width = 158, height = 118;
    MovieWriterSetFrameSize(w, width, height);
    MovieWriterSetVideoMode(w, mode);
    const uint8_t wave[16] = {1,
                              0,
                              1,
                              0,
                              static_cast<uint8_t>(rate),
                              static_cast<uint8_t>(rate >> 8),
                              static_cast<uint8_t>(rate >> 16),
                              0,
                              0,
                              0,
                              0,
                              0,
                              2,
                              0,
                              16,
                              0};
    MovieWriterSetSoundInput(w, 1, wave, 16);
    MovieWriterSetProperty(w, kPropAudioPreload, 2 * rate);
    const int32_t interleave[2] = {static_cast<int32_t>(rate), 100};
    MovieWriterSetProperty(w, kPropAudioInterleave, reinterpret_cast<intptr_t>(interleave));
    MovieWriterSetProperty(w, kPropAudioChunkLength, rate / 5);
    MovieWriterSetAudioFormat(w, format);
    EXPECT_EQ(MovieWriterStart(w), noErr);

    std::vector<uint8_t> pixels(width * height * 4);
    std::vector<int16_t> sound(rate / 10);
    for (int f = 0; f < frames; ++f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    pixels[(y * width + x) * 4 + c] =
                        static_cast<uint8_t>(x * 2 + y + f * 5 + c * 20);
        EXPECT_EQ(MovieWriterAddFrame(w, pixels.data(), width * 4, 100, nullptr), noErr);
        for (size_t i = 0; i < sound.size(); ++i)
            sound[i] = static_cast<int16_t>(8000 * std::sin(0.05 * double(f * sound.size() + i)));
        EXPECT_EQ(MovieWriterAddSound(w, sound.data(), uint32_t(sound.size() * 2),
                                      uint32_t(sound.size())),
                  noErr);
    }
    EXPECT_EQ(MovieWriterFinish(w), noErr);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(w, &size), noErr);
    Movie m;
    m.image.resize(size);
    EXPECT_EQ(MovieWriterRead(w, m.image.data(), 0, size), noErr);
    EXPECT_EQ(MovieWriterDispose(w), noErr);
    m.check = checkMovieDatabase(m.image);
    return m;
}

TEST(WriterMovie, GreyVideoWithAdpcmSound) {
    const int frames = 200;
    const uint32_t rate = 22050;
    Movie m = encode(frames, rate, kVideoModeGrey2, kAudioFormatAdpcm4);
    ASSERT_TRUE(m.check.ok()) << m.check.report();
    EXPECT_EQ(m.check.frames, uint32_t(frames));
    EXPECT_EQ(m.check.movieKind, 6);
    EXPECT_EQ(m.check.videoDuration, uint64_t(frames) * 10);
    // Every frame of sound arrives; finishing pads the last block to 256.
    uint64_t sent = uint64_t(frames) * (rate / 10);
    EXPECT_EQ(m.check.soundFrames, (sent + 255) / 256 * 256);
    EXPECT_GT(m.check.recordSizes.size(), 1u);
    // The preload pass stops at the first chunk that reaches two seconds.
    EXPECT_GE(m.check.preload, 2 * rate);
    EXPECT_LT(m.check.preload, 2 * rate + rate / 5 + 256);
}

TEST(WriterMovie, BlockCodecAndTwoBitAdpcm) {
    Movie m = encode(60, 11025, kVideoModeGrey4, kAudioFormatAdpcm2);
    ASSERT_TRUE(m.check.ok()) << m.check.report();
    EXPECT_EQ(m.check.frames, 60u);
    EXPECT_GT(m.check.keyFrames, 0u);
}

TEST(WriterMovie, NoSpoolFileRemainsAfterDispose) {
    std::string pattern = (fs::temp_directory_path() / "moviespoolXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const char* old = getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", pattern.c_str(), 1);
    Movie m = encode(20, 8000, kVideoModeMono1, kAudioFormatYamaha);
    EXPECT_TRUE(m.check.ok()) << m.check.report();
    EXPECT_TRUE(fs::is_empty(pattern));
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    fs::remove_all(pattern);
}

}  // namespace
