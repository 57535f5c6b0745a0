#pragma once

// The converted picture's working copy beside the program's current directory.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace skin {

inline constexpr const char* kTempFileName = "themedplayer0tempfile.$$$";

// Replaces `path` with `data`. Whatever sits at `path` (a symbolic link
// included) is removed first and the file is created afresh, so the write
// never lands where a planted link points.
bool writeFreshFile(const std::string& path, std::span<const uint8_t> data);

// The same in two steps, for writers that check something between creating
// and writing: a descriptor open for writing, or -1.
int createFreshFile(const std::string& path);
bool writeAll(int fd, std::span<const uint8_t> data);

// Reads up to `limit` bytes of a regular file; a symbolic link at `path` is
// refused unless `followLinks`.
bool readPlainFile(const std::string& path, std::vector<uint8_t>& out, size_t limit,
                   bool followLinks = false);

}  // namespace skin
