#include "engine/adpcm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/pcm.h"
#include "engine/tests/support/sound_signals.h"

namespace {

// Codes `signal` block by block (whole blocks only) and decodes it again.
std::vector<int16_t> RoundTrip(const std::vector<int16_t>& signal, int bits, float gain = 1.0f) {
    const uint32_t blockBytes = AdpcmBlockBytes(bits);
    std::vector<int16_t> decoded(signal.size());
    std::vector<uint8_t> coded(blockBytes);
    for (size_t at = 0; at + kAdpcmBlockFrames <= signal.size(); at += kAdpcmBlockFrames) {
        std::span<const int16_t> in(signal.data() + at, kAdpcmBlockFrames);
        EXPECT_EQ(AdpcmEncodeBlock(in, bits, gain, coded), noErr);
        uint32_t used = 0;
        EXPECT_EQ(AdpcmDecodeBlock(coded, {decoded.data() + at, kAdpcmBlockFrames}, &used), noErr);
        EXPECT_EQ(used, blockBytes);
    }
    return decoded;
}

std::vector<int16_t> BlockOf(std::initializer_list<int16_t> head) {
    std::vector<int16_t> block(kAdpcmBlockFrames, 0);
    std::copy(head.begin(), head.end(), block.begin());
    for (size_t i = head.size(); i < block.size(); ++i) block[i] = block[head.size() - 1];
    return block;
}

// Packs a block header and codes most significant bit first, by hand.
std::vector<uint8_t> PackBlock(int bits, int index, int8_t high, std::initializer_list<int> codes) {
    std::vector<uint8_t> out(AdpcmBlockBytes(bits), 0);
    size_t bit = 0;
    auto put = [&](uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i, ++bit) {
            if ((value >> i) & 1u) out[bit / 8] |= static_cast<uint8_t>(0x80u >> (bit % 8));
        }
    };
    put(static_cast<uint32_t>(bits - 2), 2);
    put(static_cast<uint32_t>(index), 6);
    put(static_cast<uint8_t>(high), 8);
    for (int code : codes) put(static_cast<uint32_t>(code), bits);
    return out;
}

std::vector<int16_t> DecodeHead(const std::vector<uint8_t>& block, size_t count) {
    std::vector<int16_t> out(256);
    EXPECT_EQ(AdpcmDecodeBlock(block, out), noErr);
    out.resize(count);
    return out;
}

// Each row walks the step index through every adjustment of its width from
// index 0; the expected values were summed by hand from the step table.
TEST(BlockAdpcm, DecoderFollowsTheStepAndIndexTables) {
    // 4 bits: magnitudes 7, 6, 5, 4 climb by 8, 6, 4, 2; 3, 2, 1, 0 fall by 1.
    EXPECT_EQ(DecodeHead(PackBlock(4, 0, 0, {7, 6, 5, 4, 3, 2, 1, 0, 8}), 9),
              (std::vector<int16_t>{11, 37, 75, 121, 164, 191, 206, 210, 206}));
    // 2 bits: magnitude 1 climbs by 2, 0 falls by 1; 3 is the sign with magnitude 1.
    EXPECT_EQ(DecodeHead(PackBlock(2, 0, 0, {1, 1, 0, 3}), 4),
              (std::vector<int16_t>{10, 23, 28, 13}));
    // 3 bits: 3 climbs by 4, 2 by 2, 1 and 0 fall by 1.
    EXPECT_EQ(DecodeHead(PackBlock(3, 0, 0, {3, 2, 1, 0, 3}), 5),
              (std::vector<int16_t>{11, 24, 33, 36, 54}));
    // 5 bits: 15, 8, 9, 7, 12, 14 move the index by 16, 1, 2, -1, 8, 13.
    EXPECT_EQ(DecodeHead(PackBlock(5, 0, 0, {15, 8, 9, 7, 12, 14}), 6),
              (std::vector<int16_t>{11, 47, 90, 130, 193, 352}));
    // The first sample's high byte seeds the predictor.
    EXPECT_EQ(DecodeHead(PackBlock(4, 0, -2, {0}), 1), (std::vector<int16_t>{-512}));
}

