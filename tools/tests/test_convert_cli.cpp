// moviepacker-cli convert as a user runs it: output naming, destinations,
// settings from a profile and options, results, exit statuses and Ctrl-C.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "engine/movie_reader.h"
#include "export/settings.h"
#include "platform/tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

using CliRun = CommandOutput;

// Runs the command line through the shell with stdout (or only stderr) captured.
CliRun run(const std::string& args, bool stderrOnly = false) {
    const std::string cmd = std::string("'") + MOVIEPACKER_CLI + "' " + args +
                            (stderrOnly ? " 2>&1 >/dev/null" : " 2>/dev/null");
    return CaptureCommand(cmd);
}

std::string quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

class ConvertCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("convert-cli-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // A moving test picture with a tone, small and short.
        clip_ = dir_ / "two_words.clip.mp4";
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x72:rate=10:duration=2 "
            "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 -c:v libx264 "
            "-pix_fmt yuv420p -c:a aac " +
            quote(clip_);
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    static fs::path dir_, clip_;
};
fs::path ConvertCli::dir_, ConvertCli::clip_;

movie::Movie readBack(const fs::path& p) {
    movie::Movie m;
    std::string error;
    EXPECT_TRUE(movie::readMovieFile(p.string(), m, error)) << error;
    for (const auto& v : m.violations) ADD_FAILURE() << p << ": " << v;
    return m;
}

TEST_F(ConvertCli, NamesFollowTheSourceAndSkipTakenNames) {
    const fs::path out = dir_ / "names";
    fs::create_directories(out);
    std::ofstream(out / "two words.pdb") << "taken";
    std::ofstream(out / "two words-1.pdb") << "taken";
    const CliRun r = run("convert --dest " + quote(out) + " --audio pcm8 " + quote(clip_));
    EXPECT_EQ(r.status, 0) << r.out;
    const fs::path made = out / "two words-2.pdb";
    ASSERT_TRUE(fs::exists(made)) << r.out;
    const movie::Movie m = readBack(made);
    EXPECT_EQ(m.header.audioFormat, 627u);
    EXPECT_EQ(m.frames.size(), 12u);  // 2 s at the default 6 frames per second
    // The inspector agrees.
    EXPECT_EQ(run("inspect " + quote(made)).status, 0);
    // And it lands beside the source without --dest.
    EXPECT_EQ(run("convert --depth 1 " + quote(clip_)).status, 0);
    EXPECT_TRUE(fs::exists(dir_ / "two words.pdb"));
}

TEST_F(ConvertCli, OptionsOverrideTheProfileAndOutputGoesWhereAsked) {
    const fs::path out = dir_ / "profiled.pdb";
    const CliRun r =
        run("convert --profile 'iQue 3600' --depth grey16 --fps 5 --size 64x48 --audio adpcm -o " +
            quote(out) + " " + quote(clip_));
    ASSERT_EQ(r.status, 0) << r.out;
    const movie::Movie m = readBack(out);
    EXPECT_EQ(m.frames.size(), 10u);
    EXPECT_EQ(m.header.width, 64);
    EXPECT_EQ(m.header.height, 48);
    EXPECT_EQ(m.header.audioFormat, 626u);
    EXPECT_EQ(m.header.sampleRate, 22050u);  // the profile's, not the default 8192
    EXPECT_EQ(m.header.channels, 1);         // a stereo setting over a mono source
    // -o replaces what is there.
    EXPECT_EQ(
        run("convert --depth grey4 --audio none -o " + quote(out) + " " + quote(clip_)).status, 0);
    EXPECT_FALSE(readBack(out).header.hasSound);
}

TEST_F(ConvertCli, ASettingsFileIsReadAndOptionsGoOverIt) {
    ExportSettings s;
    s.depth = kDepthMono;
    s.frameRate = fixedFromInt(5);
    s.width = 48;
    s.height = 36;
    s.soundCodec = kSoundPcmStereo;
    normaliseSound(&s);
    AtomContainer c;
    ASSERT_EQ(getSettingsAsContainer(s, &c), noErr);
    const std::vector<uint8_t> bytes = c.flatten();
    const fs::path file = dir_ / "settings.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const fs::path out = dir_ / "from settings.pdb";
    const CliRun r = run("convert --settings " + quote(file) + " --fps 10 -o " + quote(out) + " " +
                         quote(clip_));
    ASSERT_EQ(r.status, 0) << r.out;
    const movie::Movie m = readBack(out);
    EXPECT_EQ(m.frames.size(), 20u);  // the option's rate, not the file's
    EXPECT_EQ(m.header.width, 48);
    EXPECT_EQ(m.header.audioFormat, 630u);
    EXPECT_EQ(run("convert --settings " + quote(clip_) + " " + quote(clip_)).status, 2);
}

