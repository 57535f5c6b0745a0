#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

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
int g_processTempLock = -1;

void RemoveProcessTempFolder() {
    if (!g_processTempFolder.empty()) rmdir(g_processTempFolder.c_str());  // only when empty
}

// Opens `path` and takes its exclusive lock, without waiting. The descriptor
// (or -1) holds the lock until it is closed.
int LockPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The process number in a name "<prefix><pid>-...", or 0.
long PidInName(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) return 0;
    long pid = 0;
    size_t i = prefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 100000000; ++i)
        pid = pid * 10 + (name[i] - '0');
    return i < name.size() && name[i] == '-' ? pid : 0;
}

constexpr std::string_view kTempFolderPrefix = "moviepacker-";
constexpr std::string_view kWorkFolderPrefix = ".moviepacker-";
// Inside a work folder: the name and file number of the reserved placeholder.
constexpr char kReservedName[] = ".reserved";

// The entries of a folder whose names start with `prefix`.
std::vector<std::string> EntriesStartingWith(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = readdir(d)) {
        const std::string_view n = e->d_name;
        if (n.substr(0, prefix.size()) == prefix) names.emplace_back(n);
    }
    closedir(d);
    return names;
}

}  // namespace

bool LeftByDeadProcess(const std::string& path, long pid) {
    if (pid <= 0 || pid == long(getpid())) return false;
    if (kill(pid_t(pid), 0) == 0 || errno != ESRCH) return false;
    const int fd = LockPath(path);
    if (fd < 0) return false;
    close(fd);
    return true;
}

std::string TemporaryFolderParent() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/' && IsPrivateDirectory(runtime))
        return runtime;
    // Someone else's, a link, or none: the system's temporary directory.
    std::error_code ec;
    std::string base = std::filesystem::temp_directory_path(ec).string();
    return ec ? std::string() : base;
}

OSStatus FindTemporaryFolder(std::string* path) {
    if (path == nullptr) return kStatusParamError;
    if (g_processTempFolder.empty() || !IsPrivateDirectory(g_processTempFolder)) {
        // One folder per process: files in it have fixed names ("blah.aif"),
        // which two conversions running at once must not share.
        const std::string base = TemporaryFolderParent();
        if (base.empty()) return kStatusCreateError;
        std::string templ = base + "/" + std::string(kTempFolderPrefix) +
                            std::to_string(getpid()) + "-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr) return kStatusCreateError;
        const bool first = g_processTempFolder.empty();
        g_processTempFolder = templ;
        if (g_processTempLock >= 0) close(g_processTempLock);
        g_processTempLock = LockPath(templ);
        if (first) std::atexit(RemoveProcessTempFolder);
    }
    *path = g_processTempFolder;
    return noErr;
}

int RemoveStaleTemporaryFolders() {
    const std::string base = TemporaryFolderParent();
    if (base.empty()) return 0;
    int removed = 0;
    for (const std::string& name : EntriesStartingWith(base, kTempFolderPrefix)) {
        const std::string path = base + "/" + name;
        // Only our own private folders: never another user's.
        if (!IsPrivateDirectory(path)) continue;
        if (!LeftByDeadProcess(path, PidInName(name, kTempFolderPrefix))) continue;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        ++removed;
    }
    return removed;
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

namespace {

// The placeholder a dead process reserved: the name and file number it
// recorded in its work folder, removed only while still that empty file.
void RemoveDeadPlaceholder(const std::string& folder, const std::string& work) {
    FILE* f = std::fopen((work + "/" + kReservedName).c_str(), "rb");
    if (f == nullptr) return;
    char line[300] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    const std::string_view text(line, n);
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return;
    const std::string name(text.substr(blank + 1));
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return;
    const unsigned long long ino = std::strtoull(std::string(text.substr(0, blank)).c_str(),
                                                 nullptr, 10);
    const std::string placeholder = folder + "/" + name;
    struct stat st;
    if (lstat(placeholder.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
        st.st_ino == ino)
        unlink(placeholder.c_str());
}

// Clears what killed conversions left in `folder`: their work folders and
// the empty names they had reserved.
void RemoveStaleWorkFolders(const std::string& folder) {
    for (const std::string& name : EntriesStartingWith(folder, kWorkFolderPrefix)) {
        const std::string work = folder + "/" + name;
        struct stat st;
        if (lstat(work.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
            continue;
        if (!LeftByDeadProcess(work, PidInName(name, kWorkFolderPrefix))) continue;
        RemoveDeadPlaceholder(folder, work);
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
    }
}

}  // namespace

OSStatus OutputFile::makeWorkFolder(const std::string& folder) {
    const std::string where = folder.empty() ? std::string(".") : folder;
    RemoveStaleWorkFolders(where);
    std::string templ =
        where + "/" + std::string(kWorkFolderPrefix) + std::to_string(getpid()) + "-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
        errno_ = errno;
        return StatusFromErrno(errno_);
    }
    workFolder_ = templ;
    lockFd_ = LockPath(workFolder_);
    return noErr;
}

OSStatus OutputFile::openReplacing(const std::string& path) {
    abandon();
    if (path.empty() || PathFileName(path).empty()) return kStatusBadFileName;
    path_ = path;
    const OSStatus err = makeWorkFolder(PathFolder(path));
    if (err != noErr) {
        path_.clear();
        return err;
    }
    workPath_ = workFolder_ + "/" + PathFileName(path_);
    return noErr;
}

OSStatus OutputFile::openNew(const std::string& folder, const std::string& stem,
                             const std::string& ext) {
    abandon();
    if (stem.empty() || stem.find('/') != std::string::npos) return kStatusBadFileName;
    const std::string where = folder.empty() ? std::string(".") : folder;
    if (const OSStatus err = makeWorkFolder(where); err != noErr) return err;
    for (int n = 0; n < 100000; ++n) {
        std::string name = stem + (n == 0 ? "" : "-" + std::to_string(n)) + ext;
        std::string candidate = where + "/" + name;
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            errno_ = errno;
            abandon();
            return StatusFromErrno(errno_);
        }
        struct stat st;
        fstat(fd, &st);
        close(fd);
        path_ = std::move(candidate);
        reserved_ = true;
        reservedDev_ = st.st_dev;
        reservedIno_ = st.st_ino;
        workPath_ = workFolder_ + "/" + name;
        // Which empty file is ours, for the clean-up should we be killed.
        if (FILE* f = std::fopen((workFolder_ + "/" + kReservedName).c_str(), "wb")) {
            std::fprintf(f, "%llu %s", static_cast<unsigned long long>(st.st_ino), name.c_str());
            std::fclose(f);
        }
        return noErr;
    }
    abandon();
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
    // On the disk before it takes the name: a crash afterwards must not
    // leave an empty or partial file under the final name.
    if (const int fd = open(workPath_.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        const bool synced = fsync(fd) == 0;
        const int e = errno;
        close(fd);
        if (!synced && e != EINVAL && e != EROFS) {
            errno_ = e;
            return StatusFromErrno(errno_);
        }
    }
    if (rename(workPath_.c_str(), path_.c_str()) != 0) {
        errno_ = errno;
        return StatusFromErrno(errno_);
    }
    unlink((workFolder_ + "/" + kReservedName).c_str());
    rmdir(workFolder_.c_str());
    workFolder_.clear();
    workPath_.clear();
    reserved_ = false;
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
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
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
