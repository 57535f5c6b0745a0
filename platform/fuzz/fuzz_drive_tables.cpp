// The text tables the destinations read: mount table lines and the HotSync
// users file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/drives.h"
#include "platform/hotsync.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        MountEntry m;
        if (ParseMountInfoLine(text.substr(at, end - at), &m) && m.mountPoint.empty())
            __builtin_trap();  // a parsed line always names where it is mounted
        at = end + 1;
    }
    for (const HotSyncUser& u : ParseHotSyncUsers(text))
        if (u.name.empty() || u.name.size() > 259) __builtin_trap();
    return 0;
}
