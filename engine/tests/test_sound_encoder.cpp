// The sound encoder on its own: gathering into blocks and chunks, flushing,
// the per-format coding and the ATRAC3 set-up (with a stand-in encoder).
#include "engine/sound_encoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "atrac3/atrac3.h"
#include "engine/adpcm.h"
#include "engine/pcm.h"
#include "engine/sound_format.h"
#include "engine/tests/support/fake_atrac3.h"
#include "engine/tests/support/sound_capture.h"
#include "engine/tests/support/sound_signals.h"

namespace {

struct Encoder {
    explicit Encoder(SoundSettings s, const Atrac3EntryPoints* atrac3 = &FakeAtrac3::kEntryPoints)
        : settings(s) {
        FakeAtrac3::Reset();
        e.atrac3 = atrac3;
        status = SoundEncoderPrepare(e, settings);
    }
    ~Encoder() { SoundEncoderRelease(e); }

    OSStatus Add(const std::vector<int16_t>& samples, size_t from, size_t frames) {
        const auto bytes = Pcm16Bytes({samples.begin() + from * settings.inputChannels,
                                       samples.begin() + (from + frames) * settings.inputChannels});
        return SoundEncoderAdd(e, bytes.data(), static_cast<uint32_t>(bytes.size()),
                               static_cast<uint32_t>(frames), CapturedChunks::Sink, &out);
    }
    // Adds `samples` in pieces of the given frame counts, cycling through them.
    void AddInPieces(const std::vector<int16_t>& samples, std::vector<size_t> pieces) {
        const size_t total = samples.size() / settings.inputChannels;
        for (size_t at = 0, i = 0; at < total; ++i) {
            const size_t n = std::min(pieces[i % pieces.size()], total - at);
            ASSERT_EQ(Add(samples, at, n), noErr);
            at += n;
        }
    }
    OSStatus Flush() { return SoundEncoderFlush(e, CapturedChunks::Sink, &out); }

    SoundSettings settings;
    SoundEncoder e;
    CapturedChunks out;
    OSStatus status = noErr;
};

SoundSettings Settings(uint32_t format, uint16_t channels = 1, uint32_t chunkLength = 7350) {
    SoundSettings s;
    s.format = format;
    s.inputChannels = channels;
    s.inputBits = format == kAudioFormatPcm8 ? 8 : 16;
    s.chunkLength = chunkLength;
    return s;
}

std::vector<uint8_t> CodedBlock(std::span<const int16_t> samples, int bits, float gain = 1.0f) {
    std::vector<uint8_t> out(AdpcmBlockBytes(bits));
    EXPECT_EQ(AdpcmEncodeBlock(samples.first(256), bits, gain, out), noErr);
    return out;
}

std::vector<uint8_t> Body(const CapturedChunks& c, size_t i) {
    const auto view = c.View(i);
    return {view.body.begin(), view.body.end()};
}

TEST(SoundGathering, ThreeHundredFramesLeaveFortyFourPendingThenPadWithSilence) {
    Encoder enc(Settings(kAudioFormatAdpcm4));
    ASSERT_EQ(enc.status, noErr);
    const auto tone = ToneSignal(1000.0, 22050.0, 10000.0, 300);
    ASSERT_EQ(enc.Add(tone, 0, 300), noErr);
    EXPECT_EQ(enc.e.pendingFrames, 44u);
    EXPECT_EQ(enc.e.totalFrames, 256u);
    EXPECT_EQ(enc.e.audioChunkCount, 1);
    EXPECT_TRUE(enc.out.chunks.empty());

    ASSERT_EQ(enc.Flush(), noErr);
    ASSERT_EQ(enc.out.chunks.size(), 1u);
    const auto view = enc.out.View(0);
    EXPECT_EQ(view.frames, 512u);  // 300 frames and 212 of silence
    EXPECT_EQ(view.position, 0u);
    EXPECT_EQ(enc.e.totalFrames, 512u);
    EXPECT_EQ(enc.e.pendingFrames, 0u);
    EXPECT_EQ(enc.out.chunks[0].size(), 16u + 2 * 130u);

    std::vector<int16_t> padded(tone.begin() + 256, tone.end());
    padded.resize(256, 0);
    auto expected = CodedBlock(tone, 4);
    const auto second = CodedBlock(padded, 4);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Body(enc.out, 0), expected);
}

