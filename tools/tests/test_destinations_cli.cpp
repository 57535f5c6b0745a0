// moviepacker-cli convert --to card / hotsync and the hotsync command, over
// a made-up drive table and a HotSync store in a temporary folder; full
// destinations on small tmpfs mounts when this machine lets us mount.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/movie_reader.h"
#include "platform/tests/support/fake_drives.h"
#include "platform/tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

using CliRun = CommandOutput;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
std::string quote(const fs::path& p) {
    return quote(p.string());
}

CliRun shell(const std::string& cmd) {
    return CaptureCommand(cmd);
}

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

constexpr char kUsbBus[] = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";

class Destinations : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("destinations-cli-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sources");
        clip_ = dir_ / "sources" / "my_movie.final.mp4";
        // Two seconds with 16-bit sound: about 100 kB converted, more than the small mounts hold.
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x72:rate=10:duration=2 "
            "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 -c:v libx264 "
            "-pix_fmt yuv420p -c:a aac " +
            quote(clip_);
        ASSERT_EQ(std::system(cmd.c_str()), 0);

        // The three devices: a USB stick, a fixed disk and an SD reader without a card.
        const std::string sysfs = (dir_ / "sys").string();
        AddFakeDisk(sysfs, "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "sda", false,
                    500000000, 8, 0, 1);
        AddFakeDisk(sysfs, kUsbBus, "sdb", true, 7800000, 8, 16, 1);
        AddFakeDisk(sysfs, "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa", "mmcblk0", true, 0,
                    179, 0, 0);
        stick_ = dir_ / "media" / "NO NAME";
        fs::create_directories(stick_);
        fs::create_directories(dir_ / "media" / "fixed");
        std::ofstream(dir_ / "mountinfo")
            << MountInfoLine(27, 8, 1, (dir_ / "media" / "fixed").string(), "ext4", "/dev/sda1")
            << MountInfoLine(51, 8, 17, stick_.string(), "vfat", "/dev/sdb1");
        std::ofstream(dir_ / "fixed-only")
            << MountInfoLine(27, 8, 1, (dir_ / "media" / "fixed").string(), "ext4", "/dev/sda1");
        env_ = "MOVIEPACKER_MOUNTINFO=" + quote(dir_ / "mountinfo") +
               " MOVIEPACKER_SYSFS=" + quote(sysfs) + " XDG_DATA_HOME=" + quote(dir_ / "data") +
               " ";
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    // Runs the command line with the made-up drives and store.
    static CliRun cli(const std::string& args, bool withErrors = false) {
        return shell(env_ + quote(std::string(MOVIEPACKER_CLI)) + " " + args +
                     (withErrors ? " 2>&1" : " 2>/dev/null"));
    }
    // Nothing converted is left beside the source.
    static void sourceFolderUntouched() {
        EXPECT_EQ(entries(dir_ / "sources"), std::vector<std::string>{"my_movie.final.mp4"});
    }
    static fs::path dir_, clip_, stick_;
    static std::string env_;
};
fs::path Destinations::dir_, Destinations::clip_, Destinations::stick_;
std::string Destinations::env_;

void expectValidMovie(const fs::path& p) {
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile(p.string(), m, error)) << p << ": " << error;
    EXPECT_TRUE(m.violations.empty()) << p;
    EXPECT_EQ(m.frames.size(), 12u);
}

TEST_F(Destinations, ACardGetsTheDatabaseInItsProgramFolder) {
    const CliRun r = cli("convert --json --audio pcm16 --rate 22050 --to card:1 " + quote(clip_));
    ASSERT_EQ(r.status, 0) << r.out;
    const fs::path made = stick_ / "PALM" / "PROGRAMS" / "TAVELLE" / "my movie.pdb";
    EXPECT_NE(r.out.find("\"output\":\"" + made.string() + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"destination\":\"card\""), std::string::npos) << r.out;
    expectValidMovie(made);
    sourceFolderUntouched();
    // "card" alone is the first drive; a second one is not there.
    EXPECT_EQ(cli("convert --audio none --to card " + quote(clip_)).status, 0);
    EXPECT_TRUE(fs::exists(stick_ / "PALM" / "PROGRAMS" / "TAVELLE" / "my movie-1.pdb"));
    const CliRun second = cli("convert --to card:2 " + quote(clip_), true);
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.out.find("1 " + stick_.string()), std::string::npos) << second.out;
    // Without a removable drive, the chooser's own message.
    const CliRun none =
        shell("MOVIEPACKER_MOUNTINFO=" + quote(dir_ / "fixed-only") +
              " MOVIEPACKER_SYSFS=" + quote(dir_ / "sys") + " " +
              quote(std::string(MOVIEPACKER_CLI)) + " convert --to card " + quote(clip_) + " 2>&1");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("No Removable Media drives found."), std::string::npos) << none.out;
    sourceFolderUntouched();
    fs::remove_all(stick_ / "PALM");
}

