// Music tracks: the MIDI file reader and importer, and the AIFF exporter
// that renders them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/aiff_export.h"
#include "platform/midi_file.h"
#include "platform/movies.h"
#include "platform/music_synth.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/frames.h"
#include "platform/tests/support/midi_maker.h"

namespace {

MidiSong Parse(const std::vector<uint8_t>& bytes) {
    MidiSong s;
    EXPECT_EQ(ParseMidiFile(bytes, &s), noErr);
    return s;
}

std::vector<MidiEvent> NotesOn(const MidiSong& s) {
    std::vector<MidiEvent> out;
    for (const MidiEvent& e : s.events)
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) out.push_back(e);
    return out;
}

// --- Reading --------------------------------------------------------------

TEST(MidiFile, RunningStatusAndPlainStatusReadAlike) {
    MidiTrackMaker t;
    t.note(0, 480, 0, 60);
    t.note(480, 480, 0, 64);
    t.add(960, {0xB0, 7, 100});
    t.add(960, {0xE0, 0x00, 0x40});
    for (bool running : {true, false}) {
        const MidiSong s = Parse(MakeMidiFile(0, 480, {t}, running));
        ASSERT_EQ(s.events.size(), 6u) << running;
        EXPECT_EQ(s.events[2].status, 0x90);
        EXPECT_EQ(s.events[2].data1, 64);
        EXPECT_EQ(s.events[2].time, 500000);  // one beat at the default 120 bpm
        EXPECT_EQ(s.events[4].status, 0xB0);
        EXPECT_EQ(s.events[5].data2, 0x40);
        EXPECT_EQ(s.duration, 1000000);
    }
}

TEST(MidiFile, TempoChangesOfTheFirstTrackTimeTheOthers) {
    MidiTrackMaker conductor, melody;
    conductor.tempo(0, 1000000);   // 60 bpm
    conductor.tempo(960, 250000);  // 240 bpm from beat 2
    conductor.name("Song");
    melody.note(480, 10, 1, 60);   // beat 1: 1 s
    melody.note(960, 10, 1, 62);   // beat 2: 2 s
    melody.note(1920, 10, 1, 64);  // beat 4: 2 s + 2 x 0.25 s
    const MidiSong s = Parse(MakeMidiFile(1, 480, {conductor, melody}));
    const auto on = NotesOn(s);
    ASSERT_EQ(on.size(), 3u);
    EXPECT_EQ(on[0].time, 1000000);
    EXPECT_EQ(on[1].time, 2000000);
    EXPECT_EQ(on[2].time, 2500000);
    EXPECT_EQ(s.name, "Song");
    EXPECT_EQ(s.duration, 2500000 + 10 * 250000 / 480);
}

TEST(MidiFile, SmpteTimingIgnoresTempo) {
    MidiTrackMaker t;
    t.tempo(0, 1000000);
    t.note(0, 100, 0, 60);
    t.note(1000, 100, 0, 62);
    // 25 frames of 40 ticks: one tick per millisecond.
    const MidiSong s = Parse(MakeMidiFile(0, int16_t(uint16_t(0xE728)), {t}));
    EXPECT_EQ(NotesOn(s)[1].time, 1000000);
    EXPECT_EQ(s.duration, 1100000);
    // 29.97 frames of 10 ticks.
    const MidiSong d = Parse(MakeMidiFile(0, int16_t(uint16_t(0xE30A)), {t}));
    EXPECT_EQ(d.duration, 1100 * 1000000LL * 1001 / 300000);
}

