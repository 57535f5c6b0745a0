#pragma once
// Shapes shared by the record layout and the database image.
#include <cstdint>

struct MovieWriter;

// Chunks in one record stay within this many bytes; the "re" chunk that
// ends the record comes on top.
inline constexpr uint32_t kRecordChunkLimit = 63998;

// The header may go on in further records, but none of its chunks is split:
// the largest header chunk fits a record beside the header's closing "mb"
// and the movie's "me". Picture items and the chapter list are held to it.
inline constexpr uint32_t kMaxHeaderChunkBytes = kRecordChunkLimit - 2 * 4;
inline constexpr uint32_t kMaxChapterListBytes = kMaxHeaderChunkBytes;

// Recipe for the records that stay in the spool file, in file order.
inline constexpr uint32_t kSpoolMapMovieEnd = 1;   // the 4 bytes of "me"
inline constexpr uint32_t kSpoolMapRecordEnd = 2;  // the 4 bytes of "re"; ends a record
inline constexpr uint32_t kSpoolMapBytes = 3;      // bytes of the spool file

struct SpoolMapEntry {
    uint32_t kind;
    uint32_t spoolOffset;  // kind 3 only
    uint32_t byteCount;    // 4 for kinds 1 and 2
};
static_assert(sizeof(SpoolMapEntry) == 12);

// Builds the database header, the record list and the image block from the
// memory records (released on the way) and the spool map.
int32_t writerBuildDatabase(MovieWriter* w);
