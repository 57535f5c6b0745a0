// Opening the generated corpus: tracks, formats, durations, texts and
// chapters must agree with what ffprobe reports.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/movies.h"
#include "platform/tests/support/corpus.h"

namespace {

struct Expected {
    const char* file;
    OSType videoFormat;  // 0: no video track
    OSType soundFormat;  // 0: no sound track
};

class MovieOpen : public ::testing::TestWithParam<Expected> {};

int CountTracks(Movie m, OSType type) {
    int n = 0;
    while (GetMovieIndTrackType(m, n + 1, type, kMovieTrackMediaType) != nullptr) ++n;
    return n;
}

OSType FirstFormat(Movie m, OSType type) {
    Track t = GetMovieIndTrackType(m, 1, type, kMovieTrackMediaType);
    SampleDescription d;
    if (t == nullptr || GetMediaSampleDescription(t, 1, &d) != noErr) return 0;
    return d.dataFormat;
}

TEST_P(MovieOpen, TracksFormatsAndDurationsMatchProbe) {
    const Expected e = GetParam();
    const std::string path = CorpusFile(e.file);
    const ProbedFile probe = Probe(path);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(path, &m), noErr) << e.file;

    int probedVideo = 0, probedAudio = 0;
    for (const auto& s : probe.streams) {
        probedVideo += s.codecType == "video";
        probedAudio += s.codecType == "audio";
    }
    EXPECT_EQ(CountTracks(m, kVideoMediaType), probedVideo);
    EXPECT_EQ(CountTracks(m, kSoundMediaType), probedAudio);
    EXPECT_EQ(FirstFormat(m, kVideoMediaType), e.videoFormat)
        << OSTypeToString(FirstFormat(m, kVideoMediaType));
    EXPECT_EQ(FirstFormat(m, kSoundMediaType), e.soundFormat)
        << OSTypeToString(FirstFormat(m, kSoundMediaType));

    const double movieSeconds = static_cast<double>(GetMovieDuration(m)) / GetMovieTimeScale(m);
    EXPECT_NEAR(movieSeconds, probe.duration, 0.05) << e.file;
    // Each track against its stream, where ffprobe knows the stream's length.
    int video = 0, audio = 0;
    for (const auto& s : probe.streams) {
        const bool isVideo = s.codecType == "video";
        if (!isVideo && s.codecType != "audio") continue;
        Track t =
            GetMovieIndTrackType(m, isVideo ? ++video : ++audio,
                                 isVideo ? kVideoMediaType : kSoundMediaType, kMovieTrackMediaType);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(GetTrackEnabled(t));
        EXPECT_TRUE(
            TrackHasCharacteristic(t, isVideo ? kCharacteristicCanSee : kCharacteristicCanHear));
        if (s.duration > 0) {
            const double mediaSeconds =
                static_cast<double>(GetMediaDuration(t)) / GetMediaTimeScale(t);
            EXPECT_NEAR(mediaSeconds, s.duration, 0.01) << e.file << " stream " << s.codecType;
            EXPECT_NEAR(static_cast<double>(GetTrackDuration(t)) / GetMovieTimeScale(m), s.duration,
                        0.01);
        }
        SampleDescription d;
        ASSERT_EQ(GetMediaSampleDescription(t, 1, &d), noErr);
        if (isVideo) {
            EXPECT_EQ(d.width, s.width);
            EXPECT_EQ(d.height, s.height);
        } else {
            EXPECT_EQ(d.channels, s.channels);
            EXPECT_EQ(d.sampleRate, s.sampleRate);
        }
    }
    if (probedVideo > 0) {
        int32_t w = 0, h = 0;
        GetMovieNaturalBounds(m, &w, &h);
        EXPECT_GT(w, 0);
        EXPECT_GT(h, 0);
    }
    DisposeMovie(m);
}

constexpr OSType kNoTrack = 0;

