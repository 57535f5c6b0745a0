#pragma once
// File specifications and the temporary-items folder.
//
// A file specification is the 262-byte record the rest of the program passes
// around: a 16-bit volume reference, a 32-bit directory identifier and a
// 256-byte counted name. On this platform the name holds the whole native
// path; volume and directory are 0. A path longer than 255 bytes is refused
// (kStatusBadFileName) rather than shortened, so a specification never names
// another file than the one it was made from.
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/status.h"

inline constexpr size_t kFileSpecBytes = 262;
inline constexpr size_t kFileSpecMaxPath = 255;

struct FileSpec {
    int16_t vRefNum = 0;
    int32_t parID = 0;
    std::array<uint8_t, 256> name{};  // counted: name[0] is the length
};

// Makes a specification from a native path. Empty or over-long paths, or
// paths with a NUL byte, give kStatusBadFileName and leave *spec untouched.
OSStatus FileSpecFromPath(std::string_view path, FileSpec* spec);
// The path held by a specification.
std::string FileSpecPath(const FileSpec& spec);

// The 262-byte packed form (big-endian numbers), as stored in file lists.
void FileSpecPack(const FileSpec& spec, std::span<uint8_t, kFileSpecBytes> out);
FileSpec FileSpecUnpack(std::span<const uint8_t, kFileSpecBytes> in);

// The last path component, and the folder before it (without a trailing '/').
std::string PathFileName(std::string_view path);
std::string PathFolder(std::string_view path);

// The temporary-items folder: a directory private to this user (mode 0700,
// owned by us, not a symbolic link) and to this process, made by mkdtemp on
// first use under $XDG_RUNTIME_DIR when that is a private directory, else
// under the system's temporary directory, and removed at exit if empty.
// Files created in it may therefore use fixed names, even while other
// conversions run. Its name carries our process number
// ("moviepacker-PID-XXXXXX") and we hold a lock on it for the life of the
// process, so that a later start can tell a dead process's folder from ours.
OSStatus FindTemporaryFolder(std::string* path);
// The folder under which FindTemporaryFolder makes its folder.
std::string TemporaryFolderParent();

// True when `path` was left behind by process `pid` and nobody uses it now:
// the process is gone (and is not us) and nobody holds the exclusive lock
// (flock) that a live owner keeps on the file or folder. A live process is
// never taken for a dead one; a pid reused since is merely taken as alive.
bool LeftByDeadProcess(const std::string& path, long pid);
// Removes the temporary-items folders of processes that are gone, with all
// they hold. Returns how many it removed.
int RemoveStaleTemporaryFolders();
// FileSpec of `name` inside the temporary-items folder.
OSStatus TemporaryFileSpec(std::string_view name, FileSpec* spec);

bool FileExists(const std::string& path);
// Deletes a file; a file that does not exist is not an error.
OSStatus DeleteFile(const std::string& path);
inline OSStatus DeleteFile(const FileSpec& spec) {
    return DeleteFile(FileSpecPath(spec));
}

// A file that appears whole or not at all. It is written inside a private
// folder made beside its final place (same file system, same file name, so
// whatever derives a name from the file sees the final one) and moved into
// place only by commit(), after it has reached the disk. Until then nothing
// the user had is touched; a failure, a cancel or a destruction without
// commit removes only what this object made itself. What a killed process
// leaves (its private folder ".moviepacker-PID-XXXXXX" and the empty
// placeholder of a reserved name) is removed by the next OutputFile opened
// in the same folder, once that process is gone.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { abandon(); }

    // The target is `path`; an existing file there is replaced by commit().
    OSStatus openReplacing(const std::string& path);
    // A new file `folder/stem.ext`, or `stem-1.ext`, `stem-2.ext`... when the
    // name is taken. The name is taken by creating it exclusively (an empty
    // file that stands for the result meanwhile), so runs in parallel never
    // choose the same one and no existing file is ever replaced.
    OSStatus openNew(const std::string& folder, const std::string& stem, const std::string& ext);

    const std::string& path() const { return path_; }          // the final name
    const std::string& workPath() const { return workPath_; }  // where to write meanwhile
    // errno of the last failure, for messages.
    int lastErrno() const { return errno_; }

    // Moves the finished file into place.
    OSStatus commit();
    // Removes the work file and a reserved name; idempotent.
    void abandon();

  private:
    OSStatus makeWorkFolder(const std::string& folder);

    std::string path_, workPath_, workFolder_;
    int lockFd_ = -1;        // holds the work folder's lock while it exists
    bool reserved_ = false;  // path_ is an empty file of ours
    dev_t reservedDev_ = 0;
    ino_t reservedIno_ = 0;
    int errno_ = 0;
};

// True when both paths name the same existing file (through links too).
bool SameFile(const std::string& a, const std::string& b);
