#include "engine/tests/support/movie_check.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr uint32_t kRecordChunkLimit = 63998;

uint16_t rd16(std::span<const uint8_t> b, size_t at) {
    return at + 2 <= b.size() ? static_cast<uint16_t>(b[at] << 8 | b[at + 1]) : 0;
}
uint32_t rd32(std::span<const uint8_t> b, size_t at) {
    return at + 4 <= b.size() ? uint32_t{rd16(b, at)} << 16 | rd16(b, at + 2) : 0;
}
constexpr uint16_t tag(const char (&t)[3]) {
    return static_cast<uint16_t>(static_cast<uint8_t>(t[0]) << 8 | static_cast<uint8_t>(t[1]));
}
std::string tagText(uint16_t t) {
    auto printable = [](int c) { return c >= 32 && c < 127 ? static_cast<char>(c) : '?'; };
    return {printable(t >> 8), printable(t & 0xFF)};
}

struct Checker {
    std::span<const uint8_t> db;
    MovieCheckResult r;
    std::vector<uint32_t> recordStarts;
    bool lastEndsWithRecordEnd = false;

    template <typename... A>
    void fail(const char* format, A... args) {
        char text[256];
        std::snprintf(text, sizeof text, format, args...);
        r.errors.emplace_back(text);
    }

    std::span<const uint8_t> chunkBytes(const MovieCheckChunk& c) const {
        return db.subspan(recordStarts[c.record] + c.offset, c.length);
    }

    bool databaseHeader() {
        if (db.size() < 80) {
            fail("database of %zu bytes is shorter than its header", db.size());
            return false;
        }
        size_t nameLength = 0;
        while (nameLength < 32 && db[nameLength] != 0) ++nameLength;
        if (nameLength == 32) fail("name is not zero-terminated within 32 bytes");
        r.name.assign(reinterpret_cast<const char*>(db.data()), std::min<size_t>(nameLength, 31));
        for (size_t i = nameLength; i < 32; ++i)
            if (db[i] != 0) fail("name field byte %zu after the terminator is not zero", i);
        if (rd16(db, 32) != 0) fail("attributes %u, expected 0", rd16(db, 32));
        if (rd16(db, 34) != 1) fail("version %u, expected 1", rd16(db, 34));
        if (rd32(db, 36) != rd32(db, 40)) fail("creation and modification dates differ");
        for (size_t at : {44u, 48u, 52u, 56u, 68u, 72u})
            if (rd32(db, at) != 0) fail("header field at %zu is not zero", at);
        if (rd32(db, 60) != 0x544D4F56 || rd32(db, 64) != 0x54564C41)
            fail("type/creator are not TMOV/TVLA");
        uint32_t n = rd16(db, 76);
        size_t listEnd = 78 + size_t{8} * n;
        if (db.size() < listEnd + 2) {
            fail("record list of %u entries does not fit", n);
            return false;
        }
        if (db[listEnd] != 0 || db[listEnd + 1] != 0)
            fail("padding after the record list is not zero");
        for (uint32_t i = 0; i < n; ++i) {
            size_t at = 78 + size_t{8} * i;
            uint32_t start = rd32(db, at);
            uint32_t id = uint32_t{db[at + 5]} << 16 | rd16(db, at + 6);
            if (db[at + 4] != 0x40) fail("record %u attributes 0x%02X", i, db[at + 4]);
            if (id != 0xA48000 + i) fail("record %u unique id 0x%06X", i, id);
            // Records tile the data: the first follows the list, each later
            // one ends where the next starts (the chunk walk checks that the
            // boundaries fall between chunks).
            if (i == 0 && start != listEnd + 2)
                fail("record 0 starts at %u, expected %zu", start, listEnd + 2);
            if (i > 0 && start < recordStarts.back())
                fail("record %u starts at %u, before record %u", i, start, i - 1);
            if (start > db.size()) {
                fail("record %u starts beyond the end", i);
                return false;
            }
            if (i > 0) r.recordSizes.back() = start - recordStarts.back();
            recordStarts.push_back(start);
            r.recordSizes.push_back(static_cast<uint32_t>(db.size() - start));
        }
        if (n == 0) fail("database has no records");
        return n > 0;
    }

