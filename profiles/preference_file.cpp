#include "profiles/preference_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"

std::string PreferenceFile::defaultPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".";
    }
    return base + "/moviepacker/TVLP";
}

OSStatus PreferenceFile::read(AtomContainer* out) const {
    if (!out) return kStatusParamError;
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            *out = AtomContainer();
            return noErr;
        }
        return kStatusReadError;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return kStatusReadError;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);
    // An empty file is a store that was never filled.
    if (bytes.empty()) {
        *out = AtomContainer();
        return noErr;
    }
    return AtomContainer::load(bytes, out);
}

namespace {

// "TVLP.<pid>.new": each saving process has its own, so two programs saving
// at once never write into the same file.
std::string temporaryName(const std::string& path, long pid) {
    return path + "." + std::to_string(pid) + ".new";
}

// Removes the half-written copies of saves that were killed. A live saver's
// copy is left alone.
void removeDeadCopies(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    const std::string prefix = target.filename().string() + ".";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".new") != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long pid = std::strtol(digits.c_str(), nullptr, 10);
        if (LeftByDeadProcess(e.path().string(), pid)) ::unlink(e.path().c_str());
    }
}

}  // namespace

OSStatus PreferenceFile::write(const AtomContainer& c) const {
    std::error_code ec;
    const std::filesystem::path target(m_path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    removeDeadCopies(m_path);
    const std::string temp = temporaryName(m_path, long(::getpid()));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return kStatusCreateError;
    ::flock(fd, LOCK_EX | LOCK_NB);
    const std::vector<uint8_t> bytes = c.flatten();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    const bool ok = done == bytes.size() && ::fsync(fd) == 0;
    // The rename happens under the lock, so the sweep of another program
    // never takes this copy for a dead one.
    const bool renamed = ok && std::rename(temp.c_str(), m_path.c_str()) == 0;
    if (!renamed) ::unlink(temp.c_str());
    if (::close(fd) != 0 || !renamed) return kStatusWriteError;
    // The new name itself reaches the disk with the folder.
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return noErr;
}
