// The own MPEG-1 system stream reader: the demultiplexer and the Layer I/II
// decoder against FFmpeg's mp2 decoder on streams made by two encoders, and
// the ways a damaged or odd stream is taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "export/mpeg_audio.h"
#include "export/tests/support/mpeg_streams.h"
#include "platform/tests/support/corpus.h"
#include "resources/resources.h"

namespace {

struct StreamCase {
    const char* name;
    int rate, channels, kbps;
    char twolameMode;  // 0: made by FFmpeg
    bool crc;
};

class LayerTwo : public ::testing::TestWithParam<StreamCase> {};

// Whole files decode as FFmpeg decodes them, with no offset between the two.
TEST_P(LayerTwo, MatchesFfmpegOnWholeFiles) {
    const StreamCase& c = GetParam();
    const std::string path =
        c.twolameMode ? MakeTwolameStream(c.name, c.rate, c.channels, c.kbps, c.twolameMode, c.crc)
                      : MakeStream(c.name, c.rate, c.channels, c.kbps);
    const Decoded ours = OurDecode(ReadWholeFile(path));
    ASSERT_EQ(ours.end, kStatusEndOfData);
    EXPECT_EQ(ours.channels, c.channels);
    EXPECT_EQ(ours.rate, c.rate);
    const std::vector<int16_t> ref = FfmpegDecode(path);
    ASSERT_FALSE(ref.empty());
    EXPECT_EQ(ours.pcm.size(), ref.size());
    const long offset = BestOffset(ref, ours.pcm, c.channels);
    EXPECT_EQ(offset, 0);  // both decoders start with the same synthesis delay
    const double snr = Snr(ref, ours.pcm, 0);
    EXPECT_GE(snr, 90.0);
    std::printf("%-24s %5d Hz %d ch %3d kbit/s: %d frames, offset %ld, SNR %.1f dB\n", c.name,
                c.rate, c.channels, c.kbps, ours.frames, offset, snr);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LayerTwo,
    ::testing::Values(StreamCase{"mono32k64.mpg", 32000, 1, 64, 0, false},
                      StreamCase{"mono48k64.mpg", 48000, 1, 64, 0, false},
                      StreamCase{"stereo32k64.mpg", 32000, 2, 64, 0, false},
                      StreamCase{"stereo44k96.mpg", 44100, 2, 96, 0, false},
                      StreamCase{"stereo44k128.mpg", 44100, 2, 128, 0, false},
                      StreamCase{"stereo44k256.mpg", 44100, 2, 256, 0, false},
                      StreamCase{"stereo48k192.mpg", 48000, 2, 192, 0, false},
                      StreamCase{"stereo48k384.mpg", 48000, 2, 384, 0, false},
                      StreamCase{"tl_joint48k192crc.mpg", 48000, 2, 192, 'j', true},
                      StreamCase{"tl_joint44k128.mpg", 44100, 2, 128, 'j', false},
                      StreamCase{"tl_stereo32k384crc.mpg", 32000, 2, 384, 's', true},
                      StreamCase{"tl_mono44k64crc.mpg", 44100, 1, 64, 'm', true}),
    [](const auto& info) {
        std::string n = info.param.name;
        return n.substr(0, n.find('.'));
    });

}  // namespace