TEST(MidiFile, SysexIsKeptOtherChunksAreSkipped) {
    MidiTrackMaker t;
    t.add(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // General MIDI on
    t.note(10, 10, 9, 36);
    std::vector<uint8_t> f = MakeMidiFile(0, 96, {t});
    // An unknown chunk between the header and the track.
    f.insert(f.begin() + 14, {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2});
    const MidiSong s = Parse(f);
    ASSERT_EQ(s.events.size(), 3u);
    EXPECT_EQ(s.events[0].status, 0xF0);
    ASSERT_EQ(s.events[0].sysexLength, 4u);
    EXPECT_EQ(s.sysex[s.events[0].sysexOffset], 0x7E);
    EXPECT_EQ(s.events[1].status, 0x99);
}

TEST(MidiFile, RiffWrappedFilesRead) {
    MidiTrackMaker t;
    t.note(0, 480, 0, 60);
    const std::vector<uint8_t> smf = MakeMidiFile(0, 480, {t});
    std::vector<uint8_t> riff{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
    const uint32_t n = uint32_t(smf.size());
    for (int i = 0; i < 4; ++i) riff.push_back(uint8_t(n >> (8 * i)));
    riff.insert(riff.end(), smf.begin(), smf.end());
    EXPECT_TRUE(LooksLikeMidiFile(riff));
    EXPECT_EQ(Parse(riff).duration, 500000);
}

TEST(MidiFile, MalformedFilesAreRefused) {
    MidiTrackMaker t;
    t.note(0, 480, 0, 60);
    const std::vector<uint8_t> good = MakeMidiFile(0, 480, {t});
    auto refused = [](std::vector<uint8_t> bytes, const char* what) {
        MidiSong s;
        EXPECT_EQ(ParseMidiFile(bytes, &s), kStatusNoMovieFound) << what;
    };
    refused({}, "empty");
    refused({'M', 'T', 'h', 'd'}, "header cut");
    for (size_t n = 0; n < good.size(); ++n) {
        // Every cut inside the track loses its end: lengths no longer fit.
        refused(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), "truncated");
    }
    auto patched = [&](size_t at, std::vector<uint8_t> with) {
        std::vector<uint8_t> b = good;
        std::copy(with.begin(), with.end(), b.begin() + long(at));
        return b;
    };
    refused(patched(10, {0xFF, 0xFF}), "65535 tracks claimed, one present");
    refused(patched(8, {0, 1, 0, 2}), "format 1 claiming two tracks, one present");
    refused(patched(8, {0, 2}), "format 2");
    refused(patched(12, {0, 0}), "division 0");
    refused(patched(12, {0xE7, 0x00}), "SMPTE with no ticks per frame");
    refused(patched(12, {0xEC, 0x10}), "20 frames per second");
    refused(patched(18, {0x3B, 0x9A, 0xCA, 0x00}), "a track of 10^9 bytes");
    refused(patched(4, {0x7F, 0xFF, 0xFF, 0xFF}), "a header longer than the file");
    // Track body starts at 22: delta 0, 0x90 60 100.
    refused(patched(22, {0x80, 0x80, 0x80, 0x80, 0x00}), "a five-byte quantity");
    refused(patched(23, {0x3C}), "data before any status");
    refused(patched(24, {0x9C}), "a status byte where data belongs");
    refused(patched(23, {0xF4}), "a status files never hold");
}

TEST(MidiFile, AbsurdTimesAreRefusedNotOverflowed) {
    MidiTrackMaker t;
    t.tempo(0, 0xFFFFFF);  // the slowest tempo
    for (uint32_t i = 1; i <= 64; ++i) t.add(i * 0x0FFFFFFFu, {0xB0, 7, 100});
    MidiSong s;
    EXPECT_EQ(ParseMidiFile(MakeMidiFile(0, 1, {t}), &s), kStatusNoMovieFound);
}

// --- Importing ------------------------------------------------------------

TEST(MidiImport, OpensAsOneMusicTrackLastingTheSong) {
    MidiTrackMaker a, b;
    a.name("Two tracks");
    a.note(0, 960, 0, 60);
    b.note(0, 2880, 1, 67);  // 3 s at 120 bpm: the longer track decides
    const std::string path = ScratchPath("two.mid");
    WriteWholeFile(path, MakeMidiFile(1, 480, {a, b}));
    OSType importer = 0;
    ASSERT_EQ(FindMovieImporter(path, &importer), noErr);
    EXPECT_EQ(importer, kMovieFileImporterSubType);
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(path, &m), noErr);
    ASSERT_EQ(GetMovieTrackCount(m), 1);
    Track t = GetMovieIndTrack(m, 1);
    EXPECT_EQ(GetTrackMediaType(t), kMusicMediaType);
    EXPECT_TRUE(GetTrackEnabled(t));
    EXPECT_TRUE(TrackHasCharacteristic(t, kCharacteristicCanHear));
    EXPECT_EQ(GetMovieDuration(m), 3 * GetMovieTimeScale(m));
    std::string title;
    ASSERT_EQ(GetMovieUserDataText(m, kUserDataTextFullName, 1, &title), noErr);
    EXPECT_EQ(title, "Two tracks");

    // The delegate has no sound to hand out for music.
    {
        const DelegateProcs procs(m, kSoundMediaType);
        EXPECT_NE(procs.status(), noErr);
        EXPECT_EQ(procs.refCon(), nullptr);
    }
    DisposeMovie(m);
}

