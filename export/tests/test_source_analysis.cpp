// Decisions taken on a source before an export: texts, the MP3 length
// check, decoders and the tracks that go unheard.
#include <gtest/gtest.h>

#include "export/source_analysis.h"
#include "platform/tests/support/corpus.h"

namespace {

TEST(SourceTexts, CarriageReturnsGoAndAtMost255CharactersStay) {
    SourceText t{};
    setSourceText("two\rlines\r", &t);
    EXPECT_STREQ(t.data(), "twolines");
    setSourceText(std::string(300, 'x') + "\r", &t);
    EXPECT_EQ(std::string(t.data()).size(), 255u);

    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("chapters.mov"), &m), noErr);
    SourceText title{}, info{}, rights{};
    setSourceText("Given", &title);  // a text already set is kept
    fillSourceTexts(m, &title, &info, &rights);
    EXPECT_STREQ(title.data(), "Given");
    EXPECT_STREQ(info.data(), "Some information");
    EXPECT_STREQ(rights.data(), "Nobody 2026");
    DisposeMovie(m);
}

TEST(SourceMp3, ATenthOfTheVideoIsTheLimit) {
    EXPECT_TRUE(mp3LengthMismatch(880, 1000));    // 12 % short
    EXPECT_FALSE(mp3LengthMismatch(910, 1000));   // 9 % short
    EXPECT_FALSE(mp3LengthMismatch(1100, 1000));  // exactly a tenth is not more
    EXPECT_TRUE(mp3LengthMismatch(1101, 1000));
    EXPECT_FALSE(mp3LengthMismatch(0, 1000));
    EXPECT_FALSE(mp3LengthMismatch(500, 0));
}

TEST(SourceTracks, VideoWantedMp3AndDecoders) {
    Movie av = nullptr, tone = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("mpeg4_mp3.avi"), &av), noErr);
    ASSERT_EQ(NewMovieFromFile(CorpusFile("tone.wav"), &tone), noErr);
    ExportSettings s;
    EXPECT_TRUE(videoWanted(s, av));
    EXPECT_FALSE(videoWanted(s, tone));
    s.depth = kDepthNoVideo;
    EXPECT_FALSE(videoWanted(s, av));

    EXPECT_NE(findMp3Track(av), nullptr);
    EXPECT_EQ(findMp3Track(tone), nullptr);
    OSType missing = 0;
    EXPECT_EQ(checkVideoDecoders(av, &missing), noErr);
    EXPECT_EQ(checkSoundDecoders(av, &missing), noErr);
    EXPECT_EQ(missing, 0u);
    // Every track here is a kind the export reads.
    EXPECT_FALSE(audioLeftBehind(av, false));
    EXPECT_FALSE(audioLeftBehind(tone, false));

    Track sound = GetMovieIndTrackType(tone, 1, kSoundMediaType, kMovieTrackMediaType);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(sound, 1, &d), noErr);
    d.dataFormat = MakeOSType("qqqq");
    ASSERT_EQ(SetMediaSampleDescription(sound, 1, d), noErr);
    EXPECT_EQ(checkSoundDecoders(tone, &missing), kStatusNoCodec);
    EXPECT_EQ(missing, MakeOSType("qqqq"));
    DisposeMovie(av);
    DisposeMovie(tone);
}

}  // namespace