TEST_F(ConvertCli, ResultsCarryTheErrorTextsAndTheExitStatus) {
    const fs::path junk = dir_ / "junk.mov";
    std::ofstream(junk) << "not a movie at all";
    const CliRun r = run("convert --json --dest " + quote(dir_ / "json") + " " + quote(junk) + " " +
                         quote(clip_));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"status\":-2048"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"message\":\"Unable to open source file\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"converted\":true"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_FALSE(fs::exists(dir_ / "json" / "junk.pdb"));

    EXPECT_EQ(run("convert --depth 17 " + quote(clip_)).status, 2);
    EXPECT_EQ(run("convert --size 10by10 " + quote(clip_)).status, 2);
    EXPECT_EQ(run("convert").status, 2);
    EXPECT_EQ(run("convert -o a.pdb x y").status, 2);
    EXPECT_EQ(run("convert --profile 'No Such Device' " + quote(clip_)).status, 2);
}


TEST_F(ConvertCli, TextsComeBackFromInspectAndDecodeAsTheyWereWritten) {
    // UTF-8 in the file name, the metadata and the chapters; the handheld
    // stores Mac Roman and the tools show UTF-8 again.
    const fs::path meta = dir_ / "texts.txt";
    std::ofstream(meta) << ";FFMETADATA1\ntitle=\xC5\x81\xC3\xB3" "d\xC5\xBA \xE6\x9D\xB1\xE4\xBA\xAC\n"
                           "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Caf\xC3\xA9\n"
                           "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Zw\xC3\xB6lf\n";
    const fs::path source = dir_ / "Gro\xC3\x9F" "e_\xC3\x9C" "berraschung.mov";
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 "
                             "-f ffmetadata -i " + quote(meta) +
                             " -map 0:v -map_metadata 1 -map_chapters 1 -c:v mpeg4 " + quote(source);
    ASSERT_EQ(std::system(make.c_str()), 0);
    const fs::path out = dir_ / "texts";
    ASSERT_EQ(run("convert --depth grey16 --audio none --dest " + quote(out) + " " + quote(source)).status, 0);
    const fs::path made = out / "Gro\xC3\x9F" "e \xC3\x9C" "berraschung.pdb";
    ASSERT_TRUE(fs::exists(made));

    const std::string json = run("inspect --json " + quote(made)).out;
    EXPECT_NE(json.find("\"name\":\"Gro\xC3\x9F" "e \xC3\x9C" "berraschung\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"title\":\"L\xC3\xB3" "dz ??\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"title\":\"Caf\xC3\xA9\""), std::string::npos) << json;

    const fs::path mkv = dir_ / "texts.mkv";
    ASSERT_EQ(run("decode " + quote(made) + " -o " + quote(mkv)).status, 0);
    const std::string probe = CaptureCommand("ffprobe -v error -show_entries format_tags=title:chapter_tags=title "
                                             "-of default=nw=1 " + quote(mkv)).out;
    EXPECT_NE(probe.find("TAG:title=L\xC3\xB3" "dz ??"), std::string::npos) << probe;
    EXPECT_NE(probe.find("TAG:title=Caf\xC3\xA9"), std::string::npos) << probe;
    EXPECT_NE(probe.find("TAG:title=Zw\xC3\xB6lf"), std::string::npos) << probe;
}