namespace {

std::vector<uint8_t> Junk(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> j(n);
    for (auto& b : j) b = uint8_t(rng());
    // Start codes a walk must not be fooled by: a pack start over junk, an
    // audio packet before any pack.
    const uint8_t codes[] = {0, 0, 1, 0xBA, 0x55, 0, 0, 1, 0xC0, 0x01, 0x00};
    std::copy(std::begin(codes), std::end(codes), j.begin() + long(n / 3));
    return j;
}

TEST(MpegDemux, GarbageBeforeTheFirstPackIsSkipped) {
    const std::vector<uint8_t> clean = ReadWholeFile(MakeStream("clean.mpg", 44100, 2, 128));
    std::vector<uint8_t> dirty = Junk(5000, 7);
    dirty.insert(dirty.end(), clean.begin(), clean.end());
    const Decoded a = OurDecode(clean), b = OurDecode(dirty);
    ASSERT_GT(a.frames, 30);
    EXPECT_EQ(b.frames, a.frames);
    EXPECT_EQ(b.pcm, a.pcm);
}

// Junk between frames is passed over one byte at a time: the frames on
// either side all decode, as they do without it.
TEST(MpegDemux, JunkBetweenFramesIsSkippedByteByByte) {
    const std::vector<uint8_t> raw = MakeRawMp2("junk.mp2", 48000, 2, 192);
    const size_t frame = 576;  // 192 kbit/s at 48 kHz, no padding
    ASSERT_GT(raw.size(), 10 * frame);
    std::vector<uint8_t> withJunk(raw.begin(), raw.begin() + long(3 * frame));
    const std::vector<uint8_t> junk(37, 0x55);
    withJunk.insert(withJunk.end(), junk.begin(), junk.end());
    withJunk.insert(withJunk.end(), raw.begin() + long(3 * frame), raw.end());
    const Decoded a = OurDecode(MuxAudio(raw)), b = OurDecode(MuxAudio(withJunk));
    EXPECT_EQ(a.frames, int(raw.size() / frame));
    EXPECT_EQ(b.frames, a.frames);
    EXPECT_EQ(b.pcm, a.pcm);
}

TEST(MpegDemux, ASecondAudioStreamIsDropped) {
    const std::string path = ScratchPath("two_audio.mpg");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -y -v error " + MpegTestSource(44100, 2) +
                         " -f lavfi -i testsrc=size=64x48:rate=25:d=1 -f lavfi -i "
                         "sine=frequency=1000:sample_rate=48000:d=1 -map 1:v -map 0:a -map 2:a "
                         "-c:v mpeg1video -c:a mp2 -b:a 128k -f mpeg " +
                         Quoted(path)),
              0);
    const Decoded ours = OurDecode(ReadWholeFile(path));
    EXPECT_EQ(ours.rate, 44100);
    EXPECT_EQ(ours.channels, 2);
    EXPECT_GT(ours.droppedPackets, 0);
    EXPECT_GE(Snr(FfmpegDecode(path), ours.pcm), 90.0);
}

TEST(MpegDemux, ATruncatedFileGivesTheFramesBeforeTheCut) {
    const std::vector<uint8_t> whole = ReadWholeFile(MakeStream("cut.mpg", 32000, 1, 64));
    const Decoded full = OurDecode(whole);
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(whole.size() * 6 / 10));
    const Decoded part = OurDecode(cut);
    EXPECT_EQ(part.end, kStatusEndOfData);
    ASSERT_GT(part.frames, 0);
    ASSERT_LT(part.frames, full.frames);
    EXPECT_TRUE(std::equal(part.pcm.begin(), part.pcm.end(), full.pcm.begin()));
}

