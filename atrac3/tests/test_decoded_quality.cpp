// Our frames decoded by FFmpeg's ATRAC3 decoder, the independent reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
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
Region Measured(const Pcm& pcm) {
    return {4096, pcm.Frames() - 4096};
}

std::vector<double> ChannelSnrs(const Pcm& pcm, int rate, int mode, int* errors) {
    const auto frames = Encode(pcm, rate, mode);
    const auto decoded =
        DecodeAny(frames, Atrac3FrameBytes(rate), pcm.channels, mode == kAtrac3JointStereo);
    *errors = decoded.errors;
    std::vector<double> snr;
    const Region r = Measured(pcm);
    for (int c = 0; c < pcm.channels; ++c) {
        EXPECT_GE(decoded.channels[c].size(), pcm.Frames()) << "rate " << rate;
        snr.push_back(Snr(Channel(pcm, c), decoded.channels[c], kCodecDelay, r.from, r.to));
    }
    return snr;
}

TEST(DecodedQuality, EveryRateAndModeDecodesMeetsItsFloorAndRisesWithRate) {
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
            // Floors for the music-like signal.
            if (m.mode == kAtrac3Mono && rate == 66) {
                EXPECT_GE(worst, 18.0);
            }
            if (m.mode == kAtrac3JointStereo && rate == 33) {
                EXPECT_GE(worst, 12.0);
            }
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

}  // namespace

