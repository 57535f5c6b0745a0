// MPEG own sound: the platform leaves the sound of MPEG-1 system streams to
// the exporter, which reads it itself; damaged and odd streams.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/mpeg_own_sound.h"
#include "export/settings.h"
#include "export/tests/support/mpeg_streams.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/frames.h"
#include "resources/resources.h"
#include "tools/movie_player.h"

namespace {

struct Opened {
    Movie movie = nullptr;
    ~Opened() { DisposeMovie(movie); }
};

// Whether the delegate serves sound procedures for the movie.
bool DelegateServesSound(Movie movie) {
    return DelegateProcs(movie, kSoundMediaType).status() == noErr;
}

TEST(MpegModel, SystemStreamSoundIsAnMpegTrackTheDelegateDoesNotServe) {
    Opened m;
    ASSERT_EQ(NewMovieFromFile(MakeStream("model1.mpg", 44100, 2, 128), &m.movie), noErr);
    Track mpeg = GetMovieIndTrackType(m.movie, 1, kMPEGMediaType,
                                      kMovieTrackMediaType | kMovieTrackEnabledOnly);
    ASSERT_NE(mpeg, nullptr);
    EXPECT_TRUE(TrackHasCharacteristic(mpeg, kCharacteristicCanHear));
    EXPECT_GT(GetTrackDuration(mpeg), 0);
    EXPECT_EQ(GetMovieIndTrackType(m.movie, 1, kSoundMediaType, kMovieTrackMediaType), nullptr);
    EXPECT_NE(GetMovieIndTrackType(m.movie, 1, kVideoMediaType, kMovieTrackMediaType), nullptr);
    EXPECT_FALSE(DelegateServesSound(m.movie));

    // A DVD-style program stream keeps ordinary sound.
    const std::string vob = ScratchPath("model2.vob");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -y -v error " + MpegTestSource(48000, 2) +
                         " -f lavfi -i testsrc=size=64x48:rate=25:d=1 -c:v mpeg2video -c:a mp2 "
                         "-f vob " +
                         Quoted(vob)),
              0);
    Opened dvd;
    ASSERT_EQ(NewMovieFromFile(vob, &dvd.movie), noErr);
    EXPECT_EQ(GetMovieIndTrackType(dvd.movie, 1, kMPEGMediaType, kMovieTrackMediaType), nullptr);
    EXPECT_NE(GetMovieIndTrackType(dvd.movie, 1, kSoundMediaType, kMovieTrackMediaType), nullptr);
    EXPECT_TRUE(DelegateServesSound(dvd.movie));
}

const MpegRateTables& Tables() {
    return TestRateTables();
}

// Every request but the last is filled exactly, frames split across requests
// lose nothing, and the whole equals a straight decode of the file.
TEST(MpegOwnSound, RequestsAreFilledWithWholeFramesAndTheLastComesShort) {
    const std::string path = MakeStream("pump.mpg", 32000, 2, 192);
    Opened m;
    ASSERT_EQ(NewMovieFromFile(path, &m.movie), noErr);
    std::unique_ptr<MpegOwnSound> own;
    OSType missing = 0;
    ASSERT_EQ(MpegOwnSound::prepare(m.movie, Tables(), &own, &missing), noErr);
    const SampleDescription& d = own->description();
    EXPECT_EQ(d.dataFormat, kLittleEndianFormat);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.sampleSize, 16);
    EXPECT_EQ(d.sampleRate, 32000);
    EXPECT_EQ(d.extension, (std::vector<uint8_t>{0, 0, 4, 128, 0, 0, 18, 0}));  // 1152, 4608
    TimeRecord dur;
    ASSERT_EQ(MpegOwnSound::getProperty(own.get(), 2, kMovieExportDuration, &dur), noErr);
    EXPECT_EQ(dur.scale, 32000);
    EXPECT_NEAR(double(dur.value), 32000, 1600);

    std::vector<int16_t> all;
    std::vector<int32_t> sizes;
    for (;;) {
        MovieExportGetDataParams p;
        p.requestedSampleCount = 1000;
        const OSStatus err = MpegOwnSound::getData(own.get(), &p);
        if (err == kStatusEndOfData) break;
        ASSERT_EQ(err, noErr);
        ASSERT_EQ(p.dataSize, p.actualSampleCount * 4);
        const auto* s = reinterpret_cast<const int16_t*>(p.dataPtr);
        all.insert(all.end(), s, s + p.actualSampleCount * 2);
        sizes.push_back(p.actualSampleCount);
    }
    ASSERT_GE(sizes.size(), 2u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 1000);
    EXPECT_LT(sizes.back(), 1000);
    EXPECT_EQ(all, OurDecode(ReadWholeFile(path)).pcm);
}

// Exports through the component; fills the status, the missing codec and
// the decoded sound.
struct ExportResult {
    OSStatus status = -1;
    OSType missing = 0;
    movie::Movie movie;
    std::vector<int16_t> pcm;
};

