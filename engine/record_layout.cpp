// Finishing: completes the header, then lays the header and every spooled
// sample chunk into database records, interleaving video and sound so the
// handheld can play the records in order.
#include "engine/record_layout.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/big_endian.h"
#include "engine/chunk_append.h"
#include "engine/chunk_tags.h"
#include "engine/spool_file.h"
#include "engine/writer_record.h"
#include "platform/status.h"

namespace {

constexpr uint32_t kMarkerBytes = 4;  // "me", "re", "mb": length and tag only
constexpr uint32_t kRecordGrowth = 256;
constexpr uint16_t kShDurationCap = 65500;
constexpr uint32_t kIndexEntryBytes = 8;
constexpr uint32_t kEntriesPerIndexStep = 1000;

// Movie kinds patched into "mt".
constexpr uint16_t kKindEmpty = 0;
constexpr uint16_t kKindVideo = 1;
constexpr uint16_t kKindStill = 4;
constexpr uint16_t kKindSound = 5;
constexpr uint16_t kKindVideoAndSound = 6;

// Fixed palette entries of the colour modes: greys FF, CC, AA, 88, 66, 44, 22
// at 0..6 and black at 255, as Y with neutral chroma.
constexpr std::array<uint8_t, 7> kGreyLuma = {235, 191, 162, 133, 104, 74, 45};
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;

void appendMarker(BlockHandle& block, uint16_t tag) {
    appendChunkHeader(block, kMarkerBytes, tag);
}

struct StreamCursor {
    SampleIndexEntry* entries = nullptr;
    uint32_t count = 0;
    uint32_t next = 0;
    int64_t streamTime = 0;
    int64_t passTime = 0;
    bool done = false;
    bool remaining() const { return next < count; }
};

enum class StopRule { Reach, Closest };

struct Layout {
    MovieWriter* w;
    BlockHandle current;  // null once the layout has moved to the spool file
    uint32_t recordSize = 0;
    uint32_t totalSamples = 0;
    uint32_t placed = 0;
    int32_t status = noErr;
};

// Stores a finished record block; the array grows in steps of 256 records.
int32_t storeMemoryRecord(MovieWriter* w, BlockHandle record) {
    try {
        if (w->memoryRecords.size() == w->memoryRecords.capacity())
            w->memoryRecords.reserve(w->memoryRecords.size() + kRecordGrowth);
        w->memoryRecords.push_back(record);
    } catch (const std::bad_alloc&) {
        BlockFree(record);
        return kStatusOutOfMemory;
    }
    return noErr;
}

int32_t addSpoolMapEntry(MovieWriter* w, uint32_t kind, uint32_t offset, uint32_t count) {
    // Consecutive stretches of the spool file merge into one entry: same
    // bytes, a smaller map.
    uint32_t entries = BlockLength(w->spoolMap) / sizeof(SpoolMapEntry);
    if (kind == kSpoolMapBytes && entries > 0) {
        SpoolMapEntry* last =
            reinterpret_cast<SpoolMapEntry*>(BlockData(w->spoolMap)) + entries - 1;
        if (last->kind == kSpoolMapBytes && last->spoolOffset + last->byteCount == offset) {
            last->byteCount += count;
            return noErr;
        }
    }
    const SpoolMapEntry entry{kind, offset, count};
    BlockAppend(w->spoolMap, &entry, sizeof entry);
    return w->spoolMap ? noErr : kStatusOutOfMemory;
}

uint32_t recordsStored(const MovieWriter* w) {
    return static_cast<uint32_t>(w->memoryRecords.size()) +
           static_cast<uint32_t>(w->spooledRecordCount);
}

int32_t closeRecord(Layout& l) {
    MovieWriter* w = l.w;
    int32_t status;
    if (l.current) {
        appendMarker(l.current, kTagRecordEnd);
        if (!l.current) return kStatusOutOfMemory;
        status = storeMemoryRecord(w, l.current);
        l.current = nullptr;
    } else {
        status = addSpoolMapEntry(w, kSpoolMapRecordEnd, 0, kMarkerBytes);
        ++w->spooledRecordCount;
    }
    l.recordSize = 0;
    return status;
}

int32_t placeChunk(Layout& l, SampleIndexEntry& entry) {
    // Never split a chunk: close the record first if it would not fit. An
    // empty record takes any chunk, since a record of only "re" helps nobody.
    if (l.recordSize > 0 && l.recordSize + entry.chunkLength > kRecordChunkLimit) {
        if (int32_t status = closeRecord(l); status != noErr) return status;
    }
    MovieWriter* w = l.w;
    if (l.current) {
        BlockHandle chunk = nullptr;
        int32_t status = SpoolReadBlock(w, chunk, entry.chunkLength, entry.spoolOffset);
        if (status == noErr) BlockAppendBlock(l.current, chunk);
        BlockFree(chunk);
        if (status != noErr) return status;
        if (!l.current) return kStatusOutOfMemory;
    } else {
        int32_t status = addSpoolMapEntry(w, kSpoolMapBytes, entry.spoolOffset, entry.chunkLength);
        if (status != noErr) return status;
    }
    entry.recordNumber = static_cast<uint16_t>(recordsStored(w) + 1);
    entry.recordOffset = static_cast<uint16_t>(l.recordSize);
    l.recordSize += entry.chunkLength;
    return noErr;
}

bool closestStop(const StreamCursor& s, int64_t limit) {
    if (s.passTime > limit) return true;
    int64_t nextDuration = s.entries[s.next].duration;
    return std::llabs(s.passTime + nextDuration - limit) > std::llabs(limit - s.passTime);
}

// Among the participating streams with entries left, the one whose stream
// time is smallest; the later stream on equal times.
StreamCursor* pickNext(std::span<StreamCursor* const> streams) {
    StreamCursor* best = nullptr;
    for (StreamCursor* s : streams)
        if (s->remaining() && (!best || s->streamTime <= best->streamTime)) best = s;
    return best;
}

// One pass over `streams`; returns the smallest non-zero pass time.
int64_t runPass(Layout& l, std::span<StreamCursor* const> streams, int64_t limit, StopRule rule) {
    for (StreamCursor* s : streams) {
        s->passTime = 0;
        s->done = false;
    }
    StreamCursor* s = pickNext(streams);
    while (s) {
        SampleIndexEntry& entry = s->entries[s->next];
        if (l.status = placeChunk(l, entry); l.status != noErr) return 0;
        s->streamTime += entry.duration;
        s->passTime += entry.duration;
        ++s->next;
        ++l.placed;
        writerProgress(l.w, static_cast<int32_t>(std::min<uint64_t>(
                                100, uint64_t{l.placed} * 100 / l.totalSamples)));
        if (s->passTime >= limit) s->done = true;
        s = pickNext(streams);
        if (!s || s->done) break;
        if (rule == StopRule::Reach ? s->passTime >= limit : closestStop(*s, limit)) s->done = true;
        if (std::all_of(streams.begin(), streams.end(),
                        [](const StreamCursor* c) { return c->done; }))
            break;
    }
    int64_t smallest = 0;
    for (StreamCursor* c : streams)
        if (c->passTime > 0 && (smallest == 0 || c->passTime < smallest)) smallest = c->passTime;
    return smallest;
}

StreamCursor cursorOf(BlockHandle index) {
    StreamCursor c;
    c.entries = writerIndexEntries(index);
    c.count = writerIndexCount(index);
    return c;
}

int32_t layOutSamples(MovieWriter* w, BlockHandle header) {
    StreamCursor video = cursorOf(w->videoIndex);
    StreamCursor sound = cursorOf(w->soundIndex);
    Layout l{w, header};
    l.recordSize = BlockLength(header);
    l.totalSamples = video.count + sound.count;
    StreamCursor* const videoPass[] = {&video};
    StreamCursor* const soundPass[] = {&sound};

    if (w->hasSound) {
        w->preloadedFrames =
            static_cast<uint32_t>(runPass(l, soundPass, int64_t{w->audioPreload}, StopRule::Reach));
        if (l.status != noErr) return l.status;
    }
    const int64_t scale = w->audioInterleaveScale;
    const int64_t step = w->audioInterleaveStep;
    int64_t target = scale;
    int64_t carry = 0;
    while (l.placed < l.totalSamples) {
        bool adjusted = false;
        if (video.remaining()) {
            int64_t t = runPass(l, videoPass, step, StopRule::Closest);
            if (l.status != noErr) return l.status;
            if (t > step) {
                target = scale + (t - step) * int64_t{w->sampleRate} / 100 - carry;
                adjusted = true;
            }
        }
        if (target < 0) {
            target = scale;
            adjusted = false;
        }
        if (w->hasSound) {
            int64_t u = runPass(l, soundPass, target, StopRule::Reach);
            if (l.status != noErr) return l.status;
            if (adjusted) {
                carry = u - target;
            } else {
                carry += u - scale;
                target = scale - carry;
            }
        }
    }

    if (l.current) {
        appendMarker(l.current, kTagMovieEnd);
        appendMarker(l.current, kTagRecordEnd);
        if (!l.current) return kStatusOutOfMemory;
        return storeMemoryRecord(w, l.current);
    }
    int32_t status = addSpoolMapEntry(w, kSpoolMapMovieEnd, 0, kMarkerBytes);
    if (status == noErr) status = addSpoolMapEntry(w, kSpoolMapRecordEnd, 0, kMarkerBytes);
    ++w->spooledRecordCount;
    return status;
}

uint16_t movieKind(const MovieWriter* w) {
    if (w->hasVideo && w->hasSound) return kKindVideoAndSound;
    if (w->hasSound) return kKindSound;
    if (w->hasVideo) return w->frameCount == 1 ? kKindStill : kKindVideo;
    return kKindEmpty;
}

std::span<uint8_t> bytesOf(BlockHandle block) {
    return {BlockData(block), BlockLength(block)};
}

void patchDurations(std::span<uint8_t> header, int32_t shOffset, int32_t sxOffset,
                    uint32_t duration) {
    if (shOffset < 0) return;
    be::put16(header, shOffset + 8,
              static_cast<uint16_t>(std::min<uint32_t>(duration, kShDurationCap)));
    be::put32(header, sxOffset + 10, duration);
}

int32_t buildPalette(MovieWriter* w) {
    if (!w->hasVideo || w->paletteOffset < 0) return noErr;
    if (w->videoMode != kVideoModeColour8 && w->videoMode != kVideoModeCinepak &&
        w->videoMode != kVideoModeMpeg4)
        return noErr;
    uint8_t* palette = BlockData(w->header) + w->paletteOffset;
    std::memset(palette, 0, 768);
    for (size_t i = 0; i < kGreyLuma.size(); ++i) {
        palette[3 * i] = kGreyLuma[i];
        palette[3 * i + 1] = palette[3 * i + 2] = kNeutralChroma;
    }
    palette[3 * 255] = kBlackLuma;
    palette[3 * 255 + 1] = palette[3 * 255 + 2] = kNeutralChroma;
    return writerBuildPalette(w, palette, BlockData(w->header) + w->inverseMapOffset);
}

// The header as it is laid into records: the header block goes on in a new
// record whenever the next chunk would take it past the record limit with
// room left for "mb", the way the player reads picture items.
struct HeaderRecords {
    MovieWriter* w;
    BlockHandle current;  // the header block being filled
};

// Closes the current header record if `length` more bytes would not fit.
int32_t makeRoom(HeaderRecords& h, uint32_t length) {
    if (BlockLength(h.current) + kMarkerBytes + length < kRecordChunkLimit) return noErr;
    appendMarker(h.current, kTagRecordEnd);
    if (!h.current) return kStatusOutOfMemory;
    int32_t status = storeMemoryRecord(h.w, h.current);
    h.current = BlockNew(0);
    if (status != noErr) return status;
    return h.current ? noErr : kStatusOutOfMemory;
}

// Moves the chapter list, the last chunk of the header block built at
// start, into a record of its own when the two do not fit one.
int32_t placeChapterList(HeaderRecords& h) {
    const int32_t at = h.w->chapterListOffset;
    if (at < 0) return noErr;
    const uint32_t length = BlockLength(h.current) - static_cast<uint32_t>(at);
    if (static_cast<uint32_t>(at) + kMarkerBytes + length < kRecordChunkLimit) return noErr;
    BlockHandle list = BlockNewCopy(BlockData(h.current) + at, length);
    if (!list || !BlockResize(h.current, static_cast<uint32_t>(at))) {
        BlockFree(list);
        return kStatusOutOfMemory;
    }
    if (int32_t status = makeRoom(h, length); status != noErr) {
        BlockFree(list);
        return status;
    }
    BlockAppendBlock(h.current, list);
    BlockFree(list);
    return h.current ? noErr : kStatusOutOfMemory;
}

// A reserved seek index: the header record its entries sit in, where, and
// which entries it lists.
struct IndexReservation {
    size_t record = 0;     // index into the memory records
    int32_t offset = -1;   // payload offset, -1 when not reserved
    uint32_t step = 0;     // k: every k-th eligible entry
    uint32_t entries = 0;  // n
};

int32_t reserveIndex(HeaderRecords& h, uint16_t tag, uint32_t eligible, IndexReservation* out) {
    IndexReservation& r = *out;
    if (eligible == 0) return noErr;
    r.step = eligible / kEntriesPerIndexStep + 1;
    r.entries = eligible / r.step;
    if (r.entries == 0) return noErr;
    const uint32_t length = kChunkHeaderBytes + kIndexEntryBytes * r.entries;
    if (int32_t status = makeRoom(h, length); status != noErr) return status;
    appendChunkHeader(h.current, static_cast<uint16_t>(length), tag);
    r.record = h.w->memoryRecords.size();
    r.offset = static_cast<int32_t>(BlockLength(h.current));
    BlockGrow(h.current, kIndexEntryBytes * r.entries);
    if (!h.current) return kStatusOutOfMemory;
    std::memset(BlockData(h.current) + r.offset, 0, kIndexEntryBytes * r.entries);
    return noErr;
}

void fillIndex(const MovieWriter* w, const IndexReservation& r, BlockHandle index,
               bool keyFramesOnly) {
    if (r.offset < 0) return;
    std::span<uint8_t> record = bytesOf(w->memoryRecords[r.record]);
    const SampleIndexEntry* entries = writerIndexEntries(index);
    uint32_t count = writerIndexCount(index);
    uint32_t running = 0, eligible = 0, written = 0;
    for (uint32_t i = 0; i < count && written < r.entries; ++i) {
        const SampleIndexEntry& e = entries[i];
        bool take = !keyFramesOnly || (e.flags & kFrameFlagDifference) == 0;
        if (take && eligible++ % r.step == 0) {
            size_t at = static_cast<size_t>(r.offset) + kIndexEntryBytes * written++;
            be::put32(record, at, running);
            be::put16(record, at + 4, e.recordNumber);
            be::put16(record, at + 6, e.recordOffset);
        }
        running += e.duration;
    }
}

uint32_t keyFrameCount(BlockHandle index) {
    const SampleIndexEntry* entries = writerIndexEntries(index);
    uint32_t count = writerIndexCount(index), keys = 0;
    for (uint32_t i = 0; i < count; ++i)
        if ((entries[i].flags & kFrameFlagDifference) == 0) ++keys;
    return keys;
}

}  // namespace

