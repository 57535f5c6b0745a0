#include "platform/resources.h"

#include <algorithm>
#include <map>


namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMapFixedSize = 28;  // header copy, loader's 8 bytes, attrs, two offsets
constexpr size_t kTypeEntrySize = 8;
constexpr size_t kRefEntrySize = 12;
constexpr uint32_t kDataStart = 256;  // after the header and the system's reserved area

uint16_t be16(std::span<const uint8_t> s, size_t at) {
    return uint16_t((s[at] << 8) | s[at + 1]);
}
uint32_t be24(std::span<const uint8_t> s, size_t at) {
    return (uint32_t(s[at]) << 16) | (uint32_t(s[at + 1]) << 8) | s[at + 2];
}
uint32_t be32(std::span<const uint8_t> s, size_t at) {
    return (uint32_t(s[at]) << 24) | be24(s, at + 1);
}
void put16(std::vector<uint8_t>& o, size_t at, uint16_t v) {
    o[at] = uint8_t(v >> 8);
    o[at + 1] = uint8_t(v);
}
void put32(std::vector<uint8_t>& o, size_t at, uint32_t v) {
    put16(o, at, uint16_t(v >> 16));
    put16(o, at + 2, uint16_t(v));
}
void append16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}
void append32(std::vector<uint8_t>& o, uint32_t v) {
    append16(o, uint16_t(v >> 16));
    append16(o, uint16_t(v));
}

// [at, at + n) lies inside a buffer of size total.
bool fits(size_t at, size_t n, size_t total) {
    return at <= total && n <= total - at;
}

}  // namespace

OSStatus ResourceFile::open(std::span<const uint8_t> image, ResourceFile* out) {
    if (!out) return kStatusParamError;
    constexpr OSStatus bad = kStatusBadResourceMap;
    const size_t total = image.size();
    if (total < kHeaderSize) return bad;
    const uint32_t dataAt = be32(image, 0), mapAt = be32(image, 4);
    const uint32_t dataLen = be32(image, 8), mapLen = be32(image, 12);
    if (!fits(dataAt, dataLen, total) || !fits(mapAt, mapLen, total)) return bad;
    if (mapLen < kMapFixedSize) return bad;
    std::span<const uint8_t> map = image.subspan(mapAt, mapLen);
    std::span<const uint8_t> data = image.subspan(dataAt, dataLen);
    const size_t typeListAt = be16(map, 24), nameListAt = be16(map, 26);
    if (!fits(typeListAt, 2, map.size()) || nameListAt > map.size()) return bad;
    const std::span<const uint8_t> names = map.subspan(nameListAt);

    ResourceFile result;
    // The count is stored minus one, so an empty map holds 0xFFFF.
    const size_t typeCount = (be16(map, typeListAt) + 1) & 0xFFFF;
    if (!fits(typeListAt + 2, typeCount * kTypeEntrySize, map.size())) return bad;
    for (size_t t = 0; t < typeCount; ++t) {
        const size_t e = typeListAt + 2 + t * kTypeEntrySize;
        const FourCC type = be32(map, e);
        if (std::find(result.m_types.begin(), result.m_types.end(), type) != result.m_types.end())
            return bad;
        const size_t refCount = size_t(be16(map, e + 4)) + 1;
        const size_t refsAt = typeListAt + be16(map, e + 6);
        if (!fits(refsAt, refCount * kRefEntrySize, map.size())) return bad;
        result.m_types.push_back(type);
        for (size_t r = 0; r < refCount; ++r) {
            const size_t ref = refsAt + r * kRefEntrySize;
            Entry entry;
            entry.type = type;
            entry.id = ResID(be16(map, ref));
            const uint16_t nameAt = be16(map, ref + 2);
            entry.attributes = map[ref + 4];
            const uint32_t at = be24(map, ref + 5);
            if (!fits(at, 4, data.size())) return bad;
            entry.size = be32(data, at);
            if (!fits(at + 4, entry.size, data.size())) return bad;
            entry.dataAt = dataAt + at + 4;
            if (nameAt != 0xFFFF) {
                if (!fits(nameAt, 1, names.size()) ||
                    !fits(nameAt + 1u, names[nameAt], names.size()))
                    return bad;
                entry.name.assign(reinterpret_cast<const char*>(names.data()) + nameAt + 1,
                                  names[nameAt]);
            }
            result.m_entries.push_back(std::move(entry));
        }
    }
    result.m_image.assign(image.begin(), image.end());
    *out = std::move(result);
    return noErr;
}

