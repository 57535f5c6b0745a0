#include "platform/hotsync.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr size_t kMaxUserName = 259;  // what the install library's name buffer holds
constexpr char kUsersFile[] = "users";
constexpr size_t kMaxFolderName = 200;

std::string userFolderName(std::string_view user) {
    std::string out;
    for (size_t i = 0; i < user.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(user[i]);
        if (c == '%' || c == '/' || (i == 0 && c == '.')) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    // A folder name holds at most 255 bytes: long names keep their start
    // (cut between characters) and a hash of the whole name.
    if (out.size() > kMaxFolderName) {
        uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
        for (unsigned char c : user) hash = (hash ^ c) * 0x100000001b3ull;
        size_t cut = kMaxFolderName - 17;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        char tail[20];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        out = out.substr(0, cut) + tail;
    }
    return out;
}

bool validName(std::string_view s, size_t max) {
    return !s.empty() && s.size() <= max &&
           s.find_first_of(std::string_view("\t\r\n\0", 4)) == std::string_view::npos;
}

// mkdir -p: each level in turn, levels that exist are fine.
bool makeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        const std::string level = path.substr(0, i);
        if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

OSStatus statusForWriteErrno(int e) {
    return (e == ENOSPC || e == EDQUOT || e == EFBIG) ? kStatusWriteError : kStatusReadError;
}

bool syncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0 || errno == EINVAL;  // some filesystems cannot sync folders
    close(fd);
    return ok;
}

// NAME.EXT, then NAME-1.EXT, NAME-2.EXT...
std::string numberedName(std::string_view name, int n) {
    if (n == 0) return std::string(name);
    const size_t dot = name.rfind('.');
    const std::string_view stem =
        dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string_view ext =
        dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
    return std::string(stem) + "-" + std::to_string(n) + std::string(ext);
}

}  // namespace

OSStatus CopyFileDurably(const std::string& source, const std::string& folder,
                         std::string_view name, std::string* copied, HotSyncStore::WriteFn write) {
    if (write == nullptr) write = ::write;
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
        return kStatusParamError;
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno == ENOENT ? kStatusFileNotFound : kStatusReadError;
    if (!makeFolders(folder)) {
        const int e = errno;
        close(in);
        return statusForWriteErrno(e) == kStatusWriteError ? kStatusWriteError : kStatusCreateError;
    }
    std::string temp = folder + "/.partial.XXXXXX";
    const int out = mkstemp(temp.data());
    if (out < 0) {
        const int e = errno;
        close(in);
        return statusForWriteErrno(e) == kStatusWriteError ? kStatusWriteError : kStatusCreateError;
    }
    fchmod(out, 0644);
    OSStatus status = noErr;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            status = kStatusReadError;
            break;
        }
        if (got == 0) break;
        // A short write is continued; a write that makes no progress means the disk is full.
        for (ssize_t done = 0; done < got && status == noErr;) {
            const ssize_t put = write(out, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0)
                status = statusForWriteErrno(errno);
            else if (put == 0)
                status = kStatusWriteError;
            else
                done += put;
        }
        if (status != noErr) break;
    }
    close(in);
    // Only a file that is wholly on disk may be given its queue name.
    if (status == noErr && fsync(out) != 0) status = statusForWriteErrno(errno);
    if (close(out) != 0 && status == noErr) status = statusForWriteErrno(errno);
    std::string final;
    bool named = false;
    if (status == noErr) {
        for (int n = 0;; ++n) {
            final = folder + "/" + numberedName(name, n);
            // A hard link never replaces what is there, so an earlier queued
            // file of the same name stays as it was.
            if (link(temp.c_str(), final.c_str()) == 0) {
                named = true;
                break;
            }
            if (errno == EEXIST) continue;
            if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP) {
                // No hard links on this filesystem: take a free name and rename.
                struct stat st {};
                if (lstat(final.c_str(), &st) == 0) continue;
                if (rename(temp.c_str(), final.c_str()) == 0) {
                    named = true;
                    break;
                }
            }
            status = statusForWriteErrno(errno) == kStatusWriteError ? kStatusWriteError
                                                                     : kStatusCreateError;
            break;
        }
    }
    unlink(temp.c_str());
    if (status == noErr && !syncFolder(folder)) status = kStatusReadError;
    if (status != noErr) {
        if (named) unlink(final.c_str());
        return status;
    }
    if (copied != nullptr) *copied = final;
    return noErr;
}

std::string HotSyncStore::defaultRoot() {
    std::string data;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && x[0] == '/') {
        data = x;
    } else {
        const char* home = std::getenv("HOME");
        data = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    return data + "/moviepacker/hotsync";
}

HotSyncStore::HotSyncStore(std::string root) : m_root(std::move(root)) {
    while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();
}

