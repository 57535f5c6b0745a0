// The program without windows: import and save, build with the create
// checks in their order, exit statuses and messages on stderr.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "skinpacker/headless.h"
#include "skinpacker/messages.h"
#include "skinpacker/project_file.h"
#include "skinpacker/temp_file.h"
#include "skinpacker/tests/support/fixtures.h"

using namespace skin;
using namespace skintest;

namespace {

struct RunResult {
    int status;
    std::string out, err;
};

RunResult run(std::vector<std::string> args) {
    std::ostringstream out, err;
    int status = runHeadless(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(Headless, ImportSaveThenBuild) {
    ScratchDir dir;
    writeSmallPicture(dir.path("pic.bmp"));
    EXPECT_TRUE(wantsHeadless(std::vector<std::string>{"--import", "x"}));
    EXPECT_FALSE(wantsHeadless(std::vector<std::string>{}));

    RunResult r = run({"--import", dir.path("pic.bmp"), "--save", dir.path("p.tpd")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir.path("p.tpd")), kProjectFileSize);
    EXPECT_FALSE(std::filesystem::exists(dir.path(kTempFileName))) << "left behind";

    // The fresh project has no items: play and stop are missing.
    r = run({"--build", dir.path("p.tpd"), "--out", dir.path("s.pdb"), "--title", "T", "--author",
             "A", "--version", "000001"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(std::string(msg::kNeedPlayStop) + "\n(place the play and stop", 0), 0u)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path("s.pdb")));
}

TEST(Headless, BuildChecksNameThenTextsInOrder) {
    ScratchDir dir;
    RecordingReporter reporter;
    {
        Project p;
        importSmallPicture(p, reporter, dir.dir());
        ASSERT_EQ(placeAt(p, 1, 0, 1, reporter).outcome, ClickOutcome::Placed);
        ASSERT_EQ(placeAt(p, 2, 40, 1, reporter).outcome, ClickOutcome::Placed);
        p.setColours(2, {14, 9, -1});
        p.setTexts({"Stored", "", ""});
        ASSERT_TRUE(p.save(dir.path("p.tpd"), reporter));
    }
    const std::string tpd = dir.path("p.tpd");
    struct Case {
        std::vector<std::string> args;
        std::string_view message;
    };
    const std::string longName = dir.path(std::string(27, 'x') + ".pdb");  // 31 characters
    const std::vector<Case> cases = {
        {{"--build", tpd, "--out", dir.dir() + "/"}, msg::kNameEmpty},
        {{"--build", tpd, "--out", longName, "--title", "T"}, msg::kNameTooLong},
        {{"--build", tpd, "--out", dir.path("s.pdb"), "--title", ""}, msg::kNeedTitle},
        {{"--build", tpd, "--out", dir.path("s.pdb")},
         msg::kNeedAuthor},  // title "Stored" from the project
        {{"--build", tpd, "--out", dir.path("s.pdb"), "--author", "A"}, msg::kNeedVersion},
        {{"--build", tpd, "--out", dir.path("s.pdb"), "--author", "A", "--version", "12a"},
         msg::kVersionDigits},
        {{"--build", dir.path("none.tpd"), "--out", dir.path("s.pdb")}, msg::kTpdNotFound},
    };
    for (const Case& c : cases) {
        RunResult r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.message;
        // The window's text first; an English line may follow it.
        EXPECT_EQ(r.err.rfind(std::string(c.message) + "\n", 0), 0u) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.path("s.pdb"))) << c.message;
    }
    RunResult r = run({"--build", tpd, "--out", dir.path(std::string(26, 'x') + ".pdb"), "--author",
                       "作者", "--version", "000123"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto pdb = readFile(dir.path(std::string(26, 'x') + ".pdb"));
    SkinFile f;
    ASSERT_TRUE(readSkin(pdb, f));
    EXPECT_EQ(f.name, std::string(26, 'x') + ".pdb");
    EXPECT_EQ(std::string(f.info.begin(), f.info.begin() + 6), "Stored");
    // The author is stored in the handheld's Shift_JIS: 作者 is 8D EC 8E D2.
    EXPECT_EQ(std::vector<uint8_t>(f.info.begin() + 32, f.info.begin() + 37),
              (std::vector<uint8_t>{0x8D, 0xEC, 0x8E, 0xD2, 0}));
    EXPECT_EQ(f.items.size(), 2u);
}

TEST(Headless, BadUsage) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--import", "a.bmp"},
             {"--save", "a.tpd"},
             {"--build", "a.tpd"},
             {"--import", "a", "--save", "b", "--build", "c", "--out", "d"},
             {"--build", "a", "--out"},
             {"--build", "a", "--out", "b", "--colour", "c"}}) {
        RunResult r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
}

