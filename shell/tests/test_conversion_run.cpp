// The conversion run over real sources: results per entry, cancelling,
// output naming, and the destinations a run hands its files to.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "engine/movie_reader.h"
#include "export/movie_exporter.h"
#include "export/settings.h"
#include "install/card_drive.h"
#include "platform/drives.h"
#include "platform/hotsync.h"
#include "platform/tests/support/corpus.h"
#include "platform/tests/support/fake_drives.h"
#include "resources/resources.h"
#include "shell/conversion_run.h"

namespace fs = std::filesystem;

namespace {

// Records what the run showed, and cancels when told to.
class ScriptedWindow : public RunWindow {
  public:
    struct Started {
        size_t index;
        int number, total;
        bool operator==(const Started&) const = default;
    };
    std::vector<Started> started;
    std::vector<size_t> finished;
    std::map<size_t, int> lastProgress;
    int pumps = 0;
    int runsEnded = 0;
    ConversionRun* run = nullptr;
    // Cancel entry cancelIndex once its bar passed cancelAt (per mille).
    std::optional<size_t> cancelIndex;
    int cancelAt = 0;
    enum class How { Current, All, Stop } how = How::Current;

    void fileStarted(size_t index, int number, int total) override {
        started.push_back({index, number, total});
        lastProgress.erase(index);
    }
    void setProgress(size_t index, int permille) override {
        EXPECT_GE(permille, 0);
        EXPECT_LE(permille, 1000);
        EXPECT_GE(permille, lastProgress.count(index) ? lastProgress[index] : 0)
            << "the bar went back";
        lastProgress[index] = permille;
    }
    void pumpEvents() override {
        ++pumps;
        const RunState& s = run->state();
        if (cancelIndex && s.currentIndex == int(*cancelIndex) &&
            lastProgress[*cancelIndex] > cancelAt) {
            cancelIndex.reset();
            if (how == How::Current) run->cancelCurrent();
            if (how == How::All) run->cancelAll();
            if (how == How::Stop) run->stop();
        }
    }
    void fileFinished(size_t index) override { finished.push_back(index); }
    void runEnded() override { ++runsEnded; }
};

// A run over its own entries, watched by a scripted window.
struct RunHarness {
    explicit RunHarness(std::vector<RunEntry> e)
        : entries(std::move(e)), list(&entries), run(list, window, moviepackerResources()) {
        window.run = &run;
    }
    std::tuple<std::vector<RunEntry>&, ScriptedWindow&, ConversionRun&> parts() {
        return {entries, window, run};
    }
    std::vector<RunEntry> entries;
    VectorRunList list;
    ScriptedWindow window;
    ConversionRun run;
};

std::vector<RunEntry> Entries(std::initializer_list<std::string> sources) {
    std::vector<RunEntry> out;
    for (const std::string& s : sources) out.push_back(RunEntry{s, kEntryPending, {}});
    return out;
}

AtomContainer SmallSettings(int32_t sound = kSoundNone) {
    ExportSettings s;
    s.width = 80;
    s.height = 60;
    s.soundCodec = sound;
    normaliseSound(&s);
    AtomContainer c;
    EXPECT_EQ(getSettingsAsContainer(s, &c), noErr);
    return c;
}

std::set<std::string> FolderNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

void ExpectDatabase(const std::string& path) {
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile(path, m, error)) << path << ": " << error;
    EXPECT_TRUE(m.violations.empty()) << path << ": " << m.violations.front();
    EXPECT_FALSE(m.frames.empty()) << path;
}

class ConversionRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "mp-run-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
        ASSERT_EQ(RegisterMoviepackerExporter(nullptr), noErr);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A copy of a two-second corpus movie under a name of our own.
    std::string Source(const std::string& name, const std::string& corpus = "h264_aac.mp4") {
        const fs::path p = dir_ / name;
        fs::copy_file(CorpusFile(corpus), p, fs::copy_options::overwrite_existing);
        return p.string();
    }
    std::string Junk(const std::string& name) {
        const fs::path p = dir_ / name;
        std::ofstream(p) << "this is no movie at all, only some words in a file\n";
        return p.string();
    }

    fs::path dir_;
};

