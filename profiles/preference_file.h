#pragma once
// The per-user preference store: one atom container kept in a file of its
// own (by default $XDG_CONFIG_HOME/moviepacker/TVLP, else
// ~/.config/moviepacker/TVLP).
#include <string>

#include "platform/atoms.h"
#include "platform/status.h"

class PreferenceFile {
  public:
    explicit PreferenceFile(std::string path) : m_path(std::move(path)) {}

    // The default store of the current user.
    static std::string defaultPath();

    const std::string& path() const { return m_path; }

    // Reads the stored container into *out. A missing file is an empty
    // container (the first run). Status: noErr; kStatusReadError when the
    // file exists but cannot be read; kStatusInvalidAtomContainer when its
    // bytes are not a container. *out is replaced only on success.
    OSStatus read(AtomContainer* out) const;

    // Stores the container. The bytes go to a new file beside the old one,
    // private to this process ("TVLP.<pid>.new"), which is flushed and then
    // renamed over it, so a failure at any step, or a kill, leaves the
    // previous store as it was. Copies left by killed saves are removed.
    // Creates the folder when needed.
    // Status: noErr; kStatusCreateError; kStatusWriteError.
    OSStatus write(const AtomContainer& c) const;

  private:
    std::string m_path;
};
