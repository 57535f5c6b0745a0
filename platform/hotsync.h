#pragma once
// The HotSync install library: the HotSync users of this desktop, the
// folder kept for each, the card slots of each user's handheld, and the
// install queue that the next HotSync copies to the handheld's memory or
// to the card in one of its slots.
//
// HotSyncLibrary is what the install code is written against; HotSyncStore
// is the one implementation, a plain folder tree a sync tool or a script
// can read:
//
//   ROOT/users                       one user a line (UTF-8):
//                                    NAME[<TAB>SLOT-ID<TAB>SLOT-NAME]...
//                                    ('#' starts a comment line)
//   ROOT/USER/                       the user's folder
//   ROOT/USER/queue/handheld/        queued for the handheld's memory
//   ROOT/USER/queue/slot-ID/         queued for the card in slot ID
//
// ROOT is $XDG_DATA_HOME/moviepacker/hotsync (~/.local/share/... when the
// variable is unset). USER is the name with '%', '/' and a leading '.'
// written as %XX (a name longer than 200 bytes keeps its start and a hash
// of the whole), so every name gets a folder of its own. A queued file
// appears under its final name only once it is complete and on disk;
// while it is being copied it is a hidden ".partial.XXXXXX" file beside it.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

struct HotSyncSlot {
    uint32_t id = 0;
    std::string name;  // as the handheld reports it, e.g. "SD Card"
};

struct HotSyncUser {
    std::string name;
    std::vector<HotSyncSlot> slots;
};

// The users a users file holds, in file order: comment lines, empty names,
// names over 259 bytes and repeated names are skipped, and so are slot
// fields that are no 32-bit number.
std::vector<HotSyncUser> ParseHotSyncUsers(std::string_view text);

class HotSyncLibrary {
  public:
    virtual ~HotSyncLibrary() = default;
    // Number of HotSync users; 0 when there are none.
    virtual int userCount() const = 0;
    // Name of user `index` (0-based); empty when there is no such user.
    virtual std::string userName(int index) const = 0;
    // The folder kept for the user (created when missing); empty for an
    // unknown user or when it cannot be made.
    virtual std::string userFolder(std::string_view user) const = 0;
    // The card slots of the user's handheld, in the handheld's order; an
    // empty list when it has none. kStatusNotFound for an unknown user.
    virtual OSStatus cardSlots(std::string_view user, std::vector<HotSyncSlot>* out) const = 0;
    // Queues a copy of the file at `path` for the user's next HotSync:
    // into the handheld's memory (no slot) or onto the card in `slot`.
    // The file itself is left alone. A queued file of the same name is
    // kept: the copy takes NAME-1.pdb, NAME-2.pdb... instead. *queued gets
    // the copy's path. Nothing is queued unless the whole copy is on disk.
    // Status: noErr; kStatusNotFound (unknown user or slot);
    // kStatusFileNotFound (no file at path); kStatusReadError;
    // kStatusWriteError (the queue's disk is full); kStatusCreateError
    // (the queue cannot be written: read-only, no permission).
    virtual OSStatus queueInstall(std::string_view user, std::optional<uint32_t> slot,
                                  const std::string& path, std::string* queued) = 0;
};

class HotSyncStore final : public HotSyncLibrary {
  public:
    // $XDG_DATA_HOME/moviepacker/hotsync, or ~/.local/share/moviepacker/hotsync.
    static std::string defaultRoot();

    explicit HotSyncStore(std::string root = defaultRoot());

    int userCount() const override;
    std::string userName(int index) const override;
    std::string userFolder(std::string_view user) const override;
    OSStatus cardSlots(std::string_view user, std::vector<HotSyncSlot>* out) const override;
    OSStatus queueInstall(std::string_view user, std::optional<uint32_t> slot,
                          const std::string& path, std::string* queued) override;

    // Adds a user with the given card slots and makes its folders.
    // Status: noErr; kStatusParamError for an empty name, one over 259
    // bytes or holding a tab, line break or NUL, or slots with repeated
    // identifiers or names holding those; kStatusDuplicateFile when the
    // user exists; kStatusCreateError when the store cannot be written.
    OSStatus addUser(std::string_view name, const std::vector<HotSyncSlot>& slots);

    // The queue folder for the handheld's memory (no slot) or a slot.
    std::string queueFolder(std::string_view user, std::optional<uint32_t> slot) const;
    // The complete files waiting in a queue folder, by name.
    std::vector<std::string> queuedFiles(std::string_view user, std::optional<uint32_t> slot) const;

    const std::string& root() const { return m_root; }

    // Tests put a failing write here to stand for a disk that fills up.
    using WriteFn = ssize_t (*)(int fd, const void* bytes, size_t count);
    void setWriteForTesting(WriteFn write) { m_write = write; }

  private:
    using User = HotSyncUser;
    std::vector<User> readUsers() const;
    const User* findUser(const std::vector<User>& users, std::string_view name) const;

    std::string m_root;
    WriteFn m_write = nullptr;
};

// Copies `source` into `folder` as `name`, or as NAME-1.EXT, NAME-2.EXT...
// when that is taken, never replacing a file. The copy is written to a
// hidden temporary file, synced, and only then given its name; on any
// failure nothing is left in the folder. *copied gets the final path.
// `write` stands for write(2) (tests pass one that fails).
// Status as HotSyncLibrary::queueInstall, kStatusFileNotFound and
// kStatusReadError for the source.
OSStatus CopyFileDurably(const std::string& source, const std::string& folder,
                         std::string_view name, std::string* copied,
                         HotSyncStore::WriteFn write = nullptr);
