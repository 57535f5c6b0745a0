// The destinations' windows driven as a user drives them: the name prompt,
// the card drive chooser with its alerts, and the HotSync user chooser
// whose destination popup follows the selected user.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "install/dialogs/destination_dialogs.h"
#include "toolkit/dialog_toolkit.h"

namespace fs = std::filesystem;

namespace {

struct ScriptGuard {
    ~ScriptGuard() { setModalScript({}); }
};

std::vector<std::string> menuItems(DialogPtr d, int item) {
    std::vector<std::string> items;
    for (int i = 1; i <= countMenuItems(d, item); ++i) {
        std::string t;
        getMenuItemText(d, item, i, &t);
        items.push_back(t);
    }
    return items;
}

int value(DialogPtr d, int item) {
    int v = -1;
    getControlValue(d, item, &v);
    return v;
}

std::string text(DialogPtr d, int item) {
    std::string t;
    getItemText(d, item, &t);
    return t;
}

fs::path scratch(const std::string& what) {
    const fs::path p = fs::temp_directory_path() /
                       ("destination-dialogs-" + std::to_string(getpid()) + "-" + what);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

TEST(NameDialog, ProposesTheNameAndAddsTheExtensionBack) {
    ScriptGuard guard;
    std::string proposed;
    setModalScript({
        [&](DialogPtr d) {
            proposed = text(d, 3);
            saveScreenshot(d, "proposed");
            simulateTyping(d, "Holiday");  // replaces the selected proposal
        },
        [](DialogPtr d) { simulateKey(d, kKeyReturn); },
    });
    std::string name;
    ASSERT_TRUE(AskOutputName("/films/my_movie.final.mov", &name));
    EXPECT_EQ(proposed, "my movie.final");
    EXPECT_EQ(name, "Holiday.mov");

    setModalScript({[](DialogPtr d) { simulateKey(d, kKeyEscape); }});
    name = "kept";
    EXPECT_FALSE(AskOutputName("/films/my_movie.final.mov", &name));
    EXPECT_EQ(name, "kept");
}

TEST(CardDriveDialog, OffersTheDrivesAndMakesTheChosenCardsFolder) {
    ScriptGuard guard;
    const fs::path dir = scratch("cards");
    fs::create_directories(dir / "first");
    fs::create_directories(dir / "second card");
    const std::vector<RemovableDrive> drives{
        {(dir / "first").string(), "/dev/sdb1", "sdb", false},
        {(dir / "second card").string(), "/dev/mmcblk0p1", "mmcblk0", false}};
    std::vector<std::string> offered;
    int preselected = 0, maximum = 0;
    std::string title;
    setModalScript({
        [&](DialogPtr d) {
            title = windowTitle(d);
            offered = menuItems(d, 3);
            preselected = value(d, 3);
            getControlMaximum(d, 3, &maximum);
            saveScreenshot(d, "two-drives");
            simulatePopupChoice(d, 3, 2);
        },
        [](DialogPtr d) { simulateClick(d, 1); },
    });
    CardDriveDialogs ui;
    std::string folder;
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::Removable, drives, ui, &folder));
    EXPECT_EQ(title, "Choose Removable Drive");
    EXPECT_EQ(offered, (std::vector<std::string>{drives[0].root, drives[1].root}));
    EXPECT_EQ(preselected, 1);
    EXPECT_EQ(maximum, 2);
    EXPECT_EQ(folder, (dir / "second card" / "PALM" / "PROGRAMS" / "TAVELLE").string());
    EXPECT_TRUE(fs::is_directory(folder));

    setModalScript({[](DialogPtr d) { simulateClick(d, 2); }});
    EXPECT_FALSE(ChooseCardDrive(CardDriveMode::Removable, drives, ui, &folder));
    EXPECT_FALSE(fs::exists(dir / "first" / "PALM"));
    fs::remove_all(dir);
}

TEST(CardDriveDialog, AlertsSayWhatIsMissingAndAQuestionCanSendTheUserBack) {
    ScriptGuard guard;
    std::string message, alertTitle;
    setModalScript({[&](DialogPtr d) {
        message = text(d, 2);
        saveScreenshot(d, "no-drives");
        simulateClick(d, 1);
    }});
    CardDriveDialogs ui;
    std::string folder;
    EXPECT_FALSE(ChooseCardDrive(CardDriveMode::Removable, {}, ui, &folder));
    EXPECT_EQ(message, "No Removable Media drives found.");

    // Memory Stick mode: a drive without its marker asks; Cancel returns to the chooser.
    const fs::path dir = scratch("stick");
    const std::vector<RemovableDrive> drives{{dir.string(), "/dev/sdc1", "sdc", false}};
    std::vector<std::string> seen;
    std::string question;
    setModalScript({
        [&](DialogPtr d) {
            seen.push_back(windowTitle(d));
            simulateClick(d, 1);
        },
        [&](DialogPtr d) {
            question = text(d, 3);
            saveScreenshot(d, "not-a-memory-stick");
            simulateClick(d, 2);
        },
        [&](DialogPtr d) {
            seen.push_back(windowTitle(d));
            simulateClick(d, 1);
        },
        [&](DialogPtr d) { simulateClick(d, 1); },
    });
    ASSERT_TRUE(ChooseCardDrive(CardDriveMode::MemoryStick, drives, ui, &folder));
    EXPECT_EQ(seen, std::vector<std::string>(2, "Choose Memory Stick Drive"));
    EXPECT_EQ(question,
              "This drive may not contain a Memory Stick.  Are you sure you want to select this "
              "drive?");
    EXPECT_EQ(modalScriptStepsLeft(), 0u);
    fs::remove_all(dir);
}

