// Sound through the movie writer: the set-up settled at start, the "ah" and
// "ax" chunks it leads to, and the "au" chunks in the spool file.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "atrac3/atrac3.h"
#include "engine/movie_writer.h"
#include "engine/pcm.h"
#include "engine/sound_decoder.h"
#include "engine/spool_file.h"
#include "engine/tests/support/fake_atrac3.h"
#include "engine/tests/support/sound_signals.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

struct Writer {
    Writer(uint32_t format, uint16_t channels, uint32_t rate, uint16_t bits = 16) {
        FakeAtrac3::Reset();
        EXPECT_EQ(MovieWriterCreate(&w), noErr);
        MovieWriterSetName(w, "sound test");
        const uint8_t wave[16] = {1,
                                  0,
                                  static_cast<uint8_t>(channels),
                                  0,
                                  static_cast<uint8_t>(rate),
                                  static_cast<uint8_t>(rate >> 8),
                                  static_cast<uint8_t>(rate >> 16),
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  static_cast<uint8_t>(channels * bits / 8),
                                  0,
                                  static_cast<uint8_t>(bits),
                                  0};
        EXPECT_EQ(MovieWriterSetSoundInput(w, kSoundInputWaveFormat, wave, 16), noErr);
        EXPECT_EQ(MovieWriterSetAudioFormat(w, format), noErr);
    }
    ~Writer() { MovieWriterDispose(w); }

    OSStatus Add(const std::vector<int16_t>& samples, uint32_t frames) {
        const auto bytes = Pcm16Bytes(samples);
        return MovieWriterAddSound(w, bytes.data(), static_cast<uint32_t>(bytes.size()), frames);
    }
    std::vector<uint8_t> Header(int32_t offset, size_t count) const {
        const uint8_t* data = BlockData(w->header) + offset;
        return {data, data + count};
    }
    std::vector<SampleIndexEntry> SoundIndex() const {
        const SampleIndexEntry* e = writerIndexEntries(w->soundIndex);
        return {e, e + writerIndexCount(w->soundIndex)};
    }
    std::vector<uint8_t> SpoolBytes(const SampleIndexEntry& entry) {
        std::vector<uint8_t> out(entry.chunkLength);
        EXPECT_EQ(SpoolRead(w, out.data(), entry.chunkLength, entry.spoolOffset), noErr);
        return out;
    }

    MovieWriter* w = nullptr;
};

TEST(WriterSound, StereoAtrac3WithModeOneIsWrittenAsMono) {
    Writer p(kAudioFormatAtrac3, 2, 44100);
    p.w->sound.atrac3 = &FakeAtrac3::kEntryPoints;
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropChannelMode, 1), noErr);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    // "ah": format, output channels 1, rate, preload; "ax": mode 1, code 66.
    EXPECT_EQ(p.Header(p.w->audioHeaderOffset, 26),
              (std::vector<uint8_t>{0,    18, 'a', 'h',  0,    0, 2, 0x70, 0,   1, 0, 0, 0xAC,
                                    0x44, 0,  1,   0x58, 0x88, 0, 8, 'a',  'x', 0, 1, 0, 66}));
    EXPECT_EQ(FakeAtrac3::openedMode, kAtrac3Mono);

    const auto tone = ToneSignal(1000.0, 44100.0, 9000.0, 2 * 1024);
    ASSERT_EQ(p.Add(tone, 1024), noErr);
    ASSERT_EQ(FakeAtrac3::calls.size(), 1u);
    EXPECT_EQ(FakeAtrac3::calls[0].outputChannels, 1);
}

TEST(WriterSound, JointStereoRaisesTheLowestRate) {
    Writer p(kAudioFormatAtrac3, 2, 44100);
    p.w->sound.atrac3 = &FakeAtrac3::kEntryPoints;
    MovieWriterSetProperty(p.w, kPropAudioBitRate, 12000);
    MovieWriterSetProperty(p.w, kPropChannelMode, 18);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    EXPECT_EQ(p.w->audioBitRate, 33000u);
    EXPECT_EQ(FakeAtrac3::openedCode, 33);
    EXPECT_EQ(p.Header(p.w->audioHeaderOffset + 18, 8),
              (std::vector<uint8_t>{0, 8, 'a', 'x', 0, 18, 0, 33}));
    EXPECT_EQ(p.Header(p.w->audioHeaderOffset + 8, 2), (std::vector<uint8_t>{0, 2}));
}

TEST(WriterSound, Atrac3RefusedByTheLibraryFailsTheStart) {
    Writer p(kAudioFormatAtrac3, 2, 44100);
    // No channel mode 5 exists, so the library refuses it.
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropChannelMode, 5), noErr);
    EXPECT_EQ(MovieWriterStart(p.w), kStatusParamError);
    const auto tone = ToneSignal(1000.0, 44100.0, 9000.0, 2 * 1024);
    EXPECT_EQ(p.Add(tone, 1024), kStatusParamError);
}