// Packets are taken only after a system header; packs that differ in theirs
// are reported but the walk goes on.
TEST(MpegDemux, PacketsNeedASystemHeader) {
    const std::vector<uint8_t> raw = MakeRawMp2("nosys.mp2", 44100, 1, 64);
    EXPECT_EQ(OurDecode(MuxAudio(raw, 0xC0, 2000, false)).end, kStatusEndOfData);
    EXPECT_EQ(OurDecode(MuxAudio(raw, 0xC0, 2000, false)).frames, 0);

    std::vector<uint8_t> file = MuxAudio(raw, 0xC3, 1500);
    MpegDemuxer demux = MemoryDemuxer(file);
    demux.start();
    MpegPacket p;
    ASSERT_EQ(demux.nextPacket(&p), noErr);
    EXPECT_EQ(p.streamID, 0xC3);
    EXPECT_EQ(p.payloadLength, 1500);
    EXPECT_EQ(demux.packsSeen(), 1);
    EXPECT_EQ(demux.systemHeadersSeen(), 1);
    int packets = 1;
    OSStatus err;
    while ((err = demux.nextPacket(&p)) == noErr) ++packets;
    EXPECT_EQ(err, kMpegEndCode);
    EXPECT_EQ(packets, int((raw.size() + 1499) / 1500));
    // A second pack whose system header differs.
    std::vector<uint8_t> twice = MuxAudio(raw, 0xC0, 4000);
    std::vector<uint8_t> other = MuxAudio(raw, 0xC1, 4000);
    twice.resize(twice.size() - 4);  // no end code between them
    twice.insert(twice.end(), other.begin(), other.end());
    MpegDemuxer d2 = MemoryDemuxer(twice);
    d2.start();
    bool changed = false;
    while ((err = d2.nextPacket(&p)) != kStatusEndOfData && err != kMpegEndCode)
        changed |= err == kMpegParseError + kMpegSystemHeaderChanged;
    EXPECT_TRUE(changed);
}

TEST(MpegDecoder, AFailedWorkingAllocationFreesTheOthersAndGivesOutOfMemory) {
    for (int i = 0; i < 7; ++i) {
        MpegAudioDecoderFailAllocationForTesting(i);
        std::unique_ptr<MpegAudioDecoder> d;
        EXPECT_EQ(MpegAudioDecoder::create(moviepackerResources(), &d), kStatusOutOfMemory);
        EXPECT_EQ(d, nullptr);
    }
    MpegAudioDecoderFailAllocationForTesting(-1);
    std::unique_ptr<MpegAudioDecoder> d;
    EXPECT_EQ(MpegAudioDecoder::create(moviepackerResources(), &d), noErr);
}

class BitWriter {
  public:
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (m_bit == 0) m_bytes.push_back(0);
            m_bytes.back() |= uint8_t(((v >> i) & 1) << (7 - m_bit));
            m_bit = (m_bit + 1) & 7;
        }
    }
    std::vector<uint8_t> m_bytes;

  private:
    int m_bit = 0;
};

// No encoder at hand writes Layer I, so the frames are made up: random
// allocations, scale factors and samples, each frame a valid bit stream.
std::vector<uint8_t> RandomLayerOne(int frames, int mode, int extension, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    const size_t size = 12 * 384000 / 44100 * 4;
    for (int f = 0; f < frames; ++f) {
        BitWriter w;
        w.put(0x1FFF, 13);  // sync and MPEG-1
        w.put(3, 2);        // Layer I
        w.put(1, 1);        // no CRC
        w.put(12, 4);       // 384 kbit/s
        w.put(0, 4);        // 44.1 kHz, no padding, private 0
        w.put(uint32_t(mode), 2);
        w.put(uint32_t(extension), 2);
        w.put(0, 4);
        const int channels = mode == 3 ? 1 : 2;
        const int bound = mode == 1 ? (extension + 1) * 4 : 32;
        int alloc[2][32] = {};
        for (int sb = 0; sb < 32; ++sb)
            for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
                const int a = sb < 14 ? int(rng() % 7) : 0;
                w.put(uint32_t(a), 4);
                alloc[ch][sb] = a;
                if (sb >= bound) alloc[1][sb] = a;
            }
        for (int sb = 0; sb < 32; ++sb)
            for (int ch = 0; ch < channels; ++ch)
                if (alloc[ch][sb]) w.put(8 + rng() % 20, 6);
        for (int s = 0; s < 12; ++s)
            for (int sb = 0; sb < 32; ++sb)
                for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch)
                    if (const int nb = alloc[ch][sb] + 1; alloc[ch][sb])
                        w.put(rng() % ((1u << nb) - 1), nb);
        EXPECT_LE(w.m_bytes.size(), size);
        w.m_bytes.resize(size);
        out.insert(out.end(), w.m_bytes.begin(), w.m_bytes.end());
    }
    return out;
}

