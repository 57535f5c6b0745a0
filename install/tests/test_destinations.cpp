// Choosing where converted files go: the popup items, the name proposed
// for a single file, the card drive chooser and the HotSync user chooser,
// with stand-ins for the dialogs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include "install/card_drive.h"
#include "install/destination.h"
#include "install/hotsync_install.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& what) {
    const fs::path p =
        fs::temp_directory_path() / ("destinations-" + std::to_string(getpid()) + "-" + what);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// --- Destination popup ------------------------------------------------------

struct FakeChoosers final : DestinationChoosers {
    std::optional<std::string> answer;  // nothing: the chooser is cancelled
    std::vector<std::string> asked;
    bool give(const char* which, std::string* folder) {
        asked.push_back(which);
        if (answer) *folder = *answer;
        return answer.has_value();
    }
    bool chooseHotSyncUser(std::string* f) override { return give("hotsync", f); }
    bool chooseCardDrive(std::string* f) override { return give("card", f); }
    bool browseFolder(std::string* f) override { return give("browse", f); }
};

TEST(DestinationPopup, EachItemRunsItsChooserAndACancelKeepsTheDestination) {
    FakeChoosers c;
    Destination d{kDestinationOther, "/home/a/out"};
    c.answer.reset();
    for (int item : {2, 3, 5}) {
        EXPECT_FALSE(ChooseDestination(item, c, &d));
        EXPECT_EQ(d.kind, kDestinationOther);
        EXPECT_EQ(d.folder, "/home/a/out");
    }
    EXPECT_EQ(c.asked, (std::vector<std::string>{"hotsync", "card", "browse"}));
    c.asked.clear();
    EXPECT_FALSE(ChooseDestination(4, c, &d));  // the separator
    EXPECT_FALSE(ChooseDestination(6, c, &d));
    EXPECT_TRUE(c.asked.empty());

    c.answer = "/media/card/PALM/PROGRAMS/TAVELLE";
    EXPECT_TRUE(ChooseDestination(3, c, &d));
    EXPECT_EQ(d.kind, kDestinationRemovable);
    EXPECT_EQ(d.folder, "/media/card/PALM/PROGRAMS/TAVELLE");
    // "Source folder" asks nothing and keeps the folder for later.
    c.asked.clear();
    EXPECT_TRUE(ChooseDestination(1, c, &d));
    EXPECT_EQ(d.kind, kDestinationSourceFolder);
    EXPECT_EQ(d.folder, "/media/card/PALM/PROGRAMS/TAVELLE");
    EXPECT_TRUE(c.asked.empty());
    EXPECT_FALSE(ChooseDestination(1, c, &d));  // nothing changed
    // A folder browser that comes back empty-handed counts as cancelled.
    c.answer = "";
    EXPECT_FALSE(ChooseDestination(5, c, &d));
    EXPECT_EQ(d.kind, kDestinationSourceFolder);
}

TEST(DestinationPopup, NamesAndFolderTexts) {
    EXPECT_EQ(ProposedOutputName("/films/my_movie.final.mov"), "my movie.final");
    EXPECT_EQ(ProposedOutputName("/films/no_full_stop"), "no full stop");
    EXPECT_EQ(ProposedOutputName("/dots.in/name"), "name");
    EXPECT_EQ(EnteredOutputName("/films/my_movie.final.mov", "Holiday"), "Holiday.mov");
    EXPECT_EQ(EnteredOutputName("/films/plain", "Holiday"), "Holiday");

    const std::vector<std::string> one{"/a/x.mov", "/a/y.mov"}, two{"/a/x.mov", "/b/y.mov"};
    const Destination source{kDestinationSourceFolder, "/kept"};
    EXPECT_EQ(DestinationFolderText(source, one, "multiple locations"), "/a");
    EXPECT_EQ(DestinationFolderText(source, two, "multiple locations"), "multiple locations");
    EXPECT_EQ(DestinationFolderText(source, {}, "multiple locations"), "");
    EXPECT_EQ(DestinationFolderText({kDestinationHotSync, "/hs/Ann"}, two, "m"), "/hs/Ann");
}

// --- Card drive chooser -----------------------------------------------------

struct FakeCardUi final : CardDriveUi {
    std::vector<std::optional<size_t>> picks;  // answers to choose(), in turn
    std::vector<bool> confirms;                // answers to confirm(), in turn
    std::vector<std::string> alerts, questions;
    std::vector<size_t> preselected;
    std::optional<size_t> choose(CardDriveMode, const std::vector<std::string>&,
                                 size_t selected) override {
        preselected.push_back(selected);
        if (picks.empty()) return std::nullopt;
        const auto p = picks.front();
        picks.erase(picks.begin());
        return p;
    }
    void alert(const std::string& text) override { alerts.push_back(text); }
    bool confirm(const std::string& text) override {
        questions.push_back(text);
        const bool c = !confirms.empty() && confirms.front();
        if (!confirms.empty()) confirms.erase(confirms.begin());
        return c;
    }
};