TEST(SoundGathering, ChunksCloseAfterTheBlockThatReachesTheLengthWhateverThePieces) {
    const auto tone = ToneSignal(700.0, 11025.0, 9000.0, 3000);
    // 600 frames a chunk: the check after each 256-frame block closes chunks
    // at 768 frames.
    Encoder whole(Settings(kAudioFormatAdpcm2, 1, 600));
    whole.AddInPieces(tone, {3000});
    Encoder pieces(Settings(kAudioFormatAdpcm2, 1, 600));
    pieces.AddInPieces(tone, {1, 255, 300, 17, 700, 256});
    for (Encoder* enc : {&whole, &pieces}) {
        ASSERT_EQ(enc->Flush(), noErr);
        // 3000 frames = 11 blocks and 184 pending, padded to a 12th block.
        ASSERT_EQ(enc->out.chunks.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(enc->out.View(i).frames, 768u) << i;
            EXPECT_EQ(enc->out.frames[i], 768u);
            EXPECT_EQ(enc->out.View(i).position, 768u * i) << i;
        }
    }
    EXPECT_EQ(whole.out.chunks, pieces.out.chunks);
    // A 2-bit block of 256 frames takes 66 bytes.
    EXPECT_EQ(whole.out.chunks[0].size(), 16u + 3 * 66u);
}

TEST(SoundGathering, StereoBlocksAreCodedLeftThenRight) {
    const auto left = ToneSignal(500.0, 22050.0, 8000.0, 256);
    const auto right = NoiseSignal(11, 3000, 256);
    Encoder enc(Settings(kAudioFormatAdpcm4, 2));
    ASSERT_EQ(enc.status, noErr);
    enc.AddInPieces(Interleave(left, right), {100, 156});
    ASSERT_EQ(enc.Flush(), noErr);
    ASSERT_EQ(enc.out.chunks.size(), 1u);
    auto expected = CodedBlock(left, 4);
    const auto r = CodedBlock(right, 4);
    expected.insert(expected.end(), r.begin(), r.end());
    EXPECT_EQ(Body(enc.out, 0), expected);
    EXPECT_EQ(enc.out.View(0).frames, 256u);
}

TEST(SoundGathering, BlockAdpcmRoundTripsThroughTheDecoder) {
    const auto tone = ToneSignal(1000.0, 22050.0, 12000.0, 22050);
    for (uint32_t format : {kAudioFormatAdpcm4, kAudioFormatAdpcm2}) {
        Encoder enc(Settings(format, 2));
        const auto stereo = Interleave(tone, NoiseSignal(5, 4000, tone.size()));
        enc.AddInPieces(stereo, {1000, 333});
        ASSERT_EQ(enc.Flush(), noErr);
        const auto decoded = enc.out.Decode(format, 2);
        ASSERT_EQ(decoded.size(), 2 * 22272u);  // 87 blocks of 256 frames
        std::vector<int16_t> leftOut(tone.size()), rightOut(tone.size());
        std::vector<int16_t> leftIn(tone.size()), rightIn(tone.size());
        SplitStereo({decoded.data(), stereo.size()}, leftOut, rightOut);
        SplitStereo(stereo, leftIn, rightIn);
        EXPECT_GT(SignalToNoiseDb(leftIn, leftOut), format == kAudioFormatAdpcm4 ? 27.0 : 14.0);
        // After a few samples to settle, the padding decodes as silence give or
        // take the first sample's low byte, which the block header leaves out.
        for (size_t i = stereo.size() + 2 * 64; i < decoded.size(); ++i) {
            ASSERT_LE(std::abs(decoded[i]), 256) << "padding should decode near silence";
        }
    }
}