TEST_F(ConvertCli, ChaptersThatCannotFitAreReportedNotLost) {
    // 1400 chapters of 40 characters: more than one record of the list holds.
    const fs::path meta = dir_ / "many.txt";
    {
        std::ofstream m(meta);
        m << ";FFMETADATA1\n";
        for (int i = 0; i < 1400; ++i) {
            char title[41];
            std::snprintf(title, sizeof title, "Chapter %04d of a long list for testing", i + 1);
            m << "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" << i * 2 << "\nEND=" << i * 2 + 2
              << "\ntitle=" << title << "\n";
        }
    }
    const fs::path source = dir_ / "many.mov";
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 "
                             "-f ffmetadata -i " + quote(meta) +
                             " -map 0:v -map_chapters 1 -c:v mpeg4 " + quote(source);
    ASSERT_EQ(std::system(make.c_str()), 0);
    const fs::path out = dir_ / "many.pdb";
    const std::string json = run("convert --json --depth colour -o " + quote(out) + " " + quote(source)).out;
    EXPECT_NE(json.find("\"converted\":true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"warnings\":[\"10 of 1400 chapters left out"), std::string::npos) << json;
    const movie::Movie m = readBack(out);
    EXPECT_EQ(m.header.chapters.size(), 1390u);
    EXPECT_EQ(run("inspect " + quote(out)).status, 0);
    // Without --json the warning goes to standard error.
    const std::string text = run("convert --depth colour -o " + quote(out) + " " + quote(source), true).out;
    EXPECT_NE(text.find("warning: "), std::string::npos) << text;
    EXPECT_NE(text.find("10 of 1400 chapters left out"), std::string::npos) << text;
}

// Nothing but our own work folders may appear beside an output.
bool noWorkFolders(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".moviepacker-", 0) == 0) return false;
    return true;
}

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An AVI of raw pictures and a tone whose header claims 20000 x 20000
// pictures: the sound is fine, no decoder can hold the pictures.
fs::path hugePictures(const fs::path& dir) {
    // In the suite's folder, which goes with it.
    const fs::path avi = dir / ("huge-" + std::to_string(getpid()) + ".avi");
    if (fs::exists(avi)) return avi;
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=16x16:rate=5:duration=1 -f lavfi "
        "-i sine=sample_rate=11025:duration=1 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " +
        quote(avi);
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::string bytes = contents(avi);
    const size_t strf = bytes.find("strf");  // the first stream's is the picture's
    EXPECT_NE(strf, std::string::npos);
    for (const size_t at : {strf + 12, strf + 16}) {  // biWidth, biHeight
        const uint32_t v = 20000;
        for (int i = 0; i < 4; ++i) bytes[at + i] = char((v >> (8 * i)) & 0xFF);
    }
    std::ofstream(avi, std::ios::binary) << bytes;
    return avi;
}

TEST_F(ConvertCli, SettingsAreNeverChangedSilently) {
    const fs::path out = dir_ / "settings-out";
    // Values no device shows, rates the encoder lacks, angles it cannot turn
    // and runs with nothing to write: usage errors before any file is touched.
    for (const char* bad : {"--rotate 45", "--depth none --audio none", "--bitrate 20000",
                            "--size 2000x2000", "--size 481x100"}) {
        const CliRun r = run(std::string("convert ") + bad + " --dest " + quote(out) + " " +
                                 quote(clip_),
                             true);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.out.rfind("convert: ", 0), 0u) << bad << ": " << r.out;
    }
    EXPECT_EQ(run("convert --depth none --audio none " + quote(clip_), true).status, 2);
    EXPECT_FALSE(fs::exists(out));
    // Rates the encoder has are taken.
    EXPECT_EQ(run("convert --audio atrac3 --channels 1 --bitrate 16500 --depth none -o " +
                  quote(dir_ / "atrac.pdb") + " " + quote(clip_))
                  .status,
              0);
    EXPECT_EQ(readBack(dir_ / "atrac.pdb").header.bitRateCode, 16);

    // What the format forces is said on stderr and in the JSON warnings.
    const std::string forced = "convert --audio pcm8 --rate 22050 --channels 2 --size 62x46 ";
    const CliRun told = run(forced + "-o " + quote(dir_ / "forced.pdb") + " " + quote(clip_), true);
    EXPECT_EQ(told.status, 0);
    EXPECT_NE(told.out.find("notice: sound format 627 plays at 8192 Hz, not 22050 Hz"),
              std::string::npos) << told.out;
    EXPECT_NE(told.out.find("notice: sound format 627 is mono, not 2 channels"), std::string::npos);
    EXPECT_NE(told.out.find("62x46 is stored as 64x48"), std::string::npos) << told.out;
    const CliRun json = run(forced + "--json -o " + quote(dir_ / "forced.pdb") + " " + quote(clip_));
    EXPECT_NE(json.out.find("\"warnings\":[\"sound format 627 plays at 8192 Hz"), std::string::npos)
        << json.out;
}