TEST(MidiImport, BrokenAndSilentFilesAreNotMovies) {
    Movie m = nullptr;
    EXPECT_EQ(NewMovieFromMemory(std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0}, &m),
              kStatusNoMovieFound);
    MidiTrackMaker nothing;  // a track that ends at once
    EXPECT_EQ(NewMovieFromMemory(MakeMidiFile(0, 480, {nothing}), &m), kStatusNoMovieFound);
    EXPECT_EQ(m, nullptr);
}

// --- Rendering ------------------------------------------------------------

struct Aiff {
    int channels = 0, sampleSize = 0;
    uint32_t frames = 0;
    double rate = 0;
    std::vector<int16_t> samples;  // widened to 16 bits
};

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}

// The exporter's fixed layout: FORM, COMM at 12, SSND at 38.
Aiff ReadAiff(const std::string& path) {
    const std::vector<uint8_t> b = ReadWholeFile(path);
    Aiff a;
    EXPECT_GE(b.size(), 54u);
    if (b.size() < 54) return a;
    EXPECT_EQ(std::memcmp(b.data(), "FORM", 4), 0);
    EXPECT_EQ(Be32(b, 4), b.size() - 8);
    EXPECT_EQ(std::memcmp(b.data() + 8, "AIFFCOMM", 8), 0);
    EXPECT_EQ(Be32(b, 16), 18u);
    a.channels = (b[20] << 8) | b[21];
    a.frames = Be32(b, 22);
    a.sampleSize = (b[26] << 8) | b[27];
    const int exponent = ((b[28] & 0x7F) << 8) | b[29];
    uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa = (mantissa << 8) | b[30 + i];
    a.rate = std::ldexp(double(mantissa), exponent - 16383 - 63);
    EXPECT_EQ(std::memcmp(b.data() + 38, "SSND", 4), 0);
    const uint32_t bytes = Be32(b, 42) - 8;
    EXPECT_EQ(Be32(b, 46), 0u);
    EXPECT_EQ(bytes, a.frames * uint32_t(a.channels * a.sampleSize / 8));
    EXPECT_LE(54 + size_t(bytes), b.size());
    for (size_t i = 54; i + (a.sampleSize / 8) <= 54 + size_t(bytes) && i < b.size();
         i += size_t(a.sampleSize / 8)) {
        a.samples.push_back(a.sampleSize == 16 ? int16_t((b[i] << 8) | b[i + 1])
                                               : int16_t(int8_t(b[i]) * 256));
    }
    return a;
}

struct Rendered {
    OSStatus status = noErr;
    std::string path;
    std::vector<int16_t> messages;
    std::vector<Fixed> fractions;
};

OSStatus Record(Movie, int16_t message, int16_t, Fixed fraction, intptr_t ref) {
    auto* r = reinterpret_cast<Rendered*>(ref);
    r->messages.push_back(message);
    if (message == kMovieProgressUpdatePercent) r->fractions.push_back(fraction);
    return noErr;
}

OSStatus CancelHalfway(Movie, int16_t message, int16_t, Fixed fraction, intptr_t) {
    return message == kMovieProgressUpdatePercent && fraction > 0x8000 ? kStatusUserCancelled
                                                                        : noErr;
}

