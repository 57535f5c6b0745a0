// The removable-drive scan over made-up mount tables and device trees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/drives.h"
#include "platform/tests/support/fake_drives.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsbBus[] = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
constexpr char kSataBus[] = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
constexpr char kSdHost[] = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa";

class DriveScan : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("drives-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sys");
        roots_.sysfs = (dir_ / "sys").string();
        roots_.mountinfo = (dir_ / "mountinfo").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string mountPoint(const std::string& name) {
        const fs::path p = dir_ / "media" / name;
        fs::create_directories(p);
        return p.string();
    }
    void writeTable(const std::string& text) { std::ofstream(roots_.mountinfo) << text; }

    fs::path dir_;
    DriveScanRoots roots_;
};

// The three devices of a typical desktop: only the stick is offered.
TEST_F(DriveScan, ListsTheStickButNotTheFixedDiskOrTheEmptyReader) {
    AddFakeDisk(roots_.sysfs, kSataBus, "sda", false, 500000000, 8, 0, 2);
    AddFakeDisk(roots_.sysfs, kUsbBus, "sdb", true, 7800000, 8, 16, 1);
    AddFakeDisk(roots_.sysfs, kSdHost, "mmcblk0", true, 0, 179, 0, 0);
    const std::string stick = mountPoint("USB STICK");
    writeTable(MountInfoLine(27, 8, 1, mountPoint("root"), "ext4", "/dev/sda1") +
               MountInfoLine(40, 8, 2, mountPoint("home"), "ext4", "/dev/sda2") +
               MountInfoLine(51, 8, 17, stick, "vfat", "/dev/sdb1") +
               // The card was pulled without unmounting: the reader now reports no media.
               MountInfoLine(52, 179, 0, mountPoint("sd"), "vfat", "/dev/mmcblk0"));

    setenv("MOVIEPACKER_MOUNTINFO", roots_.mountinfo.c_str(), 1);
    setenv("MOVIEPACKER_SYSFS", roots_.sysfs.c_str(), 1);
    const auto drives = ListRemovableDrives();
    unsetenv("MOVIEPACKER_MOUNTINFO");
    unsetenv("MOVIEPACKER_SYSFS");
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].root, stick);  // the \040 in the table is a blank again
    EXPECT_EQ(drives[0].device, "/dev/sdb1");
    EXPECT_EQ(drives[0].disk, "sdb");
    EXPECT_FALSE(drives[0].readOnly);
}

// Readers that call themselves fixed are still found by the bus they are
// on; drives come in mount order, each once; what is not a card is left out.
TEST_F(DriveScan, FindsReadersByBusInMountOrderAndSkipsTheRest) {
    AddFakeDisk(roots_.sysfs, kSdHost, "mmcblk1", false, 3900000, 179, 8, 1);
    AddFakeDisk(roots_.sysfs, kUsbBus, "sdc", false, 1900000, 8, 32, 0);
    AddFakeDisk(roots_.sysfs, kSataBus, "sdd", true, 1000000, 8, 48, 1, /*byNumber=*/false);
    AddFakeDisk(roots_.sysfs, "pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0", "sr0", true,
                1000, 11, 0, 0);
    AddFakeDisk(roots_.sysfs, "virtual", "loop0", true, 1000, 7, 0, 0);
    const std::string sd = mountPoint("sd"), usb = mountPoint("usb"), flagged = mountPoint("flag");
    writeTable(MountInfoLine(60, 179, 9, sd, "vfat", "/dev/mmcblk1p1") +
               MountInfoLine(61, 0, 45, mountPoint("tmp"), "tmpfs", "tmpfs") +
               MountInfoLine(62, 8, 32, usb, "exfat", "/dev/sdc", "ro,nosuid") +
               MountInfoLine(63, 179, 9, mountPoint("again"), "vfat", "/dev/mmcblk1p1") +
               MountInfoLine(64, 8, 32, mountPoint("sub"), "exfat", "/dev/sdc", "rw", "/DCIM") +
               MountInfoLine(65, 11, 0, mountPoint("cd"), "iso9660", "/dev/sr0") +
               MountInfoLine(66, 7, 0, mountPoint("loop"), "squashfs", "/dev/loop0") +
               MountInfoLine(67, 8, 99, mountPoint("unknown"), "ext4", "/dev/nothing") +
               MountInfoLine(68, 8, 49, flagged, "vfat", "/dev/sdd1") + "not a mount line\n" +
               "70 1 8:1 / /x rw\n");
    const auto drives = ListRemovableDrives(roots_);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].root, sd);
    EXPECT_EQ(drives[0].disk, "mmcblk1");
    EXPECT_EQ(drives[1].root, usb);
    EXPECT_TRUE(drives[1].readOnly);
    EXPECT_EQ(drives[2].root, flagged);  // found by its name without the dev/block index
    EXPECT_EQ(drives[2].disk, "sdd");
}

TEST_F(DriveScan, AMountPointThatIsGoneIsNotListed) {
    AddFakeDisk(roots_.sysfs, kUsbBus, "sdb", true, 7800000, 8, 16, 1);
    writeTable(MountInfoLine(51, 8, 17, (dir_ / "media" / "gone").string(), "vfat", "/dev/sdb1"));
    EXPECT_TRUE(ListRemovableDrives(roots_).empty());
    roots_.mountinfo = (dir_ / "no-such-table").string();
    EXPECT_TRUE(ListRemovableDrives(roots_).empty());
}

TEST(MountInfo, ParsesFieldsAndRefusesMalformedLines) {
    MountEntry m;
    ASSERT_TRUE(ParseMountInfoLine(
        "36 35 98:0 /mnt1 /mnt/a\\134b\\011c rw,noatime master:1 propagate_from:2 - ext3 /dev/x rw",
        &m));
    EXPECT_EQ(m.major, 98u);
    EXPECT_EQ(m.minor, 0u);
    EXPECT_EQ(m.root, "/mnt1");
    EXPECT_EQ(m.mountPoint, "/mnt/a\\b\tc");
    EXPECT_EQ(m.fsType, "ext3");
    EXPECT_EQ(m.source, "/dev/x");
    EXPECT_FALSE(ParseMountInfoLine("36 35 98:0 /mnt1 /mnt rw - ext3", &m));  // no source
    EXPECT_FALSE(ParseMountInfoLine("36 35 98 / /mnt rw - ext3 /dev/x rw", &m));
    EXPECT_FALSE(ParseMountInfoLine("36 35 98:0 / relative rw - ext3 /dev/x rw", &m));
    EXPECT_FALSE(ParseMountInfoLine("", &m));
    EXPECT_FALSE(ParseMountInfoLine("36 35 98:0 / /mnt\\", &m));
}

}  // namespace