    // Every record is a whole number of chunks; "re" ends each one except a
    // last record that ends the movie with "me".
    void records() {
        bool sawMovieEnd = false;
        for (uint32_t i = 0; i < recordStarts.size(); ++i) {
            auto rec = db.subspan(recordStarts[i], r.recordSizes[i]);
            uint32_t at = 0, beforeEnd = 0, contentChunks = 0;
            uint16_t last = 0;
            bool recordEnded = false;
            while (at < rec.size()) {
                uint16_t length = rd16(rec, at);
                uint16_t t = rd16(rec, at + 2);
                if (length < 4 || at + length > rec.size()) {
                    fail("record %u: chunk at %u of length %u crosses the record end", i, at,
                         length);
                    return;
                }
                if (recordEnded) fail("record %u: chunk '%s' after \"re\"", i, tagText(t).c_str());
                if (sawMovieEnd && t != tag("re"))
                    fail("record %u: chunk '%s' after \"me\"", i, tagText(t).c_str());
                if (t == tag("re")) {
                    if (length != 4) fail("record %u: \"re\" of length %u", i, length);
                    recordEnded = true;
                } else {
                    if (t == tag("me")) {
                        if (length != 4) fail("record %u: \"me\" of length %u", i, length);
                        sawMovieEnd = true;
                    } else if (t != tag("mb")) {
                        beforeEnd = at + length;
                        ++contentChunks;
                    }
                    r.chunks.push_back({t, i, at, length});
                }
                last = t;
                at += length;
            }
            bool lastRecord = i + 1 == recordStarts.size();
            if (!lastRecord && last != tag("re")) fail("record %u does not end with \"re\"", i);
            if (lastRecord && !sawMovieEnd) fail("the last record has no \"me\"");
            if (lastRecord) lastEndsWithRecordEnd = last == tag("re");
            // A record holds at most the limit before its markers ("mb", "me",
            // "re"), unless a single chunk is larger on its own.
            if (beforeEnd > kRecordChunkLimit && contentChunks > 1)
                fail("record %u carries %u bytes of chunks, above %u", i, beforeEnd,
                     kRecordChunkLimit);
        }
    }

    void stream() {
        const auto& c = r.chunks;
        size_t i = 0;
        if (c.empty() || c[0].tag != tag("mv")) {
            fail("stream does not start with \"mv\"");
            return;
        }
        std::map<uint16_t, const MovieCheckChunk*> sh, sx;
        const MovieCheckChunk *mt = nullptr, *ah = nullptr, *pt = nullptr, *at = nullptr;
        for (; i < c.size() && c[i].tag != tag("mb"); ++i) {
            auto b = chunkBytes(c[i]);
            switch (c[i].tag) {
                case tag("mt"):
                    mt = &c[i];
                    break;
                case tag("sh"):
                    sh[rd16(b, 4)] = &c[i];
                    break;
                case tag("sx"):
                    sx[rd16(b, 4)] = &c[i];
                    break;
                case tag("ah"):
                    ah = &c[i];
                    break;
                case tag("pt"):
                    pt = &c[i];
                    break;
                case tag("at"):
                    at = &c[i];
                    break;
                case tag("rf"):
                case tag("au"):
                case tag("me"):
                    fail("sample chunk '%s' inside the header", tagText(c[i].tag).c_str());
                    break;
                default:
                    break;
            }
        }
        if (i == c.size()) {
            fail("no \"mb\" ends the header");
            return;
        }
        if (!mt) fail("no \"mt\" chunk");
        std::vector<size_t> frames, sounds;
        uint64_t soundBeforeFirstFrame = 0;
        for (++i; i < c.size(); ++i) {
            auto b = chunkBytes(c[i]);
            if (c[i].tag == tag("rf")) {
                if (c[i].length < 8 || c[i].length % 2)
                    fail("frame chunk of length %u", c[i].length);
                bool difference = b[5] & 0x04;
                if (!difference) ++r.keyFrames;
                r.videoDuration += rd16(b, 6);
                frames.push_back(i);
            } else if (c[i].tag == tag("au")) {
                if (c[i].length < 16 || c[i].length % 2)
                    fail("sound chunk of length %u", c[i].length);
                if (rd32(b, 8) != r.soundFrames)
                    fail("sound chunk %zu starts at frame %u, expected %llu", sounds.size(),
                         rd32(b, 8), static_cast<unsigned long long>(r.soundFrames));
                r.soundFrames += rd32(b, 4);
                if (frames.empty()) soundBeforeFirstFrame += rd32(b, 4);
                sounds.push_back(i);
            } else if (c[i].tag != tag("me")) {
                fail("chunk '%s' among the samples", tagText(c[i].tag).c_str());
            }
        }
        // Only a movie without samples may end on "me" alone.
        if ((!frames.empty() || !sounds.empty()) && !lastEndsWithRecordEnd)
            fail("the last record of a movie with samples does not end with \"re\"");
        r.frames = static_cast<uint32_t>(frames.size());
        r.soundChunks = static_cast<uint32_t>(sounds.size());

        if (mt) {
            r.movieKind = rd16(chunkBytes(*mt), 4);
            bool video = sh.count(tag("fr")), sound = sh.count(tag("au"));
            uint16_t expected = video && sound ? 6
                                : sound        ? 5
                                : video        ? (r.frames == 1 ? 4 : 1)
                                               : 0;
            if (r.movieKind != expected) fail("movie kind %u, expected %u", r.movieKind, expected);
        }
        auto durations = [&](uint16_t stream, uint64_t total, const char* what) {
            if (!sh.count(stream) || !sx.count(stream)) {
                if (sh.count(stream) != sx.count(stream))
                    fail("%s stream lacks \"sh\" or \"sx\"", what);
                return;
            }
            uint16_t shortForm = rd16(chunkBytes(*sh[stream]), 8);
            uint32_t longForm = rd32(chunkBytes(*sx[stream]), 10);
            if (longForm != total)
                fail("%s \"sx\" duration %u, stream holds %llu", what, longForm,
                     static_cast<unsigned long long>(total));
            if (shortForm != std::min<uint64_t>(total, 65500))
                fail("%s \"sh\" duration %u for %llu", what, shortForm,
                     static_cast<unsigned long long>(total));
        };
        durations(tag("fr"), r.videoDuration, "video");
        if (ah) {
            auto b = chunkBytes(*ah);
            r.sampleRate = rd32(b, 10);
            r.preload = rd32(b, 14);
            if (r.sampleRate == 0)
                fail("\"ah\" sample rate 0");
            else
                durations(tag("au"),
                          static_cast<uint64_t>(r.soundFrames * 100.0 / r.sampleRate + 0.5),
                          "sound");
            if (!frames.empty() && soundBeforeFirstFrame > 0 && r.preload != soundBeforeFirstFrame)
                fail("\"ah\" preload %u, but %llu frames precede the first frame", r.preload,
                     static_cast<unsigned long long>(soundBeforeFirstFrame));
        } else if (sh.count(tag("au"))) {
            fail("sound stream without \"ah\"");
        }
        r.videoIndexEntries = seekIndex(pt, frames, true, "video");
        r.soundIndexEntries = seekIndex(at, sounds, false, "sound");
    }

