#pragma once
// Builds handheld movie databases byte by byte, independent of the writer,
// so the reader's checks can be tried on images with chosen faults.
#include <cstdint>
#include <string>
#include <vector>

namespace handmade {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v);
void put32(Bytes& b, uint32_t v);
// A chunk: 16-bit length, two tag characters, payload.
Bytes chunk(const char* tag, const Bytes& payload);
// Concatenation helper.
void append(Bytes& to, const Bytes& from);

// Header chunks in their usual shapes.
Bytes mv(uint16_t width, uint16_t height, uint8_t depthClass);
Bytes mt(uint16_t kind);
Bytes sh(const char* stream, uint16_t duration);
Bytes sx(const char* stream, uint32_t duration);
Bytes ah(uint32_t format, uint16_t channels, uint32_t rate, uint32_t preload);
struct IndexEntry {
    uint32_t time;
    uint16_t record, offset;
};
Bytes index(const char* tag, const std::vector<IndexEntry>& entries);
Bytes rf(uint8_t type, uint8_t flags, uint16_t duration, const Bytes& data);
Bytes au(uint32_t frames, uint32_t position, const Bytes& data);
Bytes tagOnly(const char* tag);  // "bt", "mb", "me", "re"

// A database: the PDB header, record list and records.
Bytes database(const std::string& name, const std::vector<Bytes>& records);

// A valid two-frame movie with sound in one record: mv mt sh sx sh sx ah bt pt at mb au rf rf me re.
Bytes validMovie();

}  // namespace handmade
