// The three entry points as the movie writer uses them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "atrac3/atrac3.h"
#include "platform/status.h"

namespace {

using State = std::array<uint8_t, kAtrac3StateSize>;

uint32_t ByteCount(const State& s) {
    uint32_t v = 0;
    std::memcpy(&v, s.data() + kAtrac3ByteCountOffset, sizeof v);
    return v;
}

TEST(EntryPoints, FrameBytesPerRateCode) {
    const std::pair<int, int> expected[] = {{66, 192}, {47, 136}, {33, 96},
                                            {24, 68},  {16, 48},  {12, 34}};
    for (auto [code, bytes] : expected) EXPECT_EQ(Atrac3FrameBytes(code), bytes) << code;
    EXPECT_EQ(Atrac3FrameBytes(0), 0);
    EXPECT_EQ(Atrac3FrameBytes(32), 0);
}

TEST(EntryPoints, OpenAcceptsExactlyTheSupportedCombinations) {
    for (int rate : {12, 16, 24, 33, 47, 66}) {
        for (int mode : {kAtrac3Mono, kAtrac3Stereo, kAtrac3JointStereo}) {
            const bool supported = mode == kAtrac3Mono || (mode == kAtrac3Stereo && rate >= 24) ||
                                   (mode == kAtrac3JointStereo && rate >= 33);
            State s{};
            EXPECT_EQ(Atrac3Open(rate, mode, s.data()),
                      supported ? noErr : kStatusEncoderUnsupported)
                << "rate " << rate << " mode " << mode;
            Atrac3Close(s.data());
        }
    }
    State s{};
    EXPECT_EQ(Atrac3Open(64, kAtrac3Mono, s.data()), kStatusEncoderUnsupported);
    EXPECT_EQ(Atrac3Open(66, 0, s.data()), kStatusEncoderUnsupported);
    EXPECT_EQ(Atrac3Open(66, 3, s.data()), kStatusEncoderUnsupported);
    // A refused state stays closable, and encoding on it is refused.
    std::vector<int16_t> pcm(1024);
    std::vector<uint8_t> out(512);
    EXPECT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 1024, 1, 0), kStatusParamError);
    Atrac3Close(s.data());
    Atrac3Close(s.data());
}

TEST(EntryPoints, EncodeReportsBytesAtOffset28AndWritesNoMore) {
    struct Case {
        int rate;
        int mode;
        int channels;
    };
    for (const Case c : {Case{12, kAtrac3Mono, 1}, Case{66, kAtrac3Mono, 1},
                         Case{24, kAtrac3Stereo, 2}, Case{47, kAtrac3JointStereo, 2}}) {
        State s{};
        ASSERT_EQ(Atrac3Open(c.rate, c.mode, s.data()), noErr);
        std::vector<int16_t> pcm(1024 * c.channels);
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<int16_t>((i * 7919) % 20000 - 10000);
        std::vector<uint8_t> out(512, 0xAB);
        for (int block = 0; block < 3; ++block) {
            ASSERT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 1024 * c.channels, c.channels,
                                   block),
                      noErr);
            EXPECT_EQ(ByteCount(s), static_cast<uint32_t>(Atrac3FrameBytes(c.rate)));
        }
        for (size_t i = Atrac3FrameBytes(c.rate); i < out.size(); ++i) ASSERT_EQ(out[i], 0xAB) << i;
        Atrac3Close(s.data());
    }
}

TEST(EntryPoints, EncodeRefusesMismatchedArguments) {
    State s{};
    ASSERT_EQ(Atrac3Open(33, kAtrac3JointStereo, s.data()), noErr);
    std::vector<int16_t> pcm(2048);
    std::vector<uint8_t> out(512);
    EXPECT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 1024, 1, 0), kStatusParamError);
    EXPECT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 2047, 2, 0), kStatusParamError);
    EXPECT_EQ(Atrac3Encode(nullptr, out.data(), s.data(), 2048, 2, 0), kStatusParamError);
    EXPECT_EQ(Atrac3Encode(pcm.data(), nullptr, s.data(), 2048, 2, 0), kStatusParamError);
    EXPECT_EQ(Atrac3Encode(pcm.data(), out.data(), nullptr, 2048, 2, 0), kStatusParamError);
    EXPECT_EQ(ByteCount(s), 0u);
    EXPECT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 2048, 2, 0), noErr);
    Atrac3Close(s.data());
    EXPECT_EQ(Atrac3Open(33, kAtrac3Mono, nullptr), kStatusParamError);
}

// The bytes a decoder keys on: the sound-unit sync at the frame start, and in
// joint stereo the second unit's matrixing preamble in the last byte.
TEST(EntryPoints, FrameStartsAndEndsWithTheUnitMarkers) {
    std::vector<int16_t> pcm(2048);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i % 64 * 300 - 9000);
    std::vector<uint8_t> out(512);
    for (int mode : {kAtrac3Mono, kAtrac3Stereo, kAtrac3JointStereo}) {
        const int channels = mode == kAtrac3Mono ? 1 : 2;
        State s{};
        ASSERT_EQ(Atrac3Open(66, mode, s.data()), noErr);
        ASSERT_EQ(Atrac3Encode(pcm.data(), out.data(), s.data(), 1024 * channels, channels, 0),
                  noErr);
        EXPECT_EQ(out[0] >> 2, 0x28) << "mode " << mode;
        if (mode == kAtrac3Stereo) {
            EXPECT_EQ(out[96] >> 2, 0x28);
        }
        if (mode == kAtrac3JointStereo) {
            // weighting flag 0, weighting index 7, matrix selectors 3 3 | 3 3, sync 3
            EXPECT_EQ(out[191], 0x7F);
            EXPECT_EQ(out[190] >> 2, 0x3F);
        }
        Atrac3Close(s.data());
    }
}

}  // namespace