TEST_F(Destinations, HotSyncQueuesForTheChosenUserAndLeavesNothingBehind) {
    EXPECT_EQ(cli("hotsync users").status, 0);
    EXPECT_EQ(cli("convert --to hotsync " + quote(clip_)).status, 1);  // no users yet
    ASSERT_EQ(cli("hotsync add-user 'Ann Lee' --card 'SD Card'").status, 0);
    ASSERT_EQ(cli("hotsync add-user Bob").status, 0);
    EXPECT_EQ(cli("hotsync add-user Bob").status, 2);

    CliRun r = cli("convert --json --audio adpcm --to 'hotsync:Ann Lee:SD Card' " + quote(clip_));
    ASSERT_EQ(r.status, 0) << r.out;
    const fs::path user = dir_ / "data" / "moviepacker" / "hotsync" / "Ann Lee";
    const fs::path queued = user / "queue" / "slot-1" / "my movie.pdb";
    EXPECT_NE(r.out.find("\"output\":\"" + queued.string() + "\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"slot\":\"SD Card\""), std::string::npos) << r.out;
    expectValidMovie(queued);
    EXPECT_EQ(entries(user), std::vector<std::string>{"queue"});  // converted, then moved on
    sourceFolderUntouched();

    // Bob's handheld: a second conversion of the same name keeps the first.
    ASSERT_EQ(cli("convert --audio adpcm --to hotsync:Bob " + quote(clip_)).status, 0);
    ASSERT_EQ(cli("convert --audio none --to hotsync:Bob:handheld " + quote(clip_)).status, 0);
    const fs::path bob = dir_ / "data" / "moviepacker" / "hotsync" / "Bob" / "queue" / "handheld";
    EXPECT_EQ(entries(bob), (std::vector<std::string>{"my movie-1.pdb", "my movie.pdb"}));
    expectValidMovie(bob / "my movie.pdb");
    r = cli("hotsync queue Bob --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find((bob / "my movie-1.pdb").string()), std::string::npos) << r.out;

    // What the window would ask, the command line must be told.
    EXPECT_EQ(cli("convert --to hotsync " + quote(clip_)).status, 2);
    EXPECT_EQ(cli("convert --to hotsync:Bob:card " + quote(clip_)).status, 2);
    EXPECT_EQ(cli("convert --to hotsync:Nobody " + quote(clip_)).status, 2);
    EXPECT_EQ(cli("hotsync queue Nobody").status, 2);
    sourceFolderUntouched();
}

// --- Destinations that fill up ------------------------------------------------

// Runs `script` in a mount namespace of its own, so the tmpfs it mounts
// vanishes with it. False when this machine does not let us mount.
bool canMount(const fs::path& at) {
    fs::create_directories(at);
    return shell(
               "unshare -m sh -c " +
               quote("mount -t tmpfs -o size=64k tmpfs " + quote(at) + " && umount " + quote(at)) +
               " >/dev/null 2>&1")
               .status == 0;
}

TEST_F(Destinations, AFullOrReadOnlyCardFailsWithoutLeavingAnyFile) {
    if (!canMount(stick_)) GTEST_SKIP() << "no mount namespaces here";
    // The card is a 64 kB tmpfs over the stick's mount point.
    const std::string script =
        "mount -t tmpfs -o size=64k tmpfs " + quote(stick_) + " || exit 99; " + env_ +
        quote(std::string(MOVIEPACKER_CLI)) +
        " convert --json --audio pcm16 --rate 22050 --to card:1 " + quote(clip_) +
        "; echo \"status=$?\"; ls -A " + quote(stick_ / "PALM/PROGRAMS/TAVELLE") +
        "; echo end; umount " + quote(stick_) + "; mount -t tmpfs -o size=64k,ro tmpfs " +
        quote(stick_) + " || exit 99; " + env_ + quote(std::string(MOVIEPACKER_CLI)) +
        " convert --json --to card:1 " + quote(clip_) + "; echo \"read-only=$?\"; ls -A " +
        quote(stick_) + "; echo end";
    const CliRun r = shell("unshare -m sh -c " + quote(script) + " 2>&1");
    ASSERT_NE(r.out.find("status=1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"message\":\"Disk is full\""), std::string::npos) << r.out;
    // Nothing in the card folder: the listing is empty.
    EXPECT_NE(r.out.find("status=1\nend"), std::string::npos) << r.out;
    // A read-only card: nothing can be created there, and nothing is.
    EXPECT_NE(r.out.find("\"message\":\"Unable to create file\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("read-only=1\nend"), std::string::npos) << r.out;
    sourceFolderUntouched();
}

TEST_F(Destinations, AFullQueueKeepsTheEarlierFileAndTheConvertedOne) {
    ASSERT_EQ(cli("hotsync add-user Cy").status, 0);
    const fs::path user = dir_ / "data" / "moviepacker" / "hotsync" / "Cy";
    const fs::path queue = user / "queue" / "handheld";
    if (!canMount(queue)) GTEST_SKIP() << "no mount namespaces here";
    // The queue is a 64 kB tmpfs already holding a 40 kB database from earlier.
    const std::string script =
        "mount -t tmpfs -o size=64k tmpfs " + quote(queue) + " || exit 99; " +
        "head -c 40000 /dev/urandom > " + quote(queue / "earlier.pdb") + "; sum1=$(cksum < " +
        quote(queue / "earlier.pdb") + "); " + env_ + quote(std::string(MOVIEPACKER_CLI)) +
        " convert --json --audio pcm16 --rate 22050 --to hotsync:Cy " + quote(clip_) +
        "; echo \"status=$?\"; sum2=$(cksum < " + quote(queue / "earlier.pdb") +
        "); [ \"$sum1\" = \"$sum2\" ] && echo same; ls -A " + quote(queue) + "; echo end";
    const CliRun r = shell("unshare -m sh -c " + quote(script) + " 2>&1");
    ASSERT_NE(r.out.find("status=1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"message\":\"Disk is full\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("same\nearlier.pdb\nend"), std::string::npos) << r.out;  // nothing else
    // The converted database stayed in the user's folder, whole.
    const fs::path kept = user / "my movie.pdb";
    EXPECT_NE(r.out.find("\"kept\":\"" + kept.string() + "\""), std::string::npos) << r.out;
    expectValidMovie(kept);
    sourceFolderUntouched();
}

}  // namespace
