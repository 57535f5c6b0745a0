#pragma once
// A made-up device tree in the layout of /sys and a mount table in the
// format of /proc/self/mountinfo, for testing the drive scan without
// real hardware.
#include <string>

// Adds a disk under SYSFS/devices/PARENT/block/NAME with its "removable"
// and "size" attributes, the SYSFS/block/NAME link, and `partitions`
// partitions NAME1... (NAMEp1... when NAME ends in a digit). With
// byNumber, SYSFS/dev/block/MAJOR:MINOR links too (the disk at minor,
// partition n at minor + n).
void AddFakeDisk(const std::string& sysfs, const std::string& parent, const std::string& name,
                 bool removable, unsigned long long sectors, unsigned major, unsigned minor,
                 int partitions, bool byNumber = true);

// One mountinfo line (with its line break), the mount point escaped the
// way the kernel does.
std::string MountInfoLine(int id, unsigned major, unsigned minor, const std::string& mountPoint,
                          const std::string& fsType, const std::string& source,
                          const std::string& options = "rw,relatime",
                          const std::string& root = "/");