TEST(CardDrive, NoDriveIsReportedInTheModesOwnWords) {
    FakeCardUi ui;
    std::string folder = "unchanged";
    EXPECT_FALSE(ChooseCardDrive(CardDriveMode::Removable, {}, ui, &folder));
    EXPECT_FALSE(ChooseCardDrive(CardDriveMode::MemoryStick, {}, ui, &folder));
    EXPECT_EQ(ui.alerts, (std::vector<std::string>{"No Removable Media drives found.",
                                                   "No Memory Stick drives found."}));
    EXPECT_TRUE(ui.preselected.empty());
    EXPECT_EQ(folder, "unchanged");
}

TEST(CardDrive, TheChosenCardGetsItsFolderLevelByLevel) {
    const fs::path dir = scratch("cards");
    const fs::path a = dir / "a", b = dir / "b";
    fs::create_directories(a);
    // The second card already has part of the folder, with a file in it.
    fs::create_directories(b / "PALM" / "PROGRAMS");
    std::ofstream(b / "PALM" / "PROGRAMS" / "keep.prc") << "x";
    const std::vector<RemovableDrive> drives{{a.string() + "/", "/dev/sdb1", "sdb", false},
                                             {b.string(), "/dev/mmcblk0p1", "mmcblk0", false}};
    FakeCardUi ui;
    std::string folder;
    ui.picks = {std::nullopt};
    EXPECT_FALSE(ChooseCardDrive(CardDriveMode::Removable, drives, ui, &folder));
    EXPECT_FALSE(fs::exists(a / "PALM"));  // Cancel makes nothing

    ui.picks = {1};
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::Removable, drives, ui, &folder));
    EXPECT_EQ(folder, (b / "PALM" / "PROGRAMS" / "TAVELLE").string());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::exists(b / "PALM" / "PROGRAMS" / "keep.prc"));
    ui.picks = {0};
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::Removable, drives, ui, &folder));
    EXPECT_EQ(folder, (a / "PALM" / "PROGRAMS" / "TAVELLE").string());  // no doubled '/'
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ui.preselected, (std::vector<size_t>{0, 0, 0}));  // the first is preselected
    EXPECT_TRUE(ui.questions.empty());                          // removable mode never asks
    fs::remove_all(dir);
}

TEST(CardDrive, AMemoryStickDriveWithoutItsMarkerNeedsConfirming) {
    const fs::path dir = scratch("sticks");
    const fs::path plain = dir / "plain", stick = dir / "stick";
    fs::create_directories(plain);
    fs::create_directories(stick);
    std::ofstream(stick / "memstick.ind");
    const std::vector<RemovableDrive> drives{{plain.string(), "", "sdb", false},
                                             {stick.string(), "", "sdc", false}};
    FakeCardUi ui;
    std::string folder;
    // Declining the question goes back to the chooser, with the drive still selected.
    ui.picks = {0, 0};
    ui.confirms = {false, true};
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::MemoryStick, drives, ui, &folder));
    EXPECT_EQ(ui.questions,
              (std::vector<std::string>(2,
                                        "This drive may not contain a Memory Stick.  Are you "
                                        "sure you want to select this drive?")));
    EXPECT_EQ(ui.preselected, (std::vector<size_t>{0, 0}));
    EXPECT_EQ(folder, (plain / "PALM" / "PROGRAMS" / "TAVELLE").string());

    ui.questions.clear();
    ui.picks = {1};
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::MemoryStick, drives, ui, &folder));
    EXPECT_TRUE(ui.questions.empty());
    fs::remove_all(dir);
}

// --- HotSync user chooser ---------------------------------------------------

// A library with users and slots in memory; queueing records its calls.
struct FakeLibrary final : HotSyncLibrary {
    struct U {
        std::string name, folder;
        std::vector<HotSyncSlot> slots;
    };
    std::vector<U> users;
    int userCount() const override { return int(users.size()); }
    std::string userName(int i) const override { return users.at(size_t(i)).name; }
    const U* find(std::string_view n) const {
        for (const auto& u : users)
            if (u.name == n) return &u;
        return nullptr;
    }
    std::string userFolder(std::string_view n) const override {
        return find(n) ? find(n)->folder : std::string();
    }
    OSStatus cardSlots(std::string_view n, std::vector<HotSyncSlot>* out) const override {
        if (!find(n)) return kStatusNotFound;
        *out = find(n)->slots;
        return noErr;
    }
    OSStatus queueInstall(std::string_view, std::optional<uint32_t>, const std::string&,
                          std::string*) override {
        return kStatusParamError;
    }
};

