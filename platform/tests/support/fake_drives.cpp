#include "platform/tests/support/fake_drives.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void writeAttribute(const fs::path& p, const std::string& value) {
    std::ofstream(p) << value << "\n";
}

void linkTo(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    std::error_code ignored;
    fs::remove(link, ignored);
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link);
}

std::string escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char oct[8];
            std::snprintf(oct, sizeof oct, "\\%03o", c);
            out += oct;
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace

void AddFakeDisk(const std::string& sysfs, const std::string& parent, const std::string& name,
                 bool removable, unsigned long long sectors, unsigned major, unsigned minor,
                 int partitions, bool byNumber) {
    const fs::path root = sysfs;
    const fs::path disk = root / "devices" / parent / "block" / name;
    fs::create_directories(disk);
    writeAttribute(disk / "removable", removable ? "1" : "0");
    writeAttribute(disk / "size", std::to_string(sectors));
    linkTo(root / "block" / name, disk);
    const auto number = [&](unsigned m) {
        return root / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(m));
    };
    if (byNumber) linkTo(number(minor), disk);
    const bool digit = !name.empty() && name.back() >= '0' && name.back() <= '9';
    for (int n = 1; n <= partitions; ++n) {
        const fs::path part = disk / (name + (digit ? "p" : "") + std::to_string(n));
        fs::create_directories(part);
        writeAttribute(part / "partition", std::to_string(n));
        writeAttribute(part / "size", std::to_string(sectors / 2));
        if (byNumber) linkTo(number(minor + unsigned(n)), part);
    }
}

std::string MountInfoLine(int id, unsigned major, unsigned minor, const std::string& mountPoint,
                          const std::string& fsType, const std::string& source,
                          const std::string& options, const std::string& root) {
    return std::to_string(id) + " 1 " + std::to_string(major) + ":" + std::to_string(minor) + " " +
           escape(root) + " " + escape(mountPoint) + " " + options +
           " shared:" + std::to_string(id) + " - " + fsType + " " + source + " " + options + "\n";
}
