#pragma once
// Structural checker for handheld movie databases: the database header and
// record list, the chunk stream inside the records, the seek indexes and the
// stream durations. It reads only the bytes, so it checks any database, not
// just the ones this writer made.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct MovieCheckChunk {
    uint16_t tag;
    uint32_t record;  // 0-based record index
    uint32_t offset;  // within the record
    uint32_t length;
};

struct MovieCheckResult {
    std::vector<std::string> errors;
    std::string name;
    std::vector<uint32_t> recordSizes;
    std::vector<MovieCheckChunk> chunks;  // stream order, "re" chunks left out
    uint16_t movieKind = 0;
    uint32_t frames = 0, keyFrames = 0, soundChunks = 0;
    uint64_t videoDuration = 0;  // hundredths
    uint64_t soundFrames = 0;
    uint32_t videoIndexEntries = 0, soundIndexEntries = 0;
    uint32_t sampleRate = 0, preload = 0;

    bool ok() const { return errors.empty(); }
    std::string report() const;  // the errors, one a line
};

MovieCheckResult checkMovieDatabase(std::span<const uint8_t> database);
