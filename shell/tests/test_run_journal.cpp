// A run killed in the middle of a file: the sources and the files already
// converted stay as they were, and what the killed run half-wrote is gone
// after the next start's clean-up; live runs and other files are never touched.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/tests/support/corpus.h"
#include "resources/resources.h"
#include "shell/conversion_run.h"
#include "shell/run_journal.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class RunJournalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "mp-journal-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
        fs::create_directories(dir_ / "movies");
        fs::create_directories(dir_ / "runs");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::set<std::string> Movies() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_ / "movies"))
            names.insert(e.path().filename().string());
        return names;
    }
    fs::path dir_;
};

TEST_F(RunJournalTest, KilledRunLeavesNothingAfterTheNextStart) {
    const fs::path first = dir_ / "movies" / "first.mp4";
    const fs::path second = dir_ / "movies" / "second.mp4";
    fs::copy_file(CorpusFile("h264_aac.mp4"), first);
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=15:duration=60 "
        "-c:v libx264 -preset ultrafast -pix_fmt yuv420p '" + second.string() + "'";
    ASSERT_EQ(RunCommand(cmd), 0);
    const auto firstBytes = ReadWholeFile(first.string());
    const auto secondBytes = ReadWholeFile(second.string());

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The run, as the window program makes it, until it is killed.
        std::vector<RunEntry> entries = {RunEntry{first.string(), kEntryPending, {}},
                                         RunEntry{second.string(), kEntryPending, {}}};
        VectorRunList list(&entries);
        RunWindow window;
        ConversionRun run(list, window, moviepackerResources());
        RunJournal journal((dir_ / "runs").string());
        run.setJournal(&journal);
        ExportSettings s;
        s.depth = kDepthMillionsAlpha;
        s.width = 320;
        s.height = 240;
        RunInputs in;
        getSettingsAsContainer(s, &in.settings);
        RegisterMoviepackerExporter(nullptr);
        run.run(in);
        _exit(0);
    }
    // Killed while the second file is being written: its name reserved and
    // noted in the journal, its work folder made. (The first file's work
    // folder lingers for a moment after that file is in place; a kill then
    // would find no second output at all.)
    auto journalNotes = [&](const std::string& name) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_ / "runs", ec)) {
            const auto bytes = ReadWholeFile(e.path().string());
            if (std::string(bytes.begin(), bytes.end()).find(name) != std::string::npos)
                return true;
        }
        return false;
    };
    const auto limit = std::chrono::steady_clock::now() + 60s;
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(50ms);
        if (!fs::exists(dir_ / "movies" / "second.pdb") || !journalNotes("second.pdb")) continue;
        for (const auto& e : fs::directory_iterator(dir_ / "movies"))
            if (e.path().filename().string().rfind(".moviepacker-", 0) == 0 &&
                fs::exists(dir_ / "movies" / "first.pdb") &&
                fs::file_size(dir_ / "movies" / "first.pdb") > 0)
                writing = true;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the second file was never seen being written";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before the kill";

    EXPECT_EQ(ReadWholeFile(first.string()), firstBytes);
    EXPECT_EQ(ReadWholeFile(second.string()), secondBytes);
    movie::Movie m;
    std::string error;
    EXPECT_TRUE(movie::readMovieFile((dir_ / "movies" / "first.pdb").string(), m, error)) << error;
    EXPECT_EQ(Movies().size(), 5u) << "sources, the first database, the work folder, the placeholder";

    EXPECT_EQ(CleanDeadRuns((dir_ / "runs").string()), 1);
    EXPECT_EQ(Movies(), (std::set<std::string>{"first.mp4", "second.mp4", "first.pdb"}));
    EXPECT_TRUE(fs::is_empty(dir_ / "runs"));
    EXPECT_EQ(CleanDeadRuns((dir_ / "runs").string()), 0);
}

TEST_F(RunJournalTest, LiveRunsAndOtherFilesAreLeftAlone) {
    const fs::path work = dir_ / "movies" / ".moviepacker-live";
    fs::create_directories(work);
    std::ofstream(dir_ / "movies" / "clip.pdb");  // the reserved name, still empty
    {
        RunJournal mine((dir_ / "runs").string());
        mine.noteOutput((dir_ / "movies" / "clip.pdb").string(), work.string());
        EXPECT_EQ(CleanDeadRuns((dir_ / "runs").string()), 0);
        EXPECT_TRUE(fs::exists(work)) << "this process is alive";
        EXPECT_TRUE(fs::exists(dir_ / "movies" / "clip.pdb"));
    }
    EXPECT_TRUE(fs::is_empty(dir_ / "runs")) << "a run that ends removes its journal";

    // A dead process's journal that names what is not its own: a folder of
    // the user's, and a placeholder someone has written to since.
    fs::create_directories(dir_ / "movies" / "Holiday");
    std::ofstream(dir_ / "movies" / "Holiday" / "keep.mov") << "precious";
    std::ofstream(dir_ / "movies" / "done.pdb") << "written by someone";
    struct stat st {};
    ASSERT_EQ(lstat((dir_ / "movies" / "done.pdb").c_str(), &st), 0);
    std::ofstream(dir_ / "runs" / "999999999-12345")
        << "work\t" << (dir_ / "movies" / "Holiday").string() << "\n"
        << "placeholder\t" << st.st_ino << "\t" << (dir_ / "movies" / "done.pdb").string() << "\n";
    std::ofstream(dir_ / "runs" / "999999999-12345.new") << "work\t";
    EXPECT_EQ(CleanDeadRuns((dir_ / "runs").string()), 0);
    EXPECT_TRUE(fs::exists(dir_ / "movies" / "Holiday" / "keep.mov"));
    EXPECT_EQ(fs::file_size(dir_ / "movies" / "done.pdb"), 18u);
    EXPECT_TRUE(fs::is_empty(dir_ / "runs"));
}

}  // namespace
