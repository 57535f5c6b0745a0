// Configuration operations: defaults, range checks, property keys, states.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/movie_writer.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

struct WriterPtr {
    WriterPtr() { EXPECT_EQ(MovieWriterCreate(&w), noErr); }
    ~WriterPtr() { MovieWriterDispose(w); }
    MovieWriter* w = nullptr;
};

TEST(WriterConfig, Defaults) {
    WriterPtr p;
    const MovieWriter& w = *p.w;
    EXPECT_EQ(w.signature, 0x716D706Du);
    EXPECT_EQ(w.state, kWriterConfiguring);
    EXPECT_FALSE(w.name.has_value());
    EXPECT_FLOAT_EQ(w.ditherSpread, 0.5f);
    EXPECT_EQ(w.keyFrameInterval, 12);
    EXPECT_EQ(w.videoDataRate, 40000);
    EXPECT_EQ(w.videoMode, 0);
    EXPECT_EQ(w.audioInterleaveStep, 100u);
    EXPECT_EQ(w.audioInterleaveScale, 44100u);
    EXPECT_EQ(w.audioChunkLength, 7350u);
    EXPECT_EQ(w.waveFormatTag, 1);
    EXPECT_EQ(w.sampleRate, 44100u);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bitsPerSample, 16);
    EXPECT_EQ(w.audioPreload, 88200u);
    EXPECT_EQ(w.audioFormat, 0u);
    EXPECT_EQ(w.audioBitRate, 66000u);
    EXPECT_EQ(w.channelMode, 1);
    EXPECT_EQ(w.videoTimeScale, 1000u);
    EXPECT_FLOAT_EQ(w.soundGain, 1.0f);
}

TEST(WriterConfig, SettersCheckTheirRanges) {
    WriterPtr p;
    MovieWriter* w = p.w;
    EXPECT_EQ(MovieWriterCreate(nullptr), kStatusParamError);
    EXPECT_EQ(MovieWriterDispose(nullptr), kStatusParamError);
    EXPECT_EQ(MovieWriterSetName(w, nullptr), kStatusParamError);
    for (int32_t mode : {0, 9, -1}) EXPECT_EQ(MovieWriterSetVideoMode(w, mode), kStatusParamError);
    for (int32_t mode = 1; mode <= 8; ++mode) EXPECT_EQ(MovieWriterSetVideoMode(w, mode), noErr);
    for (uint32_t f : {0u, 623u, 625u, 631u})
        EXPECT_EQ(MovieWriterSetAudioFormat(w, f), kStatusParamError);
    for (uint32_t f : {624u, 626u, 627u, 628u, 629u, 630u})
        EXPECT_EQ(MovieWriterSetAudioFormat(w, f), noErr);
    EXPECT_EQ(MovieWriterSetInfoString(w, 0, "x"), kStatusParamError);
    EXPECT_EQ(MovieWriterSetInfoString(w, 4, "x"), kStatusParamError);
}

TEST(WriterConfig, FrameSizeRoundsUpToMultiplesOfFour) {
    WriterPtr p;
    ASSERT_EQ(MovieWriterSetFrameSize(p.w, 161, 121), noErr);
    EXPECT_EQ(p.w->encodedWidth, 164);
    EXPECT_EQ(p.w->encodedHeight, 124);
    EXPECT_EQ(p.w->sourceWidth, 161);
    EXPECT_EQ(p.w->sourceHeight, 121);
    ASSERT_EQ(MovieWriterSetFrameSize(p.w, 160, 1), noErr);
    EXPECT_EQ(p.w->encodedWidth, 160);
    EXPECT_EQ(p.w->encodedHeight, 4);
}

TEST(WriterConfig, InfoStringsIgnoreBlanks) {
    WriterPtr p;
    EXPECT_EQ(MovieWriterSetInfoString(p.w, kMovieInfoInformation, "   "), noErr);
    EXPECT_EQ(MovieWriterSetInfoString(p.w, kMovieInfoTitle, ""), noErr);
    EXPECT_TRUE(p.w->information.empty());
    EXPECT_TRUE(p.w->title.empty());
    EXPECT_EQ(MovieWriterSetInfoString(p.w, kMovieInfoRights, " (c) "), noErr);
    EXPECT_EQ(p.w->rights, " (c) ");
}