TEST(SoundGathering, GainAppliesToCodersButNotToPcm) {
    const auto tone = ToneSignal(400.0, 8000.0, 15000.0, 256);
    SoundSettings s = Settings(kAudioFormatAdpcm4);
    s.gain = 2.5f;
    Encoder adpcm(s);
    adpcm.AddInPieces(tone, {256});
    ASSERT_EQ(adpcm.out.chunks.size(), 0u);
    ASSERT_EQ(adpcm.Flush(), noErr);
    EXPECT_EQ(Body(adpcm.out, 0), CodedBlock(tone, 4, 2.5f));

    s.format = kAudioFormatPcm16;
    Encoder pcm(s);
    pcm.AddInPieces(tone, {100});
    ASSERT_EQ(pcm.Flush(), noErr);
    EXPECT_EQ(pcm.out.Decode(kAudioFormatPcm16, 1), tone);
}

TEST(SoundGathering, YamahaCarriesStateAndDropsThePartialBlock) {
    const auto tone = ToneSignal(300.0, 8000.0, 9000.0, 1000);
    Encoder enc(Settings(kAudioFormatYamaha, 1, 200));
    enc.AddInPieces(tone, {10, 90, 64, 200});
    ASSERT_EQ(enc.Flush(), noErr);
    // 15 blocks of 64 frames; 40 frames are dropped. Chunks close at 256.
    ASSERT_EQ(enc.out.chunks.size(), 4u);
    EXPECT_EQ(enc.out.View(0).frames, 256u);
    EXPECT_EQ(enc.out.View(3).frames, 192u);
    EXPECT_EQ(enc.e.totalFrames, 960u);
    EXPECT_EQ(enc.e.audioChunkCount, 15);

    YamahaAdpcmState state;
    std::vector<uint8_t> expected(480);
    ASSERT_EQ(YamahaAdpcmEncode(std::span(tone).first(960), 1.0f, state, expected), noErr);
    std::vector<uint8_t> got;
    for (size_t i = 0; i < 4; ++i) {
        const auto body = Body(enc.out, i);
        got.insert(got.end(), body.begin(), body.end());
    }
    EXPECT_EQ(got, expected);
    EXPECT_GT(SignalToNoiseDb(tone, enc.out.Decode(kAudioFormatYamaha, 1)), 20.0);
}

TEST(SoundGathering, PcmIsCopiedInChunksOfTheChunkLength) {
    // 16-bit at 8000 Hz with a one-second chunk length.
    const auto noise = NoiseSignal(9, 20000, 2 * 20000);
    Encoder pcm16(Settings(kAudioFormatPcm16, 2, 8000));
    pcm16.AddInPieces(noise, {3000, 7001});
    ASSERT_EQ(pcm16.out.chunks.size(), 2u);
    ASSERT_EQ(pcm16.Flush(), noErr);
    ASSERT_EQ(pcm16.out.chunks.size(), 3u);
    EXPECT_EQ(pcm16.out.View(0).frames, 8000u);
    EXPECT_EQ(pcm16.out.View(1).position, 8000u);
    EXPECT_EQ(pcm16.out.View(2).frames, 4000u);
    EXPECT_EQ(pcm16.out.chunks[0].size(), 16u + 8000u * 4);
    EXPECT_EQ(pcm16.out.Decode(kAudioFormatPcm16, 2), noise);
    EXPECT_EQ(pcm16.e.audioChunkCount, 3);

    // 8-bit mono: the bytes go through untouched; an odd count gets a pad byte.
    std::vector<uint8_t> bytes(1001);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    Encoder pcm8(Settings(kAudioFormatPcm8, 1, 4096));
    ASSERT_EQ(SoundEncoderAdd(pcm8.e, bytes.data(), 1001, 1001, CapturedChunks::Sink, &pcm8.out),
              noErr);
    ASSERT_EQ(pcm8.Flush(), noErr);
    ASSERT_EQ(pcm8.out.chunks.size(), 1u);
    EXPECT_EQ(pcm8.out.chunks[0].size(), 16u + 1001 + 1);
    EXPECT_EQ(pcm8.out.chunks[0][0], 0x03);  // length 1018 = 0x03FA
    EXPECT_EQ(pcm8.out.chunks[0][1], 0xFA);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), pcm8.out.chunks[0].begin() + 16));
    EXPECT_EQ(pcm8.out.chunks[0].back(), 0);
}