Rendered RenderToAiff(const std::vector<uint8_t>& midi, const std::string& name, OSType format,
                      int sampleSize, int channels, double rate,
                      MovieProgressProc progress = Record) {
    Rendered r;
    r.path = ScratchPath(name);
    Movie m = nullptr;
    EXPECT_EQ(NewMovieFromMemory(midi, &m), noErr);
    ComponentInstance aiff = nullptr;
    EXPECT_EQ(RegisterBuiltInExporters(), noErr);
    EXPECT_EQ(OpenDefaultComponent(kMovieExportType, kAiffExportSubType, &aiff), noErr);
    SampleDescription d;
    d.dataFormat = format;
    d.sampleSize = int16_t(sampleSize);
    d.channels = int16_t(channels);
    d.sampleRate = rate;
    MovieExportSampleDescriptionParams sp{&d, kSoundMediaType};
    EXPECT_EQ(CallComponent(aiff, kMovieExportSetSampleDescriptionSelect, &sp), noErr);
    FileSpec spec;
    EXPECT_EQ(FileSpecFromPath(r.path, &spec), noErr);
    r.status = ConvertMovieToFile(m, nullptr, spec, kAiffFileType, 0, aiff, progress,
                                  reinterpret_cast<intptr_t>(&r));
    CloseComponent(aiff);
    DisposeMovie(m);
    return r;
}

TEST(AiffExport, HeldA4IsA440HzToneOfTheSongsLength) {
    // 44100 Hz is rendered with the cheaper interpolation: the same tone.
    for (const double rate : {22050.0, 44100.0}) {
        SCOPED_TRACE(rate);
        const Rendered r =
            RenderToAiff(HeldA4Song(2.0), "a4.aif", kTwosComplementFormat, 16, 2, rate);
        ASSERT_EQ(r.status, noErr);
        const Aiff a = ReadAiff(r.path);
        EXPECT_EQ(a.channels, 2);
        EXPECT_EQ(a.sampleSize, 16);
        EXPECT_EQ(a.rate, rate);
        EXPECT_EQ(a.frames, uint32_t(2 * rate));
        EXPECT_GT(Rms(a.samples), 1000.0);
        const size_t half = size_t(rate / 2);
        const double f = DominantFrequency(a.samples, 2, a.rate, half, half, 100, 1500);
        EXPECT_NEAR(f, 440.0, 440.0 * 0.02);
        // Progress: opened, growing fractions up to the whole, closed.
        ASSERT_GE(r.messages.size(), 3u);
        EXPECT_EQ(r.messages.front(), kMovieProgressOpen);
        EXPECT_EQ(r.messages.back(), kMovieProgressClose);
        EXPECT_TRUE(std::is_sorted(r.fractions.begin(), r.fractions.end()));
        EXPECT_EQ(r.fractions.back(), 0x10000);
    }
}

// The exporter asks for the song a block at a time, callers may ask in any
// sizes: events must fall on the same frames, and rates below the
// synthesizer's average the same runs, however the frames are asked for.
// FluidSynth's workers, which render at the high rates, must not change a
// sample either.
TEST(MusicSynth, TheSameSoundHoweverTheFramesAreAskedFor) {
    const MidiSong song = Parse(BandSong(3.0));
    for (const auto& [rate, channels] : {std::pair{44100.0, 2}, std::pair{22050.0, 1},
                                         std::pair{4096.0, 1}}) {
        SCOPED_TRACE(rate);
        std::unique_ptr<MusicSynth> one, many;
        ASSERT_EQ(MusicSynth::Open(song, rate, channels, &one), noErr);
        ASSERT_EQ(MusicSynth::Open(song, rate, channels, &many), noErr);
        const int64_t total = one->TotalFrames();
        EXPECT_EQ(total, std::llround(double(song.duration) * rate / 1e6));
        std::vector<int16_t> whole(size_t(total) * channels);
        int32_t done = 0;
        ASSERT_EQ(one->Render(whole.data(), int32_t(total) + 100, &done), noErr);
        EXPECT_EQ(done, total);
        EXPECT_GT(Rms(whole), 500.0);

        std::vector<int16_t> pieces(whole.size() + 8192, 0x5555);
        const int32_t sizes[] = {1, 7, 64, 1000, 4095, 333};
        int64_t at = 0;
        for (size_t i = 0; at < total; ++i) {
            ASSERT_EQ(many->Render(pieces.data() + at * channels, sizes[i % 6], &done), noErr);
            ASSERT_GT(done, 0);
            at += done;
            ASSERT_EQ(many->Position(), at);
        }
        EXPECT_EQ(at, total);
        ASSERT_EQ(many->Render(pieces.data(), 100, &done), noErr);
        EXPECT_EQ(done, 0);  // nothing after the song
        pieces.resize(whole.size());
        const auto differ = std::mismatch(whole.begin(), whole.end(), pieces.begin());
        EXPECT_TRUE(differ.first == whole.end())
            << "first difference at sample " << (differ.first - whole.begin());

        for (const int threads : {1, 3}) {
            MusicRenderOptions options;
            options.threads = threads;
            std::unique_ptr<MusicSynth> other;
            ASSERT_EQ(MusicSynth::Open(song, rate, channels, &other, options), noErr);
            std::vector<int16_t> again(whole.size());
            ASSERT_EQ(other->Render(again.data(), int32_t(total), &done), noErr);
            EXPECT_TRUE(again == whole) << threads << " threads";
        }
    }
}

