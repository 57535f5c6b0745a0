// Start-up and shutdown without a window: the names the program was
// started with, the settings it starts from and keeps, the exporter test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "export/movie_exporter.h"
#include "export/settings.h"
#include "platform/media_export.h"
#include "profiles/profile.h"
#include "resources/resources.h"
#include "shell/startup.h"

namespace fs = std::filesystem;

namespace {

class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "mp-startup-XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(Startup, EachArgumentIsOneNameInOrder) {
    const char* argv[] = {"moviepacker", "/films/my holiday.mov", "", "b.mov", "\"quoted\".mov",
                          "b.mov", "no such file.avi"};
    EXPECT_EQ(StartupFileNames(7, argv),
              (std::vector<std::string>{"/films/my holiday.mov", "b.mov", "\"quoted\".mov",
                                        "b.mov", "no such file.avi"}));
    const char* alone[] = {"moviepacker"};
    EXPECT_TRUE(StartupFileNames(1, alone).empty());
}

TEST_F(Startup, OptionsAreReadOnlyBeforeTheEndMark) {
    using Action = StartupCommandLine::Action;
    const char* plain[] = {"moviepacker", "a.mov", "-x.mov", "", "b c.avi"};
    StartupCommandLine line = ReadStartupCommandLine(5, plain);
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.files, (std::vector<std::string>{"a.mov", "-x.mov", "b c.avi"}));

    const char* help[] = {"moviepacker", "a.mov", "--version", "-h"};
    EXPECT_EQ(ReadStartupCommandLine(4, help).action, Action::Version);
    // A refused option wins over a request for text, and is named.
    const char* bad[] = {"moviepacker", "--help", "--fullscreen", "--nope"};
    line = ReadStartupCommandLine(4, bad);
    EXPECT_EQ(line.action, Action::BadOption);
    EXPECT_EQ(line.badOption, "--fullscreen");

    const char* ended[] = {"moviepacker", "--", "--help", "--", "x.mov"};
    line = ReadStartupCommandLine(5, ended);
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.files, (std::vector<std::string>{"--help", "--", "x.mov"}));
}

TEST_F(Startup, FirstStartTakesTheFirstProfileAndTheNextFindsWhatWasSaved) {
    const PreferenceFile store((dir_ / "config" / "TVLP").string());
    const ResourceFile& res = moviepackerResources();
    Destination dest;
    dest.kind = kDestinationOther;
    dest.folder = "/nowhere";
    AtomContainer first = LoadStartupSettings(store, res, &dest);
    EXPECT_EQ(dest.kind, kDestinationSourceFolder);
    EXPECT_TRUE(dest.folder.empty());
    std::span<const uint8_t> builtIn;
    ASSERT_EQ(res.getIndexed(kResTypeProfile, 1, &builtIn), noErr);
    EXPECT_EQ(first.flatten(), std::vector<uint8_t>(builtIn.begin(), builtIn.end()));

    // Changed during the session, saved at the end...
    ExportSettings s;
    ASSERT_EQ(setSettingsFromContainer(&first, &s), noErr);
    s.frameRate = fixedFromInt(12);
    s.videoDataRate = 640;
    AtomContainer changed;
    ASSERT_EQ(getSettingsAsContainer(s, &changed), noErr);
    fs::create_directories(dir_ / "out");
    Destination chosen{kDestinationOther, (dir_ / "out").string()};
    ASSERT_EQ(SaveShutdownSettings(store, changed, chosen), noErr);

    // ...and found by the next start.
    Destination again;
    AtomContainer next = LoadStartupSettings(store, res, &again);
    ExportSettings n;
    ASSERT_EQ(setSettingsFromContainer(&next, &n), noErr);
    EXPECT_EQ(n.frameRate, fixedFromInt(12));
    EXPECT_EQ(n.videoDataRate, 640);
    EXPECT_EQ(again.kind, kDestinationOther);
    EXPECT_EQ(again.folder, (dir_ / "out").string());
}

TEST_F(Startup, DamagedStoreStillStartsWithDefaults) {
    fs::create_directories(dir_ / "config");
    std::ofstream(dir_ / "config" / "TVLP") << "not an atom container";
    const PreferenceFile store((dir_ / "config" / "TVLP").string());
    Destination dest;
    AtomContainer settings = LoadStartupSettings(store, moviepackerResources(), &dest);
    ExportSettings s;
    EXPECT_EQ(setSettingsFromContainer(&settings, &s), noErr);
    EXPECT_FALSE(settings.flatten().empty());
    EXPECT_EQ(dest.kind, kDestinationSourceFolder);
}

TEST_F(Startup, ComponentsRegisterOnceAndTheExporterOpens) {
    ASSERT_EQ(RegisterProgramComponents(), noErr);
    ASSERT_EQ(RegisterProgramComponents(), noErr);
    EXPECT_TRUE(ExporterPresent());
    ComponentDescription d{kMovieExportType, kMoviepackerExportSubType, 0, 0, 0};
    EXPECT_EQ(CountComponents(d), 1);
}

}  // namespace