TEST(WriterConfig, SoundInputTakesThePcmRecord) {
    WriterPtr p;
    // tag 1, 2 channels, 22050 Hz, 88200 B/s, align 4, 16 bits; little-endian.
    const uint8_t wave[16] = {1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 1, 0, 4, 0, 16, 0};
    EXPECT_EQ(MovieWriterSetSoundInput(p.w, 2, wave, 16), kStatusParamError);
    EXPECT_EQ(MovieWriterSetSoundInput(p.w, 1, wave, 18), kStatusParamError);
    EXPECT_EQ(MovieWriterSetSoundInput(p.w, 1, nullptr, 16), kStatusParamError);
    ASSERT_EQ(MovieWriterSetSoundInput(p.w, 1, wave, 16), noErr);
    EXPECT_EQ(p.w->channels, 2);
    EXPECT_EQ(p.w->sampleRate, 22050u);
    EXPECT_EQ(p.w->bitsPerSample, 16);
    EXPECT_EQ(p.w->waveFormatTag, 1);
    const uint8_t noRate[16] = {1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0};
    EXPECT_EQ(MovieWriterSetSoundInput(p.w, 1, noRate, 16), kStatusParamError);
    EXPECT_EQ(p.w->sampleRate, 22050u);
}

TEST(WriterConfig, PropertyKeys) {
    WriterPtr p;
    MovieWriter* w = p.w;
    EXPECT_EQ(MovieWriterSetProperty(w, 1, 47000), noErr);
    EXPECT_EQ(w->audioBitRate, 47000u);
    EXPECT_EQ(MovieWriterSetProperty(w, 2, 18), noErr);
    EXPECT_EQ(w->channelMode, 18);

    EXPECT_EQ(MovieWriterSetProperty(w, 5, 300), noErr);
    EXPECT_EQ(w->videoDataRate, 300 * 128);
    EXPECT_EQ(MovieWriterSetProperty(w, 5, 4194304 + 2), noErr);  // modulo 2^22
    EXPECT_EQ(w->videoDataRate, 2 * 128);

    EXPECT_EQ(MovieWriterSetProperty(w, 100, 22050), noErr);
    EXPECT_EQ(w->audioPreload, 22050u);
    const int32_t interleave[2] = {22050, 50};  // scale first, then step
    EXPECT_EQ(MovieWriterSetProperty(w, 101, reinterpret_cast<intptr_t>(interleave)), noErr);
    EXPECT_EQ(w->audioInterleaveScale, 22050u);
    EXPECT_EQ(w->audioInterleaveStep, 50u);
    EXPECT_EQ(MovieWriterSetProperty(w, 101, 0), kStatusParamError);
    EXPECT_EQ(MovieWriterSetProperty(w, 102, 4410), noErr);
    EXPECT_EQ(w->audioChunkLength, 4410u);

    const float gains[] = {1.0f, 1.5f, 2.5f, 4.0f, 1.0f};
    for (int32_t selector = 0; selector <= 4; ++selector) {
        EXPECT_EQ(MovieWriterSetProperty(w, 103, selector), noErr);
        EXPECT_FLOAT_EQ(w->soundGain, gains[selector]) << selector;
    }
    EXPECT_EQ(MovieWriterSetProperty(w, 103, -2), noErr);
    EXPECT_FLOAT_EQ(w->soundGain, 1.0f);

    const int16_t rect[4] = {20, 10, 140, 170};
    EXPECT_EQ(MovieWriterSetProperty(w, 201, reinterpret_cast<intptr_t>(rect)), noErr);
    EXPECT_EQ(w->screenRect[2], 140);
    EXPECT_EQ(MovieWriterSetProperty(w, 203, 7), noErr);
    EXPECT_TRUE(w->controlsSet);
    EXPECT_EQ(w->controlsValue, 1);
    const uint8_t rgb[3] = {1, 2, 255};
    EXPECT_EQ(MovieWriterSetProperty(w, 204, reinterpret_cast<intptr_t>(rgb)), noErr);
    EXPECT_EQ(w->background[2], 255);
    const uint16_t size[2] = {320, 240};
    EXPECT_EQ(MovieWriterSetProperty(w, 205, reinterpret_cast<intptr_t>(size)), noErr);
    EXPECT_EQ(w->displayWidth, 320);
    EXPECT_EQ(MovieWriterSetProperty(w, 206, 0), noErr);
    EXPECT_TRUE(w->fullScreenSet);
    EXPECT_EQ(w->fullScreenValue, 0);
    EXPECT_EQ(MovieWriterSetProperty(w, 207, 600), noErr);
    EXPECT_EQ(w->videoTimeScale, 600u);
    EXPECT_EQ(MovieWriterSetProperty(w, 207, 0), kStatusParamError);

    EXPECT_EQ(MovieWriterSetProperty(w, 208, 0x1FFA6), noErr);  // low 16 bits 0xFFA6 = -90
    EXPECT_EQ(w->rotation, -90);
    EXPECT_EQ(MovieWriterSetProperty(w, 208, 90), noErr);
    EXPECT_EQ(w->rotation, 90);

    for (int32_t key : {0, 3, 4, 6, 99, 104, 199, 202, 209})
        EXPECT_EQ(MovieWriterSetProperty(w, key, 1), kStatusParamError) << key;
}

