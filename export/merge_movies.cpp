#include "export/merge_movies.h"

#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "platform/data_handler.h"

namespace {

constexpr size_t kHeaderBytes = 78;
constexpr size_t kEntryBytes = 8;
constexpr size_t kNameBytes = 32;
constexpr size_t kSlotBytes = 2 + kNameBytes;
constexpr uint32_t kPalmEpochOffset = 2082844800u;  // 1904 to 1970

uint32_t get32(std::span<const uint8_t> b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, v >> 16);
    put16(b, at + 2, v & 0xFFFF);
}

struct Input {
    std::vector<uint8_t> bytes;
    std::vector<std::span<const uint8_t>> records;
    std::vector<uint8_t> attributes;
};

OSStatus readInput(const FileSpec& spec, Input* in) {
    DataReference ref;
    OSStatus err = NewAliasDataReference(spec, &ref);
    DataHandler dh = nullptr;
    if (err == noErr) err = DataHandlerOpen(ref, &dh);
    if (err == noErr) err = DataHandlerOpenForRead(dh);
    int64_t size = 0;
    if (err == noErr) err = DataHandlerGetFileSize(dh, &size);
    if (err == noErr && (size < int64_t(kHeaderBytes) || size > (int64_t(1) << 30)))
        err = kStatusParamError;
    if (err == noErr) {
        in->bytes.resize(size_t(size));
        err = DataHandlerRead(dh, 0, in->bytes);
    }
    DataHandlerClose(dh);
    if (err != noErr) return err;
    const std::span<const uint8_t> b = in->bytes;
    const size_t n = (size_t(b[76]) << 8) | b[77];
    if (kHeaderBytes + n * kEntryBytes > b.size()) return kStatusParamError;
    for (size_t i = 0; i < n; ++i) {
        const size_t e = kHeaderBytes + i * kEntryBytes;
        const size_t start = get32(b, e);
        const size_t end = i + 1 < n ? get32(b, e + kEntryBytes) : b.size();
        if (start < kHeaderBytes + n * kEntryBytes || end < start || end > b.size())
            return kStatusParamError;
        in->records.push_back(b.subspan(start, end - start));
        in->attributes.push_back(b[e + 4]);
    }
    return noErr;
}

}  // namespace

OSStatus mergeMovieDatabases(const MovieExportMergeParams& p) {
    if (p.name == nullptr || std::strlen(p.name) > 31 || p.count < 1 || p.count > 1000 ||
        p.inputs == nullptr || p.output == nullptr)
        return kStatusParamError;
    std::vector<Input> inputs(size_t(p.count));
    size_t total = 1;
    for (int32_t i = 0; i < p.count; ++i) {
        if (OSStatus err = readInput(p.inputs[i], &inputs[size_t(i)]); err != noErr) return err;
        total += inputs[size_t(i)].records.size();
    }
    if (total > 0xFFFF) return kStatusParamError;

    // The directory: the count, an empty slot, then each input's first
    // record (the directory itself is record 0) and its database name.
    std::vector<uint8_t> directory(2 + kSlotBytes * size_t(p.count + 1), 0);
    put16(directory, 0, uint32_t(p.count + 1));
    uint32_t first = 1;
    for (int32_t i = 0; i < p.count; ++i) {
        const size_t slot = 2 + kSlotBytes * size_t(i + 1);
        put16(directory, slot, first);
        std::memcpy(&directory[slot + 2], inputs[size_t(i)].bytes.data(), kNameBytes);
        directory[slot + 2 + kNameBytes - 1] = 0;
        first += uint32_t(inputs[size_t(i)].records.size());
    }

    const size_t listEnd = kHeaderBytes + total * kEntryBytes + 2;
    std::vector<uint8_t> out(listEnd, 0);
    std::strncpy(reinterpret_cast<char*>(out.data()), p.name, kNameBytes - 1);
    put16(out, 34, 1);  // version
    const uint32_t now = uint32_t(std::time(nullptr)) + kPalmEpochOffset;
    put32(out, 36, now);
    put32(out, 40, now);
    put32(out, 60, kMergedDatabaseType);
    put32(out, 64, kMergedDatabaseCreator);
    put32(out, 68, uint32_t(total));  // unique ID seed
    put16(out, 76, uint32_t(total));
    size_t index = 0;
    auto addRecord = [&](std::span<const uint8_t> data, uint8_t attributes) {
        const size_t e = kHeaderBytes + index * kEntryBytes;
        put32(out, e, uint32_t(out.size()));
        out[e + 4] = attributes;
        const uint32_t id = uint32_t(index + 1);
        out[e + 5] = uint8_t(id >> 16);
        out[e + 6] = uint8_t(id >> 8);
        out[e + 7] = uint8_t(id);
        out.insert(out.end(), data.begin(), data.end());
        ++index;
    };
    addRecord(directory, 0);
    for (const Input& in : inputs)
        for (size_t r = 0; r < in.records.size(); ++r) addRecord(in.records[r], in.attributes[r]);

    DataReference ref;
    OSStatus err = NewAliasDataReference(*p.output, &ref);
    DataHandler dh = nullptr;
    if (err == noErr) err = DataHandlerOpen(ref, &dh);
    if (err == noErr) err = DataHandlerCreateFile(dh, 0x52657231 /* 'Rer1' */, false);
    if (err == noErr) err = DataHandlerSetFileType(dh, 0x446F7230 /* 'Dor0' */);
    if (err == noErr) err = DataHandlerOpenForWrite(dh);
    if (err == noErr) err = DataHandlerWrite(dh, 0, out);
    DataHandlerClose(dh);
    return err;
}