TEST(SoundGathering, ChunkHeaderBytes) {
    Encoder enc(Settings(kAudioFormatPcm16, 1, 3));
    const std::vector<int16_t> samples = {0x0102, 0x0304, 0x0506, 0x0708};
    enc.AddInPieces(samples, {4});
    ASSERT_EQ(enc.Flush(), noErr);
    ASSERT_EQ(enc.out.chunks.size(), 2u);
    EXPECT_EQ(enc.out.chunks[0], (std::vector<uint8_t>{0, 22, 'a', 'u', 0, 0, 0, 3, 0, 0, 0,
                                                       0, 0,  0,   0,   0, 2, 1, 4, 3, 6, 5}));
    EXPECT_EQ(enc.out.chunks[1],
              (std::vector<uint8_t>{0, 18, 'a', 'u', 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 8, 7}));
}

TEST(SoundGathering, ShortStreamEndsInExactlyOneChunkForEveryFormat) {
    const uint32_t formats[] = {kAudioFormatAtrac3, kAudioFormatAdpcm4, kAudioFormatPcm8,
                                kAudioFormatAdpcm2, kAudioFormatYamaha, kAudioFormatPcm16};
    for (uint32_t format : formats) {
        Encoder enc(Settings(format));
        ASSERT_EQ(enc.status, noErr) << format;
        // More than one encoder block of any format, less than a chunk.
        const std::vector<uint8_t> input(2 * 1500, 0x11);
        ASSERT_EQ(SoundEncoderAdd(enc.e, input.data(), 3000, 1500, CapturedChunks::Sink, &enc.out),
                  noErr);
        EXPECT_TRUE(enc.out.chunks.empty()) << format;
        ASSERT_EQ(enc.Flush(), noErr);
        EXPECT_EQ(enc.out.chunks.size(), 1u) << format;
        EXPECT_EQ(enc.out.View(0).position, 0u) << format;
    }
}

TEST(SoundGathering, RefusedCallsConsumeNothing) {
    Encoder enc(Settings(kAudioFormatAdpcm4, 2));
    const auto samples = NoiseSignal(1, 1000, 2 * 100);
    ASSERT_EQ(enc.Add(samples, 0, 100), noErr);
    const auto bytes = Pcm16Bytes(samples);
    EXPECT_EQ(SoundEncoderAdd(enc.e, nullptr, 400, 100, CapturedChunks::Sink, &enc.out),
              kStatusParamError);
    EXPECT_EQ(SoundEncoderAdd(enc.e, bytes.data(), 0, 100, CapturedChunks::Sink, &enc.out),
              kStatusParamError);
    EXPECT_EQ(SoundEncoderAdd(enc.e, bytes.data(), 400, 0, CapturedChunks::Sink, &enc.out),
              kStatusParamError);
    // 100 stereo frames need 400 bytes.
    EXPECT_EQ(SoundEncoderAdd(enc.e, bytes.data(), 399, 100, CapturedChunks::Sink, &enc.out),
              kStatusParamError);
    EXPECT_EQ(enc.e.pendingFrames, 100u);
    EXPECT_EQ(enc.e.totalFrames, 0u);
}

TEST(SoundGathering, SinkFailuresAreReturned) {
    Encoder enc(Settings(kAudioFormatAdpcm4, 1, 256));
    enc.out.failWith = kStatusWriteError;
    const auto tone = ToneSignal(440.0, 8000.0, 5000.0, 600);
    EXPECT_EQ(enc.Add(tone, 0, 600), kStatusWriteError);
    Encoder pcm(Settings(kAudioFormatPcm16, 1, 100));
    pcm.out.failWith = kStatusWriteError;
    EXPECT_EQ(pcm.Add(tone, 0, 50), noErr);
    EXPECT_EQ(pcm.Flush(), kStatusWriteError);
}

