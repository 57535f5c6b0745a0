#include "engine/spool_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/movie_writer.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace fs = std::filesystem;

namespace {

// Points TMPDIR at a fresh directory for the test and restores it after.
class SpoolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old) m_oldTmp = old;
        m_hadTmp = old != nullptr;
        std::string pattern = (fs::temp_directory_path() / "spooltestXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        setenv("TMPDIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        if (m_hadTmp)
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        fs::remove_all(m_dir);
    }
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }
    fs::path m_dir;

  private:
    std::string m_oldTmp;
    bool m_hadTmp = false;
};

TEST_F(SpoolTest, CreatedPrivatelyInTmpdirAndDeletedOnClose) {
    MovieWriter w;
    EXPECT_EQ(SpoolClose(&w), noErr);  // never opened: nothing to do
    ASSERT_EQ(SpoolOpen(&w), noErr);
    fs::path path = w.spoolPath;
    EXPECT_EQ(path.parent_path(), m_dir);
    std::string name = path.filename().string();
    EXPECT_EQ(name.substr(0, 3), "qmo");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 3), name.size() - 4);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    uint32_t offset = 99;
    uint8_t bytes[100];
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(SpoolAppend(&w, bytes, 16, &offset), noErr);
    EXPECT_EQ(offset, 0u);
    ASSERT_EQ(SpoolAppend(&w, bytes, 100, &offset), noErr);
    EXPECT_EQ(offset, 16u);

    BlockHandle block = nullptr;
    ASSERT_EQ(SpoolReadBlock(&w, block, 10, 20), noErr);
    ASSERT_EQ(BlockLength(block), 10u);
    EXPECT_EQ(std::memcmp(BlockData(block), bytes + 4, 10), 0);
    BlockFree(block);

    EXPECT_EQ(SpoolClose(&w), noErr);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(w.spoolPath[0], '\0');
    EXPECT_EQ(SpoolClose(&w), noErr);
}

TEST_F(SpoolTest, TwoWritersGetDistinctFiles) {
    MovieWriter a, b;
    ASSERT_EQ(SpoolOpen(&a), noErr);
    ASSERT_EQ(SpoolOpen(&b), noErr);
    EXPECT_STRNE(a.spoolPath, b.spoolPath);
    EXPECT_EQ(filesInDir(), 2u);
    SpoolClose(&a);
    SpoolClose(&b);
    EXPECT_EQ(filesInDir(), 0u);
}

TEST_F(SpoolTest, MissingTemporaryDirectoryIsAParameterError) {
    setenv("TMPDIR", (m_dir / "absent").c_str(), 1);
    MovieWriter w;
    EXPECT_EQ(SpoolOpen(&w), kStatusParamError);
    EXPECT_EQ(w.spoolPath[0], '\0');
    EXPECT_EQ(w.spoolHandle, -1);
}

TEST_F(SpoolTest, NoFileSurvivesDisposeOnAnyPath) {
    auto configured = [] {
        MovieWriter* w = nullptr;
        EXPECT_EQ(MovieWriterCreate(&w), noErr);
        MovieWriterSetName(w, "spool");
        MovieWriterSetFrameSize(w, 160, 120);
        MovieWriterSetVideoMode(w, kVideoModeGrey2);
        return w;
    };
    // Started and disposed without finishing.
    MovieWriter* w = configured();
    ASSERT_EQ(MovieWriterStart(w), noErr);
    EXPECT_EQ(filesInDir(), 1u);
    EXPECT_EQ(MovieWriterDispose(w), noErr);
    EXPECT_EQ(filesInDir(), 0u);

    // A start that fails leaves no file either, and the writer still disposes.
    setenv("TMPDIR", (m_dir / "absent").c_str(), 1);
    w = configured();
    EXPECT_EQ(MovieWriterStart(w), kStatusParamError);
    EXPECT_EQ(MovieWriterAddFrame(w, reinterpret_cast<const uint8_t*>("x"), 4, 1, nullptr),
              kStatusParamError);
    EXPECT_EQ(MovieWriterFinish(w), kStatusParamError);
    EXPECT_EQ(MovieWriterDispose(w), noErr);
    EXPECT_EQ(filesInDir(), 0u);
}

// A process number that is certainly not running: a child that has exited
// and been reaped.
pid_t deadPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST_F(SpoolTest, OnlyTheSpoolFilesOfDeadWritersAreSwept) {
    // A writer killed in the middle of a movie.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t killed = fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        MovieWriter w;
        uint8_t bytes[64] = {};
        if (SpoolOpen(&w) != noErr || SpoolAppend(&w, bytes, sizeof bytes, nullptr) != noErr)
            _exit(1);
        (void)::write(ready[1], "s", 1);
        pause();
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    ASSERT_EQ(filesInDir(), 1u);

    // One of a live writer (ours), an unrelated file and an old-style name
    // without a process number stay.
    MovieWriter live;
    ASSERT_EQ(SpoolOpen(&live), noErr);
    std::ofstream(m_dir / "qmoNOTHEX.tmp") << "x";
    std::ofstream(m_dir / "qmo12AB.tmp") << "x";
    // A dead writer's file whose lock is still held (its descriptor passed
    // on to a live process) is in use, so it stays too.
    char held[64];
    std::snprintf(held, sizeof held, "qmo%llX.tmp",
                  (static_cast<unsigned long long>(deadPid()) << 24) | 5u);
    std::ofstream(m_dir / held) << "x";
    const int fd = open((m_dir / held).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);

    EXPECT_EQ(SpoolRemoveStale(), 1);
    EXPECT_EQ(filesInDir(), 4u);
    EXPECT_TRUE(fs::exists(live.spoolPath));
    EXPECT_TRUE(fs::exists(m_dir / held));
    close(fd);
    EXPECT_EQ(SpoolRemoveStale(), 1);
    EXPECT_FALSE(fs::exists(m_dir / held));
    SpoolClose(&live);
    EXPECT_EQ(filesInDir(), 2u);
}

}  // namespace