int32_t writerFinishImage(MovieWriter* w) {
    BlockHandle header = w->header;
    be::put16(bytesOf(header), w->movieKindOffset + 4, movieKind(w));
    if (int32_t status = buildPalette(w); status != noErr) return status;
    patchDurations(bytesOf(header), w->videoShOffset, w->videoSxOffset, w->totalVideoDuration);
    if (w->hasSound) {
        double seconds = static_cast<double>(w->totalSampleFrames) * 100.0 / w->sampleRate + 0.5;
        patchDurations(bytesOf(header), w->soundShOffset, w->soundSxOffset,
                       static_cast<uint32_t>(seconds));
    }

    // From here the header block is a record in the making.
    HeaderRecords h{w, header};
    w->header = nullptr;
    IndexReservation videoIndex, soundIndex;
    int32_t status = placeChapterList(h);
    if (status == noErr)
        status = reserveIndex(h, kTagVideoIndex, keyFrameCount(w->videoIndex), &videoIndex);
    if (status == noErr)
        status = reserveIndex(h, kTagSoundIndex, writerIndexCount(w->soundIndex), &soundIndex);
    for (const PictureItem* item = w->pictureItems; item && status == noErr; item = item->next) {
        status = makeRoom(h, BlockLength(item->chunk));
        if (status == noErr) BlockAppendBlock(h.current, item->chunk);
        if (status == noErr && !h.current) status = kStatusOutOfMemory;
    }
    if (status == noErr) {
        appendMarker(h.current, kTagHeaderEnd);
        if (!h.current) status = kStatusOutOfMemory;
    }
    if (status != noErr) {
        BlockFree(h.current);
        return status;
    }
    header = h.current;
    w->headerEnd = BlockLength(header);

    if (writerIndexCount(w->videoIndex) == 0 && writerIndexCount(w->soundIndex) == 0) {
        appendMarker(header, kTagMovieEnd);
        if (!header) return kStatusOutOfMemory;
        status = storeMemoryRecord(w, header);
    } else {
        status = layOutSamples(w, header);
    }
    if (status != noErr) return status;

    // The first memory record is the first header block: "ah" is there.
    std::span<uint8_t> first = bytesOf(w->memoryRecords.front());
    if (w->hasSound && w->preloadedFrames > 0)
        be::put32(first, static_cast<size_t>(w->audioHeaderOffset) + 14, w->preloadedFrames);
    fillIndex(w, videoIndex, w->videoIndex, true);
    fillIndex(w, soundIndex, w->soundIndex, false);

    status = writerBuildDatabase(w);
    if (status != noErr) return status;
    writerProgress(w, 100);
    w->imageComplete = true;
    return noErr;
}