TEST(SoundPreparation, RefusesWhatTheCodersCannotTake) {
    EXPECT_EQ(Encoder(Settings(625)).status, kStatusParamError);
    EXPECT_EQ(Encoder(Settings(kAudioFormatAdpcm4, 3)).status, kStatusParamError);
    EXPECT_EQ(Encoder(Settings(kAudioFormatAdpcm4, 0)).status, kStatusParamError);
    EXPECT_EQ(Encoder(Settings(kAudioFormatPcm16, 1, 0)).status, kStatusParamError);
    SoundSettings eightBitAdpcm = Settings(kAudioFormatAdpcm4);
    eightBitAdpcm.inputBits = 8;
    EXPECT_EQ(Encoder(eightBitAdpcm).status, kStatusParamError);
    SoundSettings wideMono = Settings(kAudioFormatPcm8);
    wideMono.inputBits = 16;
    EXPECT_EQ(Encoder(wideMono).status, kStatusParamError);
    // 16384 stereo 16-bit frames would not fit one chunk's 16-bit length.
    EXPECT_EQ(Encoder(Settings(kAudioFormatPcm16, 2, 16384)).status, kStatusParamError);
    EXPECT_EQ(Encoder(Settings(kAudioFormatPcm16, 2, 16379)).status, noErr);
}

TEST(SoundPreparation, HugeChunkLengthsDoNotWrapIntoSmallBuffers) {
    for (uint32_t format : {kAudioFormatAtrac3, kAudioFormatAdpcm4, kAudioFormatPcm8,
                            kAudioFormatAdpcm2, kAudioFormatYamaha, kAudioFormatPcm16}) {
        for (uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0xFFFFFF01u}) {
            EXPECT_EQ(Encoder(Settings(format, 2 - (format == kAudioFormatPcm8), length)).status,
                      kStatusParamError)
                << format << " " << length;
        }
    }
}

// ---- ATRAC3, through a stand-in for the encoder library ----------------

TEST(SoundAtrac3, ChunkFollowsTheEighthBlock) {
    SoundSettings s = Settings(kAudioFormatAtrac3, 2);
    s.channelMode = 0;
    Encoder enc(s);
    ASSERT_EQ(enc.status, noErr);
    EXPECT_EQ(enc.e.channelMode, kAtrac3JointStereo);  // mode 0 over stereo input
    const auto tone = ToneSignal(1000.0, 44100.0, 8000.0, 2 * 9000);
    enc.AddInPieces(tone, {7350});
    ASSERT_EQ(enc.out.chunks.size(), 1u);
    EXPECT_EQ(enc.out.View(0).frames, 8192u);
    ASSERT_EQ(FakeAtrac3::calls.size(), 8u);
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(FakeAtrac3::calls[i].blocksBefore, i);
        EXPECT_EQ(FakeAtrac3::calls[i].sampleCount, 2048);
        EXPECT_EQ(FakeAtrac3::calls[i].outputChannels, 2);
    }
    // The chunk holds the eight frames in order.
    const auto body = Body(enc.out, 0);
    ASSERT_EQ(body.size(), 8u * 96);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(body[i * 96], i);
    // The second block is frames 1024..2047 as given.
    EXPECT_TRUE(std::equal(FakeAtrac3::calls[1].pcm.begin(), FakeAtrac3::calls[1].pcm.end(),
                           tone.begin() + 2048));

    ASSERT_EQ(enc.Flush(), noErr);
    ASSERT_EQ(enc.out.chunks.size(), 2u);
    EXPECT_EQ(enc.out.View(1).frames, 1024u);  // 808 frames and silence
    EXPECT_EQ(enc.out.View(1).position, 8192u);
    const auto& last = FakeAtrac3::calls.back().pcm;
    EXPECT_EQ(last[2 * 808], 0);
    EXPECT_EQ(last[2 * 807 + 1], tone[2 * (8192 + 807) + 1]);
}

