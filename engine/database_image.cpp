// The Palm database image: header, record list, memory records, and the
// read-out of any byte range, the spooled records assembled on demand.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "engine/big_endian.h"
#include "engine/record_layout.h"
#include "engine/spool_file.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

constexpr uint32_t kDatabaseHeaderBytes = 78;
constexpr uint32_t kRecordEntryBytes = 8;
constexpr uint32_t kPaddingBytes = 2;
constexpr size_t kNameField = 32;                  // 31 characters and a zero
constexpr uint32_t kPalmEpochOffset = 2082844800;  // seconds from 1904 to 1970
constexpr uint32_t kTypeMovie = 0x544D4F56;        // 'TMOV'
constexpr uint32_t kCreatorPlayer = 0x54564C41;    // 'TVLA'
constexpr uint8_t kRecordAttributes = 0x40;
constexpr uint32_t kUniqueIdBase = 0xA48000;
constexpr uint8_t kMovieEnd[4] = {0, 4, 'm', 'e'};
constexpr uint8_t kRecordEnd[4] = {0, 4, 'r', 'e'};

const SpoolMapEntry* mapEntries(const MovieWriter* w) {
    return reinterpret_cast<const SpoolMapEntry*>(BlockData(w->spoolMap));
}

uint32_t mapCount(const MovieWriter* w) {
    return BlockLength(w->spoolMap) / sizeof(SpoolMapEntry);
}

}  // namespace

int32_t writerBuildDatabase(MovieWriter* w) {
    const uint32_t memoryCount = static_cast<uint32_t>(w->memoryRecords.size());
    const uint64_t records = uint64_t{memoryCount} + static_cast<uint32_t>(w->spooledRecordCount);
    if (records > 0xFFFF) return kStatusParamError;  // the record count field is 16 bits
    uint64_t listEnd = kDatabaseHeaderBytes + kRecordEntryBytes * records + kPaddingBytes;
    uint64_t imageBytes = listEnd;
    for (BlockHandle record : w->memoryRecords) imageBytes += BlockLength(record);
    if (imageBytes > UINT32_MAX) return kStatusParamError;

    BlockHandle image = BlockNewCleared(static_cast<uint32_t>(imageBytes));
    if (!image) return kStatusOutOfMemory;
    std::span<uint8_t> out(BlockData(image), BlockLength(image));

    const std::string& name = *w->name;
    std::memcpy(out.data(), name.data(), std::min(name.size(), kNameField - 1));
    be::put16(out, 34, 1);  // version
    uint32_t now = static_cast<uint32_t>(std::time(nullptr)) + kPalmEpochOffset;
    be::put32(out, 36, now);
    be::put32(out, 40, now);
    be::put32(out, 60, kTypeMovie);
    be::put32(out, 64, kCreatorPlayer);
    be::put16(out, 76, static_cast<uint16_t>(records));

    uint64_t offset = listEnd;
    size_t entryAt = kDatabaseHeaderBytes;
    uint32_t index = 0;
    auto addEntry = [&](uint32_t length) {
        be::put32(out, entryAt, static_cast<uint32_t>(offset));
        be::put8(out, entryAt + 4, kRecordAttributes);
        uint32_t id = kUniqueIdBase + index++;
        be::put8(out, entryAt + 5, static_cast<uint8_t>(id >> 16));
        be::put16(out, entryAt + 6, static_cast<uint16_t>(id));
        entryAt += kRecordEntryBytes;
        offset += length;
    };
    for (BlockHandle record : w->memoryRecords) addEntry(BlockLength(record));

    // The read-out finds the first piece of a range through these starts
    // instead of walking the map from the beginning each time.
    const uint32_t mapSize = mapCount(w);
    try {
        w->spoolMapStarts.resize(mapSize);
    } catch (const std::bad_alloc&) {
        BlockFree(image);
        return kStatusOutOfMemory;
    }
    uint64_t spooled = 0, recordBytes = 0;
    for (uint32_t i = 0; i < mapSize; ++i) {
        const SpoolMapEntry& e = mapEntries(w)[i];
        w->spoolMapStarts[i] = static_cast<uint32_t>(imageBytes + spooled);
        spooled += e.byteCount;
        recordBytes += e.byteCount;
        if (e.kind == kSpoolMapRecordEnd) {
            addEntry(static_cast<uint32_t>(recordBytes));
            recordBytes = 0;
        }
    }
    if (imageBytes + spooled > UINT32_MAX) {
        BlockFree(image);
        return kStatusParamError;
    }

    size_t at = listEnd;
    for (BlockHandle& record : w->memoryRecords) {
        std::memcpy(out.data() + at, BlockData(record), BlockLength(record));
        at += BlockLength(record);
        BlockFree(record);
        record = nullptr;
    }
    w->memoryRecords.clear();
    BlockFree(w->image);
    w->image = image;
    w->spooledByteCount = static_cast<uint32_t>(spooled);
    return noErr;
}

uint32_t writerImageSize(const MovieWriter* w) {
    return BlockLength(w->image) + w->spooledByteCount;
}

int32_t writerReadImage(MovieWriter* w, uint8_t* destination, uint32_t offset, uint32_t count) {
    const uint32_t imageBytes = BlockLength(w->image);
    if (offset < imageBytes) {
        uint32_t n = std::min(count, imageBytes - offset);
        std::memcpy(destination, BlockData(w->image) + offset, n);
        destination += n;
        offset += n;
        count -= n;
    }
    if (count == 0) return noErr;
    // The last entry starting at or before the offset overlaps it.
    const auto& starts = w->spoolMapStarts;
    size_t i = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), offset) -
                                   starts.begin()) -
               1;
    const SpoolMapEntry* entries = mapEntries(w);
    for (; count > 0 && i < starts.size(); ++i) {
        const SpoolMapEntry& e = entries[i];
        uint32_t skip = offset - starts[i];
        uint32_t n = std::min(count, e.byteCount - skip);
        if (e.kind == kSpoolMapBytes) {
            if (int32_t status = SpoolRead(w, destination, n, e.spoolOffset + skip);
                status != noErr)
                return status;
        } else {
            std::memcpy(destination, (e.kind == kSpoolMapMovieEnd ? kMovieEnd : kRecordEnd) + skip,
                        n);
        }
        destination += n;
        offset += n;
        count -= n;
    }
    return count == 0 ? noErr : kStatusReadError;
}