TEST(Headless, RefusedImportSavesNothing) {
    ScratchDir dir;
    writeFile(dir.path("bad.bmp"), {'B', 'A', 0, 0});
    RunResult r = run({"--import", dir.path("bad.bmp"), "--save", dir.path("p.tpd")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string(msg::kNotBmp) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("p.tpd")));
}

TEST(Headless, HelpVersionAndMistakesNeedNoWindow) {
    for (const char* a : {"--help", "--version", "--bogus", "-h"})
        EXPECT_TRUE(wantsHeadless(std::vector<std::string>{a})) << a;
    EXPECT_FALSE(wantsHeadless(std::vector<std::string>{"-platform", "offscreen"}));
    RunResult r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--import"), std::string::npos);
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("skinpacker ", 0), 0u);
    r = run({"--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

TEST(Headless, AScriptMakesACompleteSkin) {
    ScratchDir dir;
    writeSmallPicture(dir.path("pic.bmp"));
    const std::string tpd = dir.path("p.tpd"), pdb = dir.path("s.pdb");
    RunResult r = run({"--import", dir.path("pic.bmp"), "--place", "play", "40", "40", "--place",
                       "stop", "100", "40", "--place", "time-1", "160", "200", "--colours",
                       "play", "off", "3", "--colours", "time-1", "text", "15", "--save", tpd});
    ASSERT_EQ(r.status, 0) << r.err;
    {
        // Saved as the window would have: the places and the colours.
        Project p;
        RecordingReporter reporter;
        ASSERT_TRUE(p.reserveBuffers(reporter));
        p.setTempPath(dir.path("t.tmp"));
        ASSERT_TRUE(p.load(tpd, reporter));
        EXPECT_EQ(p.placedItems(), 3);
        EXPECT_EQ(p.slot(1).x, 40 - 18);
        EXPECT_EQ(p.slot(1).y, 40 - 15);
        EXPECT_EQ(p.slot(1).colours, (std::array<int8_t, 3>{3, 9, kNoColour}));
        EXPECT_EQ(p.slot(21).colours[0], 15);
        EXPECT_FALSE(p.buttonEnabled(22));  // its group is taken
    }
    r = run({"--build", tpd, "--out", pdb, "--title", "T", "--author", "A", "--version",
             "000001"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(pdb));
    EXPECT_NE(r.out.find("(the skin was made)"), std::string::npos);

    // The click's rules and messages, with English after the window's text.
    r = run({"--build", tpd, "--place", "back", "100", "40", "--out", pdb});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string(msg::kOverlap) + "\n(cannot place it there: it overlaps another item)\n");
    r = run({"--build", tpd, "--place", "time-2", "160", "100", "--out", pdb});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("another item of its group"), std::string::npos);
    r = run({"--build", tpd, "--place", "eq-hbars", "2", "2", "--out", pdb});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not fit"), std::string::npos);
    // A placed item moves and keeps its colours.
    r = run({"--build", tpd, "--place", "play", "40", "100", "--save", tpd, "--out", pdb,
             "--title", "T", "--author", "A", "--version", "000002"});
    ASSERT_EQ(r.status, 0) << r.err;
    Project p;
    RecordingReporter reporter;
    ASSERT_TRUE(p.reserveBuffers(reporter));
    p.setTempPath(dir.path("t.tmp"));
    ASSERT_TRUE(p.load(tpd, reporter));
    EXPECT_EQ(p.slot(1).y, 100 - 15);
    EXPECT_EQ(p.slot(1).colours[0], 3);
    // Mistakes in the edits are bad usage.
    EXPECT_EQ(run({"--build", tpd, "--place", "nothing", "1", "1", "--out", pdb}).status, 2);
    EXPECT_EQ(run({"--build", tpd, "--colours", "play", "max", "1", "--out", pdb}).status, 2);
    EXPECT_EQ(run({"--build", tpd, "--place", "play", "1"}).status, 2);
}
