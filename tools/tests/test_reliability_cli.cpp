// moviepacker-cli convert when things go wrong around it: a full disk, a
// kill in the middle, many runs at once, hostile file names, extreme sizes.
// Every verdict rests on what is left on disk, never on timing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/movie_reader.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct CliResult {
    int status = -1;  // exit status; -1 when killed by a signal
    std::string out, err;
};

struct Env {
    std::vector<std::string> vars;  // "NAME=value", set over ours
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

// Starts the command line with the arguments as they are (no shell, so any
// byte may be in a name); stdout and stderr go to the files given.
pid_t start(const std::vector<std::string>& args, const Env& env, const fs::path& out,
            const fs::path& err) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const std::string& v : env.vars) putenv(const_cast<char*>(v.c_str()));
    if (env.fileSizeLimit != RLIM_INFINITY) {
        // A file may not grow past the limit: every write beyond fails, as on
        // a full disk.
        const rlimit lim{env.fileSizeLimit, env.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &lim);
        signal(SIGXFSZ, SIG_IGN);
    }
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(MOVIEPACKER_CLI)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(MOVIEPACKER_CLI, argv.data());
    _exit(127);
}

CliResult finish(pid_t pid, const fs::path& out, const fs::path& err) {
    CliResult r;
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
}

CliResult cli(const std::vector<std::string>& args, const Env& env = {}) {
    static int n = 0;
    const fs::path out = g_dir / ("run" + std::to_string(++n) + ".out");
    const fs::path err = g_dir / ("run" + std::to_string(n) + ".err");
    return finish(start(args, env, out, err), out, err);
}

void ffmpeg(const std::string& args, const fs::path& to) {
    const std::string cmd = "ffmpeg -nostdin -v error -y " + args + " '" + to.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// A test picture with a tone, `seconds` long.
void makeClip(const fs::path& to, int seconds, const char* size = "160x120") {
    ffmpeg(std::string("-f lavfi -i testsrc=size=") + size + ":rate=10:duration=" +
               std::to_string(seconds) + " -f lavfi -i sine=sample_rate=22050:duration=" +
               std::to_string(seconds) + " -c:v mpeg4 -q:v 20 -c:a pcm_s16le",
           to);
}

// Every entry below `folder`, hidden ones included, relative to it.
std::set<std::string> tree(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(e.path(), folder).string());
    return names;
}

fs::path freshFolder(const std::string& name, fs::perms mode = fs::perms::owner_all) {
    const fs::path p = g_dir / name;
    fs::remove_all(p);
    fs::create_directories(p);
    fs::permissions(p, mode);
    return p;
}

size_t framesIn(const fs::path& p) {
    movie::Movie m;
    std::string error;
    EXPECT_TRUE(movie::readMovieFile(p.string(), m, error)) << p << ": " << error;
    EXPECT_TRUE(m.violations.empty()) << p << ": " << m.violations.front();
    return m.frames.size();
}

class Reliability : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_dir = fs::temp_directory_path() / ("reliability-cli-" + std::to_string(getpid()));
        fs::create_directories(g_dir);
        clip_ = g_dir / "clip.avi";
        makeClip(clip_, 4);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(g_dir, ignored);
    }
    // A private spool and temporary-items place per test, to see what is left.
    void SetUp() override {
        tmp_ = freshFolder("tmp-" + name());
        run_ = freshFolder("run-" + name());
        env_.vars = {"TMPDIR=" + tmp_.string(), "XDG_RUNTIME_DIR=" + run_.string(),
                     "XDG_CONFIG_HOME=" + (g_dir / "config").string()};
    }
    static std::string name() {
        return ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void expectNothingLeftInTemporaryPlaces() {
        EXPECT_TRUE(tree(tmp_).empty()) << *tree(tmp_).begin();
        EXPECT_TRUE(tree(run_).empty()) << *tree(run_).begin();
    }
    static fs::path clip_;
    fs::path tmp_, run_;
    Env env_;
};
fs::path Reliability::clip_;