TEST(MpegDecoder, LayerOneMatchesFfmpeg) {
    for (const auto& [mode, ext] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{3, 0}}) {
        const std::vector<uint8_t> raw = RandomLayerOne(30, mode, ext, uint32_t(mode * 4 + ext));
        const std::string path = ScratchPath("layer1_" + std::to_string(mode) + ".mp1");
        WriteWholeFile(path, raw);
        std::vector<int16_t> ref;
        FILE* p = popen(
            ("ffmpeg -nostdin -v error -c:a mp1float -f mp3 -i " + Quoted(path) + " -f s16le -")
                .c_str(),
            "r");
        ASSERT_NE(p, nullptr);
        int16_t buf[4096];
        size_t n;
        while ((n = fread(buf, 2, 4096, p)) > 0) ref.insert(ref.end(), buf, buf + n);
        pclose(p);
        const Decoded ours = OurDecode(MuxAudio(raw));
        EXPECT_EQ(ours.layer, 1);
        EXPECT_EQ(ours.frames, 30);
        EXPECT_EQ(ours.pcm.size(), ref.size());
        const double snr = Snr(ref, ours.pcm);
        EXPECT_GE(snr, 90.0) << "mode " << mode;
        std::printf("Layer I, mode %d: SNR %.1f dB\n", mode, snr);
    }
}

uint32_t HeaderWord(int versionBits, int layerBits, int bitRate, int rate, bool pad, int mode) {
    return 0xFFE00000u | uint32_t(versionBits) << 19 | uint32_t(layerBits) << 17 | 1u << 16 |
           uint32_t(bitRate) << 12 | uint32_t(rate) << 10 | uint32_t(pad) << 9 |
           uint32_t(mode) << 6;
}

// Frame sizes by layer and version: Layer I counts 4-byte slots of 384
// samples, Layer II has 1152 samples at every rate, Layer III 576 at the low
// rates; a header outside the tables is no header.
TEST(MpegHeader, FramesAreSizedByLayerAndVersion) {
    struct Case {
        uint32_t word;
        int samples, bytes, channels;
    } cases[] = {
        {HeaderWord(3, 2, 10, 1, false, 0), 1152, 576, 2},  // MPEG-1 II 192k 48k
        {HeaderWord(3, 3, 12, 0, true, 3), 384, 420, 1},    // MPEG-1 I 384k 44.1k, padded
        {HeaderWord(2, 2, 14, 1, false, 1), 1152, 960, 2},  // MPEG-2 II 160k 24k
        {HeaderWord(2, 1, 8, 0, false, 0), 576, 208, 2},    // MPEG-2 III 64k 22.05k
        {HeaderWord(0, 1, 8, 2, true, 0), 576, 577, 2},     // MPEG-2.5 III 64k 8k, padded
    };
    for (const Case& c : cases) {
        MpegFrameHeader h;
        ASSERT_TRUE(ParseMpegFrameHeader(c.word, TestRateTables(), &h)) << std::hex << c.word;
        EXPECT_EQ(h.samplesPerFrame, c.samples) << std::hex << c.word;
        EXPECT_EQ(h.frameBytes, c.bytes) << std::hex << c.word;
        EXPECT_EQ(h.channels, c.channels) << std::hex << c.word;
    }
    const uint32_t bad[] = {
        HeaderWord(3, 2, 15, 1, false, 0), HeaderWord(3, 2, 0, 1, false, 0),
        HeaderWord(3, 2, 10, 3, false, 0), HeaderWord(1, 2, 10, 1, false, 0),
        HeaderWord(3, 0, 10, 1, false, 0), HeaderWord(3, 2, 10, 1, false, 0) & ~(1u << 25)};
    for (uint32_t w : bad)
        EXPECT_FALSE(ParseMpegFrameHeader(w, TestRateTables(), nullptr)) << std::hex << w;
}

}  // namespace
