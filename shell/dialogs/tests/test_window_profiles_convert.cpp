// A profile chosen in the main window converts a source exactly as the
// same profile named on the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/dialogs.h"
#include "platform/tests/support/corpus.h"
#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "resources/resources.h"
#include "shell/main_window.h"

using namespace main_items;

namespace {

int MenuItemNamed(DialogPtr d, int item, const std::string& text) {
    for (int i = 1; i <= countMenuItems(d, item); ++i) {
        std::string s;
        getMenuItemText(d, item, i, &s);
        if (s == text) return i;
    }
    ADD_FAILURE() << "popup " << item << " has no item \"" << text << "\"";
    return 1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs the command line's convert; its exit status.
int Convert(const std::string& config, const std::string& args) {
    const std::string cmd = "XDG_CONFIG_HOME=" + Quote(config) + " " + Quote(MOVIEPACKER_CLI) +
                            " convert " + args + " >/dev/null 2>&1";
    return RunCommand(cmd);
}

// Two databases are the same but for the creation and modification dates
// (header bytes 36 to 43), which say when each was written; those may
// differ by the seconds between the two conversions.
void ExpectSameDatabase(const std::string& a, const std::string& b) {
    const std::vector<uint8_t> x = ReadWholeFile(a), y = ReadWholeFile(b);
    ASSERT_GT(x.size(), 78u);
    ASSERT_EQ(x.size(), y.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (i >= 36 && i < 44) continue;
        if (x[i] != y[i] && differing++ == 0) first = i;
    }
    EXPECT_EQ(differing, 0u) << "first difference at byte " << first;
    auto be32 = [](const std::vector<uint8_t>& v, size_t at) {
        return (uint32_t(v[at]) << 24) | (uint32_t(v[at + 1]) << 16) | (uint32_t(v[at + 2]) << 8) | v[at + 3];
    };
    EXPECT_LE(std::abs(int64_t(be32(x, 36)) - int64_t(be32(y, 36))), 60);
}

class WindowProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ScratchPath("window-profiles");
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ + "/config/moviepacker");
        // The store where the command line looks for custom profiles.
        store_ = std::make_unique<PreferenceFile>(dir_ + "/config/moviepacker/TVLP");
        Destination seeded;
        ASSERT_TRUE(loadPreferences(*store_, moviepackerResources(), &seeded).has_value());
        env_.resources = &moviepackerResources();
        env_.store = store_.get();
    }
    void TearDown() override { setModalScript({}); }

    // Opens the window, runs the steps, quits; the settings it hands back.
    AtomContainer Choose(std::vector<ModalScriptStep> steps) {
        AtomContainer settings;
        EXPECT_EQ(findProfile("All gray Palm OS devices", false, moviepackerResources(), nullptr,
                              &settings),
                  noErr);
        steps.push_back([](DialogPtr d) { simulateClick(d, kQuit); });
        setModalScript(std::move(steps));
        FileList files;
        std::string name;
        FileSpec folder;
        bool hotSync = false, sourceFolder = false;
        EXPECT_FALSE(runMainDialog(files, &name, &folder, &hotSync, &sourceFolder, &settings, env_));
        EXPECT_EQ(modalScriptStepsLeft(), 0u);
        return settings;
    }

    std::string WriteSettings(const AtomContainer& settings, const std::string& name) {
        const std::string path = dir_ + "/" + name;
        WriteWholeFile(path, settings.flatten());
        return path;
    }

    std::string dir_;
    std::unique_ptr<PreferenceFile> store_;
    MainWindowEnvironment env_;
};

TEST_F(WindowProfileTest, BuiltInAndSavedProfilesConvertAsOnTheCommandLine) {
    const std::string source = CorpusFile("h264_aac.mp4");
    const std::string config = dir_ + "/config";

    // A built-in colour profile with ADPCM sound.
    const AtomContainer t3 = Choose({
        [](DialogPtr d) {
            simulatePopupChoice(d, kSettingsPopup, MenuItemNamed(d, kSettingsPopup, "Palm"));
        },
        [](DialogPtr d) {
            simulatePopupChoice(d, kDevicePopup, MenuItemNamed(d, kDevicePopup, "Tungsten T3"));
        },
    });
    // The same file name in two folders: the database is named after it.
    std::filesystem::create_directories(dir_ + "/window");
    std::filesystem::create_directories(dir_ + "/cli");
    const std::string fromWindow = dir_ + "/window/t3.pdb", fromCli = dir_ + "/cli/t3.pdb";
    ASSERT_EQ(Convert(config, "--settings " + Quote(WriteSettings(t3, "t3.stng")) + " -o " +
                                  Quote(fromWindow) + " " + Quote(source)),
              0);
    ASSERT_EQ(Convert(config, "--profile 'Tungsten T3' -o " + Quote(fromCli) + " " + Quote(source)), 0);
    ExpectSameDatabase(fromWindow, fromCli);

    // An edited ATRAC3 profile saved as a preset: the window's settings and
    // the preset found by the command line give the same movie.
    const AtomContainer mine = Choose({
        [](DialogPtr d) {
            simulatePopupChoice(d, kSettingsPopup, MenuItemNamed(d, kSettingsPopup, "Sony CLIE"));
        },
        [](DialogPtr d) {
            simulatePopupChoice(d, kDevicePopup, MenuItemNamed(d, kDevicePopup, "PEG-N700C/N710C"));
        },
        [](DialogPtr d) { simulateTabChoice(d, kTabs, 1); },
        [](DialogPtr d) {
            simulatePopupChoice(d, kFrameRate, MenuItemNamed(d, kFrameRate, "5"));
        },
        [](DialogPtr d) { simulatePopupChoice(d, kSampleRate, MenuItemNamed(d, kSampleRate, "66.000 kbps")); },
        [](DialogPtr d) { simulateClick(d, kSaveAsPreset); },
        [](DialogPtr save) {
            selectItemText(save, 3, 0, 32767);
            simulateTyping(save, "Slow Clie");
            simulateClick(save, 1);
        },
    });
    ProfileRecord r;
    profileToRecord(mine, moviepackerResources(), &r);
    EXPECT_EQ(r.name, "Slow Clie");
    EXPECT_EQ(r.frameRate, 5 << 16);
    EXPECT_EQ(r.bitRate, 66000);
    const std::string mineWindow = dir_ + "/window/mine.pdb", mineCli = dir_ + "/cli/mine.pdb";
    ASSERT_EQ(Convert(config, "--settings " + Quote(WriteSettings(mine, "mine.stng")) + " -o " +
                                  Quote(mineWindow) + " " + Quote(source)),
              0);
    ASSERT_EQ(Convert(config, "--profile 'Slow Clie' -o " + Quote(mineCli) + " " + Quote(source)), 0);
    ExpectSameDatabase(mineWindow, mineCli);
    // Different settings, different movies: the comparison can tell them apart.
    EXPECT_NE(ReadWholeFile(fromWindow).size(), ReadWholeFile(mineWindow).size());
}

}  // namespace
