#include "platform/data_handler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

struct DataHandlerRecord {
    std::string path;
    int fd = -1;
    bool writable = false;
};

namespace {

constexpr const char* kTypeAttribute = "user.moviepacker.type";
constexpr const char* kCreatorAttribute = "user.moviepacker.creator";

void StoreCode(const std::string& path, const char* attribute, OSType code) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(code >> 24), static_cast<uint8_t>(code >> 16),
                              static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    // Not every file system keeps extended attributes; that is not an error.
    (void)setxattr(path.c_str(), attribute, bytes, sizeof bytes, 0);
}

OSType LoadCode(const std::string& path, const char* attribute) {
    uint8_t bytes[4];
    if (getxattr(path.c_str(), attribute, bytes, sizeof bytes) != sizeof bytes) return 0;
    return (static_cast<OSType>(bytes[0]) << 24) | (static_cast<OSType>(bytes[1]) << 16) |
           (static_cast<OSType>(bytes[2]) << 8) | bytes[3];
}

OSStatus OpenWith(DataHandler h, int flags, bool writable) {
    if (h == nullptr) return kStatusParamError;
    if (h->fd >= 0 && (h->writable || !writable)) return noErr;
    const int fd = open(h->path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? kStatusFileNotFound : kStatusReadError;
    if (h->fd >= 0) close(h->fd);
    h->fd = fd;
    h->writable = writable;
    return noErr;
}

}  // namespace

OSStatus NewAliasDataReference(std::string_view path, DataReference* ref) {
    if (ref == nullptr || path.empty() || path.find('\0') != std::string_view::npos) {
        return kStatusParamError;
    }
    ref->type = kAliasDataReferenceType;
    ref->data.assign(path.begin(), path.end());
    return noErr;
}

OSStatus NewAliasDataReference(const FileSpec& spec, DataReference* ref) {
    return NewAliasDataReference(FileSpecPath(spec), ref);
}

OSStatus ResolveAliasDataReference(const DataReference& ref, std::string* path) {
    if (path == nullptr || ref.type != kAliasDataReferenceType || ref.data.empty()) {
        return kStatusParamError;
    }
    std::string p(ref.data.begin(), ref.data.end());
    if (p.find('\0') != std::string::npos) return kStatusParamError;
    *path = std::move(p);
    return noErr;
}

OSStatus DataHandlerOpen(const DataReference& ref, DataHandler* handler) {
    if (handler == nullptr) return kStatusParamError;
    *handler = nullptr;
    std::string path;
    if (OSStatus err = ResolveAliasDataReference(ref, &path); err != noErr) return err;
    auto* h = new (std::nothrow) DataHandlerRecord;
    if (h == nullptr) return kStatusOutOfMemory;
    h->path = std::move(path);
    *handler = h;
    return noErr;
}

OSStatus DataHandlerCreateFile(DataHandler h, OSType creator, bool deleteExisting) {
    if (h == nullptr) return kStatusParamError;
    if (deleteExisting) unlink(h->path.c_str());
    const int fd = open(h->path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST ? kStatusDuplicateFile : kStatusCreateError;
    close(fd);
    StoreCode(h->path, kCreatorAttribute, creator);
    return noErr;
}

OSStatus DataHandlerSetFileType(DataHandler h, OSType fileType) {
    if (h == nullptr) return kStatusParamError;
    if (!FileExists(h->path)) return kStatusFileNotFound;
    StoreCode(h->path, kTypeAttribute, fileType);
    return noErr;
}

OSStatus DataHandlerOpenForWrite(DataHandler h) {
    return OpenWith(h, O_RDWR, true);
}
OSStatus DataHandlerOpenForRead(DataHandler h) {
    return OpenWith(h, O_RDONLY, false);
}

OSStatus DataHandlerGetFileSize(DataHandler h, int64_t* size) {
    if (h == nullptr || size == nullptr) return kStatusParamError;
    struct stat st;
    const int rc = h->fd >= 0 ? fstat(h->fd, &st) : stat(h->path.c_str(), &st);
    if (rc != 0) return kStatusFileNotFound;
    *size = st.st_size;
    return noErr;
}

OSStatus DataHandlerRead(DataHandler h, int64_t offset, std::span<uint8_t> data) {
    if (h == nullptr || h->fd < 0 || offset < 0) return kStatusParamError;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = pread(h->fd, data.data() + done, data.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return kStatusReadError;
        if (n == 0) return kStatusEndOfData;
        done += static_cast<size_t>(n);
    }
    return noErr;
}

OSStatus DataHandlerWrite(DataHandler h, int64_t offset, std::span<const uint8_t> data) {
    if (h == nullptr || h->fd < 0 || !h->writable || offset < 0) return kStatusParamError;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = pwrite(h->fd, data.data() + done, data.size() - done,
                                 static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return kStatusWriteError;
        done += static_cast<size_t>(n);
    }
    return noErr;
}

OSStatus DataHandlerGetFileName(DataHandler h, std::string* name) {
    if (h == nullptr || name == nullptr) return kStatusParamError;
    std::string n = PathFileName(h->path);
    if (n.size() > 255) return kStatusBadFileName;
    *name = std::move(n);
    return noErr;
}

void DataHandlerClose(DataHandler h) {
    if (h == nullptr) return;
    if (h->fd >= 0) close(h->fd);
    delete h;
}

OSStatus GetFileTypeAndCreator(const std::string& path, OSType* fileType, OSType* creator) {
    if (!FileExists(path)) return kStatusFileNotFound;
    if (fileType != nullptr) *fileType = LoadCode(path, kTypeAttribute);
    if (creator != nullptr) *creator = LoadCode(path, kCreatorAttribute);
    return noErr;
}
