#include "skinpacker/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace skin {

int createFreshFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

bool writeAll(int fd, std::span<const uint8_t> data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool writeFreshFile(const std::string& path, std::span<const uint8_t> data) {
    int fd = createFreshFile(path);
    if (fd < 0) return false;
    bool ok = writeAll(fd, data);
    return ::close(fd) == 0 && ok;
}

bool readPlainFile(const std::string& path, std::vector<uint8_t>& out, size_t limit,
                   bool followLinks) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.assign(limit, 0);
    size_t done = 0;
    while (done < limit) {
        ssize_t n = ::read(fd, out.data() + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(done);
    return true;
}

}  // namespace skin