TEST_F(ConvertCli, PicturesThatCannotBeDecodedAreNotDroppedSilently) {
    const fs::path huge = hugePictures(dir_);
    const fs::path out = dir_ / "huge.pdb";
    const CliRun refused = run("convert --audio adpcm -o " + quote(out) + " " + quote(huge), true);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("huge-"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("Unable to decode video: its pictures"), std::string::npos)
        << refused.out;
    EXPECT_FALSE(fs::exists(out));
    // Asked for, the sound alone is converted, with a warning.
    const CliRun allowed =
        run("convert --audio adpcm --allow-missing-video --json -o " + quote(out) + " " +
            quote(huge));
    EXPECT_EQ(allowed.status, 0);
    EXPECT_NE(allowed.out.find("\"warnings\":[\"sound only"), std::string::npos) << allowed.out;
    const movie::Movie m = readBack(out);
    EXPECT_TRUE(m.frames.empty());
    EXPECT_TRUE(m.header.hasSound);
    // Without video asked for, there is nothing to warn about.
    EXPECT_EQ(run("convert --depth none --audio adpcm -o " + quote(out) + " " + quote(huge)).status,
              0);
}

TEST_F(ConvertCli, MessagesNameTheFileAndTheCause) {
    const CliRun missing = run("convert --dest " + quote(dir_) + " " + quote(dir_ / "nope.mp4"), true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("nope.mp4': Unable to open source file: no such file"),
              std::string::npos) << missing.out;
    const CliRun folder = run("convert --dest " + quote(dir_) + " " + quote(dir_), true);
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.out.find("is a directory"), std::string::npos) << folder.out;
    // The other commands too: a folder is bad input, not a crash.
    const CliRun inspect = run("inspect " + quote(dir_), true);
    EXPECT_EQ(inspect.status, 2);
    EXPECT_NE(inspect.out.find("is a directory"), std::string::npos) << inspect.out;
    EXPECT_EQ(run("decode " + quote(dir_) + " -o " + quote(dir_ / "x.mkv")).status, 2);
    EXPECT_EQ(run("profiles 'No Such Device'").status, 2);
    // A profile's codes come with their names.
    const CliRun shown = run("profiles 'All gray Palm OS devices'");
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("depth 36 (16 greys)"), std::string::npos) << shown.out;
}

TEST_F(ConvertCli, DecodeKeepsEveryFrameAndEveryRate) {
    // 8192 Hz sound, which AAC and Opus do not take as it is.
    const fs::path pdb = dir_ / "decode-me.pdb";
    ASSERT_EQ(run("convert --audio pcm8 --fps 5 -o " + quote(pdb) + " " + quote(clip_)).status, 0);
    const size_t frames = readBack(pdb).frames.size();
    for (const char* name : {"d.mp4", "d.mov", "d.webm", "d.mkv"}) {
        const fs::path out = dir_ / name;
        ASSERT_EQ(run("decode " + quote(pdb) + " -o " + quote(out)).status, 0) << name;
        FILE* p = popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                         "stream=nb_read_frames -of csv=p=0 " + quote(out))
                            .c_str(),
                        "r");
        ASSERT_NE(p, nullptr);
        char line[64] = {};
        ASSERT_NE(fgets(line, sizeof line, p), nullptr);
        pclose(p);
        EXPECT_EQ(size_t(std::atoi(line)), frames) << name;  // the last one included
    }
    // An output kind nobody writes is refused, not made a folder.
    EXPECT_EQ(run("decode " + quote(pdb) + " -o " + quote(dir_ / "d.xyz")).status, 2);
    EXPECT_FALSE(fs::exists(dir_ / "d.xyz"));
}