TEST(SoundAtrac3, StereoInputWithModeOneIsMixedDown) {
    SoundSettings s = Settings(kAudioFormatAtrac3, 2);
    s.channelMode = kAtrac3Mono;
    s.gain = 1.5f;
    Encoder enc(s);
    ASSERT_EQ(enc.status, noErr);
    EXPECT_EQ(enc.e.outputChannels, 1);
    EXPECT_EQ(enc.e.channelMode, kAtrac3Mono);
    EXPECT_EQ(FakeAtrac3::openedMode, kAtrac3Mono);
    std::vector<int16_t> stereo(2 * 1024);
    for (size_t i = 0; i < 1024; ++i) {
        stereo[2 * i] = static_cast<int16_t>(i % 2 ? -3 : 30000);
        stereo[2 * i + 1] = static_cast<int16_t>(i % 2 ? 0 : 20000);
    }
    enc.AddInPieces(stereo, {1024});
    ASSERT_EQ(FakeAtrac3::calls.size(), 1u);
    const auto& call = FakeAtrac3::calls[0];
    EXPECT_EQ(call.sampleCount, 1024);
    EXPECT_EQ(call.outputChannels, 1);
    EXPECT_EQ(call.pcm[0], 32767);  // (30000 + 20000) / 2 x 1.5, clamped
    EXPECT_EQ(call.pcm[1], -1);     // -3 / 2 truncates to -1; x 1.5 truncates to -1
}

TEST(SoundAtrac3, ModesAndBitRateFloors) {
    struct Case {
        uint16_t channels, mode;
        uint32_t rate;
        uint16_t wantMode;
        uint32_t wantRate;
        int32_t wantCode;
    };
    const Case cases[] =
        {
            {2, 18, 11750, 18, 33000, 33},  // 12000 was settled to 11750 before
            {2, 2, 16500, 2, 23500, 24},   {2, 2, 47000, 2, 47000, 47},
            {2, 0, 11750, 18, 33000, 33},  {1, 0, 11750, 1, 11750, 12},
            {1, 18, 16500, 1, 16500, 16},  // one channel is always mode 1
            {2, 1, 66000, 1, 66000, 66},
        };
    for (const auto& c : cases) {
        SoundSettings s = Settings(kAudioFormatAtrac3, c.channels);
        s.channelMode = c.mode;
        s.bitRate = c.rate;
        Encoder enc(s);
        ASSERT_EQ(enc.status, noErr);
        EXPECT_EQ(enc.e.channelMode, c.wantMode) << c.mode;
        EXPECT_EQ(enc.e.bitRate, c.wantRate) << c.mode;
        EXPECT_EQ(FakeAtrac3::openedCode, c.wantCode) << c.mode;
    }
}

TEST(SoundAtrac3, RefusalsAndEncoderFailures) {
    // Unsupported combination: -3 from open becomes -50.
    SoundSettings s = Settings(kAudioFormatAtrac3);
    FakeAtrac3::Reset();
    {
        SoundEncoder e;
        e.atrac3 = &FakeAtrac3::kEntryPoints;
        FakeAtrac3::openStatus = kStatusEncoderUnsupported;
        EXPECT_EQ(SoundEncoderPrepare(e, s), kStatusParamError);
        SoundEncoderRelease(e);
        EXPECT_EQ(FakeAtrac3::closeCount, 1);  // the state existed
    }
    // The library itself refuses a channel mode that does not exist.
    SoundSettings badMode = Settings(kAudioFormatAtrac3, 2);
    badMode.channelMode = 5;
    EXPECT_EQ(Encoder(badMode, &kAtrac3Library).status, kStatusParamError);

    // A failing encode ends the call with 0 and drops the rest of the input.
    Encoder enc(s);
    FakeAtrac3::failFromCall = 2;
    const auto tone = ToneSignal(1000.0, 44100.0, 8000.0, 5000);
    EXPECT_EQ(enc.Add(tone, 0, 5000), noErr);
    EXPECT_EQ(FakeAtrac3::calls.size(), 3u);
    EXPECT_EQ(enc.e.totalFrames, 2048u);
    EXPECT_EQ(enc.e.pendingFrames, 0u);
    // An encoder claiming more bytes than its output buffer holds counts as failed.
    FakeAtrac3::failFromCall = -1;
    FakeAtrac3::frameBytes = 513;
    EXPECT_EQ(enc.Add(tone, 0, 1024), noErr);
    EXPECT_EQ(enc.e.totalFrames, 2048u);
}

}  // namespace