    // Entries must list every k-th eligible sample with its running time.
    uint32_t seekIndex(const MovieCheckChunk* index, const std::vector<size_t>& samples,
                       bool keysOnly, const char* what) {
        std::vector<size_t> eligible;
        std::vector<uint64_t> times;
        uint64_t running = 0;
        for (size_t s : samples) {
            auto b = chunkBytes(r.chunks[s]);
            bool key = !(b[5] & 0x04);
            if (!keysOnly || key) {
                eligible.push_back(s);
                times.push_back(running);
            }
            running += keysOnly ? rd16(b, 6) : rd32(b, 4);
        }
        size_t k = eligible.size() / 1000 + 1, n = eligible.size() / k;
        if (!index) {
            if (n > 0) fail("%s index missing for %zu eligible samples", what, eligible.size());
            return 0;
        }
        uint32_t entries = (index->length - 4) / 8;
        if (index->length != 4 + 8 * n || entries != n)
            fail("%s index has %u entries, expected %zu", what, entries, n);
        auto b = chunkBytes(*index);
        for (uint32_t e = 0; e < std::min<size_t>(entries, n); ++e) {
            const MovieCheckChunk& target = r.chunks[eligible[e * k]];
            uint32_t time = rd32(b, 4 + 8 * e);
            uint16_t record = rd16(b, 8 + 8 * e), offset = rd16(b, 10 + 8 * e);
            if (time != times[e * k])
                fail("%s index entry %u time %u, expected %llu", what, e, time,
                     static_cast<unsigned long long>(times[e * k]));
            if (record != target.record + 1 || offset != target.offset)
                fail("%s index entry %u points at %u/%u, sample is at %u/%u", what, e, record,
                     offset, target.record + 1, target.offset);
        }
        return entries;
    }
};

}  // namespace

std::string MovieCheckResult::report() const {
    std::string text;
    for (const std::string& e : errors) text += e + "\n";
    return text;
}

MovieCheckResult checkMovieDatabase(std::span<const uint8_t> database) {
    Checker c{database, {}, {}};
    if (c.databaseHeader()) {
        c.records();
        if (c.r.errors.empty()) c.stream();
    }
    return c.r;
}
