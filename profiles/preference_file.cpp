#include "profiles/preference_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

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

OSStatus PreferenceFile::write(const AtomContainer& c) const {
    std::error_code ec;
    const std::filesystem::path target(m_path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    const std::string temp = m_path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return kStatusCreateError;
    const std::vector<uint8_t> bytes = c.flatten();
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    const bool ok = done == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || std::rename(temp.c_str(), m_path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return kStatusWriteError;
    }
    return noErr;
}
