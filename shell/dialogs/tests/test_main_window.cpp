// The main window driven headless by item number.
#include <gtest/gtest.h>
#include <stdlib.h>

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

std::string MenuText(DialogPtr d, int item, int menuItem) {
    std::string s;
    getMenuItemText(d, item, menuItem, &s);
    return s;
}

int Value(DialogPtr d, int item) {
    int v = 0;
    getControlValue(d, item, &v);
    return v;
}

std::string Selected(DialogPtr d, int item) { return MenuText(d, item, Value(d, item)); }

// The menu item showing `text`; fails the test when there is none.
int MenuItemNamed(DialogPtr d, int item, const std::string& text) {
    for (int i = 1; i <= countMenuItems(d, item); ++i)
        if (MenuText(d, item, i) == text) return i;
    ADD_FAILURE() << "popup " << item << " has no item \"" << text << "\"";
    return 1;
}

std::vector<std::string> MenuItems(DialogPtr d, int item) {
    std::vector<std::string> out;
    for (int i = 1; i <= countMenuItems(d, item); ++i) out.push_back(MenuText(d, item, i));
    return out;
}

std::string ItemText(DialogPtr d, int item) {
    std::string s;
    getItemText(d, item, &s);
    return s;
}

AtomContainer BuiltIn(const std::string& name) {
    AtomContainer c;
    EXPECT_EQ(findProfile(name, false, moviepackerResources(), nullptr, &c), noErr) << name;
    return c;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ScratchPath("mainwin-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        store_ = std::make_unique<PreferenceFile>(dir_ + "/prefs/TVLP");
        Destination seeded;  // the first start writes the store
        ASSERT_TRUE(loadPreferences(*store_, moviepackerResources(), &seeded).has_value());
        env_.resources = &moviepackerResources();
        env_.store = store_.get();
        env_.askOutputName = [](const std::string&, std::string* name) {
            *name = "single.mov";
            return true;
        };
        keptDestination() = Destination{};
        setConversionRunHook(nullptr);
    }
    void TearDown() override {
        setModalScript({});
        setOpenFileHook(nullptr);
        setFolderBrowserHook(nullptr);
        setConversionRunHook(nullptr);
    }

    // Copies a corpus file into this test's folder (sub-folder `sub`).
    std::string Source(const std::string& corpus, const std::string& name,
                       const std::string& sub = "in") {
        const std::string to = dir_ + "/" + sub + "/" + name;
        std::filesystem::create_directories(dir_ + "/" + sub);
        std::filesystem::copy_file(CorpusFile(corpus), to,
                                   std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    bool Run(FileList& files, AtomContainer* settings, std::vector<ModalScriptStep> steps) {
        setModalScript(std::move(steps));
        std::string name;
        FileSpec folder;
        bool hotSync = true, sourceFolder = false;
        const bool result =
            runMainDialog(files, &name, &folder, &hotSync, &sourceFolder, settings, env_);
        lastHotSync_ = hotSync;
        lastSourceFolder_ = sourceFolder;
        lastFolder_ = FileSpecPath(folder);
        lastOutputName_ = name;
        return result;
    }

    std::string dir_;
    std::unique_ptr<PreferenceFile> store_;
    MainWindowEnvironment env_;
    bool lastHotSync_ = false, lastSourceFolder_ = false;
    std::string lastFolder_, lastOutputName_;
};

// Idle turns of the modal loop, in which thumbnails are drawn.
void Idle(std::vector<ModalScriptStep>* steps, int n) {
    for (int i = 0; i < n; ++i) steps->push_back([](DialogPtr) {});
}

TEST_F(MainWindowTest, FilesProfilesAndPresetsByItemNumber) {
    const std::string clip = Source("h264_aac.mp4", "b clip.mp4");
    const std::string tone = Source("tone.wav", "a tone.wav");
    const std::string other = Source("chapters.mov", "c other.mov", "elsewhere");
    FileList files;
    AtomContainer settings = BuiltIn("All color Palm OS devices");
    std::vector<std::string> filterNames;
    setOpenFileHook([&](std::string_view, const std::vector<OpenFileFilter>& filters, bool multiple,
                        std::vector<std::string>* paths) {
        for (const OpenFileFilter& f : filters) filterNames.push_back(f.name + "=" + f.patterns);
        EXPECT_TRUE(multiple);
        *paths = {clip, tone};
        return noErr;
    });

    std::vector<ModalScriptStep> steps;
    steps.push_back([](DialogPtr d) {
        EXPECT_EQ(dialogResourceID(d), kMainDialogID);
        EXPECT_EQ(countListRows(d, kFileList), 0);
        EXPECT_EQ(ItemText(d, kFolderText), "");
        EXPECT_EQ(Selected(d, kDevicePopup), "All color Palm OS devices");
        EXPECT_EQ(Selected(d, kSettingsPopup), "Generic");
        simulateClick(d, kAddFiles);
    });
    steps.push_back([&](DialogPtr d) {
        // Two from the open dialog, one dropped with a folder beside it.
        ASSERT_EQ(simulateDrop(d, {other, dir_ + "/in", clip}), noErr);
    });
    Idle(&steps, 6);
    steps.push_back([&](DialogPtr d) {
        ASSERT_EQ(countListRows(d, kFileList), 3);
        ASSERT_EQ(files.size(), 3u);
        EXPECT_EQ(files[0].fileName(), "a tone.wav");
        EXPECT_EQ(files[1].fileName(), "b clip.mp4");
        EXPECT_EQ(files[2].fileName(), "c other.mov");
        EXPECT_EQ(files.pendingThumbnails(), 0u);
        EXPECT_FALSE(listRowHasPicture(d, kFileList, 1));  // audio only
        EXPECT_TRUE(files[0].noPicture);
        EXPECT_TRUE(listRowHasPicture(d, kFileList, 2));
        EXPECT_TRUE(listRowHasPicture(d, kFileList, 3));
        std::string row;
        getListRow(d, kFileList, 2, &row);
        EXPECT_EQ(row, "b clip.mp4\nDuration: 00:00:02");
        EXPECT_EQ(ItemText(d, kFolderText), "multiple locations");
        saveScreenshot(d, "files");
        // Remove the second file: select its row alone, confirm in the alert.
        for (int r = 1; r <= 3; ++r) selectListRow(d, kFileList, r, r == 2);
        simulateClick(d, kRemoveFiles);
    });
    steps.push_back([](DialogPtr alert) {
        EXPECT_EQ(dialogResourceID(alert), 130);
        simulateClick(alert, 1);
    });
    steps.push_back([&](DialogPtr d) {
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[0].fileName(), "a tone.wav");
        EXPECT_EQ(files[1].fileName(), "c other.mov");
        EXPECT_EQ(countListRows(d, kFileList), 2);
        // A profile: the manufacturer, then its device.
        simulateTabChoice(d, kTabs, 1);
    });
    steps.push_back([](DialogPtr d) {
        EXPECT_TRUE(isItemVisible(d, kAudioFormat));
        EXPECT_FALSE(isItemVisible(d, kFileList));
        EXPECT_EQ(Selected(d, kVideoFormat), "Cinepak Mobile");
        EXPECT_EQ(Selected(d, kAudioFormat), "ADPCM");
        simulatePopupChoice(d, kSettingsPopup, MenuItemNamed(d, kSettingsPopup, "Sony CLIE"));
    });
    steps.push_back([](DialogPtr d) {
        simulatePopupChoice(d, kDevicePopup, MenuItemNamed(d, kDevicePopup, "PEG-N700C/N710C"));
    });
    steps.push_back([](DialogPtr d) {
        EXPECT_EQ(Selected(d, kSettingsPopup), "Sony CLIE");
        EXPECT_EQ(Selected(d, kDevicePopup), "PEG-N700C/N710C");
        // The popups follow the profile: ATRAC3 only, at its bit rates.
        EXPECT_EQ(MenuItems(d, kAudioFormat),
                  (std::vector<std::string>{"No Audio", "-", "CLIÉ Audio"}));
        EXPECT_EQ(Selected(d, kAudioFormat), "CLIÉ Audio");
        EXPECT_EQ(MenuItems(d, kSampleRate),
                  (std::vector<std::string>{"33.000 kbps", "47.000 kbps", "66.000 kbps"}));
        EXPECT_EQ(Selected(d, kSampleRate), "33.000 kbps");
        EXPECT_EQ(Selected(d, kChannels), "Stereo");
        EXPECT_EQ(controlHilite(d, kCompression), 255);
        EXPECT_EQ(Selected(d, kVideoFormat), "Cinepak Mobile");
        EXPECT_EQ(Selected(d, kFrameRate), "10");
        EXPECT_EQ(Selected(d, kVideoRate), "320 kbps");
        EXPECT_EQ(controlHilite(d, kVideoRate), 0);
        saveScreenshot(d, "audio-video");
        // One field changed: the settings become "Custom".
        simulatePopupChoice(d, kVideoFormat, 4);  // 16 Grays
    });
    steps.push_back([](DialogPtr d) {
        EXPECT_EQ(Value(d, kSettingsPopup), 1);
        EXPECT_EQ(Selected(d, kSettingsPopup), "Custom (PEG-N700C/N710C)");
        EXPECT_EQ(controlHilite(d, kVideoRate), 255);  // grey video has no data rate
        EXPECT_EQ(Selected(d, kVideoFormat), "16 Grays");
        simulateClick(d, kSaveAsPreset);
    });
    steps.push_back([](DialogPtr save) {
        EXPECT_EQ(dialogResourceID(save), 1154);
        EXPECT_EQ(ItemText(save, 3), "Copy of PEG-N700C/N710C");
        selectItemText(save, 3, 0, 32767);
        simulateTyping(save, "Grey Clie");
        simulateClick(save, 1);
    });
    steps.push_back([](DialogPtr d) {
        EXPECT_EQ(Selected(d, kSettingsPopup), "Custom");
        EXPECT_EQ(Selected(d, kDevicePopup), "Grey Clie (PEG-N700C/N710C)");
        simulateTabChoice(d, kTabs, 2);
    });
    steps.push_back([](DialogPtr d) {
        saveScreenshot(d, "layout");
        simulateClick(d, kQuit);
    });
    EXPECT_FALSE(Run(files, &settings, std::move(steps)));
    EXPECT_TRUE(files.empty());  // Quit empties the list
    EXPECT_EQ(modalScriptStepsLeft(), 0u);
    ASSERT_EQ(filterNames.size(), 3u);
    EXPECT_EQ(filterNames[0], "Video Files=*.3gp;*.avi;*.dv;*.mpeg;*.mpg;*.mp4;*.mov;");
    EXPECT_EQ(filterNames[2], "All Files=*.*;");

    // The settings handed back are the preset's.
    ProfileRecord back;
    profileToRecord(settings, moviepackerResources(), &back);
    EXPECT_EQ(back.name, "Grey Clie");
    EXPECT_EQ(back.baseName, "PEG-N700C/N710C");
    EXPECT_EQ(back.depth, 36);
    EXPECT_EQ(back.audioCode, 624);
    EXPECT_EQ(back.changed, 0);
    EXPECT_TRUE(lastSourceFolder_);
    EXPECT_FALSE(lastHotSync_);

    // Reopened: the preset is listed and selected; delete it.
    std::vector<ModalScriptStep> again;
    again.push_back([](DialogPtr d) {
        EXPECT_EQ(Selected(d, kSettingsPopup), "Custom");
        EXPECT_TRUE(isMenuItemEnabled(d, kSettingsPopup, 1));
        EXPECT_EQ(MenuItems(d, kDevicePopup),
                  (std::vector<std::string>{"Grey Clie (PEG-N700C/N710C)"}));
        // The preset buttons are on the Audio & Video page.
        EXPECT_NE(simulateClick(d, kEditPresets), noErr);
        simulateTabChoice(d, kTabs, 1);
    });
    again.push_back([](DialogPtr d) { simulateClick(d, kEditPresets); });
    again.push_back([](DialogPtr edit) {
        EXPECT_EQ(dialogResourceID(edit), 1156);
        ASSERT_EQ(countListRows(edit, 5), 1);
        std::string row;
        getListRow(edit, 5, 1, &row);
        EXPECT_EQ(row, "Grey Clie");
        selectListRow(edit, 5, 1, true);
        simulateClick(edit, 3);
    });
    again.push_back([](DialogPtr alert) {
        EXPECT_EQ(dialogResourceID(alert), 130);
        simulateClick(alert, 1);
    });
    again.push_back([](DialogPtr edit) {
        EXPECT_EQ(countListRows(edit, 5), 0);
        simulateClick(edit, 1);
    });
    again.push_back([](DialogPtr d) {
        EXPECT_FALSE(isMenuItemEnabled(d, kSettingsPopup, 1));
        simulateClick(d, kQuit);
    });
    EXPECT_FALSE(Run(files, &settings, std::move(again)));
    std::vector<AtomContainer> custom;
    EXPECT_EQ(customProfiles(*store_, &custom), noErr);
    EXPECT_TRUE(custom.empty());
}

}  // namespace
