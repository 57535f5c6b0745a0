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

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs the command line through the shell with stdout captured.
CliRun run(const std::string& args) {
    CliRun r;
    const std::string cmd = std::string("'") + MOVIEPACKER_CLI + "' " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 512> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
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

    // Without a video and without sound there is nothing to write.
    const CliRun none = run("convert --depth none --audio none -o " + quote(dir_ / "empty.pdb") +
                            " " + quote(clip_));
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("Parameter error"), std::string::npos) << none.out;
    EXPECT_FALSE(fs::exists(dir_ / "empty.pdb"));

    EXPECT_EQ(run("convert --depth 17 " + quote(clip_)).status, 2);
    EXPECT_EQ(run("convert --size 10by10 " + quote(clip_)).status, 2);
    EXPECT_EQ(run("convert").status, 2);
    EXPECT_EQ(run("convert -o a.pdb x y").status, 2);
    EXPECT_EQ(run("convert --profile 'No Such Device' " + quote(clip_)).status, 2);
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
    // Neither video nor sound: the run fails, the old file stays.
    EXPECT_NE(run("convert --depth none --audio none -o " + quote(out) + " " + quote(clip_)).status,
              0);
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
