// Our frames decoded by FFmpeg's ATRAC3 decoder, the independent reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "atrac3/atrac3.h"
#include "atrac3/tests/support/ffmpeg_atrac3.h"

namespace {

using namespace atrac3test;

constexpr int kRates[] = {12, 16, 24, 33, 47, 66};

struct ModeCase {
    int mode;
    int channels;
    int lowestRate;
};
constexpr ModeCase kModes[] = {
    {kAtrac3Mono, 1, 12}, {kAtrac3Stereo, 2, 24}, {kAtrac3JointStereo, 2, 33}};

// Measured region: skip the first frames (decoder warm-up) and the padded tail.
struct Region {
    size_t from;
    size_t to;
};
Region Measured(const Pcm& pcm) { return {4096, pcm.Frames() - 4096}; }

std::vector<double> ChannelSnrs(const Pcm& pcm, int rate, int mode, int* errors) {
    const auto frames = Encode(pcm, rate, mode);
    const auto decoded = DecodeAny(frames, Atrac3FrameBytes(rate), pcm.channels,
                                   mode == kAtrac3JointStereo);
    *errors = decoded.errors;
    std::vector<double> snr;
    const Region r = Measured(pcm);
    for (int c = 0; c < pcm.channels; ++c) {
        EXPECT_GE(decoded.channels[c].size(), pcm.Frames()) << "rate " << rate;
        snr.push_back(Snr(Channel(pcm, c), decoded.channels[c], kCodecDelay, r.from, r.to));
    }
    return snr;
}

TEST(DecodedQuality, EveryRateAndModeDecodesAndQualityRisesWithRate) {
    for (const ModeCase& m : kModes) {
        const Pcm music = MusicLike(m.channels, 10.0, 7);
        double previous = -1e9;
        for (int rate : kRates) {
            if (rate < m.lowestRate) continue;
            int errors = 0;
            const auto snr = ChannelSnrs(music, rate, m.mode, &errors);
            EXPECT_EQ(errors, 0) << "rate " << rate << " mode " << m.mode;
            const double worst = *std::min_element(snr.begin(), snr.end());
            std::printf("mode %2d rate %2d: SNR", m.mode, rate);
            for (double s : snr) std::printf(" %.2f dB", s);
            std::printf("\n");
            EXPECT_GE(worst, previous) << "quality dropped at rate " << rate << " mode " << m.mode;
            previous = worst;
        }
    }
}

TEST(DecodedQuality, SineAt66MonoReaches30Db) {
    const Pcm sine = Sine(1000.0, 16384.0, 10.0);
    int errors = 0;
    const auto snr = ChannelSnrs(sine, 66, kAtrac3Mono, &errors);
    EXPECT_EQ(errors, 0);
    std::printf("1 kHz sine, 66 mono: %.2f dB\n", snr[0]);
    EXPECT_GE(snr[0], 30.0);
}

TEST(DecodedQuality, MusicAt66MonoAnd33JointStereo) {
    int errors = 0;
    const auto mono = ChannelSnrs(MusicLike(1, 10.0, 3), 66, kAtrac3Mono, &errors);
    EXPECT_EQ(errors, 0);
    EXPECT_GE(mono[0], 18.0);
    const auto joint = ChannelSnrs(MusicLike(2, 10.0, 3), 33, kAtrac3JointStereo, &errors);
    EXPECT_EQ(errors, 0);
    std::printf("music: 66 mono %.2f dB, 33 joint stereo %.2f / %.2f dB\n", mono[0], joint[0],
                joint[1]);
    EXPECT_GE(joint[0], 12.0);
    EXPECT_GE(joint[1], 12.0);
}

}  // namespace
