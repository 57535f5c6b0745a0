// moviepacker-cli convert over MIDI files: a song converts; broken files and
// a missing soundfont fail with a message, exit 1, and leave neither an
// output nor a temporary file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/movie_reader.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/midi_maker.h"

namespace fs = std::filesystem;

namespace {

using CliRun = CommandOutput;

// Runs the converter with its temporary folder in `runtime` and the given
// environment assignments, stdout and stderr captured.
CliRun convert(const fs::path& runtime, const std::string& env, const std::string& args) {
    return CaptureCommand("XDG_RUNTIME_DIR='" + runtime.string() + "' " + env + " '" +
                          MOVIEPACKER_CLI + "' convert " + args + " 2>&1");
}

class MidiCli : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime_ = ScratchPath("runtime-" + std::string(
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
    }
    // The folder the converter keeps its temporary files in has none left.
    void expectNoTemporaryFile() {
        for (const auto& e : fs::recursive_directory_iterator(runtime_))
            if (!e.is_directory()) ADD_FAILURE() << "left behind: " << e.path();
    }
    fs::path runtime_;
};

TEST_F(MidiCli, ASongConvertsToADatabaseWithSound) {
    const std::string song = ScratchPath("Held_note.mid"), out = ScratchPath("held.pdb");
    WriteWholeFile(song, HeldA4Song(1.5));
    const CliRun r = convert(runtime_, "", "--audio adpcm --rate 11025 -o '" + out + "' '" + song + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovie(ReadWholeFile(out), m, error)) << error;
    EXPECT_TRUE(m.header.hasSound);
    EXPECT_FALSE(m.header.hasVideo);
    expectNoTemporaryFile();
}

TEST_F(MidiCli, BrokenFilesAndAMissingSoundfontFailCleanly) {
    MidiTrackMaker t;
    t.note(0, 960, 0, 60);
    const std::vector<uint8_t> good = MakeMidiFile(0, 480, {t});
    std::vector<uint8_t> manyTracks = good;
    manyTracks[10] = manyTracks[11] = 0xFF;  // 65535 tracks claimed, the most the header holds
    std::vector<uint8_t> hugeTrack = good;
    hugeTrack[18] = 0x3B;  // a track of 10^9 bytes
    hugeTrack[19] = 0x9A;
    hugeTrack[20] = 0xCA;
    hugeTrack[21] = 0x00;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* env;
        const char* message;
    };
    const Case cases[] = {
        {"empty", {}, "", "Unable to open source file"},
        {"corrupt", std::vector<uint8_t>(good.begin(), good.end() - 3), "", "Unable to open source file"},
        {"many-tracks", manyTracks, "", "Unable to open source file"},
        {"huge-track", hugeTrack, "", "Unable to open source file"},
        {"no-soundfont", good, "MOVIEPACKER_SOUNDFONT=/nonexistent/gm.sf2", "soundfont"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string song = ScratchPath(std::string(c.name) + ".mid");
        const std::string out = ScratchPath(std::string(c.name) + ".pdb");
        WriteWholeFile(song, c.bytes);
        const CliRun r = convert(runtime_, c.env, "--audio adpcm -o '" + out + "' '" + song + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out));
        expectNoTemporaryFile();
    }
}

}  // namespace