// Released notes are ended once quiet. A pad with a long release struck
// again and again on one key (each new stroke lands while earlier ones fade
// out or are being ended), and a piano note let go while the sustain pedal
// holds it: ending the wrong voice, or a loud one, or a held one, would be
// heard as a jump in the sound against the rendering that plays every
// release out.
TEST(MusicSynth, EndingQuietReleasesChangesNothingHeard) {
    MidiTrackMaker t;
    constexpr uint32_t kSecond = 960;  // 120 bpm, 480 per quarter
    t.program(0, 0, 90);  // polysynth pad: seconds of release
    t.program(0, 1, 0);   // piano
    for (uint32_t at = 0; at < 6 * kSecond; at += kSecond / 3)
        t.note(at, kSecond / 4, 0, 60, 60 + int(at % 50));
    t.add(0, {0xB1, 64, 127});  // pedal down
    t.note(kSecond / 5, kSecond / 5, 1, 64, 120);
    t.add(4 * kSecond, {0xB1, 64, 0});  // pedal up
    t.endTick = 10 * kSecond;
    const MidiSong song = Parse(MakeMidiFile(0, 480, {t}));
    for (const auto& [rate, channels] : {std::pair{44100.0, 2}, std::pair{11025.0, 1}}) {
        SCOPED_TRACE(rate);
        MusicRenderOptions full;
        full.endFadedTails = false;
        std::unique_ptr<MusicSynth> ending, playing;
        ASSERT_EQ(MusicSynth::Open(song, rate, channels, &ending), noErr);
        ASSERT_EQ(MusicSynth::Open(song, rate, channels, &playing, full), noErr);
        const size_t count = size_t(ending->TotalFrames()) * channels;
        std::vector<int16_t> a(count), b(count);
        // Rendered a tenth of a second at a time, counting the voices at work.
        const int32_t step = int32_t(rate / 10);
        int64_t endingVoices = 0, playingVoices = 0;
        for (int64_t at = 0; at < ending->TotalFrames(); at += step) {
            int32_t done = 0;
            ASSERT_EQ(ending->Render(a.data() + at * channels, step, &done), noErr);
            ASSERT_EQ(playing->Render(b.data() + at * channels, step, &done), noErr);
            endingVoices += ending->ActiveVoices();
            playingVoices += playing->ActiveVoices();
        }
        double signal = 0, noise = 0;
        int worst = 0, peak = 0;
        for (size_t i = 0; i < count; ++i) {
            const int d = a[i] - b[i];
            signal += double(b[i]) * b[i];
            noise += double(d) * d;
            worst = std::max(worst, std::abs(d));
            peak = std::max(peak, std::abs(int(b[i])));
        }
        EXPECT_GT(peak, 3000);
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 40.0);
        EXPECT_LT(worst, peak / 100) << "largest difference " << worst << " of a peak " << peak;
        // And the work: the pad's releases run for seconds after each stroke.
        EXPECT_LT(endingVoices, playingVoices * 7 / 10);
    }
}

