// The sound converter: layouts, channel counts, rates and buffering.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound_converter.h"

namespace {

SoundComponentData Fmt(OSType format, int channels, int bits, double rate) {
    return SoundComponentData{format, static_cast<int16_t>(channels), static_cast<int16_t>(bits),
                              rate};
}

// Converts everything in one call plus the end, returning the output bytes.
std::vector<uint8_t> ConvertAll(const SoundComponentData& in, const SoundComponentData& out,
                                const std::vector<uint8_t>& data, uint32_t frames) {
    SoundConverter sc = nullptr;
    EXPECT_EQ(SoundConverterOpen(in, out, &sc), noErr);
    if (sc == nullptr) return {};
    uint32_t inFrames = 0, inBytes = 0, outBytes = 0;
    EXPECT_EQ(SoundConverterGetBufferSizes(sc, static_cast<uint32_t>(data.size()), &inFrames,
                                           &inBytes, &outBytes),
              noErr);
    EXPECT_EQ(inFrames, frames);
    EXPECT_EQ(inBytes, data.size());
    std::vector<uint8_t> result(outBytes);
    EXPECT_EQ(SoundConverterBeginConversion(sc), noErr);
    uint32_t gotFrames = 0, gotBytes = 0;
    EXPECT_EQ(SoundConverterConvertBuffer(sc, data.data(), frames, result.data(), outBytes,
                                          &gotFrames, &gotBytes),
              noErr);
    result.resize(gotBytes);
    std::vector<uint8_t> tail(outBytes);
    uint32_t endFrames = 0, endBytes = 0;
    EXPECT_EQ(SoundConverterEndConversion(sc, tail.data(), outBytes, &endFrames, &endBytes), noErr);
    result.insert(result.end(), tail.begin(), tail.begin() + endBytes);
    SoundConverterClose(sc);
    return result;
}

TEST(SoundConverter, SameRateChangesOnlyTheLayout) {
    const std::vector<uint8_t> be = {0x12, 0x34, 0x80, 0x00, 0x7F, 0xFF};
    EXPECT_EQ(ConvertAll(Fmt(kTwosComplementFormat, 1, 16, 8000),
                         Fmt(kLittleEndianFormat, 1, 16, 8000), be, 3),
              (std::vector<uint8_t>{0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F}));
    EXPECT_EQ(ConvertAll(Fmt(kLittleEndianFormat, 1, 16, 8000),
                         Fmt(kTwosComplementFormat, 1, 16, 8000), {0x34, 0x12, 0x00, 0x80}, 2),
              (std::vector<uint8_t>{0x12, 0x34, 0x80, 0x00}));
    // 16-bit to 8-bit offset binary keeps the high byte, moved by 128.
    EXPECT_EQ(
        ConvertAll(Fmt(kLittleEndianFormat, 1, 16, 8000), Fmt(kSoundNotCompressed, 1, 8, 8000),
                   {0x00, 0x00, 0x00, 0x40, 0x00, 0xC0}, 3),
        (std::vector<uint8_t>{0x80, 0xC0, 0x40}));
    // Signed 8-bit to offset binary.
    EXPECT_EQ(ConvertAll(Fmt(kTwosComplementFormat, 1, 8, 8000), Fmt(kRawCodecType, 1, 8, 8000),
                         {0x00, 0x7F, 0x80}, 3),
              (std::vector<uint8_t>{0x80, 0xFF, 0x00}));
}

TEST(SoundConverter, StereoToMonoAveragesTheSides) {
    // Left 1000, right 3000 in every frame.
    std::vector<uint8_t> in;
    for (int i = 0; i < 64; ++i) in.insert(in.end(), {0xE8, 0x03, 0xB8, 0x0B});
    const std::vector<uint8_t> out = ConvertAll(Fmt(kLittleEndianFormat, 2, 16, 8000),
                                                Fmt(kLittleEndianFormat, 1, 16, 8000), in, 64);
    ASSERT_EQ(out.size(), 128u);
    const int16_t v = static_cast<int16_t>(out[10] | (out[11] << 8));
    // The downmix is normalised, so full-scale stereo cannot clip in mono.
    EXPECT_NEAR(v, (1000 + 3000) / 2, 2);
}

TEST(SoundConverter, ResamplingKeepsPitchAndLength) {
    const int rate = 44100, outRate = 22050, frames = 44100;
    std::vector<uint8_t> in;
    for (int i = 0; i < frames; ++i) {
        const auto s =
            static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 1000 * i / rate)));
        in.push_back(static_cast<uint8_t>(s));
        in.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    const std::vector<uint8_t> out =
        ConvertAll(Fmt(kLittleEndianFormat, 1, 16, rate), Fmt(kLittleEndianFormat, 1, 16, outRate),
                   in, frames);
    const size_t n = out.size() / 2;
    EXPECT_NEAR(static_cast<double>(n), outRate, 32);
    // Count rising zero crossings over the middle: 1000 per second.
    int crossings = 0;
    int16_t prev = 0;
    double peak = 0;
    for (size_t i = 1000; i < n - 1000; ++i) {
        const auto s = static_cast<int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
        if (prev < 0 && s >= 0) ++crossings;
        peak = std::max(peak, std::fabs(static_cast<double>(s)));
        prev = s;
    }
    const double seconds = static_cast<double>(n - 2000) / outRate;
    EXPECT_NEAR(crossings / seconds, 1000, 5);
    EXPECT_NEAR(peak, 12000, 400);
}