TEST(WriterSound, RealAtrac3EncoderFillsChunks) {
    uint8_t probe[kAtrac3StateSize] = {};
    const int32_t supported = Atrac3Open(66, kAtrac3JointStereo, probe);
    Atrac3Close(probe);
    if (supported != 0) GTEST_SKIP() << "the ATRAC3 library refuses every combination";

    Writer p(kAudioFormatAtrac3, 2, 44100);
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropChannelMode, kAtrac3JointStereo), noErr);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    const auto tone = ToneSignal(1000.0, 44100.0, 9000.0, 9000);
    ASSERT_EQ(p.Add(Interleave(tone, tone), 9000), noErr);
    const uint32_t frameBytes = static_cast<uint32_t>(Atrac3FrameBytes(66));
    auto index = p.SoundIndex();
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].duration, 8192u);
    EXPECT_EQ(index[0].chunkLength, (16 + 8 * frameBytes + 1) & ~1u);
    MovieWriterFinish(p.w);
    index = p.SoundIndex();
    ASSERT_EQ(index.size(), 2u);
    EXPECT_EQ(index[1].duration, 1024u);
    EXPECT_EQ(p.w->audioChunkCount, 9);
}

TEST(WriterSound, AddSoundRefusesBeforeStart) {
    Writer p(kAudioFormatAdpcm4, 1, 22050);
    const auto tone = ToneSignal(1000.0, 22050.0, 9000.0, 300);
    EXPECT_EQ(p.Add(tone, 300), kStatusParamError);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    EXPECT_EQ(MovieWriterAddSound(p.w, nullptr, 600, 300), kStatusParamError);
    EXPECT_EQ(p.w->sound.pendingFrames, 0u);
}

TEST(WriterSound, PaddingCountsInTheSoundDuration) {
    Writer p(kAudioFormatAdpcm4, 1, 22050);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    // 86 whole blocks and 84 frames; padded, 87 blocks = 22272 frames = 1.0100 s.
    const auto tone = ToneSignal(1000.0, 22050.0, 9000.0, 22100);
    ASSERT_EQ(p.Add(tone, 22100), noErr);
    EXPECT_EQ(p.w->totalSampleFrames, 22016u);
    ASSERT_EQ(MovieWriterFinish(p.w), noErr);
    EXPECT_EQ(p.w->totalSampleFrames, 22272u);
    EXPECT_EQ(p.w->audioChunkCount, 87);
    // 7350-frame chunks close after 29 blocks: three chunks of 29 x 130 bytes.
    const auto index = p.SoundIndex();
    ASSERT_EQ(index.size(), 3u);
    SoundDecoder decoder{kAudioFormatAdpcm4, 1, {}};
    std::vector<int16_t> decoded;
    for (const auto& entry : index) {
        EXPECT_EQ(entry.duration, 7424u);
        EXPECT_EQ(entry.flags, 0u);
        EXPECT_EQ(entry.chunkLength, 16u + 29 * 130);
        SoundChunkView view;
        const auto chunk = p.SpoolBytes(entry);
        ASSERT_EQ(ParseSoundChunk(chunk, view), noErr);
        EXPECT_EQ(view.position, decoded.size());
        std::vector<int16_t> part(view.frames);
        ASSERT_EQ(SoundDecodeChunk(decoder, view.body, view.frames, part), noErr);
        decoded.insert(decoded.end(), part.begin(), part.end());
    }
    EXPECT_GT(SignalToNoiseDb(tone, decoded), 25.0);

    // "sx" in the finished image: stream "au", 32-bit 0, duration in hundredths.
    uint32_t size = 0;
    ASSERT_EQ(MovieWriterGetSize(p.w, &size), noErr);
    std::vector<uint8_t> image(size);
    ASSERT_EQ(MovieWriterRead(p.w, image.data(), 0, size), noErr);
    const std::vector<uint8_t> sx = {0, 14, 's', 'x', 'a', 'u', 0, 0, 0, 0};
    const auto at = std::search(image.begin(), image.end(), sx.begin(), sx.end());
    ASSERT_NE(at, image.end());
    EXPECT_EQ(std::vector<uint8_t>(at + 10, at + 14), (std::vector<uint8_t>{0, 0, 0, 101}));
}

TEST(WriterSound, PcmAt8000HzMakesOneSecondChunks) {
    Writer p(kAudioFormatPcm16, 1, 8000);
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropAudioChunkLength, 8000), noErr);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    const auto noise = NoiseSignal(4, 10000, 20000);
    ASSERT_EQ(p.Add(noise, 20000), noErr);
    MovieWriterFinish(p.w);
    const auto index = p.SoundIndex();
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].duration, 8000u);
    EXPECT_EQ(index[1].duration, 8000u);
    EXPECT_EQ(index[2].duration, 4000u);
    EXPECT_EQ(index[1].spoolOffset, index[0].chunkLength);
    const auto chunk = p.SpoolBytes(index[1]);
    SoundChunkView view;
    ASSERT_EQ(ParseSoundChunk(chunk, view), noErr);
    EXPECT_EQ(view.position, 8000u);
    EXPECT_TRUE(std::equal(view.body.begin(), view.body.end(),
                           Pcm16Bytes({noise.begin() + 8000, noise.begin() + 16000}).begin()));
}

TEST(WriterSound, SpoolWriteErrorsAreReturned) {
    Writer p(kAudioFormatYamaha, 1, 8000);
    ASSERT_EQ(MovieWriterSetProperty(p.w, kPropAudioChunkLength, 64), noErr);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    const int handle = p.w->spoolHandle;
    p.w->spoolHandle = -1;  // every append now fails
    const auto tone = ToneSignal(440.0, 8000.0, 9000.0, 100);
    EXPECT_EQ(p.Add(tone, 100), kStatusWriteError);
    p.w->spoolHandle = handle;
}

}  // namespace
