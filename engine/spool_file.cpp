#include "engine/spool_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/writer_record.h"
#include "platform/files.h"
#include "platform/status.h"

namespace {

// The name keeps the first three characters of the "qmov" prefix, as the
// temporary-name service of the original platform did.
constexpr char kSpoolPrefix[] = "qmo";
constexpr char kSpoolExtension[] = ".tmp";
constexpr int kNameAttempts = 256;
// The unique number is the process number followed by 24 random bits, so a
// later start can tell whether the writer of a spool file is still alive.
constexpr int kRandomBits = 24;

bool temporaryDirectory(char (&out)[kSpoolPathBytes]) {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    struct stat info;
    if (stat(dir, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    size_t length = std::strlen(dir);
    while (length > 1 && dir[length - 1] == '/') --length;
    if (length + 1 >= sizeof out) return false;
    std::memcpy(out, dir, length);
    out[length] = '\0';
    return true;
}

}  // namespace

int32_t SpoolOpen(MovieWriter* w) {
    char dir[kSpoolPathBytes];
    if (!temporaryDirectory(dir)) return kStatusParamError;
    std::random_device entropy;
    const unsigned long long pid = static_cast<unsigned long long>(getpid());
    uint32_t number = entropy();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt, number = entropy()) {
        char path[kSpoolPathBytes];
        const unsigned long long unique = (pid << kRandomBits) | (number & 0xFFFFFFu);
        int n = std::snprintf(path, sizeof path, "%s/%s%llX%s", dir, kSpoolPrefix, unique,
                              kSpoolExtension);
        if (n < 0 || n >= static_cast<int>(sizeof path)) return kStatusParamError;
        // Exclusive creation with owner-only access: the file is fresh and
        // nobody else can open it under us.
        int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Held while the file is open: the sign of a live writer.
            flock(fd, LOCK_EX | LOCK_NB);
            std::memcpy(w->spoolPath, path, static_cast<size_t>(n) + 1);
            w->spoolHandle = fd;
            w->spoolSize = 0;
            return noErr;
        }
        if (errno != EEXIST) return kStatusCreateError;
    }
    return kStatusParamError;
}

int32_t SpoolClose(MovieWriter* w) {
    if (w->spoolHandle >= 0) {
        close(w->spoolHandle);
        w->spoolHandle = -1;
    }
    if (w->spoolPath[0] != '\0') {
        unlink(w->spoolPath);
        w->spoolPath[0] = '\0';
    }
    w->spoolSize = 0;
    return noErr;
}

int32_t SpoolAppend(MovieWriter* w, const void* source, uint32_t count, uint32_t* outOffset) {
    if (outOffset) *outOffset = w->spoolSize;
    if (w->spoolHandle < 0) return kStatusWriteError;
    // Offsets in the index are 32-bit; refuse rather than wrap.
    if (count > UINT32_MAX - w->spoolSize) return kStatusWriteError;
    const uint8_t* bytes = static_cast<const uint8_t*>(source);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(w->spoolHandle, bytes + done, count - done,
                           static_cast<off_t>(w->spoolSize) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return kStatusWriteError;
        done += static_cast<uint32_t>(n);
    }
    w->spoolSize += count;
    return noErr;
}

int32_t SpoolRead(MovieWriter* w, void* destination, uint32_t count, uint32_t offset) {
    if (w->spoolHandle < 0) return kStatusReadError;
    uint8_t* bytes = static_cast<uint8_t*>(destination);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n =
            pread(w->spoolHandle, bytes + done, count - done, static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return kStatusReadError;
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    if (done < count) std::memset(bytes + done, 0, count - done);
    return noErr;
}

int32_t SpoolReadBlock(MovieWriter* w, BlockHandle& outBlock, uint32_t size, uint32_t offset) {
    outBlock = BlockNew(size);
    if (!outBlock) return kStatusOutOfMemory;
    return SpoolRead(w, BlockData(outBlock), size, offset);
}

int SpoolRemoveStale() {
    char dir[kSpoolPathBytes];
    if (!temporaryDirectory(dir)) return 0;
    DIR* d = opendir(dir);
    if (d == nullptr) return 0;
    std::vector<std::string> names;
    const size_t prefix = std::strlen(kSpoolPrefix), extension = std::strlen(kSpoolExtension);
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix + extension || name.compare(0, prefix, kSpoolPrefix) != 0 ||
            name.compare(name.size() - extension, extension, kSpoolExtension) != 0)
            continue;
        const std::string digits = name.substr(prefix, name.size() - prefix - extension);
        if (digits.size() > 16 ||
            digits.find_first_not_of("0123456789ABCDEF") != std::string::npos)
            continue;
        names.push_back(name);
    }
    closedir(d);
    int removed = 0;
    for (const std::string& name : names) {
        const std::string path = std::string(dir) + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid())
            continue;
        const unsigned long long unique =
            std::strtoull(name.c_str() + prefix, nullptr, 16);
        if (!LeftByDeadProcess(path, long(unique >> kRandomBits))) continue;
        if (unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}

int CleanStaleTemporaryFiles() {
    return SpoolRemoveStale() + RemoveStaleTemporaryFolders();
}
