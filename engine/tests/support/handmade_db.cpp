#include "handmade_db.h"

#include <cstring>

namespace handmade {

void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}
void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

Bytes chunk(const char* tag, const Bytes& payload) {
    Bytes b;
    put16(b, uint32_t(payload.size() + 4));
    b.push_back(uint8_t(tag[0]));
    b.push_back(uint8_t(tag[1]));
    append(b, payload);
    return b;
}

Bytes mv(uint16_t width, uint16_t height, uint8_t depthClass) {
    Bytes p;
    put16(p, width);
    put16(p, height);
    p.push_back(0);
    p.push_back(depthClass);
    return chunk("mv", p);
}
Bytes mt(uint16_t kind) {
    Bytes p;
    put16(p, kind);
    return chunk("mt", p);
}
Bytes sh(const char* stream, uint16_t duration) {
    Bytes p{uint8_t(stream[0]), uint8_t(stream[1])};
    put16(p, 0);
    put16(p, duration);
    return chunk("sh", p);
}
Bytes sx(const char* stream, uint32_t duration) {
    Bytes p{uint8_t(stream[0]), uint8_t(stream[1])};
    put32(p, 0);
    put32(p, duration);
    return chunk("sx", p);
}
Bytes ah(uint32_t format, uint16_t channels, uint32_t rate, uint32_t preload) {
    Bytes p;
    put32(p, format);
    put16(p, channels);
    put32(p, rate);
    put32(p, preload);
    return chunk("ah", p);
}
Bytes index(const char* tag, const std::vector<IndexEntry>& entries) {
    Bytes p;
    for (const IndexEntry& e : entries) {
        put32(p, e.time);
        put16(p, e.record);
        put16(p, e.offset);
    }
    return chunk(tag, p);
}
Bytes rf(uint8_t type, uint8_t flags, uint16_t duration, const Bytes& data) {
    Bytes p{type, flags};
    put16(p, duration);
    append(p, data);
    if (p.size() & 1) {
        p[1] |= 1;
        p.push_back(0);
    }
    return chunk("rf", p);
}
Bytes au(uint32_t frames, uint32_t position, const Bytes& data) {
    Bytes p;
    put32(p, frames);
    put32(p, position);
    put32(p, 0);
    append(p, data);
    if (p.size() & 1) p.push_back(0);
    return chunk("au", p);
}
Bytes tagOnly(const char* tag) { return chunk(tag, {}); }

Bytes database(const std::string& name, const std::vector<Bytes>& records) {
    Bytes b(32, 0);
    std::memcpy(b.data(), name.data(), name.size() < 31 ? name.size() : 31);
    put16(b, 0);
    put16(b, 1);
    put32(b, 3000000000u);
    put32(b, 3000000000u);
    for (int i = 0; i < 4; ++i) put32(b, 0);
    append(b, Bytes{'T', 'M', 'O', 'V', 'T', 'V', 'L', 'A'});
    put32(b, 0);
    put32(b, 0);
    put16(b, uint32_t(records.size()));
    uint32_t offset = 80 + 8 * uint32_t(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        put32(b, offset);
        b.push_back(0x40);
        const uint32_t id = 0xA48000 + uint32_t(i);
        b.push_back(uint8_t(id >> 16));
        put16(b, id & 0xFFFF);
        offset += uint32_t(records[i].size());
    }
    put16(b, 0);
    for (const Bytes& r : records) append(b, r);
    return b;
}

Bytes validMovie() {
    // Offsets inside the one record are fixed by the chunk sizes above them:
    // mv 10, mt 6, sh 10, sx 14, sh 10, sx 14, ah 18, bt 4, pt 12, at 12, mb 4 = 114.
    Bytes r;
    append(r, mv(160, 120, 4));
    append(r, mt(6));
    append(r, sh("fr", 30));
    append(r, sx("fr", 30));
    append(r, sh("au", 1));
    append(r, sx("au", 1));
    append(r, ah(626, 1, 22050, 256));
    append(r, tagOnly("bt"));
    const uint16_t auAt = 114, firstFrameAt = auAt + 16 + 130;
    append(r, index("pt", {{0, 1, firstFrameAt}}));
    append(r, index("at", {{0, 1, auAt}}));
    append(r, tagOnly("mb"));
    append(r, au(256, 0, Bytes(130, 0x11)));
    append(r, rf(8, 0, 10, Bytes(21, 0x22)));
    append(r, rf(8, 4, 20, Bytes(6, 0x33)));
    append(r, tagOnly("me"));
    append(r, tagOnly("re"));
    return database("Handmade", {r});
}

}  // namespace handmade