TEST(SoundConverter, OutputThatDoesNotFitIsKeptForLater) {
    SoundConverter sc = nullptr;
    ASSERT_EQ(SoundConverterOpen(Fmt(kLittleEndianFormat, 1, 16, 8000),
                                 Fmt(kLittleEndianFormat, 1, 16, 8000), &sc),
              noErr);
    ASSERT_EQ(SoundConverterBeginConversion(sc), noErr);
    std::vector<uint8_t> in(200);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> out(64), all;
    uint32_t frames = 0, bytes = 0;
    ASSERT_EQ(SoundConverterConvertBuffer(sc, in.data(), 100, out.data(), 64, &frames, &bytes),
              noErr);
    EXPECT_EQ(frames, 32u);
    all.insert(all.end(), out.begin(), out.begin() + bytes);
    do {
        ASSERT_EQ(SoundConverterConvertBuffer(sc, nullptr, 0, out.data(), 64, &frames, &bytes),
                  noErr);
        all.insert(all.end(), out.begin(), out.begin() + bytes);
    } while (frames > 0);
    do {
        ASSERT_EQ(SoundConverterEndConversion(sc, out.data(), 64, &frames, &bytes), noErr);
        all.insert(all.end(), out.begin(), out.begin() + bytes);
    } while (frames > 0);
    EXPECT_EQ(all, in);
    SoundConverterClose(sc);
}

TEST(SoundConverter, RefusesUnknownFormatsAndCounts) {
    SoundConverter sc = nullptr;
    EXPECT_EQ(SoundConverterOpen(Fmt(MakeOSType("zzzz"), 1, 16, 8000),
                                 Fmt(kLittleEndianFormat, 1, 16, 8000), &sc),
              kStatusParamError);
    EXPECT_EQ(SoundConverterOpen(Fmt(kLittleEndianFormat, 0, 16, 8000),
                                 Fmt(kLittleEndianFormat, 1, 16, 8000), &sc),
              kStatusParamError);
    EXPECT_EQ(SoundConverterOpen(Fmt(kLittleEndianFormat, 1, 16, 8000),
                                 Fmt(kLittleEndianFormat, 1, 12, 8000), &sc),
              kStatusParamError);
    EXPECT_EQ(SoundConverterOpen(Fmt(kLittleEndianFormat, 1, 16, 0),
                                 Fmt(kLittleEndianFormat, 1, 16, 8000), &sc),
              kStatusParamError);
    EXPECT_EQ(sc, nullptr);
    ASSERT_EQ(SoundConverterOpen(Fmt(kLittleEndianFormat, 1, 16, 8000),
                                 Fmt(kLittleEndianFormat, 1, 16, 8000), &sc),
              noErr);
    uint32_t frames, bytes;
    uint8_t buf[4] = {};
    // Converting before the conversion has begun is a caller's mistake.
    EXPECT_EQ(SoundConverterConvertBuffer(sc, buf, 2, buf, 4, &frames, &bytes), kStatusParamError);
    SoundConverterClose(sc);
}

}  // namespace
