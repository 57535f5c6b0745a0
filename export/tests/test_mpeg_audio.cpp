// The own MPEG-1 system stream reader: the demultiplexer and the Layer I/II
// decoder against FFmpeg's mp2 decoder on streams made by two encoders, and
// the ways a damaged or odd stream is taken.
#include <gtest/gtest.h>

#include <cstdio>

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
    // The fixed-point decoder rounds its own way: within a bit or so.
    const double fixedSnr = Snr(FfmpegDecode(path, "mp2"), ours.pcm, 0);
    EXPECT_GE(fixedSnr, 80.0);
    std::printf("%-24s %5d Hz %d ch %3d kbit/s: %d frames, offset %ld, SNR %.1f dB "
                "(fixed-point decoder %.1f dB)\n",
                c.name, c.rate, c.channels, c.kbps, ours.frames, offset, snr, fixedSnr);
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
