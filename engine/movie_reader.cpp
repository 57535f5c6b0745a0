#include "engine/movie_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/mac_roman.h"

namespace movie {
namespace {

uint16_t be16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}
uint32_t be32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

std::string format(const char* fmt, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

constexpr uint32_t fourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// Where each header chunk may stand; a header lists its chunks in rising rank.
struct HeaderRule {
    const char* tag;
    int rank;
    int length;  // fixed chunk length, 0 when variable
};
constexpr std::array kHeaderRules = {
    HeaderRule{"mv", 0, 10}, HeaderRule{"mt", 1, 6},    HeaderRule{"sh", 2, 10},
    HeaderRule{"sx", 2, 14}, HeaderRule{"ah", 4, 18},   HeaderRule{"ax", 5, 8},
    HeaderRule{"an", 6, 6},  HeaderRule{"md", 7, 0},    HeaderRule{"mr", 8, 12},
    HeaderRule{"cv", 9, 6},  HeaderRule{"bc", 10, 8},   HeaderRule{"fs", 11, 6},
    HeaderRule{"bt", 12, 4}, HeaderRule{"py", 13, 772}, HeaderRule{"ic", 14, 8196},
    HeaderRule{"cl", 15, 0}, HeaderRule{"pt", 16, 0},   HeaderRule{"at", 17, 0},
    HeaderRule{"bi", 18, 0}, HeaderRule{"mb", 19, 4},
};

const HeaderRule* headerRule(const std::string& tag) {
    for (const HeaderRule& r : kHeaderRules)
        if (tag == r.tag) return &r;
    return nullptr;
}

class Reader {
public:
    explicit Reader(Movie& m) : m_(m) {}

    bool readDatabase(std::string& error);
    void readChunks();
    void readHeader();
    void readSamples();
    void checkStreams();

private:
    void violation(std::string text) { m_.violations.push_back(std::move(text)); }
    void readIndex(const Chunk& c, std::vector<IndexEntry>& out);
    void readChapters(const Chunk& c);
    void readPicture(const Chunk& c);
    template <typename Sample>
    void checkIndex(const char* what, const std::vector<IndexEntry>& index, bool present,
                    const std::vector<const Sample*>& eligible, const std::vector<uint32_t>& times);

    Movie& m_;
    size_t headerEnd_ = 0;  // index of the first chunk after "mb"
    bool sawMb_ = false;
};

bool Reader::readDatabase(std::string& error) {
    std::span<const uint8_t> b(m_.bytes);
    if (b.size() < 80) {
        error = format("file of %zu bytes is too short for a database header", b.size());
        return false;
    }
    DbHeader& h = m_.db;
    size_t nameEnd = 0;
    while (nameEnd < 32 && b[nameEnd]) ++nameEnd;
    h.name = macRomanToUtf8({reinterpret_cast<const char*>(b.data()), nameEnd});
    if (nameEnd == 32) violation("database name is not zero-terminated within 32 bytes");
    for (size_t i = nameEnd; i < 32; ++i)
        if (b[i]) {
            violation("database name field is not zero after its terminator");
            break;
        }
    h.attributes = be16(b, 32);
    h.version = be16(b, 34);
    h.created = be32(b, 36);
    h.modified = be32(b, 40);
    h.backedUp = be32(b, 44);
    h.modificationNumber = be32(b, 48);
    h.appInfo = be32(b, 52);
    h.sortInfo = be32(b, 56);
    h.type = be32(b, 60);
    h.creator = be32(b, 64);
    h.uniqueIdSeed = be32(b, 68);
    h.nextList = be32(b, 72);
    h.recordCount = be16(b, 76);

    const size_t listEnd = 78 + size_t(h.recordCount) * 8;
    if (listEnd + 2 > b.size()) {
        error = format("record list of %u records does not fit in the file", h.recordCount);
        return false;
    }
    if (h.recordCount == 0) {
        error = "database has no records";
        return false;
    }
    for (uint32_t i = 0; i < h.recordCount; ++i) {
        DbRecord r;
        r.offset = be32(b, 78 + i * 8);
        r.attributes = b[78 + i * 8 + 4];
        r.uniqueId = uint32_t(b[78 + i * 8 + 5]) << 16 | be16(b, 78 + i * 8 + 6);
        m_.records.push_back(r);
    }
    for (uint32_t i = 0; i < h.recordCount; ++i) {
        DbRecord& r = m_.records[i];
        const uint64_t end = i + 1 < h.recordCount ? m_.records[i + 1].offset : b.size();
        if (r.offset > b.size() || end > b.size() || end < r.offset) {
            error = format("record %u: offset %u is outside the file or out of order", i + 1,
                           r.offset);
            return false;
        }
        r.size = static_cast<uint32_t>(end - r.offset);
    }

    if (h.type != fourCC("TMOV")) violation("database type is '" + fourCharText(h.type) + "', not 'TMOV'");
    if (h.creator != fourCC("TVLA"))
        violation("database creator is '" + fourCharText(h.creator) + "', not 'TVLA'");
    if (h.version != 1) violation(format("database version is %u, not 1", h.version));
    if (h.attributes != 0) violation(format("database attributes are 0x%04X, not 0", h.attributes));
    if (h.created != h.modified) violation("creation and modification dates differ");
    if (h.backedUp || h.modificationNumber || h.appInfo || h.sortInfo || h.uniqueIdSeed ||
        h.nextList)
        violation("database header fields that must be 0 are not");
    if (b[listEnd] || b[listEnd + 1]) violation("the two padding bytes after the record list are not 0");
    if (m_.records[0].offset != listEnd + 2)
        violation(format("record 1 starts at %u, not right after the record list at %zu",
                         m_.records[0].offset, listEnd + 2));
    for (uint32_t i = 0; i < h.recordCount; ++i) {
        const DbRecord& r = m_.records[i];
        if (r.attributes != 0x40)
            violation(format("record %u: attributes 0x%02X, not 0x40", i + 1, r.attributes));
        if (r.uniqueId != 0xA48000 + i)
            violation(format("record %u: unique ID 0x%06X, not 0x%06X", i + 1, r.uniqueId,
                             0xA48000 + i));
    }
    return true;
}

void Reader::readChunks() {
    std::span<const uint8_t> b(m_.bytes);
    const uint32_t count = static_cast<uint32_t>(m_.records.size());
    for (uint32_t i = 0; i < count; ++i) {
        const DbRecord& r = m_.records[i];
        const bool last = i + 1 == count;
        uint32_t at = 0;
        uint32_t endBytes = 0;  // "me" in this record
        bool ended = false;  // saw "re"
        while (at < r.size) {
            if (ended) {
                violation(format("record %u: %u bytes follow its \"re\" chunk", i + 1, r.size - at));
                break;
            }
            if (r.size - at < 4) {
                violation(format("record %u: %u stray bytes at its end", i + 1, r.size - at));
                break;
            }
            const uint32_t fileAt = r.offset + at;
            const uint16_t len = be16(b, fileAt);
            if (len < 4) {
                violation(format("record %u offset %u: chunk length %u is below 4", i + 1, at, len));
                break;
            }
            if (len > r.size - at) {
                violation(format("record %u offset %u: chunk \"%c%c\" of %u bytes crosses the record end",
                                 i + 1, at, b[fileAt + 2], b[fileAt + 3], len));
                break;
            }
            Chunk c;
            c.record = i + 1;
            c.offsetInRecord = at;
            c.fileOffset = fileAt;
            c.length = len;
            c.tag.assign(reinterpret_cast<const char*>(&b[fileAt + 2]), 2);
            c.payload = b.subspan(fileAt + 4, len - 4);
            // The movie's closing "me" is appended after the last sample
            // without a size check, so it may stand beyond the limit as "re" does.
            if (c.tag == "me") endBytes = len;
            if (c.tag == "re") {
                if (len != 4) violation(format("record %u: \"re\" chunk of %u bytes", i + 1, len));
                if (at > kMaxRecordChunkBytes + endBytes)
                    violation(format("record %u holds %u bytes of chunks, more than %u", i + 1, at,
                                     kMaxRecordChunkBytes));
                ended = true;
            }
            m_.chunks.push_back(c);
            at += len;
        }
        if (!ended && !last) violation(format("record %u does not end with \"re\"", i + 1));
        if (!ended && last && at > kMaxRecordChunkBytes + endBytes)
            violation(format("record %u holds %u bytes of chunks, more than %u", i + 1, at,
                             kMaxRecordChunkBytes));
    }
}

void Reader::readIndex(const Chunk& c, std::vector<IndexEntry>& out) {
    if (c.payload.size() % 8) {
        violation(format("\"%s\" chunk of %u bytes is not 4 + 8 per entry", c.tag.c_str(), c.length));
        return;
    }
    for (size_t at = 0; at + 8 <= c.payload.size(); at += 8)
        out.push_back({be32(c.payload, at), be16(c.payload, at + 4), be16(c.payload, at + 6)});
}

void Reader::readChapters(const Chunk& c) {
    std::span<const uint8_t> p = c.payload;
    if (p.size() < 2) {
        violation("\"cl\" chunk too short for its count");
        return;
    }
    const uint16_t count = be16(p, 0);
    size_t at = 2;
    for (uint16_t i = 0; i < count; ++i) {
        if (at + 4 > p.size()) {
            violation(format("\"cl\" chunk ends inside chapter %u", i + 1));
            return;
        }
        Chapter ch;
        ch.time = be32(p, at);
        at += 4;
        size_t end = at;
        while (end < p.size() && p[end]) ++end;
        if (end + 2 > p.size()) {
            violation(format("\"cl\" chunk: chapter %u title is not terminated", i + 1));
            return;
        }
        const size_t length = end - at;
        ch.title = macRomanToUtf8({reinterpret_cast<const char*>(&p[at]), length});
        if (p[end + 1]) violation(format("\"cl\" chunk: chapter %u lacks its second zero byte", i + 1));
        at = end + 2 + (length & 1);
        m_.header.chapters.push_back(std::move(ch));
    }
    if (at != p.size())
        violation(format("\"cl\" chunk: %zu bytes after its %u chapters", p.size() - at, count));
}

void Reader::readPicture(const Chunk& c) {
    std::span<const uint8_t> p = c.payload;
    PictureItem item;
    if (p.size() < 22 || be16(p, 0) != 22 || p[2] != 'h' || p[3] != 'o') {
        violation("\"bi\" chunk does not start with a 22-byte \"ho\" chunk");
        return;
    }
    for (int i = 0; i < 4; ++i) item.values[i] = be32(p, 4 + i * 4);
    item.value16 = be16(p, 20);
    size_t at = 22;
    while (at < p.size()) {
        if (p.size() - at < 4) {
            violation("\"bi\" chunk: stray bytes after its inner chunks");
            return;
        }
        const uint16_t len = be16(p, at);
        if (len < 4 || len > p.size() - at) {
            violation("\"bi\" chunk: an inner chunk crosses its end");
            return;
        }
        const bool px = p[at + 2] == 'p' && p[at + 3] == 'x' && at + len == p.size();
        if (px) {
            item.pictureBytes = len - 4u;
        } else if (item.nestedTag.empty()) {
            item.nestedTag.assign(reinterpret_cast<const char*>(&p[at + 2]), 2);
        } else {
            violation("\"bi\" chunk: more than one nested chunk");
        }
        at += len;
    }
    // An item without picture data has no "px" chunk.
    m_.header.pictures.push_back(item);
}

void Reader::readHeader() {
    MovieHeader& h = m_.header;
    int lastRank = -1;
    std::string lastTag;
    int streamPairs = 0;  // "sh"/"sx" pairs seen
    bool mdSeen = false;
    size_t i = 0;
    for (; i < m_.chunks.size(); ++i) {
        const Chunk& c = m_.chunks[i];
        if (c.tag == "re") continue;
        const HeaderRule* rule = headerRule(c.tag);
        if (!rule) {
            violation(format("header: unexpected chunk \"%s\" before \"mb\"", c.tag.c_str()));
            if (c.tag == "rf" || c.tag == "au" || c.tag == "me") break;
            continue;
        }
        int rank = rule->rank;
        if ((c.tag == "sh" || c.tag == "sx") && c.payload.size() >= 2 &&
            c.payload[0] == 'a' && c.payload[1] == 'u')
            rank = 3;
        const bool repeatable = c.tag == "bi" || c.tag == "sh" || c.tag == "sx";
        if (rank < lastRank || (rank == lastRank && !repeatable && c.tag == lastTag))
            violation(format("header: \"%s\" out of order after \"%s\"", c.tag.c_str(), lastTag.c_str()));
        lastRank = rank;
        lastTag = c.tag;
        if (rule->length && c.length != rule->length) {
            violation(format("header: \"%s\" chunk of %u bytes, not %d", c.tag.c_str(), c.length,
                             rule->length));
            if (c.length < rule->length) continue;
        }
        std::span<const uint8_t> p = c.payload;
        if (c.tag == "mv") {
            const uint16_t w = be16(p, 0), hgt = be16(p, 2);
            h.hasFrameSize = p[4] == 0;
            h.width = w;
            h.height = hgt;
            h.depthClass = p[5];
            if (p[4] > 1) violation(format("\"mv\": size kind byte %u is neither 0 nor 1", p[4]));
            if (h.hasFrameSize && (w % 4 || hgt % 4))
                violation(format("\"mv\": frame size %ux%u is not a multiple of 4", w, hgt));
            static constexpr uint8_t kClasses[] = {0, 1, 2, 4, 8, 16};
            if (std::find(std::begin(kClasses), std::end(kClasses), h.depthClass) == std::end(kClasses))
                violation(format("\"mv\": depth class %u is not one the player knows", h.depthClass));
        } else if (c.tag == "mt") {
            h.movieKind = be16(p, 0);
        } else if (c.tag == "sh") {
            const bool au = p[0] == 'a' && p[1] == 'u';
            if (!au && !(p[0] == 'f' && p[1] == 'r'))
                violation("\"sh\": stream tag is neither \"fr\" nor \"au\"");
            (au ? h.soundDurationShort : h.videoDurationShort) = be16(p, 4);
            if (be16(p, 2) != 0) violation("\"sh\": reserved field is not 0");
            if (i + 1 >= m_.chunks.size() || m_.chunks[i + 1].tag != "sx")
                violation("\"sh\" is not followed by its \"sx\"");
            (au ? h.hasSound : h.hasVideo) = true;
            ++streamPairs;
        } else if (c.tag == "sx") {
            const bool au = p[0] == 'a' && p[1] == 'u';
            (au ? h.soundDuration : h.videoDuration) = be32(p, 6);
            if (be32(p, 2) != 0) violation("\"sx\": reserved field is not 0");
        } else if (c.tag == "ah") {
            h.audioFormat = be32(p, 0);
            h.channels = be16(p, 4);
            h.sampleRate = be32(p, 6);
            h.preload = be32(p, 10);
            static constexpr uint32_t kFormats[] = {624, 626, 627, 628, 629, 630};
            if (std::find(std::begin(kFormats), std::end(kFormats), h.audioFormat) == std::end(kFormats))
                violation(format("\"ah\": audio format %u is unknown", h.audioFormat));
            if (h.channels != 1 && h.channels != 2)
                violation(format("\"ah\": %u channels", h.channels));
            if (h.sampleRate == 0) violation("\"ah\": sample rate 0");
        } else if (c.tag == "ax") {
            h.hasAtrac = true;
            h.channelMode = be16(p, 0);
            h.bitRateCode = be16(p, 2);
        } else if (c.tag == "an") {
            h.rotation = static_cast<int16_t>(be16(p, 0));
        } else if (c.tag == "md") {
            mdSeen = true;
            h.hasTexts = true;
            std::string* texts[] = {&h.title, &h.information, &h.rights};
            size_t at = 0;
            for (std::string* t : texts) {
                size_t end = at;
                while (end < p.size() && p[end]) ++end;
                if (end >= p.size()) {
                    violation("\"md\": a text is not zero-terminated");
                    break;
                }
                *t = macRomanToUtf8({reinterpret_cast<const char*>(&p[at]), end - at});
                at = end + 1;
            }
            if (c.length & 1) violation("\"md\": odd chunk length");
            if (p.size() > at + 1 || (p.size() == at + 1 && p[at]))
                violation("\"md\": bytes after its three texts");
        } else if (c.tag == "mr") {
            for (int k = 0; k < 4; ++k) h.screenRect[k] = static_cast<int16_t>(be16(p, k * 2));
            h.hasScreenRect = true;
        } else if (c.tag == "cv" || c.tag == "fs") {
            if (p[0] != 0 || p[1] > 1) violation(format("\"%s\": value is not 0 or 1", c.tag.c_str()));
            (c.tag == "cv" ? h.cvSwitch : h.fsSwitch) = p[1];
        } else if (c.tag == "bc") {
            h.hasBackground = true;
            for (int k = 0; k < 3; ++k) h.background[k] = p[k];
        } else if (c.tag == "py") {
            h.hasPalette = true;
            h.palette = p;
        } else if (c.tag == "ic") {
            h.inverseMap = p;
        } else if (c.tag == "cl") {
            readChapters(c);
        } else if (c.tag == "pt") {
            h.hasVideoIndex = true;
            readIndex(c, h.videoIndex);
        } else if (c.tag == "at") {
            h.hasSoundIndex = true;
            readIndex(c, h.soundIndex);
        } else if (c.tag == "bi") {
            readPicture(c);
        } else if (c.tag == "mb") {
            sawMb_ = true;
            ++i;
            break;
        }
    }
    (void)mdSeen;
    (void)streamPairs;
    headerEnd_ = i;
    if (m_.chunks.empty() || m_.chunks[0].tag != "mv") violation("the stream does not start with \"mv\"");
    if (!sawMb_) violation("the header does not end with \"mb\"");
    bool sawBt = false;
    for (size_t k = 0; k < headerEnd_; ++k) sawBt |= m_.chunks[k].tag == "bt";
    if (!sawBt) violation("the header has no \"bt\" chunk");
    if (h.hasSound && h.sampleRate == 0 && h.audioFormat == 0) violation("sound stream without \"ah\"");
    if (h.hasPalette != !h.inverseMap.empty()) violation("\"py\" and \"ic\" do not come together");
    if (h.hasAtrac && h.audioFormat != 624) violation("\"ax\" without ATRAC3 sound");
    if (h.audioFormat == 624 && !h.hasAtrac) violation("ATRAC3 sound without \"ax\"");
    if (h.hasVideo && h.depthClass == 0) violation("video stream with depth class 0");
}

void Reader::readSamples() {
    bool sawMe = false;
    uint32_t videoTime = 0;
    for (size_t i = headerEnd_; i < m_.chunks.size(); ++i) {
        const Chunk& c = m_.chunks[i];
        if (c.tag == "re") continue;
        if (sawMe) {
            violation(format("chunk \"%s\" after \"me\"", c.tag.c_str()));
            continue;
        }
        if (c.length & 1)
            violation(format("record %u offset %u: \"%s\" chunk of odd length %u", c.record,
                             c.offsetInRecord, c.tag.c_str(), c.length));
        if (c.tag == "rf") {
            if (c.payload.size() < 4) {
                violation(format("record %u offset %u: \"rf\" chunk too short", c.record, c.offsetInRecord));
                continue;
            }
            FrameSample f;
            f.chunk = &c;
            f.type = c.payload[0];
            f.flags = c.payload[1];
            f.duration = be16(c.payload, 2);
            f.time = videoTime;
            videoTime += f.duration;
            const bool pad = f.flags & 1;
            size_t size = c.payload.size() - 4;
            if (pad) {
                if (size == 0 || c.payload.back() != 0)
                    violation(format("record %u offset %u: \"rf\" pad byte is not 0", c.record,
                                     c.offsetInRecord));
                else
                    --size;
            }
            f.data = c.payload.subspan(4, size);
            if (f.flags & ~5u)
                violation(format("record %u offset %u: \"rf\" flags 0x%02X", c.record, c.offsetInRecord,
                                 f.flags));
            m_.frames.push_back(f);
        } else if (c.tag == "au") {
            if (c.payload.size() < 12) {
                violation(format("record %u offset %u: \"au\" chunk too short", c.record, c.offsetInRecord));
                continue;
            }
            SoundSample s;
            s.chunk = &c;
            s.frames = be32(c.payload, 0);
            s.position = be32(c.payload, 4);
            s.reserved = be32(c.payload, 8);
            s.data = c.payload.subspan(12);
            if (s.reserved)
                violation(format("record %u offset %u: \"au\" reserved field is not 0", c.record,
                                 c.offsetInRecord));
            m_.sounds.push_back(s);
        } else if (c.tag == "me") {
            if (c.length != 4) violation("\"me\" chunk is not 4 bytes");
            sawMe = true;
        } else {
            violation(format("record %u offset %u: unexpected chunk \"%s\" among the samples", c.record,
                             c.offsetInRecord, c.tag.c_str()));
        }
    }
    if (!sawMe) violation("the stream does not end with \"me\"");

    // Where "me" sits says how the records were closed.
    const Chunk* last = m_.chunks.empty() ? nullptr : &m_.chunks.back();
    const bool hasSamples = !m_.frames.empty() || !m_.sounds.empty();
    if (last && sawMe) {
        const Chunk& beforeLast = m_.chunks.size() >= 2 ? m_.chunks[m_.chunks.size() - 2] : *last;
        if (hasSamples && !(last->tag == "re" && beforeLast.tag == "me"))
            violation("the last record does not end with \"me\" then \"re\"");
        if (!hasSamples && last->tag != "me")
            violation("a movie without samples must end with \"me\" and no \"re\"");
    }
}

template <typename Sample>
void Reader::checkIndex(const char* what, const std::vector<IndexEntry>& index, bool present,
                        const std::vector<const Sample*>& eligible, const std::vector<uint32_t>& times) {
    const size_t count = eligible.size();
    const size_t k = count / 1000 + 1;
    const size_t n = count / k;
    if (n == 0) {
        if (present) violation(format("%s index present although there is nothing to index", what));
        return;
    }
    if (!present) {
        violation(format("%s index missing (%zu entries expected)", what, n));
        return;
    }
    if (index.size() != n) {
        violation(format("%s index holds %zu entries, not %zu", what, index.size(), n));
        return;
    }
    for (size_t j = 0; j < n; ++j) {
        const Sample* s = eligible[j * k];
        const IndexEntry& e = index[j];
        if (e.record != s->chunk->record || e.offset != s->chunk->offsetInRecord)
            violation(format("%s index entry %zu points at record %u offset %u, not %u/%u", what, j + 1,
                             e.record, e.offset, s->chunk->record, s->chunk->offsetInRecord));
        if (e.time != times[j * k])
            violation(format("%s index entry %zu has time %u, not %u", what, j + 1, e.time, times[j * k]));
    }
}

void Reader::checkStreams() {
    MovieHeader& h = m_.header;
    if (!m_.frames.empty() && !h.hasVideo) violation("frames without a video stream in the header");
    if (!m_.sounds.empty() && !h.hasSound) violation("sound chunks without a sound stream in the header");

    uint64_t videoSum = 0;
    for (const FrameSample& f : m_.frames) videoSum += f.duration;
    if (h.hasVideo) {
        if (h.videoDuration != videoSum)
            violation(format("video duration %u in \"sx\", frames add up to %llu", h.videoDuration,
                             (unsigned long long)videoSum));
        const uint32_t shortValue = h.videoDuration > 65500 ? 65500 : h.videoDuration;
        if (h.videoDurationShort != shortValue)
            violation(format("video duration %u in \"sh\", expected %u", h.videoDurationShort, shortValue));
    }
    if (!m_.frames.empty() && !m_.frames.front().key()) violation("the first frame is not a key frame");

    uint64_t position = 0;
    for (size_t i = 0; i < m_.sounds.size(); ++i) {
        const SoundSample& s = m_.sounds[i];
        if (s.position != position)
            violation(format("sound chunk %zu starts at frame %u, not %llu", i + 1, s.position,
                             (unsigned long long)position));
        position += s.frames;
    }
    if (h.hasSound && h.sampleRate) {
        const uint32_t expected =
            static_cast<uint32_t>(std::floor(double(position) * 100.0 / h.sampleRate + 0.5));
        if (h.soundDuration != expected)
            violation(format("sound duration %u in \"sx\", %llu sample frames give %u", h.soundDuration,
                             (unsigned long long)position, expected));
        const uint32_t shortValue = h.soundDuration > 65500 ? 65500 : h.soundDuration;
        if (h.soundDurationShort != shortValue)
            violation(format("sound duration %u in \"sh\", expected %u", h.soundDurationShort, shortValue));
        // The preload patch names exactly the sound laid out ahead of the first frame.
        if (!m_.sounds.empty() && !m_.frames.empty()) {
            uint64_t ahead = 0;
            for (const SoundSample& s : m_.sounds) {
                if (s.chunk->fileOffset > m_.frames.front().chunk->fileOffset) break;
                ahead += s.frames;
            }
            if (ahead && ahead != h.preload)
                violation(format("\"ah\" preload %u, but %llu sample frames come before the first frame",
                                 h.preload, (unsigned long long)ahead));
        }
    }

    uint16_t expectedKind = 0;
    if (h.hasVideo && h.hasSound) expectedKind = 6;
    else if (h.hasSound) expectedKind = 5;
    else if (h.hasVideo) expectedKind = m_.frames.size() == 1 ? 4 : 1;
    if (h.movieKind != expectedKind)
        violation(format("movie kind %u in \"mt\", expected %u", h.movieKind, expectedKind));

    std::vector<const FrameSample*> keys;
    std::vector<uint32_t> keyTimes;
    for (const FrameSample& f : m_.frames)
        if (f.key()) {
            keys.push_back(&f);
            keyTimes.push_back(f.time);
        }
    checkIndex("video", h.videoIndex, h.hasVideoIndex, keys, keyTimes);
    std::vector<const SoundSample*> sounds;
    std::vector<uint32_t> soundTimes;
    for (const SoundSample& s : m_.sounds) {
        sounds.push_back(&s);
        soundTimes.push_back(s.position);
    }
    checkIndex("sound", h.soundIndex, h.hasSoundIndex, sounds, soundTimes);
}

}  // namespace

std::string fourCharText(uint32_t code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char ch = static_cast<char>((code >> shift) & 0xFF);
        s += (ch >= 32 && ch < 127) ? ch : '?';
    }
    return s;
}

bool readMovie(std::vector<uint8_t> bytes, Movie& movie, std::string& error) {
    movie = Movie{};
    movie.bytes = std::move(bytes);
    Reader reader(movie);
    if (!reader.readDatabase(error)) return false;
    reader.readChunks();
    reader.readHeader();
    reader.readSamples();
    reader.checkStreams();
    return true;
}

bool readMovieFile(const std::string& path, Movie& movie, std::string& error) {
    // A folder or a device opens as a stream on this system and then fails
    // to read; say what it is instead.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        error = "cannot open '" + path + "': " +
                (ec == std::errc::no_such_file_or_directory ? std::string("no such file")
                                                            : ec.message());
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = "cannot open '" + path + "': is a directory";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot open '" + path + "': not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read '" + path + "'";
        return false;
    }
    if (readMovie(std::move(bytes), movie, error)) return true;
    error = "'" + path + "': " + error;
    return false;
}

}  // namespace movie