TEST_F(ConversionRunTest, SecondUnopenableFailsAndTheOthersConvert) {
    RunHarness h(Entries({Source("a.mp4"), Junk("b.mp4"), Source("c.mp4")}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.settings = SmallSettings();
    EXPECT_EQ(run.run(in), 2);

    EXPECT_EQ(entries[0].status, kEntryConverted);
    EXPECT_EQ(entries[1].status, kEntryFailed);
    EXPECT_EQ(entries[1].comment, "Unable to open source file");
    EXPECT_EQ(entries[2].status, kEntryConverted);
    EXPECT_EQ(entries[0].comment, "");
    using S = ScriptedWindow::Started;
    EXPECT_EQ(window.started, (std::vector<S>{{0, 1, 3}, {1, 2, 3}, {2, 3, 3}}));
    EXPECT_EQ(window.finished, (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(window.lastProgress[0], 1000);
    EXPECT_EQ(window.lastProgress[2], 1000);
    EXPECT_GT(window.pumps, 10);
    EXPECT_EQ(window.runsEnded, 1);
    EXPECT_FALSE(run.state().running);
    ExpectDatabase((dir_ / "a.pdb").string());
    ExpectDatabase((dir_ / "c.pdb").string());
    // Nothing else: no output for the failure, nothing left half-written.
    EXPECT_EQ(FolderNames(dir_),
              (std::set<std::string>{"a.mp4", "b.mp4", "c.mp4", "a.pdb", "c.pdb"}));

    // A second run finds nothing pending: converted and failed stay as they are.
    EXPECT_EQ(run.run(in), 0);
    EXPECT_EQ(entries[1].comment, "Unable to open source file");
    EXPECT_EQ(FolderNames(dir_).size(), 5u);
}

TEST_F(ConversionRunTest, CancelCurrentRemovesItsOutputAndGoesOn) {
    RunHarness h(Entries({Source("a.mp4"), Source("b.mp4"), Source("c.mp4")}));
    auto [entries, window, run] = h.parts();
    window.cancelIndex = 1;
    window.cancelAt = 300;
    RunInputs in;
    in.settings = SmallSettings(kSoundAdpcm4);
    EXPECT_EQ(run.run(in), 2);
    EXPECT_EQ(entries[0].status, kEntryConverted);
    EXPECT_EQ(entries[1].status, kEntryCancelled);
    EXPECT_EQ(entries[1].comment, "");
    EXPECT_EQ(entries[2].status, kEntryConverted);
    EXPECT_LT(window.lastProgress[1], 1000);
    EXPECT_EQ(FolderNames(dir_),
              (std::set<std::string>{"a.mp4", "b.mp4", "c.mp4", "a.pdb", "c.pdb"}));

    // The next run takes up the cancelled file alone.
    EXPECT_EQ(run.prepare(), 1);
    EXPECT_EQ(entries[1].status, kEntryPending);
    const auto aTime = fs::last_write_time(dir_ / "a.pdb");
    window.started.clear();
    EXPECT_EQ(run.run(in), 1);
    EXPECT_EQ(entries[1].status, kEntryConverted);
    using S = ScriptedWindow::Started;
    EXPECT_EQ(window.started, (std::vector<S>{{1, 1, 1}}));
    EXPECT_EQ(fs::last_write_time(dir_ / "a.pdb"), aTime);
    ExpectDatabase((dir_ / "b.pdb").string());
    EXPECT_EQ(FolderNames(dir_).size(), 6u);
}

TEST_F(ConversionRunTest, CancelAllAndStopLeaveTheRestPending) {
    for (const auto how : {ScriptedWindow::How::All, ScriptedWindow::How::Stop}) {
        SCOPED_TRACE(how == ScriptedWindow::How::All ? "cancel all" : "stop");
        const fs::path sub = dir_ / (how == ScriptedWindow::How::All ? "all" : "stop");
        fs::create_directories(sub);
        RunHarness h(Entries({Source("a.mp4"), Source("b.mp4"), Source("c.mp4")}));
        auto [entries, window, run] = h.parts();
        window.cancelIndex = 1;
        window.how = how;
        RunInputs in;
        in.destination.kind = RunDestinationKind::Folder;
        in.destination.folder = sub.string();
        in.settings = SmallSettings();
        EXPECT_EQ(run.run(in), 1);
        EXPECT_EQ(entries[0].status, kEntryConverted);
        EXPECT_EQ(entries[1].status, kEntryCancelled);
        EXPECT_EQ(entries[2].status, kEntryPending);
        EXPECT_EQ(window.started.size(), 2u);
        EXPECT_EQ(window.runsEnded, 1);
        EXPECT_EQ(FolderNames(sub), (std::set<std::string>{"a.pdb"}));
    }
}

TEST_F(ConversionRunTest, TakenNamesGetTheNextNumber) {
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    std::ofstream(out / "my movie.pdb") << "mine";
    std::ofstream(out / "my movie-1.pdb") << "mine too";
    RunHarness h(Entries({Source("my_movie.final.cut.mp4")}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.destination.kind = RunDestinationKind::Folder;
    in.destination.folder = out.string();
    in.settings = SmallSettings();
    EXPECT_EQ(run.run(in), 1);
    ExpectDatabase((out / "my movie-2.pdb").string());
    EXPECT_EQ(ReadWholeFile((out / "my movie.pdb").string()).size(), 4u);
    EXPECT_EQ(ReadWholeFile((out / "my movie-1.pdb").string()).size(), 8u);

    // A one-file run named by the user: the entered name, cut at its first full stop.
    entries = Entries({Source("other.mp4")});
    in.outputName = "Holiday.v2.mp4";
    EXPECT_EQ(run.run(in), 1);
    ExpectDatabase((out / "Holiday.pdb").string());
}

TEST_F(ConversionRunTest, OutputNamesFollowTheSource) {
    EXPECT_EQ(OutputBaseName("/x/my_movie.final.mov", ""), "my movie");
    EXPECT_EQ(OutputBaseName("/x/plain", ""), "plain");
    EXPECT_EQ(OutputBaseName("/x/.hidden.mov", ""), "Untitled");
    EXPECT_EQ(OutputBaseName("/x/a_b.mov", "given_name.mov"), "given_name");
    // An entered name never leads out of the folder.
    EXPECT_EQ(OutputBaseName("/x/a.mov", "sub/dir"), "sub dir");
}

TEST_F(ConversionRunTest, AudioLeftBehindCountsAsConverted) {
    // An MPEG-1 system stream's sound is not a sound track: without audio in
    // the settings it is left behind, which the run reports but accepts.
    const fs::path src = dir_ / "system.mpg";
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=25:duration=1 -f lavfi "
        "-i sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg1video -c:a mp2 -f mpeg '" +
        src.string() + "'";
    ASSERT_EQ(RunCommand(cmd), 0);
    RunHarness h(Entries({src.string()}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.settings = SmallSettings(kSoundNone);
    EXPECT_EQ(run.run(in), 1);
    EXPECT_EQ(entries[0].status, kEntryConverted);
    EXPECT_EQ(entries[0].comment, "Audio track not converted");
    ExpectDatabase((dir_ / "system.pdb").string());
}

TEST_F(ConversionRunTest, ResultTexts) {
    const ResourceFile& res = moviepackerResources();
    EXPECT_EQ(RunErrorText(res, -34), "Disk is full");
    EXPECT_EQ(RunErrorText(res, -2048), "Unable to open source file");
    EXPECT_EQ(RunErrorText(res, -12345), "Error code -12345");
    FileResult r;
    r.code = kStatusNoCodec;
    r.missingCodec = MakeOSType("cvid");
    EXPECT_EQ(RunComment(res, r), "Video/Audio decoder not available ('cvid')");
    r.missingCodec = 0;
    EXPECT_EQ(RunComment(res, r), "Video/Audio decoder not available");
    r.code = kStatusUserCancelled;
    EXPECT_EQ(RunComment(res, r), "");
    r.code = kStatusExportedWithoutAudio;
    EXPECT_EQ(RunComment(res, r), "Audio track not converted");
    // Comments fit their 63 characters, cut between characters, never inside one.
    const std::string longText = std::string(62, 'x') + "\xc3\xa9\xc3\xa9";
    EXPECT_EQ(CutComment(longText), std::string(62, 'x') + "\xc3\xa9");
    EXPECT_EQ(CutComment("short"), "short");
}

TEST_F(ConversionRunTest, NoExporterEndsTheRunSilently) {
    // A run that cannot open its exporter leaves everything pending.
    ComponentDescription d{kMovieExportType, kMoviepackerExportSubType, 0, 0, 0};
    Component real = FindNextComponent(nullptr, d);
    ASSERT_NE(real, nullptr);
    Component broken = nullptr;
    ASSERT_EQ(RegisterComponent(
                  d, [](ComponentInstance, int16_t s, void*) -> OSStatus {
                      return s == kComponentOpenSelect ? kStatusOutOfMemory : noErr;
                  },
                  "broken", &broken),
              noErr);
    RunHarness h(Entries({Source("a.mp4"), Source("b.mp4")}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.settings = SmallSettings();
    EXPECT_EQ(run.run(in), 0);
    EXPECT_EQ(UnregisterComponent(broken), noErr);
    EXPECT_EQ(entries[0].status, kEntryPending);
    EXPECT_EQ(entries[1].status, kEntryPending);
    EXPECT_EQ(entries[0].comment, "");
    EXPECT_EQ(window.runsEnded, 1);
    EXPECT_EQ(FolderNames(dir_), (std::set<std::string>{"a.mp4", "b.mp4"}));
}

TEST_F(ConversionRunTest, HotSyncQueueTakesEachConvertedFile) {
    HotSyncStore store((dir_ / "hotsync").string());
    ASSERT_EQ(store.addUser("Alice", {}), noErr);
    RunHarness h(Entries({Source("a.mp4"), Junk("b.mp4"), Source("c.mp4")}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.destination.kind = RunDestinationKind::HotSync;
    in.destination.hotsync = &store;
    in.destination.target.user = "Alice";
    in.destination.target.folder = store.userFolder("Alice");
    in.destination.folder = in.destination.target.folder;
    in.settings = SmallSettings();
    EXPECT_EQ(run.run(in), 2);
    EXPECT_EQ(entries[0].status, kEntryConverted);
    EXPECT_EQ(entries[1].status, kEntryFailed);
    EXPECT_EQ(entries[2].status, kEntryConverted);
    const fs::path queue = fs::path(in.destination.folder) / "queue" / "handheld";
    ExpectDatabase((queue / "a.pdb").string());
    ExpectDatabase((queue / "c.pdb").string());
    EXPECT_EQ(FolderNames(queue).size(), 2u);
    // Queued means gone from the user's folder.
    EXPECT_FALSE(fs::exists(fs::path(in.destination.folder) / "a.pdb"));
    EXPECT_FALSE(fs::exists(fs::path(in.destination.folder) / "c.pdb"));
}

// Chooses the first drive offered.
class FirstDrive final : public CardDriveUi {
  public:
    std::optional<size_t> choose(CardDriveMode, const std::vector<std::string>&, size_t) override {
        return 0;
    }
    void alert(const std::string&) override { ADD_FAILURE() << "no drive offered"; }
    bool confirm(const std::string&) override { return true; }
};

TEST_F(ConversionRunTest, CardFolderReceivesTheFiles) {
    const std::string sysfs = (dir_ / "sys").string();
    AddFakeDisk(sysfs, "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0",
                "sdb", true, 7800000, 8, 16, 1);
    const fs::path card = dir_ / "media" / "CARD";
    fs::create_directories(card);
    std::ofstream(dir_ / "mountinfo") << MountInfoLine(51, 8, 17, card.string(), "vfat",
                                                       "/dev/sdb1");
    DriveScanRoots roots;
    roots.mountinfo = (dir_ / "mountinfo").string();
    roots.sysfs = sysfs;
    FirstDrive ui;
    std::string folder;
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::Removable, ListRemovableDrives(roots), ui, &folder));
    EXPECT_EQ(folder, (card / "PALM" / "PROGRAMS" / "TAVELLE").string());

    RunHarness h(Entries({Source("clip one.mp4"), Source("pic.png", "pic.png")}));
    auto [entries, window, run] = h.parts();
    RunInputs in;
    in.destination.kind = RunDestinationKind::Folder;
    in.destination.folder = folder;
    in.settings = SmallSettings();
    EXPECT_EQ(run.run(in), 2);
    ExpectDatabase(folder + "/clip one.pdb");
    // A still picture becomes a movie of one second.
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile(folder + "/pic.pdb", m, error)) << error;
    EXPECT_EQ(m.header.videoDuration, 100u);
}

// The longest stretch of conversion work between two calls of the pump,
// in CPU time of the converting thread, so the machine's load does not
// matter. The window must never go without its events for 100 ms of work.
TEST_F(ConversionRunTest, PumpRunsOftenDuringCinepakConversion) {
    const fs::path src = dir_ / "scene.mp4";
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=15:duration=3 -f lavfi "
        "-i sine=frequency=440:sample_rate=22050:duration=3 -c:v libx264 -pix_fmt yuv420p "
        "-c:a aac '" + src.string() + "'";
    ASSERT_EQ(RunCommand(cmd), 0);

    class GapWindow final : public RunWindow {
      public:
        static double threadSeconds() {
            timespec ts{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
            return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
        }
        void fileStarted(size_t, int, int) override { m_last = threadSeconds(); }
        void pumpEvents() override { mark(); }
        void fileFinished(size_t) override { mark(); }
        void mark() {
            const double now = threadSeconds();
            longest = std::max(longest, now - m_last);
            m_last = now;
            ++pumps;
        }
        double longest = 0;
        int pumps = 0;

      private:
        double m_last = 0;
    } window;

    ExportSettings s;
    s.depth = kDepthMillionsAlpha;  // Cinepak
    s.width = 320;
    s.height = 240;
    s.frameRate = fixedFromInt(15);
    s.videoDataRate = 1000;
    s.soundCodec = kSoundAdpcm4;
    normaliseSound(&s);
    RunInputs in;
    ASSERT_EQ(getSettingsAsContainer(s, &in.settings), noErr);
    std::vector<RunEntry> entries = Entries({src.string()});
    VectorRunList list(&entries);
    ConversionRun run(list, window, moviepackerResources());
    EXPECT_EQ(run.run(in), 1);
    EXPECT_EQ(entries[0].status, kEntryConverted) << entries[0].comment;
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile((dir_ / "scene.pdb").string(), m, error)) << error;
    EXPECT_EQ(m.header.width, 320);
    EXPECT_GE(window.pumps, 45);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers make every step several times slower.
    constexpr double kLimit = 0.5;
#else
    constexpr double kLimit = 0.1;
#endif
    RecordProperty("longest_gap_ms", int(window.longest * 1000));
    EXPECT_LE(window.longest, kLimit) << "longest gap " << window.longest * 1000 << " ms";
}

}  // namespace