int ResourceFile::count(FourCC type) const {
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [type](const Entry& e) { return e.type == type; }));
}

int ResourceFile::countTypes() const {
    return int(m_types.size());
}

FourCC ResourceFile::typeAt(int index) const {
    return index >= 1 && size_t(index) <= m_types.size() ? m_types[size_t(index - 1)] : 0;
}

const ResourceFile::Entry* ResourceFile::find(FourCC type, ResID id) const {
    for (const Entry& e : m_entries)
        if (e.type == type && e.id == id) return &e;
    return nullptr;
}

const ResourceFile::Entry* ResourceFile::findIndexed(FourCC type, int index) const {
    if (index < 1) return nullptr;
    for (const Entry& e : m_entries)
        if (e.type == type && --index == 0) return &e;
    return nullptr;
}

namespace {

template <class E>
OSStatus viewOf(const std::vector<uint8_t>& image, const E* e, std::span<const uint8_t>* data) {
    if (!e) return kStatusResourceNotFound;
    *data = std::span<const uint8_t>(image).subspan(e->dataAt, e->size);
    return noErr;
}

}  // namespace

OSStatus ResourceFile::get(FourCC type, ResID id, std::span<const uint8_t>* data) const {
    if (!data) return kStatusParamError;
    return viewOf(m_image, find(type, id), data);
}

OSStatus ResourceFile::getIndexed(FourCC type, int index, std::span<const uint8_t>* data,
                                  ResID* id) const {
    if (!data) return kStatusParamError;
    const Entry* e = findIndexed(type, index);
    if (e && id) *id = e->id;
    return viewOf(m_image, e, data);
}

OSStatus ResourceFile::getNamed(FourCC type, std::string_view name, std::span<const uint8_t>* data,
                                ResID* id) const {
    if (!data) return kStatusParamError;
    for (const Entry& e : m_entries) {
        if (e.type == type && e.name == name) {
            if (id) *id = e.id;
            return viewOf(m_image, &e, data);
        }
    }
    return kStatusResourceNotFound;
}

OSStatus ResourceFile::detach(FourCC type, ResID id, std::vector<uint8_t>* out) const {
    if (!out) return kStatusParamError;
    std::span<const uint8_t> data;
    if (OSStatus err = get(type, id, &data)) return err;
    out->assign(data.begin(), data.end());
    return noErr;
}

OSStatus ResourceFile::name(FourCC type, ResID id, std::string* out) const {
    if (!out) return kStatusParamError;
    const Entry* e = find(type, id);
    if (!e) return kStatusResourceNotFound;
    *out = e->name;
    return noErr;
}

