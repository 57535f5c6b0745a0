#include "platform/mpeg_streams.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Far enough to pass the junk some files carry before their first pack.
constexpr size_t kSniffBytes = 64 * 1024;

std::vector<uint8_t> Head(const ByteSource& bytes) {
    if (bytes.memory) {
        const size_t n = std::min(bytes.memory->size(), kSniffBytes);
        return {bytes.memory->begin(), bytes.memory->begin() + static_cast<ptrdiff_t>(n)};
    }
    std::vector<uint8_t> head(kSniffBytes);
    std::ifstream in(bytes.path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
    return head;
}

}  // namespace

bool IsMpeg1SystemStream(const MediaSource& src) {
    if (std::strcmp(src.format()->iformat->name, "mpeg") != 0) return false;
    const std::vector<uint8_t> head = Head(src.bytes());
    for (size_t i = 0; i + 4 < head.size(); ++i) {
        if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1 && head[i + 3] == 0xBA) {
            return (head[i + 4] & 0xF0) == 0x20;
        }
    }
    return false;
}
