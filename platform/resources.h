#pragma once
// The program's resources: a classic Mac resource fork image, read by type
// and ID, plus the writer that the resource compiler uses to build one.
//
// Image layout (big-endian): a 16-byte header (offset and length of the
// data area and of the map); the data area, each resource a 32-bit length
// and its bytes; the map: a copy of the header, 8 bytes the loader owns,
// the offsets of the type list and the name list, the type list (count - 1,
// then per type its code, count - 1 and the offset of its reference list),
// the reference lists (12 bytes per resource: ID, name offset or -1,
// attributes, 24-bit data offset, 4 reserved bytes) and the name list of
// counted names.
//
// Texts inside resources are Mac Roman; platform/mac_roman.h turns them into
// UTF-8 for the terminal and the GUI, and back.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atoms.h"
#include "platform/mac_roman.h"
#include "platform/status.h"

using ResID = int16_t;

inline constexpr FourCC kResTypeStringList = fourCC("STR#");

class ResourceFile {
  public:
    // An empty resource file: every lookup fails with kStatusResourceNotFound.
    ResourceFile() = default;

    // Parses and checks a whole image; the bytes are copied, so the caller
    // keeps ownership of image. Every offset, length and name is checked
    // here, once, so lookups afterwards cannot go out of bounds. *out is
    // replaced only on success. Status: noErr; kStatusParamError for a null
    // out; kStatusBadResourceMap for a malformed image.
    static OSStatus open(std::span<const uint8_t> image, ResourceFile* out);

    // Number of resources of a type (0 when none).
    int count(FourCC type) const;

    // Number of types, and the index-th (1-based) type in map order; 0 when
    // out of range.
    int countTypes() const;
    FourCC typeAt(int index) const;

    // The data of a resource as a view into this object's copy of the
    // image, valid while this object lives. id (may be null) receives the
    // ID in the indexed form; index is 1-based in map order.
    // Status: noErr; kStatusResourceNotFound; kStatusParamError for a null
    // data pointer.
    OSStatus get(FourCC type, ResID id, std::span<const uint8_t>* data) const;
    OSStatus getIndexed(FourCC type, int index, std::span<const uint8_t>* data,
                        ResID* id = nullptr) const;
    // The first resource of a type whose name equals name exactly.
    OSStatus getNamed(FourCC type, std::string_view name, std::span<const uint8_t>* data,
                      ResID* id = nullptr) const;

    // A detached copy of a resource's data; the caller owns it.
    OSStatus detach(FourCC type, ResID id, std::vector<uint8_t>* out) const;

    // The resource's name (Mac Roman; empty when it has none).
    // Status: noErr, kStatusResourceNotFound, kStatusParamError (null out).
    OSStatus name(FourCC type, ResID id, std::string* out) const;

  private:
    struct Entry {
        FourCC type;
        ResID id;
        uint8_t attributes;
        std::string name;
        uint32_t dataAt;  // offset of the bytes in m_image
        uint32_t size;
    };
    const Entry* find(FourCC type, ResID id) const;
    const Entry* findIndexed(FourCC type, int index) const;

    std::vector<uint8_t> m_image;
    std::vector<Entry> m_entries;  // grouped by type, in map order
    std::vector<FourCC> m_types;
};

// One resource for the writer.
struct ResourceSpec {
    FourCC type = 0;
    ResID id = 0;
    std::string name;  // Mac Roman, at most 255 bytes; empty for none
    uint8_t attributes = 0;
    std::vector<uint8_t> data;
};

// Builds an image from resources. Types appear in the map in the order of
// their first resource, and resources of a type in the order given, so the
// indexed order of the reader is the order of the list.
// Status: noErr; kStatusParamError for a duplicate type and ID, a name over
// 255 bytes, or an image whose offsets do not fit the format's fields.
OSStatus buildResourceImage(std::span<const ResourceSpec> resources, std::vector<uint8_t>* out);

// --- String lists ('STR#': a 16-bit count, then counted strings) -----------

// Parses a whole string list; a count or string running past the end is an
// error (kStatusBadResourceMap), and so are bytes after the last string.
OSStatus parseStringList(std::span<const uint8_t> data, std::vector<std::string>* out);

// Item index (1-based) of 'STR#' listID, Mac Roman. Status: noErr;
// kStatusResourceNotFound for a missing list or an index outside it;
// kStatusBadResourceMap for a malformed list; kStatusParamError (null out).
OSStatus getIndString(const ResourceFile& file, ResID listID, int index, std::string* out);

// The same item as UTF-8.
OSStatus getIndStringUtf8(const ResourceFile& file, ResID listID, int index, std::string* out);