TEST(WriterConfig, ConfigurationEndsAtStart) {
    WriterPtr p;
    MovieWriter* w = p.w;
    EXPECT_EQ(MovieWriterForceKeyFrame(w), kStatusParamError);
    EXPECT_EQ(MovieWriterAddFrame(w, reinterpret_cast<const uint8_t*>("abcd"), 4, 1, nullptr),
              kStatusParamError);
    EXPECT_EQ(MovieWriterFinish(w), kStatusParamError);
    uint32_t size = 0;
    EXPECT_EQ(MovieWriterGetSize(w, &size), kStatusParamError);
    ASSERT_EQ(MovieWriterSetName(w, "movie"), noErr);
    ASSERT_EQ(MovieWriterSetAudioFormat(w, 626), noErr);
    ASSERT_EQ(MovieWriterStart(w), noErr);
    EXPECT_EQ(MovieWriterStart(w), kStatusParamError);

    EXPECT_EQ(MovieWriterSetName(w, "other"), kStatusParamError);
    EXPECT_EQ(*w->name, "movie");
    EXPECT_EQ(MovieWriterSetInfoString(w, 1, "t"), kStatusParamError);
    EXPECT_EQ(MovieWriterSetFrameSize(w, 8, 8), kStatusParamError);
    EXPECT_EQ(MovieWriterSetVideoMode(w, 1), kStatusParamError);
    EXPECT_EQ(MovieWriterSetAudioFormat(w, 630), kStatusParamError);
    const uint8_t wave[16] = {1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0, 2, 0, 16, 0};
    EXPECT_EQ(MovieWriterSetSoundInput(w, 1, wave, 16), kStatusParamError);
    EXPECT_EQ(MovieWriterSetProperty(w, 100, 1), kStatusParamError);
    EXPECT_EQ(w->audioPreload, 88200u);
    // Still allowed once started.
    EXPECT_EQ(MovieWriterSetProgress(w, nullptr, 3), noErr);
    EXPECT_EQ(MovieWriterAddChapter(w, 1000, "late", 4), noErr);
    EXPECT_EQ(MovieWriterForceKeyFrame(w), noErr);
    EXPECT_EQ(w->forceKeyFrame, 1);
    EXPECT_EQ(MovieWriterAddSound(w, nullptr, 4, 1), kStatusParamError);
    EXPECT_EQ(MovieWriterRead(w, &size, 0, 1), kStatusParamError);
}

TEST(WriterConfig, StartNeedsSomethingToEncodeAndAName) {
    {
        WriterPtr p;
        MovieWriterSetName(p.w, "n");
        EXPECT_EQ(MovieWriterStart(p.w), kStatusParamError);  // nothing at all
        MovieWriterSetVideoMode(p.w, 1);
        EXPECT_EQ(MovieWriterStart(p.w), kStatusParamError);  // mode without a frame size
        EXPECT_EQ(p.w->state, kWriterConfiguring);
    }
    {
        WriterPtr p;
        MovieWriterSetFrameSize(p.w, 16, 16);
        MovieWriterSetVideoMode(p.w, 1);
        EXPECT_EQ(MovieWriterStart(p.w), kStatusParamError);  // no name
        MovieWriterSetName(p.w, "");
        EXPECT_EQ(MovieWriterStart(p.w), noErr);  // an empty name is still a name
    }
}

TEST(WriterConfig, Atrac3BitRateSettles) {
    struct Case {
        uint32_t given;
        bool video;
        uint32_t settled;
    };
    const Case cases[] = {{50000, false, 47000}, {10000, false, 11750}, {0, true, 33000},
                          {0, false, 66000},     {90000, true, 66000},  {23500, true, 23500},
                          {16499, false, 11750}};
    for (const Case& c : cases) {
        WriterPtr p;
        MovieWriterSetName(p.w, "a");
        MovieWriterSetAudioFormat(p.w, 624);
        MovieWriterSetProperty(p.w, 1, c.given);
        if (c.video) {
            MovieWriterSetFrameSize(p.w, 16, 16);
            MovieWriterSetVideoMode(p.w, 1);
        }
        // Whether the encoder itself accepts the rate is not under test here.
        MovieWriterStart(p.w);
        EXPECT_EQ(p.w->audioBitRate, c.settled) << c.given;
    }
}

TEST(WriterConfig, BitRateOfOtherFormatsIsLeftAlone) {
    WriterPtr p;
    MovieWriterSetName(p.w, "a");
    MovieWriterSetAudioFormat(p.w, 626);
    MovieWriterSetProperty(p.w, 1, 50000);
    ASSERT_EQ(MovieWriterStart(p.w), noErr);
    EXPECT_EQ(p.w->audioBitRate, 50000u);
}

}  // namespace