TEST_F(Reliability, AFullDiskFailsWithDiskIsFullAndLeavesNothing) {
    const std::string sourceBefore = readAll(clip_);
    const fs::path whole = freshFolder("whole");
    ASSERT_EQ(cli({"convert", "--json", "--depth", "colour", "--audio", "pcm8", "--to",
                   whole.string(), clip_.string()},
                  env_)
                  .status,
              0);
    const uintmax_t size = fs::file_size(whole / "clip.pdb");
    ASSERT_GT(size, 8192u);
    // The disk fills early (in the spool file), and at the very last byte of
    // the database.
    for (const rlim_t limit : {rlim_t(4096), rlim_t(size - 1)}) {
        const fs::path dest = freshFolder("full");
        Env env = env_;
        env.fileSizeLimit = limit;
        const CliResult r = cli({"convert", "--json", "--depth", "colour", "--audio", "pcm8", "--to",
                           dest.string(), clip_.string()},
                          env);
        EXPECT_EQ(r.status, 1) << limit << ": " << r.out << r.err;
        EXPECT_NE(r.out.find("\"status\":-34"), std::string::npos) << limit << ": " << r.out;
        EXPECT_NE(r.out.find("Disk is full"), std::string::npos) << limit << ": " << r.out;
        EXPECT_TRUE(tree(dest).empty()) << limit << ": " << *tree(dest).begin();
        expectNothingLeftInTemporaryPlaces();
    }
    EXPECT_EQ(readAll(clip_), sourceBefore);
}

