#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

OSStatus FileSpecFromPath(std::string_view path, FileSpec* spec) {
    if (spec == nullptr) return kStatusParamError;
    if (path.empty() || path.size() > kFileSpecMaxPath) return kStatusBadFileName;
    if (path.find('\0') != std::string_view::npos) return kStatusBadFileName;
    FileSpec s;
    s.name[0] = static_cast<uint8_t>(path.size());
    std::memcpy(s.name.data() + 1, path.data(), path.size());
    *spec = s;
    return noErr;
}

std::string FileSpecPath(const FileSpec& spec) {
    return std::string(reinterpret_cast<const char*>(spec.name.data() + 1), spec.name[0]);
}

void FileSpecPack(const FileSpec& spec, std::span<uint8_t, kFileSpecBytes> out) {
    const auto v = static_cast<uint16_t>(spec.vRefNum);
    const auto d = static_cast<uint32_t>(spec.parID);
    out[0] = static_cast<uint8_t>(v >> 8);
    out[1] = static_cast<uint8_t>(v);
    out[2] = static_cast<uint8_t>(d >> 24);
    out[3] = static_cast<uint8_t>(d >> 16);
    out[4] = static_cast<uint8_t>(d >> 8);
    out[5] = static_cast<uint8_t>(d);
    std::memcpy(out.data() + 6, spec.name.data(), spec.name.size());
}

FileSpec FileSpecUnpack(std::span<const uint8_t, kFileSpecBytes> in) {
    FileSpec s;
    s.vRefNum = static_cast<int16_t>((in[0] << 8) | in[1]);
    s.parID = static_cast<int32_t>((static_cast<uint32_t>(in[2]) << 24) |
                                   (static_cast<uint32_t>(in[3]) << 16) |
                                   (static_cast<uint32_t>(in[4]) << 8) | in[5]);
    std::memcpy(s.name.data(), in.data() + 6, s.name.size());
    return s;
}

std::string PathFileName(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathFolder(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

namespace {

// A directory is ours to put fixed-name files in only when nobody else can
// write into it or swap it for a link.
bool IsPrivateDirectory(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 0077) == 0;
}

std::string g_processTempFolder;

void RemoveProcessTempFolder() {
    if (!g_processTempFolder.empty()) rmdir(g_processTempFolder.c_str());  // only when empty
}

}  // namespace

OSStatus FindTemporaryFolder(std::string* path) {
    if (path == nullptr) return kStatusParamError;
    if (g_processTempFolder.empty() || !IsPrivateDirectory(g_processTempFolder)) {
        // One folder per process: files in it have fixed names ("blah.aif"),
        // which two conversions running at once must not share.
        std::string base;
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            runtime != nullptr && runtime[0] == '/' && IsPrivateDirectory(runtime)) {
            base = runtime;
        } else {
            // Someone else's, a link, or none: the system's temporary directory.
            std::error_code ec;
            base = std::filesystem::temp_directory_path(ec).string();
            if (ec || base.empty()) return kStatusCreateError;
        }
        std::string templ = base + "/moviepacker-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr) return kStatusCreateError;
        const bool first = g_processTempFolder.empty();
        g_processTempFolder = templ;
        if (first) std::atexit(RemoveProcessTempFolder);
    }
    *path = g_processTempFolder;
    return noErr;
}

OSStatus TemporaryFileSpec(std::string_view name, FileSpec* spec) {
    if (name.empty() || name.find('/') != std::string_view::npos) return kStatusBadFileName;
    std::string folder;
    if (OSStatus err = FindTemporaryFolder(&folder); err != noErr) return err;
    return FileSpecFromPath(folder + "/" + std::string(name), spec);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

OSStatus DeleteFile(const std::string& path) {
    if (path.empty()) return kStatusParamError;
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return noErr;
    return kStatusWriteError;
}

namespace {

OSStatus StatusFromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR: return kStatusFileNotFound;
        case EEXIST: return kStatusDuplicateFile;
        case ENAMETOOLONG: return kStatusBadFileName;
        case ENOSPC:
        case EDQUOT:
        case EIO: return kStatusWriteError;
        default: return kStatusCreateError;
    }
}

}  // namespace

OSStatus OutputFile::makeWorkFolder(const std::string& folder) {
    std::string templ = (folder.empty() ? std::string(".") : folder) + "/.moviepacker-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
        errno_ = errno;
        return StatusFromErrno(errno_);
    }
    workFolder_ = templ;
    workPath_ = workFolder_ + "/" + PathFileName(path_);
    return noErr;
}

OSStatus OutputFile::openReplacing(const std::string& path) {
    abandon();
    if (path.empty() || PathFileName(path).empty()) return kStatusBadFileName;
    path_ = path;
    const OSStatus err = makeWorkFolder(PathFolder(path));
    if (err != noErr) path_.clear();
    return err;
}

OSStatus OutputFile::openNew(const std::string& folder, const std::string& stem,
                             const std::string& ext) {
    abandon();
    if (stem.empty() || stem.find('/') != std::string::npos) return kStatusBadFileName;
    const std::string base = (folder.empty() ? std::string(".") : folder) + "/";
    for (int n = 0; n < 100000; ++n) {
        std::string candidate = base + stem + (n == 0 ? "" : "-" + std::to_string(n)) + ext;
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            errno_ = errno;
            return StatusFromErrno(errno_);
        }
        struct stat st;
        fstat(fd, &st);
        close(fd);
        path_ = std::move(candidate);
        reserved_ = true;
        reservedDev_ = st.st_dev;
        reservedIno_ = st.st_ino;
        const OSStatus err = makeWorkFolder(PathFolder(path_));
        if (err != noErr) abandon();
        return err;
    }
    return kStatusDuplicateFile;
}

OSStatus OutputFile::commit() {
    if (workPath_.empty()) return kStatusParamError;
    if (reserved_) {
        // Only our own empty placeholder may be replaced; if someone took
        // the name meanwhile, the result stays unplaced rather than
        // destroying theirs.
        struct stat st;
        if (lstat(path_.c_str(), &st) == 0 &&
            (st.st_dev != reservedDev_ || st.st_ino != reservedIno_ || st.st_size != 0)) {
            errno_ = EEXIST;
            return kStatusDuplicateFile;
        }
    }
    if (rename(workPath_.c_str(), path_.c_str()) != 0) {
        errno_ = errno;
        return StatusFromErrno(errno_);
    }
    rmdir(workFolder_.c_str());
    workFolder_.clear();
    workPath_.clear();
    reserved_ = false;
    return noErr;
}

void OutputFile::abandon() {
    if (!workFolder_.empty()) {
        // Whatever was written in our private folder is ours alone.
        std::error_code ignored;
        std::filesystem::remove_all(workFolder_, ignored);
        workFolder_.clear();
    }
    workPath_.clear();
    if (reserved_) {
        struct stat st;
        if (lstat(path_.c_str(), &st) == 0 && st.st_dev == reservedDev_ &&
            st.st_ino == reservedIno_ && st.st_size == 0)
            unlink(path_.c_str());
        reserved_ = false;
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
