#include "skinpacker/handheld_text.h"

#include <iconv.h>

#include <vector>

namespace skin {

namespace {

bool convert(const char* to, const char* from, std::string_view in, std::string& out,
             bool skipBad) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buffer.data();
    size_t dstLeft = buffer.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (!skipBad) {
            ok = false;
            break;
        }
        ++src;  // drop the byte that does not convert and go on
        --srcLeft;
    }
    iconv_close(cd);
    if (ok) out.assign(buffer.data(), static_cast<size_t>(dst - buffer.data()));
    return ok;
}

bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace

bool toHandheldText(std::string_view utf8, size_t maxBytes, std::string& out) {
    std::string converted;
    if (!convert("CP932", "UTF-8", utf8, converted, false)) return false;
    size_t end = 0;
    while (end < converted.size()) {
        size_t len = isLeadByte(static_cast<unsigned char>(converted[end])) ? 2 : 1;
        if (end + len > maxBytes) break;
        end += len;
    }
    out = converted.substr(0, end);
    return true;
}

std::string fromHandheldText(std::string_view bytes) {
    std::string out;
    convert("UTF-8", "CP932", bytes, out, true);
    return out;
}

}  // namespace skin
