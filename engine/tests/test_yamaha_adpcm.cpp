#include "engine/yamaha_adpcm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/pcm.h"
#include "engine/tests/support/sound_signals.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<int16_t>& samples, YamahaAdpcmState& state,
                            float gain = 1.0f) {
    std::vector<uint8_t> out(YamahaAdpcmBytes(static_cast<uint32_t>(samples.size())));
    EXPECT_EQ(YamahaAdpcmEncode(samples, gain, state, out), noErr);
    return out;
}

std::vector<int16_t> Decode(const std::vector<uint8_t>& bytes, size_t count,
                            YamahaAdpcmState& state) {
    std::vector<int16_t> out(count);
    EXPECT_EQ(YamahaAdpcmDecode(bytes, state, out), noErr);
    return out;
}

// Worked by hand from step 127: magnitudes 3, 6, 5 (negative) and 0, with
// the step going 127 (clamped up from 114), 254, 405, 363.
TEST(YamahaAdpcm, BytesWorkedByHandLowNibbleFirst) {
    YamahaAdpcmState coder;
    const auto bytes = Encode({100, 300, -50, 0}, coder);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x63, 0x0D}));
    EXPECT_EQ(coder.predictor, 16);
    EXPECT_EQ(coder.step, 363);

    YamahaAdpcmState player;
    EXPECT_EQ(Decode(bytes, 4, player), (std::vector<int16_t>{109, 314, -34, 16}));
    EXPECT_EQ(player.predictor, coder.predictor);
    EXPECT_EQ(player.step, coder.step);
}

TEST(YamahaAdpcm, StepStaysWithinItsLimits) {
    // A full-scale square keeps asking for the largest magnitude, then the
    // smallest; the step must saturate at 24576 and fall back to 127.
    YamahaAdpcmState state;
    std::vector<int16_t> loud(200);
    for (size_t i = 0; i < loud.size(); ++i) loud[i] = i % 2 ? 32767 : -32768;
    Encode(loud, state);
    EXPECT_EQ(state.step, kYamahaMaxStep);
    Encode(std::vector<int16_t>(400, state.predictor), state);
    EXPECT_EQ(state.step, kYamahaMinStep);

    const auto square = SquareSignal(40, 64 * 50);
    YamahaAdpcmState coder, player;
    const auto decoded = Decode(Encode(square, coder), square.size(), player);
    // Clamping, not wrapping, at the rails: late in each half the output has
    // the input's sign.
    for (size_t i = 0; i < square.size(); ++i) {
        if (i % 40 > 20) {
            ASSERT_EQ(decoded[i] > 0, square[i] > 0) << i;
        }
    }
    EXPECT_GT(SignalToNoiseDb(square, decoded), 4.0);
}

TEST(YamahaAdpcm, StateCarriedAcrossBlocksMatchesOneRun) {
    const auto tone = ToneSignal(440.0, 8000.0, 9000.0, 64 * 10);
    YamahaAdpcmState whole;
    const auto once = Encode(tone, whole);
    YamahaAdpcmState carried;
    std::vector<uint8_t> blocks;
    for (size_t at = 0; at < tone.size(); at += 64) {
        const auto part = Encode({tone.begin() + at, tone.begin() + at + 64}, carried);
        blocks.insert(blocks.end(), part.begin(), part.end());
    }
    EXPECT_EQ(blocks, once);
    EXPECT_EQ(carried.predictor, whole.predictor);
    EXPECT_EQ(carried.step, whole.step);
}

TEST(YamahaAdpcm, TonesNoiseAndSilenceRoundTrip) {
    struct Case {
        const char* name;
        std::vector<int16_t> signal;
        double minimum;
    };
    const Case cases[] = {
        {"1 kHz at 8000 Hz", ToneSignal(1000.0, 8000.0, 12000.0, 64 * 100), 19.0},
        {"1 kHz at 22050 Hz", ToneSignal(1000.0, 22050.0, 12000.0, 64 * 100), 28.0},
        {"noise", NoiseSignal(3, 6000, 64 * 100), 5.0},
    };
    for (const auto& c : cases) {
        YamahaAdpcmState coder, player;
        const auto decoded = Decode(Encode(c.signal, coder), c.signal.size(), player);
        EXPECT_GT(SignalToNoiseDb(c.signal, decoded), c.minimum) << c.name;
    }
    // Silence settles at the smallest step; the output stays within one eighth of it.
    YamahaAdpcmState coder, player;
    const std::vector<int16_t> silence(256, 0);
    for (int16_t v : Decode(Encode(silence, coder), silence.size(), player)) {
        ASSERT_LE(std::abs(v), kYamahaMinStep / 8 * 2);
    }
}

TEST(YamahaAdpcm, GainClampsBeforeCoding) {
    const auto tone = ToneSignal(300.0, 8000.0, 20000.0, 128);
    std::vector<int16_t> clipped(tone.size());
    for (size_t i = 0; i < tone.size(); ++i) clipped[i] = ApplySoundGain(tone[i], 4.0f);
    YamahaAdpcmState a, b;
    EXPECT_EQ(Encode(tone, a, 4.0f), Encode(clipped, b));
}

TEST(YamahaAdpcm, OddCountsAndShortBuffers) {
    YamahaAdpcmState state;
    const auto bytes = Encode({100, 300, -50}, state);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[1], 0x0D);  // the missing fourth code leaves the high nibble 0

    std::vector<uint8_t> small(1);
    const std::vector<int16_t> three = {1, 2, 3};
    EXPECT_EQ(YamahaAdpcmEncode(three, 1.0f, state, small), kStatusParamError);
    std::vector<int16_t> out(3);
    EXPECT_EQ(YamahaAdpcmDecode(small, state, out), kStatusParamError);
}

}  // namespace
