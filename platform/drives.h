#pragma once
// Drives: the removable drives that hold media, as the card drive chooser
// sees them.
//
// A drive is a mounted filesystem whose block device (or the disk it is a
// partition of) is removable: the disk's sysfs "removable" flag is set, or
// the disk hangs off a USB bus or an SD/MMC host. Media are present when
// the disk reports a non-zero size and the mount point can be read and
// entered. Fixed disks, optical drives, network and virtual filesystems and
// empty readers are never listed. Drives come in mount order, each device
// once (its first mount).
//
// The mount table is /proc/self/mountinfo and the device tree /sys, unless
// MOVIEPACKER_MOUNTINFO names another file in mountinfo format and
// MOVIEPACKER_SYSFS another directory laid out like /sys; tests and unusual
// systems use them.
#include <string>
#include <string_view>
#include <vector>

struct RemovableDrive {
    std::string root;       // mount point, without a trailing '/' (except "/")
    std::string device;     // the mount's source, e.g. /dev/sdb1
    std::string disk;       // the sysfs name of the whole disk, e.g. sdb
    bool readOnly = false;  // mounted read-only (writing there fails)
};

struct DriveScanRoots {
    std::string mountinfo = "/proc/self/mountinfo";
    std::string sysfs = "/sys";
};

// The roots from MOVIEPACKER_MOUNTINFO and MOVIEPACKER_SYSFS, else the system's.
DriveScanRoots DefaultDriveScanRoots();

// The removable drives holding media, in mount order. An unreadable mount
// table gives an empty list. Nothing here raises an error or blocks on an
// absent medium: every probe is a plain read of sysfs or a stat.
std::vector<RemovableDrive> ListRemovableDrives(const DriveScanRoots& roots);
inline std::vector<RemovableDrive> ListRemovableDrives() {
    return ListRemovableDrives(DefaultDriveScanRoots());
}

// One line of the mount table, with its octal escapes (\040 and the like)
// undone. False for a line that is not in mountinfo format.
struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string root, mountPoint, options, fsType, source;
};
bool ParseMountInfoLine(std::string_view line, MountEntry* out);
