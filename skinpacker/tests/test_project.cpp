// The skin project: placing, picking up and moving items, the placement
// groups, and the project file's bytes through save and load.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "skinpacker/messages.h"
#include "skinpacker/project.h"
#include "skinpacker/project_file.h"
#include "skinpacker/temp_file.h"
#include "skinpacker/tests/support/fixtures.h"

using namespace skin;
using namespace skintest;

namespace {

class ProjectTest : public ::testing::Test {
  protected:
    void SetUp() override { importSmallPicture(project, reporter, dir.dir()); }
    ScratchDir dir;
    RecordingReporter reporter;
    Project project;
};

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

}  // namespace

TEST_F(ProjectTest, ImportBuildsSkinPaletteAndPicture) {
    const auto& p = project.palette();
    EXPECT_EQ(p[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(p[1], (Rgb{0, 0, 0}));
    EXPECT_EQ(p[2], (Rgb{128, 0, 0}));
    EXPECT_EQ(p[10], (Rgb{255, 0, 0}));
    EXPECT_EQ(p[16], (Rgb{255, 255, 255}));
    EXPECT_EQ(p[17], (Rgb{10, 20, 30}));
    EXPECT_EQ(p[21], (Rgb{250, 250, 250}));
    EXPECT_EQ(p[22], (Rgb{0, 0, 0}));
    EXPECT_EQ(project.imageColours(), 5);
    EXPECT_EQ(project.pixel(0, 0), 17);
    EXPECT_EQ(project.pixel(45, 0), 18);
    EXPECT_EQ(project.pixel(0, 319), 17 + (319 / 40) % 5);
    // The temporary file holds the converted picture and two more bytes.
    auto temp = readFile(dir.path(kTempFileName));
    ASSERT_EQ(temp.size(), 103312u);
    EXPECT_TRUE(std::equal(temp.begin(), temp.begin() + 103310, project.picture().file.begin()));
}

TEST_F(ProjectTest, ClickRoundsToEvenAndMustStayInside) {
    project.selectItem(1);
    EXPECT_EQ(project.statusText(), "再生ボタンを配置します");
    EXPECT_EQ(project.click(38, 35, reporter).outcome, ClickOutcome::Ignored);
    EXPECT_EQ(project.click(37, 36, reporter).outcome, ClickOutcome::Ignored);
    EXPECT_EQ(project.selected(), 1);
    ClickResult r = project.click(38, 36, reporter);
    EXPECT_EQ(r.outcome, ClickOutcome::Placed);
    EXPECT_EQ(project.slot(1).x, 0);
    EXPECT_EQ(project.slot(1).y, 1);
    EXPECT_EQ(project.placedItems(), 1);
    EXPECT_EQ(project.selected(), 0);
    EXPECT_EQ(project.statusText(), "");
    EXPECT_FALSE(project.buttonEnabled(1));
    EXPECT_TRUE(project.buttonEnabled(2));

    // Right and bottom edges: the corner plus size may reach 320 but not pass it.
    project.selectItem(2);
    EXPECT_EQ(project.click(20 + 284 + 18 + 2, 100, reporter).outcome, ClickOutcome::Ignored);
    EXPECT_EQ(project.click(20 + 284 + 18, 20 + 289 + 15, reporter).outcome, ClickOutcome::Placed);
    EXPECT_EQ(project.slot(2).x, 284);
    EXPECT_EQ(project.slot(2).y, 289);
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(ProjectTest, TouchingEdgesRefuse) {
    ASSERT_EQ(placeAt(project, 1, 0, 1, reporter).outcome, ClickOutcome::Placed);
    // The stop button's left edge on the play button's right edge.
    EXPECT_EQ(placeAt(project, 2, 36, 1, reporter).outcome, ClickOutcome::Overlap);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kOverlap);
    EXPECT_FALSE(project.slot(2).placed());
    EXPECT_EQ(project.selected(), 2) << "a refused placement keeps the selection";
    // Bottom edge on top edge, too.
    EXPECT_EQ(placeAt(project, 2, 0, 31, reporter).outcome, ClickOutcome::Overlap);
    EXPECT_EQ(placeAt(project, 2, 38, 1, reporter).outcome, ClickOutcome::Placed);
    EXPECT_EQ(project.placedItems(), 2);
}

TEST_F(ProjectTest, PlacementGroupsDisableTheirButtons) {
    ASSERT_EQ(placeAt(project, 9, 100, 101, reporter).outcome, ClickOutcome::Placed);
    for (int s = 9; s <= 12; ++s) EXPECT_FALSE(project.buttonEnabled(s)) << s;
    EXPECT_TRUE(project.buttonEnabled(13));
    project.selectItem(10);
    EXPECT_EQ(project.selected(), 0) << "a disabled button selects nothing";
    ASSERT_EQ(placeAt(project, 28, 40, 201, reporter).outcome, ClickOutcome::Placed);
    for (int s = 27; s <= 29; ++s) EXPECT_FALSE(project.buttonEnabled(s)) << s;
    EXPECT_TRUE(project.buttonEnabled(30));
}

TEST_F(ProjectTest, PressingTheSameButtonAgainClearsTheSelection) {
    project.selectItem(5);
    project.selectItem(5);
    EXPECT_EQ(project.selected(), 0);
    EXPECT_EQ(project.statusText(), "");
    EXPECT_EQ(project.click(100, 100, reporter).outcome, ClickOutcome::Ignored);
}

TEST_F(ProjectTest, MovingKeepsColoursAndDoesNotAskAgain) {
    ASSERT_EQ(placeAt(project, 17, 10, 10, reporter).outcome, ClickOutcome::Placed);
    project.setColours(17, {3, 9, 11});
    ClickResult up = project.click(20 + 10 + 5, 20 + 10 + 5, reporter);
    EXPECT_EQ(up.outcome, ClickOutcome::PickedUp);
    EXPECT_EQ(up.slot, 17);
    EXPECT_TRUE(project.moving());
    EXPECT_FALSE(project.slot(17).placed());
    EXPECT_EQ(project.placedItems(), 0);
    EXPECT_EQ(project.statusText(), kSlots[17].label);
    ClickResult down = project.click(200, 200, reporter);
    EXPECT_EQ(down.outcome, ClickOutcome::Moved);
    EXPECT_EQ(project.slot(17).x, 200 - 20 - 64);
    EXPECT_EQ(project.slot(17).y, 200 - 20 - 20);
    EXPECT_EQ(project.slot(17).colours, (std::array<int8_t, 3>{3, 9, 11}));
    EXPECT_FALSE(project.moving());
    EXPECT_EQ(project.placedItems(), 1);
    for (int s = 17; s <= 20; ++s) EXPECT_FALSE(project.buttonEnabled(s));
}

TEST_F(ProjectTest, PickUpMissesOutsideEveryItem) {
    ASSERT_EQ(placeAt(project, 1, 10, 11, reporter).outcome, ClickOutcome::Placed);
    EXPECT_EQ(project.click(20 + 46, 20 + 15, reporter).outcome, ClickOutcome::Ignored);
    EXPECT_EQ(project.click(20 + 45, 20 + 39, reporter).outcome, ClickOutcome::PickedUp);
}

TEST_F(ProjectTest, AbandonedPickUpFreesItsGroup) {
    ASSERT_EQ(placeAt(project, 9, 100, 101, reporter).outcome, ClickOutcome::Placed);
    ASSERT_EQ(project.click(20 + 101, 20 + 102, reporter).outcome, ClickOutcome::PickedUp);
    project.selectItem(1);  // the user turns to another item instead of putting it down
    EXPECT_FALSE(project.moving());
    EXPECT_EQ(project.selected(), 1);
    for (int s = 9; s <= 12; ++s) EXPECT_TRUE(project.buttonEnabled(s)) << s;
    EXPECT_EQ(project.placedItems(), 0);
}

TEST(ProjectWithoutPicture, ClicksPlaceNothingAndSaveRefuses) {
    ScratchDir dir;
    RecordingReporter reporter;
    Project project;
    ASSERT_TRUE(project.reserveBuffers(reporter));
    project.selectItem(1);
    EXPECT_EQ(project.click(100, 100, reporter).outcome, ClickOutcome::Ignored);
    EXPECT_FALSE(project.save(dir.path("a.tpd"), reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kSaveNeedsPicture);
    EXPECT_FALSE(std::filesystem::exists(dir.path("a.tpd")));
}

TEST_F(ProjectTest, ProjectFileBytes) {
    ASSERT_EQ(placeAt(project, 1, 0, 1, reporter).outcome, ClickOutcome::Placed);
    project.setColours(1, {14, 9, -1});
    project.setTexts({"My skin", "Me", "000123"});
    ASSERT_TRUE(project.save(dir.path("a.tpd"), reporter));
    auto f = readFile(dir.path("a.tpd"));
    ASSERT_EQ(f.size(), 103766u);
    EXPECT_EQ(be32(f, 0), 103310u);
    EXPECT_EQ(be32(f, 4), 910u);
    EXPECT_EQ(be32(f, 8), 5u);
    EXPECT_EQ(f[12], 'B');
    EXPECT_TRUE(
        std::equal(f.begin() + 12, f.begin() + 12 + 103310, project.picture().file.begin()));
    size_t at = 12 + 910 + 102400;
    EXPECT_EQ(f[at], 0);
    EXPECT_EQ(f[at + 1], 1);
    EXPECT_EQ(std::string(f.begin() + at + 2, f.begin() + at + 9), "My skin");
    EXPECT_EQ(f[at + 2 + 31], 0);
    EXPECT_EQ(std::string(f.begin() + at + 34, f.begin() + at + 36), "Me");
    EXPECT_EQ(std::string(f.begin() + at + 66, f.begin() + at + 72), "000123");
    const size_t slots = at + 72;
    // Slot 0: unplaced, no colours.
    EXPECT_EQ(be32(f, slots), 0xFFFFFFFFu);
    EXPECT_EQ(be32(f, slots + 4), 0xFFFFFFFFu);
    EXPECT_EQ(f[slots + 8], 0xFF);
    EXPECT_EQ(f[slots + 11], 0);
    // Slot 1: at (0, 1), colours 14, 9, none.
    EXPECT_EQ(be32(f, slots + 12), 0u);
    EXPECT_EQ(be32(f, slots + 16), 1u);
    EXPECT_EQ(f[slots + 20], 14);
    EXPECT_EQ(f[slots + 21], 9);
    EXPECT_EQ(f[slots + 22], 0xFF);
    EXPECT_EQ(f[slots + 23], 0);
    EXPECT_EQ(slots + 31 * 12, f.size());
}

TEST_F(ProjectTest, SaveLoadSaveIsByteIdentical) {
    ASSERT_EQ(placeAt(project, 1, 0, 1, reporter).outcome, ClickOutcome::Placed);
    project.setColours(1, {14, 9, -1});
    ASSERT_EQ(placeAt(project, 17, 100, 100, reporter).outcome, ClickOutcome::Placed);
    project.setColours(17, {1, 2, 3});
    ASSERT_EQ(placeAt(project, 27, 40, 250, reporter).outcome, ClickOutcome::Placed);
    project.setColours(27, {5, -1, -1});
    project.setTexts({std::string(32, 'T'), "author", "12"});
    ASSERT_TRUE(project.save(dir.path("a.tpd"), reporter));

    Project again;
    ASSERT_TRUE(again.reserveBuffers(reporter));
    ASSERT_TRUE(again.load(dir.path("a.tpd"), reporter));
    EXPECT_EQ(again.texts().title, std::string(32, 'T'));
    EXPECT_EQ(again.placedItems(), 3);
    EXPECT_EQ(again.palette(), project.palette());
    EXPECT_EQ(again.pixel(123, 45), project.pixel(123, 45));
    for (int s = 1; s <= 30; ++s) {
        bool groupPlaced = (s == 1) || (s >= 17 && s <= 20) || (s >= 27 && s <= 29);
        EXPECT_EQ(again.buttonEnabled(s), !groupPlaced) << s;
    }
    ASSERT_TRUE(again.save(dir.path("b.tpd"), reporter));
    EXPECT_EQ(readFile(dir.path("a.tpd")), readFile(dir.path("b.tpd")));
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(ProjectTest, LoadRefusesWhatDoesNotFit) {
    ASSERT_EQ(placeAt(project, 1, 0, 1, reporter).outcome, ClickOutcome::Placed);
    ASSERT_TRUE(project.save(dir.path("good.tpd"), reporter));
    const auto good = readFile(dir.path("good.tpd"));
    const size_t slots = 12 + 910 + 102400 + 72;
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
    };
    const std::vector<Case> cases = {
        {"header size", [](auto& f) { f[7] = 0xFF; }},
        {"header size past the buffer", [](auto& f) { f[4] = 0x7F; }},
        {"picture size", [](auto& f) { f[3] ^= 1; }},
        {"colour count", [](auto& f) { f[11] = 215; }},
        {"index past the palette", [](auto& f) { f[922 + 500] = 214; }},
        {"item count", [](auto& f) { f[922 + 102400 + 1] = 2; }},
        {"item outside the picture", [slots](auto& f) { f[slots + 12 + 2] = 0x02; }},  // x = 512
        {"colour value", [slots](auto& f) { f[slots + 12 + 8] = 16; }},
        {"short", [](auto& f) { f.pop_back(); }},
        {"long", [](auto& f) { f.push_back(0); }},
    };
    for (const Case& c : cases) {
        auto f = good;
        c.spoil(f);
        writeFile(dir.path("bad.tpd"), f);
        RecordingReporter r;
        Project target;
        ASSERT_TRUE(target.reserveBuffers(r));
        EXPECT_FALSE(target.load(dir.path("bad.tpd"), r)) << c.what;
        ASSERT_EQ(r.messages.size(), 1u) << c.what;
        EXPECT_EQ(r.messages[0].text, msg::kBmpCannotOpen) << c.what;
        EXPECT_FALSE(target.pictureLoaded()) << c.what;
    }
    RecordingReporter r;
    EXPECT_FALSE(project.load(dir.path("missing.tpd"), r));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, msg::kTpdNotFound);
    EXPECT_EQ(project.placedItems(), 1) << "a failed load leaves the project as it was";
}

TEST_F(ProjectTest, SaveNeedsTheTemporaryFileAndKeepsTheOldProject) {
    ASSERT_TRUE(project.save(dir.path("a.tpd"), reporter));
    const auto before = readFile(dir.path("a.tpd"));
    std::filesystem::remove(dir.path(kTempFileName));
    ASSERT_EQ(placeAt(project, 2, 50, 51, reporter).outcome, ClickOutcome::Placed);
    EXPECT_FALSE(project.save(dir.path("a.tpd"), reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kBmpCannotOpen);
    EXPECT_EQ(readFile(dir.path("a.tpd")), before);

    reporter.messages.clear();
    ASSERT_TRUE(project.load(dir.path("a.tpd"), reporter));  // rewrites the temporary file
    EXPECT_FALSE(project.save(dir.path("no/such/dir.tpd"), reporter));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, msg::kTpdCannotMake);
}

TEST_F(ProjectTest, TemporaryFileDoesNotFollowAPlantedLink) {
    const std::string victim = dir.path("victim");
    writeFile(victim, {1, 2, 3});
    std::filesystem::remove(dir.path(kTempFileName));
    std::filesystem::create_symlink(victim, dir.path(kTempFileName));
    ASSERT_TRUE(project.importPicture(dir.path("small.bmp"), reporter));
    EXPECT_EQ(readFile(victim), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path(kTempFileName)));
    EXPECT_EQ(std::filesystem::file_size(dir.path(kTempFileName)), 103312u);
}

TEST(ProjectLifetime, TemporaryFileGoesWithTheProgram) {
    ScratchDir dir;
    RecordingReporter reporter;
    {
        Project project;
        importSmallPicture(project, reporter, dir.dir());
        EXPECT_TRUE(std::filesystem::exists(dir.path(kTempFileName)));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path(kTempFileName)));
}
