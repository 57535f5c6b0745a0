// Files that are not movies, or broken ones, fail with a status: never a
// crash, never a hang.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/media_export.h"
#include "platform/movies.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/frames.h"

namespace {

// Opens and, when that works, pulls every picture and all sound; returns
// the open status. Whatever is decoded must end in a status.
OSStatus OpenAndDrain(const std::vector<uint8_t>& bytes) {
    Movie m = nullptr;
    const OSStatus err = NewMovieFromMemory(bytes, &m);
    if (err != noErr) return err;
    for (OSType kind : {kVideoMediaType, kSoundMediaType}) {
        const DelegateProcs procs(m, kind);
        if (procs.status() != noErr) continue;
        MovieExportGetDataParams p;
        TimeValue t = 0;
        for (int i = 0; i < 400; ++i) {
            p = MovieExportGetDataParams{};
            p.requestedTime = t;
            p.requestedSampleCount = 4096;
            if (procs.getData(&p) != noErr) break;
            t += kind == kVideoMediaType ? p.durationPerSample : p.actualSampleCount;
        }
    }
    DisposeMovie(m);
    return noErr;
}

TEST(CorruptInput, EmptyMissingAndForeignFilesDoNotOpen) {
    Movie m = nullptr;
    const std::string empty = ScratchPath("empty.mov");
    WriteWholeFile(empty, {});
    EXPECT_EQ(NewMovieFromFile(empty, &m), kStatusNoMovieFound);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(NewMovieFromFile(ScratchPath("absent.mov"), &m), kStatusFileNotFound);
    EXPECT_EQ(NewMovieFromFile(ScratchPath(""), &m), kStatusNoMovieFound);  // a directory
    const std::string text = ScratchPath("readme.mp4");
    const std::string words = "This is not a movie, only some text that claims to be one.\n";
    WriteWholeFile(text, std::vector<uint8_t>(words.begin(), words.end()));
    EXPECT_EQ(NewMovieFromFile(text, &m), kStatusNoMovieFound);
    std::vector<uint8_t> noise(64 * 1024);
    uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    EXPECT_EQ(OpenAndDrain(noise), kStatusNoMovieFound);
    EXPECT_EQ(OpenAndDrain({}), kStatusNoMovieFound);
}

TEST(CorruptInput, TruncatedFilesFailOrEndEarly) {
    for (const char* name : {"h264_aac.mp4", "chapters.mov", "h264_mp3.mkv", "mpeg4_mp3.avi",
                             "flv1_mp3.flv", "tone.wav", "pic.png"}) {
        const std::vector<uint8_t> whole = ReadWholeFile(CorpusFile(name));
        ASSERT_GT(whole.size(), 64u);
        for (size_t keep : {size_t{16}, whole.size() / 3, whole.size() - 7}) {
            const auto start = std::chrono::steady_clock::now();
            const std::vector<uint8_t> part(whole.begin(),
                                            whole.begin() + static_cast<ptrdiff_t>(keep));
            const OSStatus err = OpenAndDrain(part);
            EXPECT_TRUE(err == noErr || err == kStatusNoMovieFound) << name << " " << keep;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        }
    }
}

TEST(CorruptInput, DamagedBytesNeverCrashTheDecoders) {
    for (const char* name : {"h264_aac.mp4", "vp8_vorbis.webm", "mjpeg_u8.avi", "pal.dv"}) {
        std::vector<uint8_t> bytes = ReadWholeFile(CorpusFile(name));
        ASSERT_GT(bytes.size(), 1024u);
        // Stamp garbage over a stretch in the middle of the file, where the samples are.
        uint32_t x = 99;
        for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 400; ++i) {
            x = x * 1664525u + 1013904223u;
            bytes[i] = static_cast<uint8_t>(x >> 24);
        }
        const OSStatus err = OpenAndDrain(bytes);
        EXPECT_TRUE(err == noErr || err == kStatusNoMovieFound) << name;
    }
}

}  // namespace