// Seconds from the start of a decoded sound.wav to the first loud sample.
double soundOnset(const fs::path& wav) {
    const std::string b = contents(wav);
    if (b.size() < 44) return -1;
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[at + size_t(i)]);
        return v;
    };
    const uint32_t rate = le(24, 4), channels = le(22, 2);
    size_t at = 12;  // find the data chunk
    while (at + 8 <= b.size() && b.compare(at, 4, "data") != 0) at += 8 + le(at + 4, 4);
    for (size_t i = at + 8; i + 1 < b.size(); i += 2)
        if (std::abs(int16_t(le(i, 2))) > 2000) return double((i - at - 8) / 2 / channels) / rate;
    return -1;
}

// A stream that starts after the other keeps its place: sound that starts a
// second late is led by a second of silence; sound that starts a second
// early stays at the start, the late pictures after it.
TEST_F(ConvertCli, StreamsKeepTheirStartOffsets) {
    struct Case {
        const char* name;
        std::string inputs;
        double onset;
    };
    const std::string video = "-f lavfi -i testsrc=size=96x72:rate=10:duration=3 ";
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=3 ";
    const Case cases[] = {
        {"sound-late.mkv", video + "-itsoffset 1 " + tone, 1.0},
        {"picture-late.mkv", "-itsoffset 1 " + video + tone, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path src = dir_ / c.name;
        ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y " + c.inputs +
                               "-c:v mpeg4 -c:a pcm_s16le " + quote(src))
                                  .c_str()),
                  0);
        const fs::path pdb = dir_ / (std::string(c.name) + ".pdb");
        ASSERT_EQ(run("convert --audio pcm16 --rate 22050 -o " + quote(pdb) + " " + quote(src)).status, 0);
        const fs::path frames = dir_ / (std::string(c.name) + "-frames");
        ASSERT_EQ(run("decode " + quote(pdb) + " -o " + quote(frames) + "/").status, 0);
        EXPECT_NEAR(soundOnset(frames / "sound.wav"), c.onset, 0.1);
    }
}

TEST_F(ConvertCli, TheSourceIsNeverTheOutput) {
    const fs::path dir = dir_ / "self";
    fs::create_directories(dir);
    const fs::path mp4 = dir / "same.mp4", mkv = dir / "same.mkv";
    fs::copy_file(clip_, mp4);
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i " + quote(clip_) + " -c copy " +
                           quote(mkv))
                              .c_str()),
              0);
    fs::create_hard_link(mp4, dir / "hard.pdb");
    fs::create_symlink(mkv, dir / "soft.pdb");
    const std::string before = contents(mp4), beforeMkv = contents(mkv);
    EXPECT_EQ(run("convert -o " + quote(mp4) + " " + quote(mp4)).status, 2);
    EXPECT_EQ(run("convert -o " + quote(mkv) + " " + quote(mkv)).status, 2);
    EXPECT_EQ(run("convert -o " + quote(dir / "hard.pdb") + " " + quote(mp4)).status, 2);
    EXPECT_EQ(run("convert -o " + quote(dir / "soft.pdb") + " " + quote(mkv)).status, 2);
    EXPECT_TRUE(contents(mp4) == before) << "the source was changed";
    EXPECT_TRUE(contents(mkv) == beforeMkv) << "the source was changed";

    // decode likewise keeps the database it reads.
    const fs::path pdb = dir / "movie.pdb";
    ASSERT_EQ(run("convert --audio none -o " + quote(pdb) + " " + quote(clip_)).status, 0);
    const std::string db = contents(pdb);
    fs::create_symlink(pdb, dir / "movie.mkv");
    EXPECT_EQ(run("decode " + quote(pdb) + " -o " + quote(dir / "movie.mkv")).status, 2);
    EXPECT_TRUE(contents(pdb) == db) << "the database was changed";
    EXPECT_TRUE(noWorkFolders(dir));
}

TEST_F(ConvertCli, AFailedRunKeepsTheFileThatWasThere) {
    const fs::path out = dir_ / "kept.pdb";
    std::ofstream(out) << "precious";
    // Pictures too large to decode: the run fails, the old file stays.
    EXPECT_EQ(run("convert -o " + quote(out) + " " + quote(hugePictures(dir_))).status, 1);
    EXPECT_EQ(contents(out), "precious");
    EXPECT_TRUE(noWorkFolders(dir_));
    // A successful run replaces it whole.
    ASSERT_EQ(run("convert --audio none -o " + quote(out) + " " + quote(clip_)).status, 0);
    EXPECT_TRUE(readBack(out).header.hasVideo);
    EXPECT_TRUE(noWorkFolders(dir_));
}