TEST_F(Reliability, AFullTmpfsFailsWithDiskIsFullAndLeavesNothing) {
    // A real small file system, mounted in a private namespace of our own.
    if (std::system("unshare --user --map-root-user --mount true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no private mount namespace here";
    const std::string sourceBefore = readAll(clip_);
    const fs::path mnt = freshFolder("mnt");
    const fs::path result = g_dir / "tmpfs.result";
    // Spool, temporary items and destination all on a 64 KiB tmpfs; what is
    // left there is listed before the namespace (and the tmpfs) goes.
    const std::string script =
        "set -e; mount -t tmpfs -o size=64k tmpfs \"$1\"; mkdir \"$1/tmp\" \"$1/out\"; "
        "chmod 700 \"$1/tmp\"; "
        "TMPDIR=\"$1/tmp\" XDG_RUNTIME_DIR=\"$1/tmp\" \"$2\" convert --json --depth colour "
        "--audio pcm8 --to \"$1/out\" \"$3\" > \"$4\" 2>&1 || echo \"exit $?\" >> \"$4\"; "
        "cd \"$1\" && find . -mindepth 2 >> \"$4\"";
    const std::string cmd = "unshare --user --map-root-user --mount sh -c '" + script +
                            "' sh '" + mnt.string() + "' '" + MOVIEPACKER_CLI + "' '" +
                            clip_.string() + "' '" + result.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readAll(result);
    const std::string r = readAll(result);
    EXPECT_NE(r.find("\"status\":-34"), std::string::npos) << r;
    EXPECT_NE(r.find("Disk is full"), std::string::npos) << r;
    EXPECT_NE(r.find("exit 1"), std::string::npos) << r;
    EXPECT_EQ(r.find("./"), std::string::npos) << "left on the full disk: " << r;
    EXPECT_EQ(readAll(clip_), sourceBefore);
}

TEST_F(Reliability, AKilledConversionIsCleanedUpByTheNextRun) {
    const fs::path source = g_dir / "long.avi";
    if (!fs::exists(source)) makeClip(source, 240);
    const fs::path dest = freshFolder("killed");
    const fs::path out = g_dir / "killed.out", err = g_dir / "killed.err";
    const pid_t pid = start({"convert", "--depth", "colour", "--audio", "pcm8", "--to",
                             dest.string(), source.string()},
                            env_, out, err);
    // Wait for the spool file to fill, then kill.
    bool spooling = false;
    for (int i = 0; i < 60000 && !spooling; ++i) {
        for (const auto& e : fs::directory_iterator(tmp_))
            spooling = spooling || (e.path().filename().string().rfind("qmo", 0) == 0 &&
                                    e.is_regular_file() && e.file_size() > 0);
        if (!spooling) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(pid, SIGKILL);
    const CliResult killed = finish(pid, out, err);
    ASSERT_TRUE(spooling) << killed.out << killed.err;
    ASSERT_EQ(killed.status, -1) << "finished before it could be killed";
    // What it left: its spool, its private folder and its reserved name.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp_), {}), 1);
    EXPECT_TRUE(fs::exists(dest / "long.pdb"));
    EXPECT_EQ(fs::file_size(dest / "long.pdb"), 0u);
    // The next run into the same folder takes the name again, and the
    // leftovers are gone.
    const fs::path clipCopy = g_dir / "long.mp4";
    fs::copy_file(clip_, clipCopy, fs::copy_options::overwrite_existing);
    const CliResult next = cli({"convert", "--to", dest.string(), clipCopy.string()}, env_);
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(tree(dest), std::set<std::string>{"long.pdb"});
    EXPECT_EQ(framesIn(dest / "long.pdb"), 24u);  // 4 s at 6 frames a second
    expectNothingLeftInTemporaryPlaces();
}

TEST_F(Reliability, EightRunsAtOnceInOneFolderGiveEightGoodDatabases) {
    const fs::path folder = freshFolder("eight");
    std::string list;
    for (int i = 1; i <= 8; ++i) {
        const fs::path s = folder / ("movie" + std::to_string(i) + ".avi");
        makeClip(s, i, "64x48");
        list += s.string() + '\n';
    }
    std::ofstream(g_dir / "eight.list") << list;
    std::string vars;
    for (const std::string& v : env_.vars) vars += v + " ";
    const std::string cmd = "env " + vars + "xargs -P 8 -n 1 -d '\\n' -a '" +
                            (g_dir / "eight.list").string() + "' '" + MOVIEPACKER_CLI +
                            "' convert --audio adpcm >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::set<std::string> expected;
    for (int i = 1; i <= 8; ++i) {
        expected.insert("movie" + std::to_string(i) + ".avi");
        expected.insert("movie" + std::to_string(i) + ".pdb");
        // Each database holds its own source: i seconds at 6 frames a second.
        EXPECT_EQ(framesIn(folder / ("movie" + std::to_string(i) + ".pdb")), size_t(6 * i));
    }
    EXPECT_EQ(tree(folder), expected);
    expectNothingLeftInTemporaryPlaces();
}

TEST_F(Reliability, TwoRunsOfOneNameIntoOneFolderKeepBoth) {
    const fs::path a = freshFolder("same-a"), b = freshFolder("same-b");
    makeClip(a / "same.avi", 2, "64x48");
    makeClip(b / "same.avi", 3, "64x48");
    for (int round = 0; round < 3; ++round) {
        const fs::path dest = freshFolder("same-out");
        const fs::path o1 = g_dir / "same1.out", e1 = g_dir / "same1.err";
        const fs::path o2 = g_dir / "same2.out", e2 = g_dir / "same2.err";
        const pid_t p1 = start({"convert", "--to", dest.string(), (a / "same.avi").string()},
                               env_, o1, e1);
        const pid_t p2 = start({"convert", "--to", dest.string(), (b / "same.avi").string()},
                               env_, o2, e2);
        EXPECT_EQ(finish(p1, o1, e1).status, 0);
        EXPECT_EQ(finish(p2, o2, e2).status, 0);
        ASSERT_EQ(tree(dest), (std::set<std::string>{"same.pdb", "same-1.pdb"}));
        // Neither overwrote the other: one of each length.
        const std::multiset<size_t> frames{framesIn(dest / "same.pdb"),
                                           framesIn(dest / "same-1.pdb")};
        EXPECT_EQ(frames, (std::multiset<size_t>{12, 18}));
    }
    expectNothingLeftInTemporaryPlaces();
}

TEST_F(Reliability, HostileSourceNamesStayInsideTheDestination) {
    const fs::path in = freshFolder("hostile-in");
    const fs::path dest = freshFolder("hostile-out");
    // name of the source -> the database it must give.
    const std::map<std::string, std::string> names = {
        {"new\nline.avi", "new\nline.pdb"},
        {"it's \"quoted\" $(true) `x`.avi", "it's \"quoted\" $(true) `x`.pdb"},
        {"\xff\xfe\x80 not utf-8.avi", "\xff\xfe\x80 not utf-8.pdb"},
        {"-dash_name.avi", "-dash name.pdb"},
        {"..avi", "Untitled.pdb"},
        {std::string(251, 'n') + ".avi", std::string(251, 'n') + ".pdb"},
    };
    std::set<std::string> made;
    for (const auto& [source, database] : names) {
        fs::copy_file(clip_, in / source);
        const CliResult r = cli({"convert", "--json", "--to", dest.string(), "--", (in / source).string()},
                          env_);
        const bool fits = (dest / database).string().size() + 20 <= 255;
        if (r.status == 0) {
            made.insert(database);
            EXPECT_EQ(framesIn(dest / database), 24u) << source;
        } else {
            // Refused only for a path too long for a file specification.
            EXPECT_FALSE(fits) << source << ": " << r.out << r.err;
            EXPECT_EQ(r.status, 1) << source;
            EXPECT_NE(r.out.find("\"status\":-37"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("Bad file name"), std::string::npos) << r.out;
        }
        EXPECT_EQ(tree(dest), made) << source;
    }
    EXPECT_GE(made.size(), names.size() - 1);
    // Nothing appeared beside the destination either.
    EXPECT_EQ(tree(in).size(), names.size());
    // Without "--" a name starting with '-' is taken for an option.
    EXPECT_EQ(cli({"convert", "-dash_name.avi"}, env_).status, 2);
    expectNothingLeftInTemporaryPlaces();
}

TEST_F(Reliability, TheLargestAndSmallestPicturesConvertOrAreRefusedCleanly) {
    const fs::path in = freshFolder("sizes-in");
    ffmpeg("-f lavfi -i color=c=blue:size=7680x4320:rate=2:duration=0.5 -c:v mpeg4 -q:v 31",
           in / "huge.avi");
    ffmpeg("-f lavfi -i color=c=red:size=2x2:rate=5:duration=1 -vf scale=1:1 -c:v rawvideo "
           "-pix_fmt rgb24",
           in / "dot.mov");
    for (const char* name : {"huge.avi", "dot.mov"}) {
        for (const char* depth : {"colour", "grey16"}) {
            const fs::path dest = freshFolder("sizes-out");
            const CliResult r = cli({"convert", "--json", "--depth", depth, "--to", dest.string(),
                               (in / name).string()},
                              env_);
            ASSERT_NE(r.status, -1) << name << " " << depth << " crashed: " << r.err;
            if (r.status == 0) {
                const fs::path made = dest / (fs::path(name).stem().string() + ".pdb");
                EXPECT_GT(framesIn(made), 0u) << name;
                EXPECT_EQ(tree(dest).size(), 1u);
            } else {
                EXPECT_EQ(r.status, 1) << name << " " << depth << ": " << r.err;
                EXPECT_NE(r.out.find("\"message\":\""), std::string::npos) << r.out;
                EXPECT_EQ(r.out.find("\"message\":\"\""), std::string::npos) << r.out;
                EXPECT_TRUE(tree(dest).empty());
            }
        }
    }
    expectNothingLeftInTemporaryPlaces();
}

}  // namespace
