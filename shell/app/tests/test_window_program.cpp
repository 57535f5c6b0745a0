// The window program on a real display (Xvfb): started with two files, a
// whole run driven by mouse clicks, the outputs checked by the command
// line's inspector; and a run killed halfway, after which nothing the user
// had is lost and the next start leaves no temporary file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/tests/support/corpus.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool OnPath(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null 2>&1") == 0;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

// A child process with its own environment additions.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        m_pid = fork();
        if (m_pid == 0) {
            for (const std::string& e : env) putenv(strdup(e.c_str()));
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, STDOUT_FILENO);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0 && !m_done) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }
    // The exit status, or -1 when it has not ended within the limit.
    int wait(std::chrono::milliseconds limit) {
        int status = 0;
        const bool ended = WaitFor(
            [&] {
                if (m_done) return true;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_done = true;
                    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                }
                return m_done;
            },
            limit);
        return ended ? m_status : -1;
    }
    bool running() { return wait(0ms) == -1; }
    void killHard() {
        kill(m_pid, SIGKILL);
        wait(5000ms);
    }

  private:
    pid_t m_pid = -1;
    bool m_done = false;
    int m_status = -1;
};

class WindowProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!OnPath("Xvfb") || !OnPath("xdotool")) return;
        // Xvfb picks a free display and writes its number to the pipe.
        int fds[2];
        if (pipe(fds) != 0) return;
        s_xvfb = fork();
        if (s_xvfb == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number and its newline come in separate writes; closing the
        // pipe before the newline makes the server quit.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty() && c == '\n') s_display = ":" + number;
    }
    static void TearDownTestSuite() {
        if (s_xvfb > 0) {
            kill(s_xvfb, SIGTERM);
            waitpid(s_xvfb, nullptr, 0);
            s_xvfb = -1;
        }
    }

    void SetUp() override {
        if (s_display.empty()) GTEST_SKIP() << "needs Xvfb and xdotool";
        std::string t = (fs::temp_directory_path() / "mp-window-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
        for (const char* sub : {"config", "data", "runtime", "tmp", "movies"})
            fs::create_directories(dir_ / sub);
        fs::permissions(dir_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        const char* shots = std::getenv("MOVIEPACKER_SCREENSHOTS");
        shots_ = shots != nullptr && shots[0] != '\0' ? fs::path(shots) : dir_ / "shots";
        fs::create_directories(shots_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    std::vector<std::string> Environment() const {
        return {"DISPLAY=" + s_display,
                "QT_QPA_PLATFORM=xcb",
                "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                "XDG_DATA_HOME=" + (dir_ / "data").string(),
                "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(),
                "TMPDIR=" + (dir_ / "tmp").string(),
                "MOVIEPACKER_SCREENSHOTS=" + shots_.string()};
    }
    std::string X(const std::string& args) const {
        return Capture("DISPLAY=" + s_display + " xdotool " + args + " 2>/dev/null");
    }
    // The main window once it is on screen (the splash box comes first).
    std::string MainWindow(pid_t pid) const {
        std::string id;
        WaitFor(
            [&] {
                id = X("search --all --onlyvisible --pid " + std::to_string(pid) +
                       " --name '^moviepacker$'");
                if (const size_t nl = id.find('\n'); nl != std::string::npos) id.resize(nl);
                return !id.empty();
            },
            30000ms);
        return id;
    }
    // A click at a point of the window (window pixels, as the dialog's items have them).
    void Click(const std::string& window, int v, int h) const {
        X("mousemove --window " + window + " " + std::to_string(h) + " " + std::to_string(v) +
          " click 1");
    }
    void Screenshot(const std::string& window, const std::string& name) const {
        const std::string file = (shots_ / ("moviepacker-" + name + ".png")).string();
        EXPECT_EQ(RunCommand("import -display " + s_display + " -window " + window + " " +
                             Quote(file) + " 2>/dev/null"),
                  0);
        EXPECT_TRUE(fs::exists(file)) << file;
    }
    std::string Movie(const std::string& name, double seconds, int size = 96) {
        const fs::path p = dir_ / "movies" / name;
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::to_string(size) + "x" +
            std::to_string(size * 3 / 4) + ":rate=15:duration=" + std::to_string(seconds) +
            " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=" +
            std::to_string(seconds) + " -c:v libx264 -pix_fmt yuv420p -c:a aac " +
            Quote(p.string());
        EXPECT_EQ(RunCommand(cmd), 0);
        return p.string();
    }
    // A database whose run is over: the name is reserved by an empty file
    // while it is converted.
    static bool Finished(const fs::path& p) {
        std::error_code ec;
        return fs::file_size(p, ec) > 0 && !ec;
    }
    bool Converting() const {
        for (const auto& e : fs::directory_iterator(dir_ / "movies"))
            if (e.path().filename().string().rfind(".moviepacker-", 0) == 0) return true;
        return false;
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (auto it = fs::recursive_directory_iterator(dir_); it != fs::end(it); ++it) {
            const fs::directory_entry& e = *it;
            // The screenshots are the test's own.
            if (e.path() == shots_) {
                it.disable_recursion_pending();
                continue;
            }
            const std::string name = e.path().filename().string();
            if (name.rfind(".moviepacker-", 0) == 0 || name.rfind("moviepacker-", 0) == 0 ||
                name.rfind("qmo", 0) == 0 || name.rfind(".partial", 0) == 0 ||
                name == "blah.aif" || name == "blah.mp3")
                found.push_back(e.path().string());
        }
        return found;
    }

    static inline pid_t s_xvfb = -1;
    static inline std::string s_display;
    fs::path dir_, shots_;
};

// Help and version need no display; an unknown option is refused before
// any window is tried.
TEST(WindowProgramCommandLine, TextRequestsNeedNoDisplay) {
    const std::string program = "env -u DISPLAY -u WAYLAND_DISPLAY " + Quote(MOVIEPACKER_PROGRAM);
    EXPECT_NE(Capture(program + " --help").find("Usage: moviepacker"), std::string::npos);
    EXPECT_EQ(Capture(program + " --version").rfind("moviepacker ", 0), 0u);
    const int status = RunCommand(program + " --frobnicate 2>/dev/null");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    // No display at all: a message and a failure, not an abort.
    const std::string alone = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              Quote(MOVIEPACKER_PROGRAM) + " some.mov";
    EXPECT_NE(Capture(alone + " 2>&1").find("no display"), std::string::npos);
    const int none = RunCommand(alone + " 2>/dev/null");
    EXPECT_TRUE(WIFEXITED(none) && WEXITSTATUS(none) == 1) << none;
}

// Convert Files: item 1 of the main window, top 406, left 446, bottom 428, right 546.
constexpr int kConvertV = 417, kConvertH = 496;
// Quit: item 2, top 406, left 356, bottom 428, right 436.
constexpr int kQuitV = 417, kQuitH = 396;

TEST_F(WindowProgram, RunOfTwoFilesDrivenByClicks) {
    const std::string first = Movie("first clip.mp4", 2);
    const std::string second = Movie("second_take.mp4", 2);
    Child program({MOVIEPACKER_PROGRAM, first, second}, Environment());
    const std::string window = MainWindow(program.pid());
    ASSERT_FALSE(window.empty()) << "the main window did not appear";
    std::this_thread::sleep_for(500ms);
    Screenshot(window, "before-run");

    Click(window, kConvertV, kConvertH);
    const fs::path out1 = dir_ / "movies" / "first clip.pdb";
    const fs::path out2 = dir_ / "movies" / "second take.pdb";
    ASSERT_TRUE(WaitFor([&] { return Finished(out1) && Finished(out2) && !Converting(); },
                        120000ms))
        << "the run did not write both databases";
    std::this_thread::sleep_for(700ms);
    Screenshot(window, "after-run");
    EXPECT_TRUE(program.running());

    Click(window, kQuitV, kQuitH);
    EXPECT_EQ(program.wait(20000ms), 0) << "Quit did not end the program";
    for (const fs::path& out : {out1, out2}) {
        EXPECT_EQ(RunCommand(Quote(MOVIEPACKER_CLI) + " inspect " + Quote(out.string()) +
                             " >/dev/null"),
                  0)
            << out;
    }
    // The settings were kept for the next start.
    EXPECT_TRUE(fs::exists(dir_ / "config" / "moviepacker" / "TVLP"));
    EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
}

TEST_F(WindowProgram, KilledRunLosesNothingAndTheNextStartCleansUp) {
    const std::string first = Movie("a.mp4", 1);
    // Long enough to be caught in the middle.
    const std::string second = Movie("b.mp4", 40, 320);
    const auto firstBytes = ReadWholeFile(first);
    const auto secondBytes = ReadWholeFile(second);
    {
        Child program({MOVIEPACKER_PROGRAM, first, second}, Environment());
        const std::string window = MainWindow(program.pid());
        ASSERT_FALSE(window.empty());
        Click(window, kConvertV, kConvertH);
        const fs::path done = dir_ / "movies" / "a.pdb";
        ASSERT_TRUE(WaitFor([&] { return Finished(done); }, 120000ms));
        // The second file is being written aside.
        ASSERT_TRUE(WaitFor([&] { return Converting(); }, 30000ms));
        std::this_thread::sleep_for(300ms);
        Screenshot(window, "during-run");
        ASSERT_TRUE(program.running()) << "the run ended before it could be killed";
        program.killHard();
    }
    EXPECT_EQ(ReadWholeFile(first), firstBytes);
    EXPECT_EQ(ReadWholeFile(second), secondBytes);
    EXPECT_EQ(RunCommand(Quote(MOVIEPACKER_CLI) + " inspect " +
                         Quote((dir_ / "movies" / "a.pdb").string()) + " >/dev/null"),
              0);
    EXPECT_FALSE(Leftovers().empty()) << "the kill left nothing to clean: the test saw no run";

    // The next start, and at once Quit.
    Child next({MOVIEPACKER_PROGRAM}, Environment());
    const std::string window = MainWindow(next.pid());
    ASSERT_FALSE(window.empty());
    Click(window, kQuitV, kQuitH);
    EXPECT_EQ(next.wait(20000ms), 0);
    const auto left = Leftovers();
    EXPECT_TRUE(left.empty()) << left.front();
    EXPECT_FALSE(fs::exists(dir_ / "movies" / "b.pdb")) << "a placeholder stayed";
    EXPECT_TRUE(fs::exists(dir_ / "movies" / "a.pdb"));
}

}  // namespace