TEST(AiffExport, EightBitMonoAndRatesBelowTheSynthesizers) {
    // 8-bit AIFF samples are signed whatever the description's format said.
    const Rendered r = RenderToAiff(HeldA4Song(1.0), "a4-8.aif", kSoundNotCompressed, 8, 1, 11025);
    ASSERT_EQ(r.status, noErr);
    const Aiff a = ReadAiff(r.path);
    EXPECT_EQ(a.sampleSize, 8);
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.frames, 11025u);
    EXPECT_NEAR(DominantFrequency(a.samples, 1, a.rate, 5000, 5000, 100, 1500), 440.0, 8.8);
    // 4096 Hz is rendered at 8192 and every pair averaged.
    const Rendered low = RenderToAiff(HeldA4Song(1.0), "a4-low.aif", kTwosComplementFormat, 16, 1, 4096);
    ASSERT_EQ(low.status, noErr);
    const Aiff l = ReadAiff(low.path);
    EXPECT_EQ(l.rate, 4096.0);
    EXPECT_EQ(l.frames, 4096u);
    EXPECT_NEAR(DominantFrequency(l.samples, 1, l.rate, 2048, 2048, 100, 1500), 440.0, 8.8);
}

TEST(AiffExport, FailuresLeaveNoFile) {
    // A cancel from the progress procedure stops the rendering with its value.
    const Rendered c = RenderToAiff(HeldA4Song(2.0), "cancel.aif", kTwosComplementFormat, 16, 2,
                                    22050, CancelHalfway);
    EXPECT_EQ(c.status, kStatusUserCancelled);
    EXPECT_FALSE(FileExists(c.path));
    // Without a soundfont nothing can be heard.
    setenv("MOVIEPACKER_SOUNDFONT", ScratchPath("no-such.sf2").c_str(), 1);
    const Rendered n = RenderToAiff(HeldA4Song(1.0), "nofont.aif", kTwosComplementFormat, 16, 2, 22050);
    unsetenv("MOVIEPACKER_SOUNDFONT");
    EXPECT_EQ(n.status, kStatusNoCodec);
    EXPECT_FALSE(FileExists(n.path));
}

TEST(AiffExport, RefusesWhatAnAiffCannotHold) {
    ComponentInstance aiff = nullptr;
    ASSERT_EQ(RegisterBuiltInExporters(), noErr);
    ASSERT_EQ(OpenDefaultComponent(kMovieExportType, kAiffExportSubType, &aiff), noErr);
    SampleDescription d;
    d.dataFormat = kTwosComplementFormat;
    d.sampleSize = 16;
    d.channels = 2;
    d.sampleRate = 22050;
    for (auto change : {+[](SampleDescription& x) { x.sampleSize = 12; },
                        +[](SampleDescription& x) { x.channels = 3; },
                        +[](SampleDescription& x) { x.sampleRate = 0; },
                        +[](SampleDescription& x) { x.dataFormat = MakeOSType("ima4"); }}) {
        SampleDescription bad = d;
        change(bad);
        MovieExportSampleDescriptionParams sp{&bad, kSoundMediaType};
        EXPECT_EQ(CallComponent(aiff, kMovieExportSetSampleDescriptionSelect, &sp),
                  kStatusParamError);
    }
    // A movie without music has nothing for it.
    Movie m = nullptr;
    ASSERT_EQ(NewMovieFromFile(CorpusFile("tone.wav"), &m), noErr);
    FileSpec spec;
    ASSERT_EQ(FileSpecFromPath(ScratchPath("tone.aif"), &spec), noErr);
    EXPECT_EQ(ConvertMovieToFile(m, nullptr, spec, kAiffFileType, 0, aiff, nullptr, 0),
              kStatusParamError);
    EXPECT_FALSE(FileExists(ScratchPath("tone.aif")));
    DisposeMovie(m);
    CloseComponent(aiff);
}

}  // namespace
