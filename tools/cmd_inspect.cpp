// moviepacker-cli inspect: what a handheld movie database holds, and whether
// its structure is sound.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "engine/movie_reader.h"
#include "tools/cli.h"
#include "tools/json.h"

namespace {

const char* kInspectHelp =
    "Usage: moviepacker-cli inspect FILE.pdb [--json]\n"
    "\n"
    "Prints the database header, the records, the header chunks with their fields and\n"
    "sample statistics of a handheld movie database, and checks its structure.\n"
    "\n"
    "  --json   print one JSON object instead of text\n"
    "\n"
    "Exit status: 0 valid, 1 structural violations found, 2 unreadable file or bad usage.\n";

const char* movieKindName(uint16_t kind) {
    switch (kind) {
        case 0: return "empty";
        case 1: return "video";
        case 4: return "still picture";
        case 5: return "sound only";
        case 6: return "video and sound";
        default: return "unknown";
    }
}

struct Stats {
    size_t keyFrames = 0;
    uint64_t videoBytes = 0, soundBytes = 0;
    std::map<int, size_t> frameTypes;
    uint64_t soundFrames = 0;
};

Stats gather(const movie::Movie& m) {
    Stats s;
    for (const movie::FrameSample& f : m.frames) {
        s.keyFrames += f.key();
        s.videoBytes += f.chunk->length;
        ++s.frameTypes[f.type];
    }
    for (const movie::SoundSample& a : m.sounds) {
        s.soundBytes += a.chunk->length;
        s.soundFrames += a.frames;
    }
    return s;
}

double perSecond(uint64_t bytes, uint32_t hundredths) {
    return hundredths ? double(bytes) * 100.0 / hundredths : 0.0;
}

void printText(const std::string& path, const movie::Movie& m) {
    const movie::MovieHeader& h = m.header;
    const Stats s = gather(m);
    std::printf("%s\n", path.c_str());
    std::printf("database  \"%s\"  type '%s'  creator '%s'  version %u  %u records\n",
                m.db.name.c_str(), movie::fourCharText(m.db.type).c_str(),
                movie::fourCharText(m.db.creator).c_str(), m.db.version, m.db.recordCount);
    for (size_t i = 0; i < m.records.size(); ++i)
        std::printf("  record %-4zu offset %-9u %6u bytes  attributes 0x%02X  id 0x%06X\n", i + 1,
                    m.records[i].offset, m.records[i].size, m.records[i].attributes,
                    m.records[i].uniqueId);
    std::printf("header chunks:");
    for (const movie::Chunk& c : m.chunks) {
        std::printf(" %s", c.tag.c_str());
        if (c.tag == "mb") break;
    }
    std::printf("\n");
    if (h.hasFrameSize)
        std::printf("frame size %ux%u", h.width, h.height);
    else
        std::printf("display size %ux%u", h.width, h.height);
    std::printf("  depth class %u  movie kind %u (%s)\n", h.depthClass, h.movieKind,
                movieKindName(h.movieKind));
    if (h.hasVideo)
        std::printf("video: %zu frames, %zu key frames, %.2f s, %.0f bytes/s\n", m.frames.size(),
                    s.keyFrames, h.videoDuration / 100.0, perSecond(s.videoBytes, h.videoDuration));
    if (!s.frameTypes.empty()) {
        std::printf("  frame types:");
        for (auto [type, count] : s.frameTypes) std::printf(" %d x%zu", type, count);
        std::printf("\n");
    }
    if (h.hasSound)
        std::printf("sound: format %u, %u channels, %u Hz, preload %u, %zu chunks, %llu sample frames, "
                    "%.2f s, %.0f bytes/s\n",
                    h.audioFormat, h.channels, h.sampleRate, h.preload, m.sounds.size(),
                    (unsigned long long)s.soundFrames, h.soundDuration / 100.0,
                    perSecond(s.soundBytes, h.soundDuration));
    if (h.hasAtrac)
        std::printf("  ATRAC3 channel mode %u, bit-rate code %u\n", h.channelMode, h.bitRateCode);
    if (h.rotation) std::printf("rotation %d\n", h.rotation);
    if (h.hasTexts)
        std::printf("title \"%s\"  information \"%s\"  rights \"%s\"\n", h.title.c_str(),
                    h.information.c_str(), h.rights.c_str());
    if (h.hasScreenRect)
        std::printf("screen rectangle top %d left %d bottom %d right %d\n", h.screenRect[0],
                    h.screenRect[1], h.screenRect[2], h.screenRect[3]);
    if (h.cvSwitch) std::printf("cv switch %u\n", *h.cvSwitch);
    if (h.fsSwitch) std::printf("full screen %u\n", *h.fsSwitch);
    if (h.hasBackground)
        std::printf("background colour %u %u %u\n", h.background[0], h.background[1], h.background[2]);
    if (h.hasPalette) std::printf("palette and inverse colour map present\n");
    for (const movie::Chapter& c : h.chapters)
        std::printf("chapter %.2f s \"%s\"\n", c.time / 100.0, c.title.c_str());
    if (h.hasVideoIndex || h.hasSoundIndex)
        std::printf("seek index: %zu video entries, %zu sound entries\n", h.videoIndex.size(),
                    h.soundIndex.size());
    for (const movie::PictureItem& p : h.pictures)
        std::printf("picture item %u %u %u %u %u, nested \"%s\", %u picture bytes\n", p.values[0],
                    p.values[1], p.values[2], p.values[3], p.value16, p.nestedTag.c_str(),
                    p.pictureBytes);
    if (m.violations.empty()) {
        std::printf("structure: valid\n");
    } else {
        std::printf("structure: %zu violations\n", m.violations.size());
        for (const std::string& v : m.violations) std::printf("  %s\n", v.c_str());
    }
}

void printJson(const std::string& path, const movie::Movie& m) {
    const movie::MovieHeader& h = m.header;
    const Stats s = gather(m);
    json::Writer j(stdout);
    j.beginObject();
    j.key("file").value(path);
    j.key("valid").value(m.violations.empty());
    j.key("database").beginObject();
    j.key("name").value(m.db.name);
    j.key("type").value(movie::fourCharText(m.db.type));
    j.key("creator").value(movie::fourCharText(m.db.creator));
    j.key("version").value(m.db.version);
    j.key("created").value(m.db.created);
    j.key("records").beginArray();
    for (const movie::DbRecord& r : m.records) {
        j.beginObject();
        j.key("offset").value(r.offset).key("size").value(r.size);
        j.key("attributes").value(r.attributes).key("uniqueId").value(r.uniqueId);
        j.endObject();
    }
    j.endArray().endObject();
    j.key("headerChunks").beginArray();
    for (const movie::Chunk& c : m.chunks) {
        j.value(c.tag);
        if (c.tag == "mb") break;
    }
    j.endArray();
    j.key("hasFrameSize").value(h.hasFrameSize);
    j.key("width").value(h.width).key("height").value(h.height);
    j.key("depthClass").value(h.depthClass);
    j.key("movieKind").value(h.movieKind);
    j.key("rotation").value(h.rotation);
    j.key("title").value(h.title).key("information").value(h.information).key("rights").value(h.rights);
    if (h.hasScreenRect) {
        j.key("screenRect").beginArray();
        for (int16_t v : h.screenRect) j.value(v);
        j.endArray();
    }
    if (h.cvSwitch) j.key("cv").value(*h.cvSwitch);
    if (h.fsSwitch) j.key("fullScreen").value(*h.fsSwitch);
    if (h.hasBackground) {
        j.key("background").beginArray();
        for (uint8_t v : h.background) j.value(v);
        j.endArray();
    }
    j.key("palette").value(h.hasPalette);
    if (h.hasVideo) {
        j.key("video").beginObject();
        j.key("frames").value(m.frames.size()).key("keyFrames").value(s.keyFrames);
        j.key("duration").value(h.videoDuration).key("durationShort").value(h.videoDurationShort);
        j.key("bytes").value(s.videoBytes);
        j.key("bytesPerSecond").value(perSecond(s.videoBytes, h.videoDuration));
        j.key("frameTypes").beginObject();
        for (auto [type, count] : s.frameTypes) j.key(std::to_string(type)).value(count);
        j.endObject();
        j.key("index").value(h.videoIndex.size());
        j.endObject();
    }
    if (h.hasSound) {
        j.key("sound").beginObject();
        j.key("format").value(h.audioFormat).key("channels").value(h.channels);
        j.key("sampleRate").value(h.sampleRate).key("preload").value(h.preload);
        j.key("chunks").value(m.sounds.size()).key("sampleFrames").value(s.soundFrames);
        j.key("duration").value(h.soundDuration).key("durationShort").value(h.soundDurationShort);
        j.key("bytes").value(s.soundBytes);
        j.key("bytesPerSecond").value(perSecond(s.soundBytes, h.soundDuration));
        if (h.hasAtrac) j.key("channelMode").value(h.channelMode).key("bitRateCode").value(h.bitRateCode);
        j.key("index").value(h.soundIndex.size());
        j.endObject();
    }
    j.key("chapters").beginArray();
    for (const movie::Chapter& c : h.chapters) {
        j.beginObject().key("time").value(c.time).key("title").value(c.title).endObject();
    }
    j.endArray();
    j.key("pictures").beginArray();
    for (const movie::PictureItem& p : h.pictures) {
        j.beginObject().key("values").beginArray();
        for (uint32_t v : p.values) j.value(v);
        j.endArray().key("value16").value(p.value16).key("nested").value(p.nestedTag);
        j.key("pictureBytes").value(p.pictureBytes).endObject();
    }
    j.endArray();
    j.key("violations").beginArray();
    for (const std::string& v : m.violations) j.value(v);
    j.endArray();
    j.endObject();
    std::fputc('\n', stdout);
}

}  // namespace

namespace cli {

int runInspect(int argc, char** argv) {
    bool asJson = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (isHelp(argv[i])) {
            std::fputs(kInspectHelp, stdout);
            return kExitOk;
        }
        if (std::strcmp(argv[i], "--json") == 0) {
            asJson = true;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            std::fprintf(stderr, "moviepacker-cli inspect: unknown option '%s'\n", argv[i]);
            return kExitUsage;
        } else if (path) {
            std::fprintf(stderr, "moviepacker-cli inspect: one file at a time\n");
            return kExitUsage;
        } else {
            path = argv[i];
        }
    }
    if (!path) {
        std::fputs(kInspectHelp, stderr);
        return kExitUsage;
    }
    movie::Movie m;
    std::string error;
    if (!movie::readMovieFile(path, m, error)) {
        std::fprintf(stderr, "moviepacker-cli inspect: %s\n", error.c_str());
        return kExitUsage;
    }
    if (asJson)
        printJson(path, m);
    else
        printText(path, m);
    return m.violations.empty() ? kExitOk : kExitFailed;
}

}  // namespace cli