namespace {

TEST(DecodedQuality, SilenceDecodesToSilence) {
    for (const ModeCase& m : kModes) {
        for (int rate : {m.lowestRate, 66}) {
            const Pcm silence = Silence(m.channels, 1.0);
            const auto frames = Encode(silence, rate, m.mode);
            const auto decoded =
                DecodeAny(frames, Atrac3FrameBytes(rate), m.channels, m.mode == kAtrac3JointStereo);
            EXPECT_EQ(decoded.errors, 0);
            for (const auto& ch : decoded.channels) {
                ASSERT_FALSE(ch.empty());
                const float peak =
                    std::abs(*std::max_element(ch.begin(), ch.end(), [](float a, float b) {
                        return std::abs(a) < std::abs(b);
                    }));
                EXPECT_EQ(peak, 0.0f) << "rate " << rate << " mode " << m.mode;
            }
        }
    }
}

// A full-scale square wave must come back bounded (no wrap-around of
// overflowing values) and with its error spread evenly over the frames (no
// click at any frame boundary).
TEST(DecodedQuality, FullScaleSquareNeitherOverflowsNorClicks) {
    const Pcm mono = Square(441.0, 3.0);
    Pcm stereo;
    stereo.channels = 2;
    for (int16_t s : mono.samples) {
        stereo.samples.push_back(s);
        stereo.samples.push_back(s);
    }
    struct Case {
        const Pcm* pcm;
        int rate;
        int mode;
    };
    for (const Case& c :
         {Case{&mono, 66, kAtrac3Mono}, Case{&mono, 12, kAtrac3Mono},
          Case{&stereo, 33, kAtrac3JointStereo}, Case{&stereo, 24, kAtrac3Stereo}}) {
        const auto frames = Encode(*c.pcm, c.rate, c.mode);
        const auto decoded = DecodeAny(frames, Atrac3FrameBytes(c.rate), c.pcm->channels,
                                       c.mode == kAtrac3JointStereo);
        EXPECT_EQ(decoded.errors, 0);
        for (int ch = 0; ch < c.pcm->channels; ++ch) {
            const auto ref = Channel(*c.pcm, ch);
            const auto& out = decoded.channels[ch];
            // Band-limiting alone lifts the peak towards 4/pi of full scale
            // (the fundamental's amplitude) plus ringing; wrapped values would
            // show as plateaus of the wrong sign.
            float peak = 0.0f;
            for (float v : out) peak = std::max(peak, std::abs(v));
            EXPECT_LT(peak, 1.5f * 32768.0f) << "rate " << c.rate;
            int wrongSign = 0;
            for (size_t i = 4096; i + 4096 < ref.size(); ++i) {
                const double phase = std::fmod(441.0 * i / kRate, 0.5);
                if (phase > 0.1 && phase < 0.4 &&
                    out[i + kCodecDelay] * ref[i] < 0.5 * 32768.0 * 32768.0) {
                    ++wrongSign;
                }
            }
            EXPECT_EQ(wrongSign, 0) << "rate " << c.rate << " mode " << c.mode;
            // Error energy per 1024-sample frame against the mean.
            std::vector<double> frameError;
            for (size_t f = 4; f + 5 < ref.size() / 1024; ++f) {
                double e = 0.0;
                for (size_t i = f * 1024; i < (f + 1) * 1024; ++i) {
                    const double d = out[i + kCodecDelay] - ref[i];
                    e += d * d;
                }
                frameError.push_back(e);
            }
            double mean = 0.0;
            for (double e : frameError) mean += e;
            mean /= frameError.size();
            const double worst = *std::max_element(frameError.begin(), frameError.end());
            EXPECT_LT(worst, 3.0 * mean) << "rate " << c.rate << " mode " << c.mode;
            const double snr = Snr(ref, out, kCodecDelay, 4096, ref.size() - 4096);
            std::printf("square, rate %d mode %d: SNR %.2f dB, peak %.0f\n", c.rate, c.mode, snr,
                        peak);
            EXPECT_GT(snr, 6.0);
        }
    }
}

// Full-scale white noise fills every unit with large values: the densest
// frames the allocation can face. They must still fit and decode.
TEST(DecodedQuality, FullScaleNoiseFitsEveryFrame) {
    std::mt19937 rng(21);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (const ModeCase& m : kModes) {
        Pcm noise;
        noise.channels = m.channels;
        noise.samples.resize(static_cast<size_t>(2 * kRate * m.channels));
        for (auto& v : noise.samples) v = static_cast<int16_t>(sample(rng));
        for (int rate : {m.lowestRate, 66}) {
            int errors = 0;
            const auto snr = ChannelSnrs(noise, rate, m.mode, &errors);
            EXPECT_EQ(errors, 0) << "rate " << rate << " mode " << m.mode;
            // White noise at these rates allows little more than 0 dB; garbage would go negative.
            for (double v : snr) EXPECT_GT(v, 0.2) << "rate " << rate << " mode " << m.mode;
        }
    }
}

TEST(DecodedQuality, DelayIsWhereTheSignalsLineUp) {
    const Pcm music = MusicLike(1, 2.0, 11);
    const auto frames = Encode(music, 66, kAtrac3Mono);
    const auto decoded = DecodeAny(frames, 192, 1, false);
    const auto ref = Channel(music, 0);
    int bestLag = -1;
    double best = -1.0;
    for (int lag = 0; lag < 2048; ++lag) {
        double c = 0.0;
        for (size_t i = 20000; i < 24096; ++i) c += ref[i] * decoded.channels[0][i + lag];
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    EXPECT_EQ(bestLag, kCodecDelay);
}

// Both container styles must decode the same frames to the same signal; the
// RealMedia one only after our scrambling, so this checks the test harness
// itself as much as the frames.
TEST(DecodedQuality, WavAndRealMediaExtradataAgree) {
    for (int mode : {kAtrac3Mono, kAtrac3Stereo, kAtrac3JointStereo}) {
        const int channels = mode == kAtrac3Mono ? 1 : 2;
        const int rate = mode == kAtrac3Mono ? 33 : 66;
        const Pcm music = MusicLike(channels, 1.0, 5);
        const auto frames = Encode(music, rate, mode);
        const int bytes = Atrac3FrameBytes(rate);
        const bool joint = mode == kAtrac3JointStereo;
        const auto wav = Decode(frames, bytes, channels, joint, Extradata::kWav);
        const auto rm = Decode(frames, bytes, channels, joint, Extradata::kRealMedia);
        EXPECT_EQ(wav.errors, 0);
        EXPECT_EQ(rm.errors, 0);
        EXPECT_EQ(wav.channels, rm.channels) << "mode " << mode;
    }
}

}  // namespace
