#include "platform/drives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace fs = std::filesystem;

namespace {

// mountinfo escapes blank, tab, newline and backslash as \ooo.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string_view> splitBlanks(std::string_view line) {
    std::vector<std::string_view> f;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) f.push_back(line.substr(start, i - start));
    }
    return f;
}

bool parseNumber(std::string_view s, unsigned* out) {
    if (s.empty() || s.size() > 9) return false;
    unsigned v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + unsigned(c - '0');
    }
    *out = v;
    return true;
}

// The first line of a small sysfs attribute, or "" when it cannot be read.
std::string readAttribute(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

bool hasOption(std::string_view options, std::string_view name) {
    size_t i = 0;
    while (i <= options.size()) {
        size_t comma = options.find(',', i);
        if (comma == std::string_view::npos) comma = options.size();
        if (options.substr(i, comma - i) == name) return true;
        i = comma + 1;
    }
    return false;
}

// The sysfs directory of the whole disk that holds a mount's device, or
// empty when the device is not a block device sysfs knows.
fs::path diskDirectory(const fs::path& sysfs, const MountEntry& m) {
    std::error_code ec;
    fs::path dev;
    const fs::path byNumber =
        sysfs / "dev" / "block" / (std::to_string(m.major) + ":" + std::to_string(m.minor));
    if (fs::exists(byNumber, ec)) {
        dev = fs::canonical(byNumber, ec);
        if (ec) dev.clear();
    }
    if (dev.empty() && m.source.rfind("/dev/", 0) == 0) {
        // Without the dev/block index, look the kernel name up under block/.
        const std::string name = fs::path(m.source).filename().string();
        const fs::path whole = sysfs / "block" / name;
        if (!name.empty() && fs::exists(whole, ec)) {
            dev = fs::canonical(whole, ec);
        } else if (!name.empty()) {
            for (const auto& disk : fs::directory_iterator(sysfs / "block", ec)) {
                const fs::path part = disk.path() / name;
                if (fs::exists(part / "partition", ec)) {
                    dev = fs::canonical(part, ec);
                    break;
                }
            }
        }
        if (ec) dev.clear();
    }
    if (dev.empty()) return {};
    if (fs::exists(dev / "partition", ec)) dev = dev.parent_path();
    return dev;
}

// Removable by flag, or by the bus the disk sits on: card readers on USB
// and SD hosts often report themselves as fixed.
bool isRemovableDisk(const fs::path& disk) {
    const std::string name = disk.filename().string();
    // Optical drives and the kernel's virtual disks are never card drives.
    if (name.rfind("sr", 0) == 0 || name.rfind("loop", 0) == 0 || name.rfind("ram", 0) == 0 ||
        name.rfind("zram", 0) == 0)
        return false;
    bool usb = false, mmc = name.rfind("mmcblk", 0) == 0;
    for (const auto& part : disk) {
        const std::string s = part.string();
        if (s == "virtual") return false;
        if (s.size() > 3 && s.rfind("usb", 0) == 0 && s[3] >= '0' && s[3] <= '9') usb = true;
        if (s == "mmc_host") mmc = true;
    }
    return readAttribute(disk / "removable") == "1" || usb || mmc;
}

// A reader without a card reports size 0; a stale mount of a pulled card
// has a mount point that can no longer be entered.
bool mediaPresent(const fs::path& disk, const std::string& mountPoint) {
    const std::string size = readAttribute(disk / "size");
    if (!size.empty() && size.find_first_not_of('0') == std::string::npos) return false;
    struct stat st {};
    return stat(mountPoint.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           access(mountPoint.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

DriveScanRoots DefaultDriveScanRoots() {
    DriveScanRoots r;
    if (const char* m = std::getenv("MOVIEPACKER_MOUNTINFO"); m != nullptr && *m != '\0')
        r.mountinfo = m;
    if (const char* s = std::getenv("MOVIEPACKER_SYSFS"); s != nullptr && *s != '\0') r.sysfs = s;
    return r;
}

bool ParseMountInfoLine(std::string_view line, MountEntry* out) {
    const auto f = splitBlanks(line);
    // id parent major:minor root mount-point options [optional...] - type source super
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (f.size() < 9 || dash + 2 >= f.size()) return false;
    const std::string_view numbers = f[2];
    const size_t colon = numbers.find(':');
    MountEntry m;
    if (colon == std::string_view::npos || !parseNumber(numbers.substr(0, colon), &m.major) ||
        !parseNumber(numbers.substr(colon + 1), &m.minor))
        return false;
    m.root = unescape(f[3]);
    m.mountPoint = unescape(f[4]);
    m.options = std::string(f[5]);
    m.fsType = unescape(f[dash + 1]);
    m.source = unescape(f[dash + 2]);
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') return false;
    *out = std::move(m);
    return true;
}

std::vector<RemovableDrive> ListRemovableDrives(const DriveScanRoots& roots) {
    std::vector<RemovableDrive> drives;
    std::ifstream in(roots.mountinfo);
    if (!in) return drives;
    const fs::path sysfs = roots.sysfs;
    std::set<std::pair<unsigned, unsigned>> seen;
    std::string line;
    while (std::getline(in, line)) {
        MountEntry m;
        if (!ParseMountInfoLine(line, &m)) continue;
        // Anonymous devices (major 0) are virtual or network filesystems;
        // a bind mount of a sub-folder is not the drive's root.
        if (m.major == 0 || m.root != "/") continue;
        if (m.fsType == "iso9660" || m.fsType == "udf") continue;
        if (!seen.insert({m.major, m.minor}).second) continue;
        const fs::path disk = diskDirectory(sysfs, m);
        if (disk.empty() || !isRemovableDisk(disk) || !mediaPresent(disk, m.mountPoint)) continue;
        RemovableDrive d;
        d.root = m.mountPoint;
        if (d.root.size() > 1 && d.root.back() == '/') d.root.pop_back();
        d.device = m.source;
        d.disk = disk.filename().string();
        d.readOnly = hasOption(m.options, "ro");
        drives.push_back(std::move(d));
    }
    return drives;
}
