#include "engine/spool_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

// The name keeps the first three characters of the "qmov" prefix, as the
// temporary-name service of the original platform did.
constexpr char kSpoolPrefix[] = "qmo";
constexpr int kNameAttempts = 256;

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
    uint32_t number = entropy();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt, number = entropy()) {
        char path[kSpoolPathBytes];
        int n = std::snprintf(path, sizeof path, "%s/%s%X.tmp", dir, kSpoolPrefix,
                              static_cast<unsigned>(number & 0xFFFFFFu));
        if (n < 0 || n >= static_cast<int>(sizeof path)) return kStatusParamError;
        // Exclusive creation with owner-only access: the file is fresh and
        // nobody else can open it under us.
        int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
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