struct FakeUserUi final : HotSyncUserUi {
    std::optional<HotSyncUserChoice> answer;
    int calls = 0;
    std::vector<std::string> offered;
    std::vector<std::vector<std::string>> itemsSeen;  // the popup's items after each switch
    std::vector<size_t> switches;                     // users selected in turn before OK
    std::optional<HotSyncUserChoice> choose(
        const std::vector<std::string>& users,
        const std::function<std::vector<std::string>(size_t)>& itemsFor) override {
        ++calls;
        offered = users;
        itemsSeen.push_back(itemsFor(0));
        for (size_t s : switches) itemsSeen.push_back(itemsFor(s));
        return answer;
    }
};

TEST(HotSyncUser, NoUsersOrOneWithoutACardAskNothing) {
    FakeLibrary lib;
    FakeUserUi ui;
    HotSyncTarget t;
    t.user = "unchanged";
    EXPECT_FALSE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(t.user, "unchanged");
    lib.users = {{"Ann", "/hs/Ann", {}}};
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(ui.calls, 0);
    EXPECT_EQ(t.user, "Ann");
    EXPECT_EQ(t.folder, "/hs/Ann");
    EXPECT_FALSE(t.toCard);
    // A user without a folder cannot be chosen.
    lib.users[0].folder.clear();
    EXPECT_FALSE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(t.folder, "/hs/Ann");
}

TEST(HotSyncUser, ACardSlotBringsTheDialogAndSwitchingUsersChangesTheItems) {
    FakeLibrary lib;
    lib.users = {{"Ann", "/hs/Ann", {{9, "SD Card"}}}};
    FakeUserUi ui;
    HotSyncTarget t;
    ui.answer = HotSyncUserChoice{0, 2};
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(ui.calls, 1);  // one user, but with a card: the dialog is shown
    EXPECT_TRUE(t.toCard);
    EXPECT_EQ(t.slot, 9u);

    lib.users = {
        {"Ann", "/hs/Ann", {}}, {"", "/hs/x", {}}, {"Bob", "/hs/Bob", {{4, "CF"}, {5, "SD"}}}};
    ui = FakeUserUi();
    ui.switches = {1, 0};  // to Bob, and back to Ann
    ui.answer = HotSyncUserChoice{1, 1};
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(ui.offered, (std::vector<std::string>{"Ann", "Bob"}));  // empty names skipped
    ASSERT_EQ(ui.itemsSeen.size(), 3u);
    EXPECT_EQ(ui.itemsSeen[0], std::vector<std::string>{"Handheld"});
    EXPECT_EQ(ui.itemsSeen[1], (std::vector<std::string>{"Handheld", "CF"}));  // first slot only
    EXPECT_EQ(ui.itemsSeen[2], std::vector<std::string>{"Handheld"});
    EXPECT_EQ(t.user, "Bob");
    EXPECT_FALSE(t.toCard);  // Bob's handheld, not its card

    ui.answer = HotSyncUserChoice{1, 2};
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_TRUE(t.toCard);
    EXPECT_EQ(t.slot, 4u);
    // Cancel leaves the earlier choice.
    ui.answer.reset();
    EXPECT_FALSE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_EQ(t.slot, 4u);
}

// --- Installing a converted file ---------------------------------------------

ssize_t diskFull(int, const void*, size_t) {
    errno = ENOSPC;
    return -1;
}

TEST(HotSyncInstall, TheConvertedFileGoesOnlyOnceItsCopyIsQueued) {
    const fs::path dir = scratch("install");
    HotSyncStore store((dir / "hs").string());
    ASSERT_EQ(store.addUser("Ann", {{2, "SD Card"}}), noErr);
    HotSyncTarget t{"Ann", store.userFolder("Ann"), true, 2u};
    const std::string converted = t.folder + "/movie.pdb";
    std::ofstream(converted) << std::string(5000, 'm');

    std::string queued;
    store.setWriteForTesting(diskFull);
    EXPECT_EQ(InstallConvertedFile(store, t, converted, &queued), kStatusWriteError);
    EXPECT_TRUE(fs::exists(converted));
    EXPECT_TRUE(store.queuedFiles("Ann", 2u).empty());
    EXPECT_TRUE(fs::is_empty(store.queueFolder("Ann", 2u)));

    store.setWriteForTesting(nullptr);
    ASSERT_EQ(InstallConvertedFile(store, t, converted, &queued), noErr);
    EXPECT_FALSE(fs::exists(converted));
    EXPECT_EQ(queued, store.queueFolder("Ann", 2u) + "/movie.pdb");
    EXPECT_EQ(fs::file_size(queued), 5000u);
    fs::remove_all(dir);
}

}  // namespace