// Worked by hand: index 18 (step 41) is the first step >= |1000 - 1040|;
// the codes come out 0, 3, 7 and 13 (sign and magnitude 5).
TEST(BlockAdpcm, FourBitBlockBytesWorkedByHand) {
    const auto block = BlockOf({1000, 1040, 1100, 1000});
    std::vector<uint8_t> coded(130);
    ASSERT_EQ(AdpcmEncodeBlock(block, 4, 1.0f, coded), noErr);
    EXPECT_EQ(coded[0], 0x92);  // 10 010010: width 4, index 18
    EXPECT_EQ(coded[1], 0x03);  // high byte of 1000
    EXPECT_EQ(coded[2], 0x03);
    EXPECT_EQ(coded[3], 0x7D);

    // The decoder starts from the high byte alone, so it runs 1000 - 768 = 232
    // below the coder's predictor (1005, 1036, 1099, 999).
    std::vector<int16_t> decoded(256);
    ASSERT_EQ(AdpcmDecodeBlock(coded, decoded), noErr);
    EXPECT_EQ(decoded[0], 773);
    EXPECT_EQ(decoded[1], 804);
    EXPECT_EQ(decoded[2], 867);
    EXPECT_EQ(decoded[3], 767);
}

// Worked by hand: index 11 (step 21) for |-300 - -280|, high byte -2; codes
// 0, 0, 1 and 3 (sign set, magnitude 1).
TEST(BlockAdpcm, TwoBitBlockBytesWorkedByHand) {
    const auto block = BlockOf({-300, -280, -200, -400});
    std::vector<uint8_t> coded(66);
    ASSERT_EQ(AdpcmEncodeBlock(block, 2, 1.0f, coded), noErr);
    EXPECT_EQ(coded[0], 0x0B);
    EXPECT_EQ(coded[1], 0xFE);
    EXPECT_EQ(coded[2], 0x07);
}

// With 4 and 5 bits the smallest step's final half step is 0, so silence
// decodes exactly (5-bit codes set their lowest bit, where the halved step
// has reached 0); with 2 and 3 bits it is 3 and 1 and the codes dither
// around zero (0, then sign only, and so on).
TEST(BlockAdpcm, SilenceCodesAsZerosOrATinyDither) {
    const std::vector<int16_t> silence(256, 0);
    std::vector<uint8_t> four(130, 0xAA);
    ASSERT_EQ(AdpcmEncodeBlock(silence, 4, 1.0f, four), noErr);
    EXPECT_EQ(four[0], 0x80);
    for (size_t i = 1; i < four.size(); ++i) ASSERT_EQ(four[i], 0) << i;
    EXPECT_EQ(RoundTrip(silence, 4), silence);
    EXPECT_EQ(RoundTrip(silence, 5), silence);

    std::vector<uint8_t> coded(66);
    ASSERT_EQ(AdpcmEncodeBlock(silence, 2, 1.0f, coded), noErr);
    EXPECT_EQ(coded[0], 0x00);
    for (size_t i = 2; i < coded.size(); ++i) ASSERT_EQ(coded[i], 0x22) << i;
    for (int bits = 2; bits <= 3; ++bits) {
        for (int16_t v : RoundTrip(silence, bits)) ASSERT_LE(std::abs(v), 3) << bits;
    }
}

TEST(BlockAdpcm, StartIndexIsTheFirstStepReachingTheFirstDifference) {
    std::vector<uint8_t> coded(130);
    // A difference of exactly a table step picks that step.
    ASSERT_EQ(AdpcmEncodeBlock(BlockOf({0, 157}), 4, 1.0f, coded), noErr);
    EXPECT_EQ((coded[0] & 0x3F), 32);
    ASSERT_EQ(AdpcmEncodeBlock(BlockOf({0, 158}), 4, 1.0f, coded), noErr);
    EXPECT_EQ((coded[0] & 0x3F), 33);
    // Index 62 is step 2749; anything larger saturates the 6-bit field at 63.
    ASSERT_EQ(AdpcmEncodeBlock(BlockOf({0, 2749}), 4, 1.0f, coded), noErr);
    EXPECT_EQ((coded[0] & 0x3F), 62);
    ASSERT_EQ(AdpcmEncodeBlock(BlockOf({0, 2750}), 4, 1.0f, coded), noErr);
    EXPECT_EQ((coded[0] & 0x3F), 63);
    ASSERT_EQ(AdpcmEncodeBlock(BlockOf({-32768, 32767}), 4, 1.0f, coded), noErr);
    EXPECT_EQ((coded[0] & 0x3F), 63);
    EXPECT_EQ(coded[1], 0x80);  // high byte of -32768
}