OSStatus buildResourceImage(std::span<const ResourceSpec> resources, std::vector<uint8_t>* out) {
    if (!out) return kStatusParamError;
    // Types in order of first appearance; resources of a type in list order.
    std::vector<FourCC> types;
    std::vector<std::vector<const ResourceSpec*>> byType;
    for (const ResourceSpec& r : resources) {
        if (r.name.size() > 255) return kStatusParamError;
        auto it = std::find(types.begin(), types.end(), r.type);
        if (it == types.end()) {
            types.push_back(r.type);
            byType.emplace_back();
            it = types.end() - 1;
        }
        auto& list = byType[size_t(it - types.begin())];
        for (const ResourceSpec* other : list)
            if (other->id == r.id) return kStatusParamError;
        list.push_back(&r);
    }
    if (types.size() > 0x10000) return kStatusParamError;

    std::vector<uint8_t> data;
    std::map<const ResourceSpec*, uint32_t> dataOffset;
    for (const ResourceSpec& r : resources) {
        if (data.size() > 0xFFFFFF || r.data.size() > 0xFFFFFFFFu - 4) return kStatusParamError;
        dataOffset[&r] = uint32_t(data.size());
        append32(data, uint32_t(r.data.size()));
        data.insert(data.end(), r.data.begin(), r.data.end());
    }

    std::vector<uint8_t> map(kMapFixedSize, 0);
    const size_t typeListAt = map.size();
    append16(map, uint16_t(types.size() - 1));  // 0xFFFF for an empty map
    map.resize(map.size() + types.size() * kTypeEntrySize);
    std::vector<uint8_t> names;
    for (size_t t = 0; t < types.size(); ++t) {
        const size_t e = typeListAt + 2 + t * kTypeEntrySize;
        const size_t refsAt = map.size() - typeListAt;
        if (refsAt > 0xFFFF || byType[t].size() > 0x10000) return kStatusParamError;
        put32(map, e, types[t]);
        put16(map, e + 4, uint16_t(byType[t].size() - 1));
        put16(map, e + 6, uint16_t(refsAt));
        for (const ResourceSpec* r : byType[t]) {
            append16(map, uint16_t(r->id));
            if (r->name.empty()) {
                append16(map, 0xFFFF);
            } else {
                if (names.size() >= 0xFFFF) return kStatusParamError;
                append16(map, uint16_t(names.size()));
                names.push_back(uint8_t(r->name.size()));
                names.insert(names.end(), r->name.begin(), r->name.end());
            }
            const uint32_t at = dataOffset[r];
            map.push_back(r->attributes);
            map.push_back(uint8_t(at >> 16));
            map.push_back(uint8_t(at >> 8));
            map.push_back(uint8_t(at));
            append32(map, 0);
        }
    }
    if (map.size() > 0xFFFF) return kStatusParamError;
    put16(map, 24, uint16_t(typeListAt));
    put16(map, 26, uint16_t(map.size()));
    map.insert(map.end(), names.begin(), names.end());

    std::vector<uint8_t> image(kDataStart, 0);
    const uint32_t mapAt = kDataStart + uint32_t(data.size());
    put32(image, 0, kDataStart);
    put32(image, 4, mapAt);
    put32(image, 8, uint32_t(data.size()));
    put32(image, 12, uint32_t(map.size()));
    std::copy(image.begin(), image.begin() + kHeaderSize, map.begin());
    image.insert(image.end(), data.begin(), data.end());
    image.insert(image.end(), map.begin(), map.end());
    *out = std::move(image);
    return noErr;
}

OSStatus parseStringList(std::span<const uint8_t> data, std::vector<std::string>* out) {
    if (!out) return kStatusParamError;
    if (data.size() < 2) return kStatusBadResourceMap;
    const size_t n = be16(data, 0);
    std::vector<std::string> items;
    size_t at = 2;
    for (size_t i = 0; i < n; ++i) {
        if (!fits(at, 1, data.size()) || !fits(at + 1, data[at], data.size()))
            return kStatusBadResourceMap;
        items.emplace_back(reinterpret_cast<const char*>(data.data()) + at + 1, data[at]);
        at += 1 + data[at];
    }
    if (at != data.size()) return kStatusBadResourceMap;
    *out = std::move(items);
    return noErr;
}

OSStatus getIndString(const ResourceFile& file, ResID listID, int index, std::string* out) {
    if (!out) return kStatusParamError;
    std::span<const uint8_t> data;
    if (OSStatus err = file.get(kResTypeStringList, listID, &data)) return err;
    std::vector<std::string> items;
    if (OSStatus err = parseStringList(data, &items)) return err;
    if (index < 1 || size_t(index) > items.size()) return kStatusResourceNotFound;
    *out = std::move(items[size_t(index - 1)]);
    return noErr;
}

OSStatus getIndStringUtf8(const ResourceFile& file, ResID listID, int index, std::string* out) {
    if (!out) return kStatusParamError;
    std::string mac;
    if (OSStatus err = getIndString(file, listID, index, &mac)) return err;
    *out = macRomanToUtf8(mac);
    return noErr;
}

