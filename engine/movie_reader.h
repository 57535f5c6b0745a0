#pragma once
// Reading a handheld movie database back: the database header, its records,
// the chunk stream and the header fields, and a structural check of every
// invariant the writer promises. The movie inspector and the tests use it;
// nothing here trusts the bytes it is given.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/record_layout.h"

namespace movie {

struct DbRecord {
    uint32_t offset = 0;  // data offset in the file
    uint8_t attributes = 0;
    uint32_t uniqueId = 0;
    uint32_t size = 0;  // bytes up to the next record or the end of the file
};

// Texts the handheld shows (the database name, the movie's texts, chapter
// titles) are Mac Roman in the file and UTF-8 here.
struct DbHeader {
    std::string name;
    uint16_t attributes = 0, version = 0;
    uint32_t created = 0, modified = 0, backedUp = 0, modificationNumber = 0;
    uint32_t appInfo = 0, sortInfo = 0, type = 0, creator = 0, uniqueIdSeed = 0, nextList = 0;
    uint16_t recordCount = 0;
};

// One chunk of the stream, located in the file.
struct Chunk {
    uint32_t record = 0;          // 1-based database record
    uint32_t offsetInRecord = 0;  // byte offset inside that record
    uint32_t fileOffset = 0;
    uint16_t length = 0;
    std::string tag;                   // two characters
    std::span<const uint8_t> payload;  // length - 4 bytes
};

struct IndexEntry {
    uint32_t time = 0;  // hundredths (video) or sample frames (sound)
    uint16_t record = 0;
    uint16_t offset = 0;
};

struct PictureItem {
    uint32_t values[4] = {};
    uint16_t value16 = 0;
    std::string nestedTag;  // tag of the nested chunk, empty when none
    uint32_t pictureBytes = 0;
};

struct Chapter {
    uint32_t time = 0;  // hundredths
    std::string title;
};

// The header chunks, decoded. Absent chunks leave their has-flag false.
struct MovieHeader {
    bool hasFrameSize = false;  // false: "mv" carries the display size
    uint16_t width = 0, height = 0;
    uint8_t depthClass = 0;
    uint16_t movieKind = 0;
    bool hasVideo = false, hasSound = false;
    uint16_t videoDurationShort = 0, soundDurationShort = 0;  // "sh"
    uint32_t videoDuration = 0, soundDuration = 0;            // "sx"
    uint32_t audioFormat = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t preload = 0;
    bool hasAtrac = false;
    uint16_t channelMode = 0, bitRateCode = 0;
    int16_t rotation = 0;
    std::string title, information, rights;
    bool hasTexts = false;
    bool hasScreenRect = false;
    int16_t screenRect[4] = {};  // top, left, bottom, right
    std::optional<uint8_t> cvSwitch, fsSwitch;
    bool hasBackground = false;
    uint8_t background[3] = {};
    bool hasPalette = false;
    std::span<const uint8_t> palette;     // 768 bytes of Y, Cb, Cr
    std::span<const uint8_t> inverseMap;  // 8192 bytes
    std::vector<Chapter> chapters;
    std::vector<IndexEntry> videoIndex, soundIndex;
    bool hasVideoIndex = false, hasSoundIndex = false;
    std::vector<PictureItem> pictures;
};

struct FrameSample {
    const Chunk* chunk = nullptr;
    uint8_t type = 0;
    uint8_t flags = 0;
    uint16_t duration = 0;  // hundredths
    uint32_t time = 0;      // running time before this frame
    bool key() const { return (flags & 4) == 0; }
    std::span<const uint8_t> data;  // encoded frame, pad excluded
};

struct SoundSample {
    const Chunk* chunk = nullptr;
    uint32_t frames = 0;
    uint32_t position = 0;
    uint32_t reserved = 0;
    std::span<const uint8_t> data;  // encoded sound, pad included (the stream cannot tell)
};

// Spans and chunk pointers refer into `bytes` and `chunks`: a Movie moves
// but does not copy.
struct Movie {
    Movie() = default;
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;
    Movie(Movie&&) = default;
    Movie& operator=(Movie&&) = default;

    std::vector<uint8_t> bytes;
    DbHeader db;
    std::vector<DbRecord> records;
    std::vector<Chunk> chunks;  // every chunk, in stream order, "re" included
    MovieHeader header;
    std::vector<FrameSample> frames;
    std::vector<SoundSample> sounds;
    std::vector<std::string> violations;
};

inline constexpr uint32_t kMaxRecordChunkBytes = kRecordChunkLimit;

// Reads a database image. Returns false only when the bytes are not a
// database at all (too short for the header, a record list that does not fit,
// offsets that point outside the file); `error` then says why. Every other
// fault is listed in movie.violations and reading goes on where it can.
bool readMovie(std::vector<uint8_t> bytes, Movie& movie, std::string& error);

// Loads a file and reads it; false for a file that cannot be read or is not
// a database.
bool readMovieFile(const std::string& path, Movie& movie, std::string& error);

// Human-readable four-character code ("TMOV").
std::string fourCharText(uint32_t code);

}  // namespace movie