std::vector<HotSyncUser> ParseHotSyncUsers(std::string_view text) {
    std::vector<HotSyncUser> users;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string_view> fields;
        for (size_t f = 0;;) {
            const size_t tab = line.find('\t', f);
            fields.push_back(
                line.substr(f, tab == std::string_view::npos ? line.size() - f : tab - f));
            if (tab == std::string_view::npos) break;
            f = tab + 1;
        }
        HotSyncUser u;
        u.name = std::string(fields[0]);
        const bool repeated = std::any_of(users.begin(), users.end(),
                                          [&](const HotSyncUser& o) { return o.name == u.name; });
        if (u.name.empty() || u.name.size() > kMaxUserName || repeated) continue;
        for (size_t i = 1; i + 1 < fields.size(); i += 2) {
            const std::string_view id = fields[i];
            uint64_t v = 0;
            bool ok = !id.empty() && id.size() <= 10;
            for (char c : id) ok = ok && c >= '0' && c <= '9';
            for (char c : id) v = v * 10 + uint64_t(c - '0');
            if (ok && v <= 0xFFFFFFFFu)
                u.slots.push_back({uint32_t(v), std::string(fields[i + 1])});
        }
        users.push_back(std::move(u));
    }
    return users;
}

std::vector<HotSyncStore::User> HotSyncStore::readUsers() const {
    std::ifstream in(m_root + "/" + kUsersFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return ParseHotSyncUsers(text.str());
}

const HotSyncStore::User* HotSyncStore::findUser(const std::vector<User>& users,
                                                 std::string_view name) const {
    for (const User& u : users)
        if (u.name == name) return &u;
    return nullptr;
}

int HotSyncStore::userCount() const {
    return int(readUsers().size());
}

std::string HotSyncStore::userName(int index) const {
    const auto users = readUsers();
    return index >= 0 && size_t(index) < users.size() ? users[size_t(index)].name : std::string();
}

std::string HotSyncStore::userFolder(std::string_view user) const {
    if (findUser(readUsers(), user) == nullptr) return {};
    const std::string folder = m_root + "/" + userFolderName(user);
    return makeFolders(folder) ? folder : std::string();
}

OSStatus HotSyncStore::cardSlots(std::string_view user, std::vector<HotSyncSlot>* out) const {
    const auto users = readUsers();
    const User* u = findUser(users, user);
    if (u == nullptr) return kStatusNotFound;
    *out = u->slots;
    return noErr;
}

std::string HotSyncStore::queueFolder(std::string_view user, std::optional<uint32_t> slot) const {
    return m_root + "/" + userFolderName(user) + "/queue/" +
           (slot ? "slot-" + std::to_string(*slot) : std::string("handheld"));
}

std::vector<std::string> HotSyncStore::queuedFiles(std::string_view user,
                                                   std::optional<uint32_t> slot) const {
    std::vector<std::string> names;
    DIR* d = opendir(queueFolder(user, slot).c_str());
    if (d == nullptr) return names;
    while (const dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

OSStatus HotSyncStore::queueInstall(std::string_view user, std::optional<uint32_t> slot,
                                    const std::string& path, std::string* queued) {
    const auto users = readUsers();
    const User* u = findUser(users, user);
    if (u == nullptr) return kStatusNotFound;
    if (slot && std::none_of(u->slots.begin(), u->slots.end(),
                             [&](const HotSyncSlot& s) { return s.id == *slot; }))
        return kStatusNotFound;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return CopyFileDurably(path, queueFolder(user, slot), name, queued, m_write);
}

OSStatus HotSyncStore::addUser(std::string_view name, const std::vector<HotSyncSlot>& slots) {
    if (!validName(name, kMaxUserName)) return kStatusParamError;
    for (size_t i = 0; i < slots.size(); ++i) {
        if (!validName(slots[i].name, 255)) return kStatusParamError;
        for (size_t j = 0; j < i; ++j)
            if (slots[j].id == slots[i].id) return kStatusParamError;
    }
    auto users = readUsers();
    if (findUser(users, name) != nullptr) return kStatusDuplicateFile;
    users.push_back({std::string(name), slots});
    if (!makeFolders(m_root)) return kStatusCreateError;
    std::string text = "# HotSync users: NAME[<TAB>SLOT-ID<TAB>SLOT-NAME]...\n";
    for (const User& u : users) {
        text += u.name;
        for (const HotSyncSlot& s : u.slots) text += "\t" + std::to_string(s.id) + "\t" + s.name;
        text += "\n";
    }
    // Written beside the old list and renamed over it, so a reader never
    // sees half a list.
    std::string temp = m_root + "/.users.XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return kStatusCreateError;
    fchmod(fd, 0644);
    bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), (m_root + "/" + kUsersFile).c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return kStatusCreateError;
    }
    const std::string folder = m_root + "/" + userFolderName(name);
    bool made = makeFolders(folder + "/queue/handheld");
    for (const HotSyncSlot& s : slots) made = makeFolders(queueFolder(name, s.id)) && made;
    return made ? noErr : kStatusCreateError;
}
