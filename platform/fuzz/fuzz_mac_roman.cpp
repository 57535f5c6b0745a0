// Any bytes as UTF-8 text bound for the handheld: the lossy conversion never
// passes its limit, and what it makes is Mac Roman that goes to UTF-8 and
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/mac_roman.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t limit = data[0] == 0xFF ? std::string::npos : data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string mac = utf8ToMacRomanLossy(text, limit);
    if (limit != std::string::npos && mac.size() > limit) std::abort();
    if (mac.find('\0') != std::string::npos) std::abort();
    std::string back;
    if (!utf8ToMacRoman(macRomanToUtf8(mac), &back) || back != mac) std::abort();
    return 0;
}