// Ctrl-C, kill and a closed terminal: the run stops, the file that was at
// -o stays, no spool or work file remains, and the exit status is the
// shell's 128 + signal.
class ConvertSignals : public ConvertCli, public ::testing::WithParamInterface<int> {};

TEST_P(ConvertSignals, StopCleanly) {
    const int signo = GetParam();
    const fs::path longClip = dir_ / "long.mp4";
    if (!fs::exists(longClip)) {
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=30:duration=40 "
            "-c:v libx264 -preset ultrafast -pix_fmt yuv420p " +
            quote(longClip) + ".part.mp4 && mv " + quote(longClip) + ".part.mp4 " +
            quote(longClip);
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    const fs::path temp = dir_ / ("tmp" + std::to_string(signo));
    const fs::path outDir = dir_ / ("out" + std::to_string(signo));
    fs::create_directories(temp);
    fs::create_directories(outDir);
    const fs::path out = outDir / "cancelled.pdb";
    std::ofstream(out) << "older result";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TMPDIR", temp.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(MOVIEPACKER_CLI, MOVIEPACKER_CLI, "convert", "--fps", "30", "--size", "320x240", "-o",
              out.c_str(), longClip.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the conversion has begun (its spool file exists), then signal.
    for (int i = 0; i < 5000 && fs::is_empty(temp); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_FALSE(fs::is_empty(temp)) << "the conversion did not start";
    kill(child, signo);
    int st = 0;
    ASSERT_EQ(waitpid(child, &st, 0), child);
    ASSERT_TRUE(WIFEXITED(st)) << "ended by signal " << WTERMSIG(st);
    EXPECT_EQ(WEXITSTATUS(st), 128 + signo);
    EXPECT_EQ(contents(out), "older result");
    EXPECT_TRUE(noWorkFolders(outDir));
    EXPECT_TRUE(fs::is_empty(temp)) << "a spool file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Signals, ConvertSignals, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// Eight runs at once, each of a source called the same: eight databases,
// none lost, each under its own name and each reporting it.
TEST_F(ConvertCli, ParallelRunsNeverShareAName) {
    constexpr int kRuns = 8;
    const fs::path out = dir_ / "parallel";
    fs::create_directories(out);
    std::vector<fs::path> sources;
    for (int i = 0; i < kRuns; ++i) {
        const fs::path d = dir_ / ("s" + std::to_string(i));
        fs::create_directories(d);
        sources.push_back(d / "same name.mp4");
        fs::copy_file(clip_, sources.back(), fs::copy_options::overwrite_existing);
    }
    std::vector<FILE*> pipes;
    for (const fs::path& src : sources) {
        const std::string cmd = std::string("'") + MOVIEPACKER_CLI +
                                "' convert --depth 36 --audio 626 --json --dest " + quote(out) +
                                " " + quote(src) + " 2>/dev/null; echo \"exit $?\"";
        pipes.push_back(popen(cmd.c_str(), "r"));
        ASSERT_NE(pipes.back(), nullptr);
    }
    std::set<std::string> reported;
    for (FILE* p : pipes) {
        std::string text;
        std::array<char, 512> buf;
        size_t n;
        while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
        pclose(p);
        EXPECT_NE(text.find("exit 0"), std::string::npos) << text;
        const size_t at = text.find("\"output\":\"");
        ASSERT_NE(at, std::string::npos) << text;
        const size_t from = at + 10;
        reported.insert(text.substr(from, text.find('"', from) - from));
    }
    EXPECT_EQ(reported.size(), size_t(kRuns));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) {
        const movie::Movie m = readBack(e.path());
        EXPECT_EQ(m.frames.size(), 12u) << e.path();
        // The database inside is named after its file, so a handheld can hold them all.
        EXPECT_EQ(m.db.name + ".pdb", e.path().filename().string());
        names.insert(e.path().string());
    }
    EXPECT_EQ(names, reported);
}

}  // namespace