ExportResult ExportSound(const std::string& source, int32_t codec, int rate, int channels) {
    ExportResult r;
    const std::string out = ScratchPath(std::filesystem::path(source).filename().string() + ".pdb");
    std::filesystem::remove(out);
    Movie m = nullptr;
    EXPECT_EQ(NewMovieFromFile(source, &m), noErr);
    if (m == nullptr) return r;
    ComponentInstance exporter = nullptr;
    EXPECT_EQ(OpenMoviepackerExporter(&exporter), noErr);
    ExportSettings s;
    s.depth = kDepthNoVideo;
    s.soundCodec = codec;
    s.channels = int16_t(channels);
    s.sampleRate = ufixedFromInt(unsigned(rate));
    normaliseSound(&s);
    AtomContainer c;
    EXPECT_EQ(getSettingsAsContainer(s, &c), noErr);
    EXPECT_EQ(CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect, &c), noErr);
    FileSpec spec;
    EXPECT_EQ(FileSpecFromPath(out, &spec), noErr);
    r.status = ConvertMovieToFile(m, nullptr, spec, 0, 0, exporter, nullptr, 0);
    r.missing = QueryMissingCodec(exporter);
    CloseComponent(exporter);
    DisposeMovie(m);
    if (r.status != noErr) return r;
    std::string error;
    EXPECT_TRUE(movie::readMovie(ReadWholeFile(out), r.movie, error)) << error;
    for (const auto& v : r.movie.violations) ADD_FAILURE() << "violation: " << v;
    decode::MoviePlayer player(r.movie);
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < r.movie.sounds.size(); ++i) {
        EXPECT_TRUE(player.decodeSound(i, pcm, error)) << error;
        r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.end());
    }
    return r;
}

// Uncompressed stereo at the stream's own rate: the database holds exactly
// what FFmpeg decodes. A mono stream gives one channel even when two are asked.
TEST(MpegOwnSound, ExportCarriesTheDecodedSound) {
    const std::string stereo = MakeStream("export_stereo.mpg", 44100, 2, 128);
    const ExportResult e = ExportSound(stereo, kSoundPcmStereo, 44100, 2);
    ASSERT_EQ(e.status, noErr);
    EXPECT_EQ(e.movie.header.channels, 2);
    const std::vector<int16_t> ref = FfmpegDecode(stereo);
    ASSERT_GE(e.pcm.size(), ref.size());
    EXPECT_GE(Snr(ref, e.pcm), 90.0);

    const std::string mono = MakeStream("export_mono.mpg", 44100, 1, 64);
    const ExportResult m = ExportSound(mono, kSoundPcmStereo, 44100, 2);
    ASSERT_EQ(m.status, noErr);
    EXPECT_EQ(m.movie.header.channels, 1);
    EXPECT_GE(Snr(FfmpegDecode(mono), m.pcm), 90.0);
}

// A stream whose audio packets never begin with a frame header has no usable
// audio: the export stops with a parameter error.
TEST(MpegOwnSound, AStreamWithoutUsableAudioIsAParameterError) {
    const std::string path = MakeStream("unusable.mpg", 44100, 2, 128);
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    {
        MpegDemuxer demux = MemoryDemuxer(bytes);
        demux.start();
        MpegPacket p;
        std::vector<int64_t> starts;
        OSStatus err;
        while ((err = demux.nextPacket(&p)) != kStatusEndOfData && err != kMpegEndCode)
            if (err == noErr && p.streamID == 0xC0 && p.payloadLength >= 2)
                starts.push_back(p.payloadOffset);
        ASSERT_FALSE(starts.empty());
        for (int64_t at : starts) bytes[size_t(at)] = bytes[size_t(at) + 1] = 0;
    }
    const std::string damaged = ScratchPath("unusable_damaged.mpg");
    WriteWholeFile(damaged, bytes);
    EXPECT_EQ(ExportSound(damaged, kSoundPcmStereo, 44100, 2).status, kStatusParamError);
}

TEST(MpegOwnSound, LayerThreeIsRefusedAsAMissingDecoder) {
    const std::string path = MakeStream("layer3.mpg", 44100, 2, 128, "-c:a libmp3lame");
    const ExportResult e = ExportSound(path, kSoundPcmStereo, 44100, 2);
    EXPECT_EQ(e.status, kStatusNoCodec);
    EXPECT_EQ(e.missing, MakeOSType(".mp3"));
}

// A file cut short still converts: the database is valid and holds the sound
// that was there.
TEST(MpegOwnSound, ATruncatedFileGivesTheSoundThatWasThere) {
    const std::vector<uint8_t> whole = ReadWholeFile(MakeStream("truncated.mpg", 44100, 2, 128));
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(whole.size() * 7 / 10));
    const std::string path = ScratchPath("truncated_cut.mpg");
    WriteWholeFile(path, cut);
    const Decoded ours = OurDecode(cut);
    ASSERT_GT(ours.frames, 0);
    const ExportResult e = ExportSound(path, kSoundPcmStereo, 44100, 2);
    ASSERT_EQ(e.status, noErr);
    ASSERT_GE(e.pcm.size(), ours.pcm.size());
    EXPECT_TRUE(std::equal(ours.pcm.begin(), ours.pcm.end(), e.pcm.begin()));
}

}  // namespace