// The figures below sit a few dB under what the coder reaches; a step table
// shifted by one entry or a wrong index row costs more than that margin.
TEST(BlockAdpcm, ToneSurvivesEveryCodeWidth) {
    const auto tone = ToneSignal(1000.0, 22050.0, 12000.0, 256 * 40);
    const double minimum[] = {9.0, 17.0, 27.0, 33.0};
    double previous = 0.0;
    for (int bits = 2; bits <= 5; ++bits) {
        const double snr = SignalToNoiseDb(tone, RoundTrip(tone, bits));
        EXPECT_GT(snr, minimum[bits - 2]) << bits << "-bit";
        EXPECT_GT(snr, previous) << bits << "-bit codes must beat " << bits - 1;
        previous = snr;
    }
}

TEST(BlockAdpcm, NoiseAndFullScaleSquareStayBounded) {
    const auto noise = NoiseSignal(7, 8000, 256 * 20);
    EXPECT_GT(SignalToNoiseDb(noise, RoundTrip(noise, 4)), 10.0);
    const auto square = SquareSignal(64, 256 * 20);
    // Full-scale edges drive the predictor into its clamps; it must not wrap.
    const auto decoded = RoundTrip(square, 4);
    EXPECT_GT(SignalToNoiseDb(square, decoded), 4.0);
    for (size_t i = 0; i < square.size(); ++i) {
        if ((i % 64) > 40) {
            ASSERT_EQ(decoded[i] > 0, square[i] > 0) << i;
        }
    }
}

TEST(BlockAdpcm, GainIsAppliedWithClamping) {
    const auto tone = ToneSignal(500.0, 22050.0, 20000.0, 256);
    std::vector<uint8_t> gained(130), reference(130);
    // 2.5 x 20000 exceeds the range; it must clamp rather than wrap.
    std::vector<int16_t> clipped(tone.size());
    for (size_t i = 0; i < tone.size(); ++i) clipped[i] = ApplySoundGain(tone[i], 2.5f);
    ASSERT_EQ(AdpcmEncodeBlock(tone, 4, 2.5f, gained), noErr);
    ASSERT_EQ(AdpcmEncodeBlock(clipped, 4, 1.0f, reference), noErr);
    EXPECT_EQ(gained, reference);
    EXPECT_EQ(ApplySoundGain(20000, 2.5f), 32767);
    EXPECT_EQ(ApplySoundGain(-20000, 2.5f), -32768);
    EXPECT_EQ(ApplySoundGain(-3, 1.5f), -4);  // -4.5 truncates toward zero
    EXPECT_EQ(ApplySoundGain(3, 1.5f), 4);
}

TEST(BlockAdpcm, RejectsBadWidthsAndShortBuffers) {
    const std::vector<int16_t> block(256, 0);
    std::vector<uint8_t> coded(162);
    EXPECT_EQ(AdpcmEncodeBlock(block, 6, 1.0f, coded), kStatusParamError);
    EXPECT_EQ(AdpcmEncodeBlock(block, 1, 1.0f, coded), kStatusParamError);
    EXPECT_EQ(AdpcmEncodeBlock(std::span(block).first(255), 4, 1.0f, coded), kStatusParamError);
    EXPECT_EQ(AdpcmEncodeBlock(block, 5, 1.0f, std::span(coded).first(161)), kStatusParamError);

    ASSERT_EQ(AdpcmEncodeBlock(block, 5, 1.0f, coded), noErr);
    std::vector<int16_t> out(256);
    // The header says 5 bits, so 161 bytes are one short.
    EXPECT_EQ(AdpcmDecodeBlock(std::span(coded).first(161), out), kStatusParamError);
    EXPECT_EQ(AdpcmDecodeBlock(std::span(coded).first(1), out), kStatusParamError);
    EXPECT_EQ(AdpcmDecodeBlock(coded, std::span(out).first(255)), kStatusParamError);
}

}  // namespace