INSTANTIATE_TEST_SUITE_P(
    Corpus, MovieOpen,
    ::testing::Values(Expected{"h264_aac.mp4", kH264Format, MakeOSType("mp4a")},
                      Expected{"chapters.mov", kMPEG4VisualFormat, kTwosComplementFormat},
                      Expected{"vp8_vorbis.webm", MakeOSType("VP80"), MakeOSType("vorb")},
                      Expected{"h264_mp3.mkv", kH264Format, kMP3Format},
                      Expected{"mjpeg_u8.avi", MakeOSType("MJPG"), kRawCodecType},
                      Expected{"mpeg4_mp3.avi", MakeOSType("FMP4"), kWaveMP3Format},
                      Expected{"h264_aac.3gp", kH264Format, MakeOSType("mp4a")},
                      Expected{"pal.dv", MakeOSType("dvc "), kLittleEndianFormat},
                      Expected{"flv1_mp3.flv", MakeOSType("FLV1"), kMP3Format},
                      Expected{"tone.wav", kNoTrack, kLittleEndianFormat},
                      Expected{"tone.mp3", kNoTrack, kMP3Format},
                      Expected{"tone.aiff", kNoTrack, kTwosComplementFormat}),
    [](const auto& info) {
        std::string n = info.param.file;
        for (char& c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(MovieText, UserDataAndChaptersComeFromTheFile) {
    const std::string path = CorpusFile("chapters.mov");
    const ProbedFile probe = Probe(path);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(path, &m), noErr);
    std::string text;
    ASSERT_EQ(GetMovieUserDataText(m, kUserDataTextFullName, 1, &text), noErr);
    EXPECT_EQ(text, probe.title);
    EXPECT_EQ(text, "Test Title");
    ASSERT_EQ(GetMovieUserDataText(m, kUserDataTextInformation, 1, &text), noErr);
    EXPECT_EQ(text, "Some information");
    ASSERT_EQ(GetMovieUserDataText(m, kUserDataTextCopyright, 1, &text), noErr);
    EXPECT_EQ(text, "Nobody 2026");
    EXPECT_EQ(GetMovieUserDataText(m, kUserDataTextFullName, 2, &text), kStatusUserDataNotFound);

    // The enabled video track points at a text track holding the chapters.
    Track video = GetMovieIndTrackType(m, 1, kCharacteristicCanSee,
                                       kMovieTrackCharacteristic | kMovieTrackEnabledOnly);
    ASSERT_NE(video, nullptr);
    ASSERT_EQ(GetTrackReferenceCount(video, kTrackReferenceChapterList), 1);
    Track chapters = GetTrackReference(video, kTrackReferenceChapterList, 1);
    ASSERT_NE(chapters, nullptr);
    EXPECT_EQ(GetTrackMediaType(chapters), kTextMediaType);

    ASSERT_EQ(probe.chapterTitles.size(), 2u);
    std::vector<std::string> titles;
    std::vector<double> starts;
    for (TimeValue t = GetMediaNextSampleTime(chapters, 0, true); t >= 0;
         t = GetMediaNextSampleTime(chapters, t, false)) {
        std::vector<uint8_t> data;
        TimeValue start = -1, duration = 0;
        SampleDescription d;
        ASSERT_EQ(GetMediaSample(chapters, t, &data, &start, &duration, &d), noErr);
        EXPECT_EQ(d.dataFormat, kTextFormat);
        ASSERT_GE(data.size(), 2u);
        const size_t n = (data[0] << 8) | data[1];
        ASSERT_EQ(data.size(), n + 2);
        titles.emplace_back(data.begin() + 2, data.end());
        starts.push_back(static_cast<double>(start) / GetMediaTimeScale(chapters));
    }
    EXPECT_EQ(titles, probe.chapterTitles);
    ASSERT_EQ(starts.size(), probe.chapterStarts.size());
    for (size_t i = 0; i < starts.size(); ++i)
        EXPECT_NEAR(starts[i], probe.chapterStarts[i], 0.002);
    DisposeMovie(m);
}

TEST(MovieText, DisabledTracksOfQuickTimeFilesStayDisabled) {
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("two_sounds.mov"), &m), noErr);
    Track first = GetMovieIndTrackType(m, 1, kSoundMediaType, kMovieTrackMediaType);
    Track second = GetMovieIndTrackType(m, 2, kSoundMediaType, kMovieTrackMediaType);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(GetTrackEnabled(first));
    EXPECT_FALSE(GetTrackEnabled(second));
    EXPECT_EQ(
        GetMovieIndTrackType(m, 2, kSoundMediaType, kMovieTrackMediaType | kMovieTrackEnabledOnly),
        nullptr);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(first, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, kLittleEndianFormat);
    ASSERT_EQ(GetMediaSampleDescription(GetMovieIndTrack(m, 1), 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, kJPEGFormat);
    DisposeMovie(m);
}

TEST(MovieStill, PicturesLastOneSecondInScale1000) {
    for (const char* name : {"pic.png", "pic.jpg", "pic.bmp", "pic.gif"}) {
        const std::string path = CorpusFile(name);
        OSType importer = 0;
        ASSERT_EQ(FindMovieImporter(path, &importer), noErr) << name;
        EXPECT_EQ(importer, kStillImageImporterSubType) << name;
        Movie m = nullptr;
        ASSERT_EQ(NewMovieFromFile(path, &m), noErr) << name;
        EXPECT_EQ(GetMovieTimeScale(m), 1000);
        EXPECT_EQ(GetMovieDuration(m), 1000);
        ASSERT_EQ(GetMovieTrackCount(m), 1);
        Track t = GetMovieIndTrack(m, 1);
        EXPECT_EQ(GetTrackMediaType(t), kVideoMediaType);
        int32_t w = 0, h = 0;
        GetMovieNaturalBounds(m, &w, &h);
        EXPECT_EQ(w, 64);
        EXPECT_EQ(h, 48);
        DisposeMovie(m);
    }
    OSType importer = 0;
    ASSERT_EQ(FindMovieImporter(CorpusFile("h264_aac.mp4"), &importer), noErr);
    EXPECT_EQ(importer, kMovieFileImporterSubType);
    Movie m = nullptr;
    EXPECT_EQ(NewMovieFromStillImage(CorpusFile("h264_aac.mp4"), 1000, 1000, &m),
              kStatusNoMovieFound);
    ASSERT_EQ(NewMovieFromStillImage(CorpusFile("pic.png"), 500, 600, &m), noErr);
    EXPECT_EQ(GetMovieDuration(m), 500);
    DisposeMovie(m);
}

TEST(MovieEditing, TracksCanBeReplacedAndRescaled) {
    Movie movie = nullptr, sound = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("mpeg4_mp3.avi"), &movie), noErr);
    ASSERT_EQ(NewMovieFromFile(CorpusFile("tone.aiff"), &sound), noErr);
    Track old = GetMovieIndTrackType(movie, 1, kSoundMediaType, kMovieTrackMediaType);
    ASSERT_NE(old, nullptr);
    const int32_t before = GetMovieTrackCount(movie);
    ASSERT_EQ(DisposeMovieTrack(old), noErr);
    EXPECT_EQ(GetMovieTrackCount(movie), before - 1);
    EXPECT_EQ(GetMovieIndTrackType(movie, 1, kSoundMediaType, kMovieTrackMediaType), nullptr);

    Track copy = nullptr;
    Track source = GetMovieIndTrackType(sound, 1, kSoundMediaType, kMovieTrackMediaType);
    const TimeValue seconds100 = GetTrackDuration(source) * 100 / GetMovieTimeScale(sound);
    ASSERT_EQ(AddMovieTrackCopy(movie, source, &copy), noErr);
    DisposeMovie(sound);  // the copy must not depend on the other movie
    EXPECT_EQ(GetMovieIndTrackType(movie, 1, kSoundMediaType, kMovieTrackMediaType), copy);
    EXPECT_NE(GetTrackID(copy), 0);
    EXPECT_EQ(GetTrackDuration(copy) * 100 / GetMovieTimeScale(movie), seconds100);
    SampleDescription d;
    ASSERT_EQ(GetMediaSampleDescription(copy, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, kTwosComplementFormat);

    // Renaming a format and multiplying the time scale keep the track's length.
    Track video = GetMovieIndTrackType(movie, 1, kVideoMediaType, kMovieTrackMediaType);
    ASSERT_EQ(GetMediaSampleDescription(video, 1, &d), noErr);
    d.dataFormat = MakeOSType("mpg4");
    ASSERT_EQ(SetMediaSampleDescription(video, 1, d), noErr);
    ASSERT_EQ(GetMediaSampleDescription(video, 1, &d), noErr);
    EXPECT_EQ(d.dataFormat, MakeOSType("mpg4"));
    const TimeValue length = GetTrackDuration(video);
    const TimeScale scale = GetMediaTimeScale(video);
    ASSERT_EQ(SetMediaTimeScale(video, scale * 100), noErr);
    EXPECT_EQ(GetMediaTimeScale(video), scale * 100);
    EXPECT_EQ(GetTrackDuration(video), length);
    DisposeMovie(movie);
}

}  // namespace