// Users and slots kept in memory.
struct Users final : HotSyncLibrary {
    struct U {
        std::string name;
        std::vector<HotSyncSlot> slots;
    };
    std::vector<U> users;
    const U* find(std::string_view n) const {
        for (const auto& u : users)
            if (u.name == n) return &u;
        return nullptr;
    }
    int userCount() const override { return int(users.size()); }
    std::string userName(int i) const override { return users.at(size_t(i)).name; }
    std::string userFolder(std::string_view n) const override {
        return find(n) ? "/hotsync/" + std::string(n) : std::string();
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

TEST(UserDialog, OneUserWithoutACardNeedsNoDialog) {
    ScriptGuard guard;
    Users lib;
    lib.users = {{"Ann", {}}};
    bool shown = false;
    setModalScript({[&](DialogPtr d) {
        shown = true;
        simulateClick(d, 2);
    }});
    HotSyncUserDialog ui;
    HotSyncTarget t;
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    EXPECT_FALSE(shown);
    EXPECT_EQ(t.user, "Ann");
    EXPECT_FALSE(t.toCard);
}

TEST(UserDialog, SwitchingUsersAddsAndRemovesTheCard) {
    ScriptGuard guard;
    Users lib;
    lib.users = {{"Ann", {}}, {"Bob (work)", {{5, "SD Card"}, {6, "CF"}}}};
    struct Seen {
        std::vector<std::string> users, items;
        int hilite = -1;
    };
    std::vector<Seen> seen;
    const auto look = [&](DialogPtr d) {
        seen.push_back({menuItems(d, 3), menuItems(d, 4), controlHilite(d, 4)});
    };
    setModalScript({
        [&](DialogPtr d) {
            look(d);
            saveScreenshot(d, "first-user");
            simulatePopupChoice(d, 3, 2);
        },
        [&](DialogPtr d) {
            look(d);
            saveScreenshot(d, "user-with-card");
            simulatePopupChoice(d, 3, 1);
        },
        [&](DialogPtr d) {
            look(d);
            simulatePopupChoice(d, 3, 2);
        },
        [&](DialogPtr d) { simulatePopupChoice(d, 4, 2); },
        [&](DialogPtr d) {
            saveScreenshot(d, "card-chosen");
            simulateClick(d, 1);
        },
    });
    HotSyncUserDialog ui;
    HotSyncTarget t;
    ASSERT_TRUE(ChooseHotSyncUser(lib, ui, &t));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].users, (std::vector<std::string>{"Ann", "Bob (work)"}));  // shown as written
    EXPECT_EQ(seen[0].items, std::vector<std::string>{"Handheld"});
    EXPECT_EQ(seen[0].hilite, 255);  // nothing to choose: dimmed
    EXPECT_EQ(seen[1].items, (std::vector<std::string>{"Handheld", "SD Card"}));
    EXPECT_EQ(seen[1].hilite, 0);
    EXPECT_EQ(seen[2].items, std::vector<std::string>{"Handheld"});
    EXPECT_EQ(seen[2].hilite, 255);
    EXPECT_EQ(t.user, "Bob (work)");
    EXPECT_TRUE(t.toCard);
    EXPECT_EQ(t.slot, 5u);
}

TEST(DestinationPopupDialogs, CancellingAChooserKeepsTheDestination) {
    ScriptGuard guard;
    Users lib;
    lib.users = {{"Ann", {{1, "SD"}}}, {"Bob", {}}};
    const fs::path dir = scratch("popup");
    DestinationDialogs choosers(
        lib,
        [&] {
            return std::vector<RemovableDrive>{{dir.string(), "", "sdb", false}};
        },
        [](std::string*) { return false; });
    Destination dest{kDestinationOther, "/home/a/out"};
    setModalScript({[](DialogPtr d) { simulateClick(d, 2); }});
    EXPECT_FALSE(ChooseDestination(kDestinationRemovable, choosers, &dest));
    setModalScript({[](DialogPtr d) { simulateKey(d, kKeyEscape); }});
    EXPECT_FALSE(ChooseDestination(kDestinationHotSync, choosers, &dest));
    EXPECT_FALSE(ChooseDestination(kDestinationOther, choosers, &dest));
    EXPECT_EQ(dest.kind, kDestinationOther);
    EXPECT_EQ(dest.folder, "/home/a/out");
    EXPECT_FALSE(fs::exists(dir / "PALM"));

    setModalScript({[](DialogPtr d) { simulateClick(d, 1); }});
    ASSERT_TRUE(ChooseDestination(kDestinationHotSync, choosers, &dest));
    EXPECT_EQ(dest.kind, kDestinationHotSync);
    EXPECT_EQ(dest.folder, "/hotsync/Ann");
    EXPECT_FALSE(choosers.hotSyncTarget().toCard);
    fs::remove_all(dir);
}

}  // namespace
